// Fitting a model in patches, restricting one to a box, and rebuilding one from its parts without solving.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/outcome.hpp"
#include "common/panic.hpp"
#include "rbf/fitting.hpp"
#include "rbf/patch_cells.hpp"
#include "rbf/patch_model.hpp"
#include "rbf/restore.hpp"

namespace pymorvel {

// A box given by its corners, one coordinate per axis of the points.
struct PatchBox {
    std::vector<double> lower, upper;
};

// The whole data set a tile belongs to: its bounding box and sample count.
struct PatchDomain {
    PatchBox box;
    std::uint64_t count = 0;
};

struct PatchOptions {
    std::size_t patch_size = 0;
    // The lattice of this data set rather than of the samples given.
    std::optional<PatchDomain> domain = std::nullopt;
    // Only the patches whose balls reach into this box.
    std::optional<PatchBox> region = std::nullopt;
};

// The most samples a fit in patches takes: members are numbered in 32 bits.
inline constexpr std::size_t MAX_PATCH_SAMPLES = 0xFFFFFFFFu;

// How far a sample can lie outside a box and still belong to a patch that
// reaches into it: twice the largest radius a patch can grow to. A tile fit
// needs every sample of the data set within this distance of its region.
inline double tile_halo(const Lattice& lattice) noexcept { return lattice.radius(MAX_PATCH_GROWTH) * 2.0; }

namespace patch_detail {

inline bool valid_box(const PatchBox& box, std::size_t dimension) noexcept {
    if (box.lower.size() != dimension || box.upper.size() != dimension) return false;
    for (std::size_t k = 0; k < dimension; ++k)
        if (!std::isfinite(box.lower[k]) || !std::isfinite(box.upper[k]) || !(box.lower[k] <= box.upper[k]))
            return false;
    return true;
}

inline Coordinates corner(const std::vector<double>& c) noexcept {
    Coordinates out{};
    std::copy(c.begin(), c.end(), out.begin());
    return out;
}

// The lattice of the samples' own bounding box and count, or of the domain
// given, after checking that it is a box that holds every sample.
template <class Points>
Outcome<Lattice> lattice_for(const Points& x, std::size_t dimension, const std::optional<PatchDomain>& domain,
                             std::size_t patch_size) {
    if (domain) {
        if (!valid_box(domain->box, dimension)) return Failure{messages::patch_corner("domain", dimension)};
        if (domain->count < x.size()) return Failure{std::string(messages::PATCH_DOMAIN_COUNT)};
        for (std::size_t i = 0; i < x.size(); ++i) {
            const std::span<const double> p = point_of(x, i);
            for (std::size_t k = 0; k < dimension; ++k)
                if (!(domain->box.lower[k] <= p[k] && p[k] <= domain->box.upper[k]))
                    return Failure{messages::patch_outside_domain(i)};
        }
        return Lattice::make(dimension, corner(domain->box.lower), corner(domain->box.upper), domain->count,
                             patch_size);
    }
    Coordinates lower{}, upper{};
    for (std::size_t k = 0; k < dimension; ++k) lower[k] = upper[k] = point_of(x, 0)[k];
    for (std::size_t i = 1; i < x.size(); ++i) {
        const std::span<const double> p = point_of(x, i);
        for (std::size_t k = 0; k < dimension; ++k) lower[k] = std::min(lower[k], p[k]), upper[k] = std::max(upper[k], p[k]);
    }
    return Lattice::make(dimension, lower, upper, x.size(), patch_size);
}

// What the loop over lattice nodes leaves in each node's slot.
template <class Y>
struct PatchSlot {
    enum class State : unsigned char { none, fitted, failed } state = State::none;
    Patch<Y> patch;
    std::string failure;
};

// The opt-in parts of one patch's fit: its samples' smoothing scaled with the
// coordinates (see kernel_scaling_power), and the degree.
inline FitOptions local_options(const std::vector<double>& amounts, std::span<const std::uint32_t> members,
                                int shift, std::optional<std::size_t> degree) {
    FitOptions options;
    options.degree = degree;
    if (!amounts.empty()) {
        std::vector<double> local(members.size());
        for (std::size_t i = 0; i < members.size(); ++i) local[i] = std::ldexp(amounts[members[i]], shift);
        options.smoothing = std::move(local);
    }
    return options;
}

// The work of one lattice node: its members at the first radius; none, and it
// has no patch. While it has fewer than `least` members or, with a polynomial
// term, monomials that are not independent on them, it grows, at most
// MAX_PATCH_GROWTH times; then it is fitted if its system can be solved at
// all (at least as many members as monomials, of full rank), else dropped.
template <class X, class Y, class Points>
PatchSlot<Y> fit_node(const Points& x, const std::vector<Y>& y, const SampleCells& cells, const Lattice& lattice,
                      std::uint32_t node, Kernel kernel, double epsilon, const std::vector<double>& amounts,
                      std::optional<std::size_t> degree, std::size_t least, const Execution& local) {
    const std::size_t d = lattice.dimension();
    const std::size_t monomials = degree ? PolynomialBasis::monomial_count(d, *degree) : 1;
    PatchSlot<Y> slot;
    slot.patch.node = node;
    std::vector<std::uint32_t> members;
    unsigned growth = 0;
    PatchFrame frame;
    std::optional<typename PointStorage<X>::type> points;
    for (;; ++growth) {
        frame = frame_of(lattice, node, growth);
        gather_members(x, cells, lattice, frame, lattice.radius(growth), members);
        if (members.empty()) return slot;
        const bool solvable = members.size() >= monomials;
        if (solvable) points.emplace(local_points<X>(x, members, d, frame));
        const bool independent = solvable && (!degree || !failed(polynomial_setup(*points, *degree)));
        if (independent && members.size() >= least) break;
        if (growth == MAX_PATCH_GROWTH) {
            if (independent) break;
            return slot;
        }
    }
    std::vector<Y> values;
    values.reserve(members.size());
    for (std::uint32_t i : members) values.push_back(y[i]);
    Outcome<RbfModel<X, Y>> fitted =
        fit_points<X, Y>(std::move(*points), std::move(values), kernel, epsilon / frame.scale,
                         local_options(amounts, members, -kernel_scaling_power(kernel) * frame.exponent, degree),
                         local);
    if (auto* failure = std::get_if<Failure>(&fitted)) {
        slot.state = PatchSlot<Y>::State::failed;
        slot.failure = std::move(failure->message);
        return slot;
    }
    RbfModel<X, Y>& model = std::get<RbfModel<X, Y>>(fitted);
    slot.state = PatchSlot<Y>::State::fitted;
    slot.patch.growth = growth;
    slot.patch.members = std::move(members);
    slot.patch.weights = std::move(model.weights);
    if (model.polynomial) slot.patch.coefficients = std::move(model.polynomial->coefficients);
    return slot;
}

// The nodes whose balls may reach into the box once grown to the most.
inline std::vector<std::uint32_t> nodes_near(const Lattice& lattice, const std::optional<PatchBox>& region) {
    std::vector<std::uint32_t> nodes;
    if (!region) {
        nodes.resize(lattice.nodes());
        for (std::size_t i = 0; i < nodes.size(); ++i) nodes[i] = static_cast<std::uint32_t>(i);
        return nodes;
    }
    const std::size_t d = lattice.dimension();
    const double reach = lattice.radius(MAX_PATCH_GROWTH);
    LatticeIndices lo{}, hi{};
    for (std::size_t k = 0; k < d; ++k) {
        // Nodes are cell corners: node j + 1 closes cell j.
        lo[k] = std::max<std::int64_t>(lattice.cell_of(region->lower[k] - reach, k, -1, lattice.nodes_along(k)), 0);
        hi[k] = std::min<std::int64_t>(lattice.cell_of(region->upper[k] + reach, k, -1, lattice.nodes_along(k)) + 1,
                                       lattice.nodes_along(k) - 1);
    }
    const double reach2 = reach * reach;
    for_each_index(lo, hi, d, [&](const LatticeIndices& i) {
        const std::uint64_t node = lattice.node_at(i);
        const Coordinates c = lattice.centre(node);
        if (squared_distance_to_box(std::span<const double>(c.data(), d), region->lower, region->upper) < reach2)
            nodes.push_back(static_cast<std::uint32_t>(node));
    });
    return nodes;
}

inline void lower_to(std::atomic<std::size_t>& value, std::size_t candidate) noexcept {
    std::size_t current = value.load(std::memory_order_relaxed);
    while (candidate < current && !value.compare_exchange_weak(current, candidate, std::memory_order_relaxed)) {
    }
}

}  // namespace patch_detail

// The sub-model of the patches whose balls reach into the box [lower, upper]
// (the squared distance from the centre to the box below the squared radius):
// those patches unchanged, and of the samples only those they hold, in their
// order. A query in the box that a patch covers sees exactly the patches it
// saw, in the same order, so it gets the same bits.
template <class X, class Y>
Outcome<PatchModel<X, Y>> restrict_patches(const PatchModel<X, Y>& model, const PatchBox& box) {
    const Lattice& lattice = model.lattice;
    const std::size_t d = lattice.dimension();
    if (!patch_detail::valid_box(box, d)) return Failure{messages::patch_corner("restrict", d)};
    std::vector<std::uint32_t> kept;
    for (std::size_t p = 0; p < model.patches.size(); ++p) {
        const Patch<Y>& patch = model.patches[p];
        const PatchFrame frame = frame_of(lattice, patch.node, patch.growth);
        if (squared_distance_to_box(std::span<const double>(frame.centre.data(), d), box.lower, box.upper) < frame.r2)
            kept.push_back(static_cast<std::uint32_t>(p));
    }
    if (kept.empty()) return Failure{std::string(messages::PATCH_RESTRICT_EMPTY)};
    const std::size_t n = model.x.size();
    constexpr std::uint32_t unused = 0xFFFFFFFFu;
    std::vector<std::uint32_t> renumbered(n, unused);
    for (std::uint32_t p : kept)
        for (std::uint32_t i : model.patches[p].members) renumbered[i] = 0;
    std::vector<double> flat;
    PatchModel<X, Y> out;
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (renumbered[i] == unused) continue;
        renumbered[i] = next++;
        const std::span<const double> p = point_of(model.x, i);
        flat.insert(flat.end(), p.begin(), p.end());
        out.y.push_back(model.y[i]);
    }
    if constexpr (std::is_same_v<X, double>) {
        out.x = std::move(flat);
    } else {
        out.x = PointSet(std::move(flat), d);
    }
    out.kernel = model.kernel;
    out.epsilon = model.epsilon;
    out.degree = model.degree;
    out.lattice = lattice;
    out.patches.reserve(kept.size());
    for (std::uint32_t p : kept) {
        Patch<Y> patch = model.patches[p];
        for (std::uint32_t& i : patch.members) i = renumbered[i];
        out.patches.push_back(std::move(patch));
    }
    out.cover = build_cover(out.lattice, out.patches);
    out.frames = frames_of(out.lattice, out.patches);
    return out;
}

