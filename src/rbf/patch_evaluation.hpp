// Evaluating a model fitted in patches: the Shepard blend of the patches that cover each query, and its derivative.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/gradient.hpp"
#include "rbf/patch_cells.hpp"
#include "rbf/patch_model.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel {

// Query points must have the samples' number of coordinates.
template <class X, class Y>
std::optional<Failure> refuse_queries(const PatchModel<X, Y>& model, std::span<const X> x_new) {
    const std::size_t d = model.lattice.dimension();
    for (std::size_t i = 0; i < x_new.size(); ++i)
        if (const std::size_t length = numbers_of(x_new[i]).size(); length != d)
            return Failure{messages::patch_query_dimension(d, i, length), true};
    return std::nullopt;
}

namespace patch_detail {

// One patch's part in one query's result.
struct Share {
    std::uint32_t patch;
    std::uint32_t slot;  // the query's place in its block
    double weight;
    double slope;  // the weight's derivative in x_k over (x_k - c_k)
};

// The patch nearest each cell, remembered for the last cell asked about:
// queries come sorted by cell.
template <class Y>
class NearestPatch {
public:
    NearestPatch(const Lattice& lattice, const std::vector<Patch<Y>>& patches) : lattice_(lattice), patches_(patches) {}
    std::uint32_t operator()(const LatticeIndices& cell, std::size_t index) {
        if (index != cell_) cell_ = index, patch_ = nearest_patch(lattice_, patches_, cell);
        return patch_;
    }

private:
    const Lattice& lattice_;
    const std::vector<Patch<Y>>& patches_;
    std::size_t cell_ = static_cast<std::size_t>(-1);
    std::uint32_t patch_ = 0;
};

// Appends the shares of query q, in lattice order: every patch whose weight
// at q is positive (q strictly inside its ball); when there is none, the
// patch nearest q's cell alone, with weight 1: its local model extended.
template <class X, class Y>
void add_shares(const PatchModel<X, Y>& model, std::span<const double> q, std::uint32_t slot,
                std::vector<Share>& shares, NearestPatch<Y>& nearest) {
    const LatticeIndices cell = query_cell(model.lattice, q);
    const std::size_t c = extended_cell_index(model.lattice, cell);
    const std::size_t before = shares.size();
    for (std::size_t s = model.cover.start[c]; s < model.cover.start[c + 1]; ++s) {
        const std::uint32_t p = model.cover.patches[s];
        const PatchFrame& frame = model.frames[p];
        const double distance = squared_distance_to(q, frame);
        const double weight = patch_weight(distance, frame.r2);
        if (weight > 0.0) shares.push_back({p, slot, weight, patch_weight_slope(distance, frame.r2)});
    }
    if (shares.size() == before) shares.push_back({nearest(cell, c), slot, 1.0, 0.0});
}

// Calls visit(local model, frame, shares) once per patch that has shares, in
// lattice order, with that patch's shares in query order; so every query
// meets its patches in lattice order.
template <class X, class Y, class Visit>
void visit_patches(const PatchModel<X, Y>& model, std::vector<Share>& shares, Visit&& visit) {
    std::stable_sort(shares.begin(), shares.end(), [](const Share& a, const Share& b) { return a.patch < b.patch; });
    for (std::size_t first = 0; first < shares.size();) {
        std::size_t last = first;
        while (last < shares.size() && shares[last].patch == shares[first].patch) ++last;
        const Patch<Y>& patch = model.patches[shares[first].patch];
        const PatchFrame& frame = model.frames[shares[first].patch];
        const RbfModel<X, Y> local = local_model(model, patch, frame);
        if (!visit(local, frame, std::span<const Share>(shares.data() + first, last - first))) return;
        first = last;
    }
}

// Queries sorted by cell share their patches, so each patch's local model is
// laid out once for many of them. The sort is a counting sort over at most
// CHUNK queries at a time; block(first, positions) gets runs of at most
// QUERIES_PER_BLOCK positions relative to `first` (the chunk's start), on the
// pool by the prediction's rule. Each query's result is its own, so neither
// the order nor the blocks nor the pool change a bit.
template <class X, class Y, class Block>
void over_sorted_queries(const PatchModel<X, Y>& model, std::span<const X> queries, const Execution& execution,
                         Block& block) {
    constexpr std::size_t CHUNK = std::size_t{1} << 24;
    constexpr std::size_t QUERIES_PER_BLOCK = 1024;
    std::size_t members = 0;
    for (const Patch<Y>& patch : model.patches) members += patch.members.size();
    // About 2^d patches cover a point.
    const std::size_t per_query = (members / model.patches.size()) << model.lattice.dimension();
    const std::size_t cells = extended_cell_count(model.lattice);
    std::vector<std::size_t> start;
    std::vector<std::uint32_t> order, cell_of;
    const StopCheck stopped(execution);
    for (std::size_t first = 0; first < queries.size(); first += CHUNK) {
        const std::size_t m = std::min(CHUNK, queries.size() - first);
        cell_of.resize(m);
        start.assign(cells + 1, 0);
        for (std::size_t i = 0; i < m; ++i) {
            const LatticeIndices cell = query_cell(model.lattice, numbers_of(queries[first + i]));
            cell_of[i] = static_cast<std::uint32_t>(extended_cell_index(model.lattice, cell));
            ++start[cell_of[i] + 1];
        }
        for (std::size_t c = 0; c < cells; ++c) start[c + 1] += start[c];
        order.resize(m);
        for (std::size_t i = 0; i < m; ++i) order[start[cell_of[i]]++] = static_cast<std::uint32_t>(i);
        auto run = [&](std::size_t begin, std::size_t end) {
            for (std::size_t b = begin; b < end && !stopped(); b += QUERIES_PER_BLOCK)
                block(first, std::span<const std::uint32_t>(order.data() + b, std::min(end - b, QUERIES_PER_BLOCK)));
        };
        run_queries(execution, m, per_query, QUERIES_PER_BLOCK, run);
        check_cancellation(execution.cancellation);
    }
}

// Queries of another length are refused; one with a NaN or infinite
// coordinate has no value, which fails as a NaN output does.
template <class X, class Y>
std::optional<Failure> refuse_any(const PatchModel<X, Y>& model, std::span<const X> x_new) {
    if (std::optional<Failure> refusal = refuse_queries(model, x_new)) return refusal;
    for (const X& q : x_new)
        for (double c : numbers_of(q))
            if (!std::isfinite(c)) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    return std::nullopt;
}

// The shares of a block's queries, each query's in lattice order.
template <class X, class Y>
std::vector<Share> block_shares(const PatchModel<X, Y>& model, std::span<const X> x_new, std::size_t first,
                                std::span<const std::uint32_t> positions) {
    std::vector<Share> shares;
    NearestPatch<Y> nearest(model.lattice, model.patches);
    for (std::size_t s = 0; s < positions.size(); ++s)
        add_shares(model, numbers_of(x_new[first + positions[s]]), static_cast<std::uint32_t>(s), shares, nearest);
    return shares;
}

// The local queries of a patch's shares.
template <class X>
void local_queries(std::span<const X> queries, std::size_t first, std::span<const std::uint32_t> positions,
                   std::span<const Share> shares, const PatchFrame& frame, std::vector<X>& out) {
    out.clear();
    for (const Share& share : shares)
        out.push_back(local_query<X>(numbers_of(queries[first + positions[share.slot]]), frame));
}

// A point's derivative as one row of numbers, components x coordinates.
template <class X, class Y>
std::vector<double> gradient_table(const GradientOf<X, Y>& g) {
    if constexpr (std::is_same_v<X, Vector> && std::is_same_v<Y, Vector>) {
        std::vector<double> table;
        for (const Vector& row : g) table.insert(table.end(), row.begin(), row.end());
        return table;
    } else {
        const std::span<const double> numbers = numbers_of(g);
        return std::vector<double>(numbers.begin(), numbers.end());
    }
}

}  // namespace patch_detail

// Each output is
//
//   (sum_p w_p v_p) / (sum_p w_p),   w_p = patch_weight(|q - c_p|^2, r_p^2),
//
// over the patches p whose weight at q is positive, both sums in lattice
// order, each product and sum rounded on its own; v_p is what the patch's own
// dense model predicts at q in its local coordinates, to the bit. A query
// that no patch covers gets the value of the patch nearest its cell. A query
// with a NaN or infinite coordinate has no value, and fails as a NaN output does.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const PatchModel<X, Y>& model, std::span<const X> x_new,
                                const Execution& execution = {}) {
    if (std::optional<Failure> refusal = patch_detail::refuse_any(model, x_new)) return std::move(*refusal);
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    std::atomic<bool> nan_found{false};
    const Execution local = patch_execution(execution);
    auto block = [&](std::size_t first, std::span<const std::uint32_t> positions) {
        if (nan_found.load(std::memory_order_relaxed)) return;
        std::vector<patch_detail::Share> shares = patch_detail::block_shares(model, x_new, first, positions);
        std::vector<Y> sum(positions.size(), zero_like(model.y.front()));
        std::vector<double> total(positions.size(), 0.0);
        std::vector<X> queries;
        patch_detail::visit_patches(model, shares, [&](const RbfModel<X, Y>& patch, const PatchFrame& frame,
                                                       std::span<const patch_detail::Share> run) {
            patch_detail::local_queries(x_new, first, positions, run, frame, queries);
            Outcome<std::vector<Y>> values = predict(patch, std::span<const X>(queries), local);
            if (failed(values)) {
                nan_found.store(true, std::memory_order_relaxed);
                return false;
            }
            const std::vector<Y>& v = std::get<std::vector<Y>>(values);
            for (std::size_t i = 0; i < run.size(); ++i) {
                add_scaled(sum[run[i].slot], v[i], run[i].weight);
                total[run[i].slot] = run[i].weight + total[run[i].slot];
            }
            return true;
        });
        for (std::size_t s = 0; s < positions.size(); ++s) {
            Y& o = out[first + positions[s]];
            o = divide(sum[s], total[s]);
            if (has_nan(o)) nan_found.store(true, std::memory_order_relaxed);
        }
    };
    patch_detail::over_sorted_queries(model, x_new, execution, block);
    if (nan_found.load()) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    return out;
}