// Fits a model in patches: the lattice of the samples' bounding box (or of the
// domain), the members of each node's ball, grown where they fall short, and
// one dense fit per patch through the project's own fit, the patches spread
// over the pool and each written to its own slot. A failing patch fails the
// fit with its message; the first in lattice order is reported. With a
// region, only the patches reaching into it are kept, with the samples they
// hold: given every sample of the data set within tile_halo of the region, in
// the data set's order, that is the whole fit's restrict_patches(region) to
// the bit.
//
// Checks, in this order: the lengths of x and y (a panic, as for a dense fit),
// empty data, the patch size, the kernel, the sample count, the points and values, the
// smoothing, the domain and the region. Under a Cancellation a stop between
// patches throws Cancelled.
template <class X, class Y>
Outcome<PatchModel<X, Y>> fit_patches(std::vector<X> x, std::vector<Y> y, Kernel kernel, double epsilon,
                                      const FitOptions& options, const PatchOptions& patch,
                                      const Execution& execution = {}) {
    if (x.size() != y.size()) panic(messages::length_mismatch(x.size(), y.size()));
    const std::size_t n = x.size();
    if (n == 0) return Failure{std::string(messages::EMPTY_SYSTEM)};
    if (patch.patch_size < MIN_PATCH_SIZE || patch.patch_size > MAX_PATCH_SIZE)
        return Failure{messages::patch_size_range(std::to_string(patch.patch_size))};
    if (std::optional<std::string_view> refusal = patch_kernel_refusal(kernel, options.degree))
        return Failure{std::string(*refusal)};
    if (n > MAX_PATCH_SAMPLES) return Failure{messages::patch_too_many_samples(MAX_PATCH_SAMPLES)};
    typename PointStorage<X>::type points = PointStorage<X>::from(std::move(x));
    Outcome<std::size_t> dimension = patch_dimension(points, y);
    if (auto* failure = std::get_if<Failure>(&dimension)) return std::move(*failure);
    const std::size_t d = std::get<std::size_t>(dimension);
    Outcome<std::vector<double>> smoothing = smoothing_amounts(options.smoothing, n);
    if (auto* failure = std::get_if<Failure>(&smoothing)) return std::move(*failure);
    const std::vector<double>& amounts = std::get<std::vector<double>>(smoothing);
    Outcome<Lattice> made = patch_detail::lattice_for(points, d, patch.domain, patch.patch_size);
    if (auto* failure = std::get_if<Failure>(&made)) return std::move(*failure);
    const Lattice& lattice = std::get<Lattice>(made);
    if (patch.region && !patch_detail::valid_box(*patch.region, d))
        return Failure{messages::patch_corner("region", d)};

    const SampleCells cells = sort_into_cells(points, lattice);
    const std::vector<std::uint32_t> nodes = patch_detail::nodes_near(lattice, patch.region);
    const std::size_t monomials = options.degree ? PolynomialBasis::monomial_count(d, *options.degree) : 1;
    const std::size_t least = std::max<std::size_t>(monomials, (patch.patch_size + 3) / 4);
    const Execution local = patch_execution(execution);
    std::vector<patch_detail::PatchSlot<Y>> slots(nodes.size());
    std::atomic<std::size_t> first_failure{static_cast<std::size_t>(-1)};
    const StopCheck stopped(execution);
    auto run = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            // Past a failure only the nodes before it still matter.
            if (stopped() || i > first_failure.load(std::memory_order_relaxed)) continue;
            slots[i] = patch_detail::fit_node<X, Y>(points, y, cells, lattice, nodes[i], kernel, epsilon, amounts,
                                                    options.degree, least, local);
            if (slots[i].state == patch_detail::PatchSlot<Y>::State::failed) patch_detail::lower_to(first_failure, i);
        }
    };
    // Each patch's work is about patch_size^2 kernel values and more; the
    // fill threshold says when as many are worth the pool.
    constexpr std::size_t NODES_PER_BLOCK = 4;
    run_blocks(execution, nodes.size(), NODES_PER_BLOCK,
               nodes.size() > 1 && nodes.size() * patch.patch_size * patch.patch_size >= execution.thresholds.fill, run);

    PatchModel<X, Y> model;
    for (patch_detail::PatchSlot<Y>& slot : slots) {
        if (slot.state == patch_detail::PatchSlot<Y>::State::failed)
            return Failure{messages::patch_failed(slot.patch.node, slot.failure)};
        if (slot.state == patch_detail::PatchSlot<Y>::State::fitted) model.patches.push_back(std::move(slot.patch));
    }
    std::vector<patch_detail::PatchSlot<Y>>().swap(slots);
    if (model.patches.empty()) return Failure{std::string(messages::PATCH_NONE_FITTED)};
    model.x = std::move(points);
    model.y = std::move(y);
    model.kernel = kernel;
    model.epsilon = epsilon;
    model.degree = options.degree;
    model.lattice = lattice;
    if (patch.region) return restrict_patches(model, *patch.region);
    model.cover = build_cover(model.lattice, model.patches);
    model.frames = frames_of(model.lattice, model.patches);
    return model;
}

}  // namespace pymorvel