// The derivative of exactly that blend, by the quotient rule: with N = sum_p
// w_p v_p, W = sum_p w_p and f = N / W,
//
//   d f_c / d x_k = (dN_ck - f_c * dW_k) / W,
//   dN_ck = sum_p (v_pc * dw_pk + w_p * dv_pck),   dW_k = sum_p dw_pk,
//
// sums in lattice order, each of dN's two terms added on its own; dw_pk is
// patch_weight_slope times (x_k - c_pk), and dv_p the patch's own gradient in
// its local coordinates divided by its scale (exact: a power of two). A query
// extrapolated by its nearest patch has that patch's gradient.
template <class X, class Y>
Outcome<std::vector<GradientOf<X, Y>>> gradient(const PatchModel<X, Y>& model, std::span<const X> x_new,
                                                const Execution& execution = {}) {
    if (std::optional<Failure> refusal = patch_detail::refuse_any(model, x_new)) return std::move(*refusal);
    const std::size_t d = model.lattice.dimension();
    const std::size_t components = numbers_of(model.y.front()).size();
    const std::size_t width = components * d;
    std::vector<GradientOf<X, Y>> out(x_new.size());
    std::atomic<bool> nan_found{false};
    const Execution local = patch_execution(execution);
    auto block = [&](std::size_t first, std::span<const std::uint32_t> positions) {
        if (nan_found.load(std::memory_order_relaxed)) return;
        std::vector<patch_detail::Share> shares = patch_detail::block_shares(model, x_new, first, positions);
        const std::size_t slots = positions.size();
        std::vector<Y> sum(slots, zero_like(model.y.front()));
        std::vector<double> total(slots, 0.0), sum_slope(slots * width, 0.0), total_slope(slots * d, 0.0);
        std::vector<X> queries;
        std::vector<double> slope(d);
        patch_detail::visit_patches(model, shares, [&](const RbfModel<X, Y>& patch, const PatchFrame& frame,
                                                       std::span<const patch_detail::Share> run) {
            patch_detail::local_queries(x_new, first, positions, run, frame, queries);
            Outcome<std::vector<Y>> values = predict(patch, std::span<const X>(queries), local);
            Outcome<std::vector<GradientOf<X, Y>>> slopes = gradient(patch, std::span<const X>(queries), local);
            if (failed(values) || failed(slopes)) {
                nan_found.store(true, std::memory_order_relaxed);
                return false;
            }
            const std::vector<Y>& v = std::get<std::vector<Y>>(values);
            const std::vector<GradientOf<X, Y>>& g = std::get<std::vector<GradientOf<X, Y>>>(slopes);
            for (std::size_t i = 0; i < run.size(); ++i) {
                const patch_detail::Share& share = run[i];
                const std::span<const double> q = numbers_of(x_new[first + positions[share.slot]]);
                for (std::size_t k = 0; k < d; ++k) slope[k] = share.slope * (q[k] - frame.centre[k]);
                const std::vector<double> local_slope = patch_detail::gradient_table<X, Y>(g[i]);
                const std::span<const double> value = numbers_of(v[i]);
                double* row = sum_slope.data() + share.slot * width;
                for (std::size_t c = 0; c < components; ++c)
                    for (std::size_t k = 0; k < d; ++k) {
                        double& entry = row[c * d + k];
                        entry = (value[c] * slope[k]) + entry;
                        entry = (share.weight * (local_slope[c * d + k] / frame.scale)) + entry;
                    }
                for (std::size_t k = 0; k < d; ++k)
                    total_slope[share.slot * d + k] = slope[k] + total_slope[share.slot * d + k];
                add_scaled(sum[share.slot], v[i], share.weight);
                total[share.slot] = share.weight + total[share.slot];
            }
            return true;
        });
        for (std::size_t s = 0; s < slots; ++s) {
            const Y f = divide(sum[s], total[s]);
            const std::span<const double> value = numbers_of(f);
            std::vector<double> table(width);
            for (std::size_t c = 0; c < components; ++c)
                for (std::size_t k = 0; k < d; ++k)
                    table[c * d + k] =
                        (sum_slope[s * width + c * d + k] - (value[c] * total_slope[s * d + k])) / total[s];
            if (std::any_of(table.begin(), table.end(), [](double e) { return std::isnan(e); }))
                nan_found.store(true, std::memory_order_relaxed);
            out[first + positions[s]] = detail::shaped<X, Y>(std::move(table), components, d);
        }
    };
    patch_detail::over_sorted_queries(model, x_new, execution, block);
    if (nan_found.load()) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    return out;
}

}  // namespace pymorvel
