// Finding a patch's members: the samples binned into lattice cells by a counting sort, the cells a ball may reach, the exact distance test.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>
#include "common/outcome.hpp"
#include "rbf/fitting.hpp"
#include "rbf/model.hpp"
#include "rbf/patch_lattice.hpp"
#include "rbf/patch_model.hpp"

namespace pymorvel {

// The samples sorted by inner cell, stably (`order`), and where each cell's
// samples begin in it (`start`, one more than the cells).
struct SampleCells {
    std::vector<std::uint32_t> order;
    std::vector<std::size_t> start;
};

// Calls f(indices) for every index box point lo <= i <= hi, the last axis fastest.
template <class F>
void for_each_index(const LatticeIndices& lo, const LatticeIndices& hi, std::size_t dimension, F&& f) {
    for (std::size_t k = 0; k < dimension; ++k)
        if (lo[k] > hi[k]) return;
    LatticeIndices i = lo;
    while (true) {
        f(i);
        std::size_t k = dimension;
        while (true) {
            if (k == 0) return;
            --k;
            if (i[k] < hi[k]) {
                ++i[k];
                break;
            }
            i[k] = lo[k];
        }
    }
}

template <class Points>
SampleCells sort_into_cells(const Points& x, const Lattice& lattice) {
    const std::size_t n = x.size(), d = lattice.dimension();
    std::size_t cells = 1;
    for (std::size_t k = 0; k < d; ++k) cells *= static_cast<std::size_t>(lattice.cells_along(k));
    auto cell_of_sample = [&](std::size_t i) {
        const std::span<const double> p = point_of(x, i);
        std::size_t c = 0;
        for (std::size_t k = 0; k < d; ++k)
            c = c * static_cast<std::size_t>(lattice.cells_along(k)) +
                static_cast<std::size_t>(lattice.cell_of(p[k], k, 0, lattice.cells_along(k) - 1));
        return c;
    };
    SampleCells sorted;
    sorted.start.assign(cells + 1, 0);
    for (std::size_t i = 0; i < n; ++i) ++sorted.start[cell_of_sample(i) + 1];
    for (std::size_t c = 0; c < cells; ++c) sorted.start[c + 1] += sorted.start[c];
    sorted.order.resize(n);
    std::vector<std::size_t> next(sorted.start.begin(), sorted.start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) sorted.order[next[cell_of_sample(i)]++] = static_cast<std::uint32_t>(i);
    return sorted;
}

// The samples strictly inside a patch's ball (squared distance below r2), in
// ascending index. The cells searched reach CELL_MARGIN past the ball on
// every side, so no rounding in a cell's number can hide a sample.
template <class Points>
void gather_members(const Points& x, const SampleCells& cells, const Lattice& lattice, const PatchFrame& frame,
                    double radius, std::vector<std::uint32_t>& members) {
    members.clear();
    const std::size_t d = lattice.dimension();
    const double reach = radius + lattice.spacing() * CELL_MARGIN;
    const std::span<const double> centre(frame.centre.data(), d);
    LatticeIndices lo{}, hi{};
    for (std::size_t k = 0; k < d; ++k) {
        const std::int64_t last = lattice.cells_along(k) - 1;
        lo[k] = lattice.cell_of(frame.centre[k] - reach, k, 0, last);
        hi[k] = lattice.cell_of(frame.centre[k] + reach, k, 0, last);
    }
    for_each_index(lo, hi, d, [&](const LatticeIndices& cell) {
        std::size_t c = 0;
        for (std::size_t k = 0; k < d; ++k)
            c = c * static_cast<std::size_t>(lattice.cells_along(k)) + static_cast<std::size_t>(cell[k]);
        for (std::size_t s = cells.start[c]; s < cells.start[c + 1]; ++s) {
            const std::uint32_t i = cells.order[s];
            if (squared_distance(point_of(x, i, d), centre) < frame.r2) members.push_back(i);
        }
    });
    std::sort(members.begin(), members.end());
}

// Outer cells included: indices -1 .. K_k along axis k.
inline std::size_t extended_cell_count(const Lattice& lattice) noexcept {
    std::size_t cells = 1;
    for (std::size_t k = 0; k < lattice.dimension(); ++k) cells *= static_cast<std::size_t>(lattice.cells_along(k) + 2);
    return cells;
}

inline std::size_t extended_cell_index(const Lattice& lattice, const LatticeIndices& cell) noexcept {
    std::size_t c = 0;
    for (std::size_t k = 0; k < lattice.dimension(); ++k)
        c = c * static_cast<std::size_t>(lattice.cells_along(k) + 2) + static_cast<std::size_t>(cell[k] + 1);
    return c;
}

// The cell of a query point, outer cells included.
inline LatticeIndices query_cell(const Lattice& lattice, std::span<const double> q) noexcept {
    LatticeIndices cell{};
    for (std::size_t k = 0; k < lattice.dimension(); ++k)
        cell[k] = lattice.cell_of(q[k], k, -1, lattice.cells_along(k));
    return cell;
}

// Each patch is listed in the cells its ball reaches, widened by CELL_MARGIN
// so that no rounding in a query's cell number can leave it out.
template <class Y>
PatchCover build_cover(const Lattice& lattice, const std::vector<Patch<Y>>& patches) {
    const std::size_t d = lattice.dimension();
    const double margin = lattice.spacing() * CELL_MARGIN;
    auto range = [&](const Patch<Y>& patch, LatticeIndices& lo, LatticeIndices& hi) {
        const Coordinates c = lattice.centre(patch.node);
        const double reach = lattice.radius(patch.growth) + margin;
        for (std::size_t k = 0; k < d; ++k) {
            lo[k] = lattice.cell_of(c[k] - reach, k, -1, lattice.cells_along(k));
            hi[k] = lattice.cell_of(c[k] + reach, k, -1, lattice.cells_along(k));
        }
    };
    PatchCover cover;
    cover.start.assign(extended_cell_count(lattice) + 1, 0);
    LatticeIndices lo{}, hi{};
    for (const Patch<Y>& patch : patches) {
        range(patch, lo, hi);
        for_each_index(lo, hi, d, [&](const LatticeIndices& cell) { ++cover.start[extended_cell_index(lattice, cell) + 1]; });
    }
    for (std::size_t c = 0; c + 1 < cover.start.size(); ++c) cover.start[c + 1] += cover.start[c];
    cover.patches.resize(cover.start.back());
    std::vector<std::size_t> next(cover.start.begin(), cover.start.end() - 1);
    for (std::size_t p = 0; p < patches.size(); ++p) {
        range(patches[p], lo, hi);
        for_each_index(lo, hi, d, [&](const LatticeIndices& cell) {
            cover.patches[next[extended_cell_index(lattice, cell)]++] = static_cast<std::uint32_t>(p);
        });
    }
    return cover;
}

template <class Y>
std::vector<PatchFrame> frames_of(const Lattice& lattice, const std::vector<Patch<Y>>& patches) {
    std::vector<PatchFrame> frames;
    frames.reserve(patches.size());
    for (const Patch<Y>& patch : patches) frames.push_back(frame_of(lattice, patch.node, patch.growth));
    return frames;
}

// The number of coordinates of the samples, after the checks that patches
// need: 1 to 3 coordinates, one length, finite. Values must have one length too.
template <class Points, class Y>
Outcome<std::size_t> patch_dimension(const Points& x, const std::vector<Y>& y) {
    const std::size_t d = point_of(x, 0).size();
    if (d < 1 || d > MAX_PATCH_DIMENSION) return Failure{messages::patch_dimension(d)};
    for (std::size_t i = 0; i < x.size(); ++i) {
        const std::span<const double> p = point_of(x, i);
        if (p.size() != d) return Failure{messages::patch_ragged_points(d, i, p.size())};
        for (double c : p)
            if (!std::isfinite(c)) return Failure{messages::patch_nonfinite_point(i)};
    }
    const std::size_t components = numbers_of(y.front()).size();
    for (std::size_t i = 1; i < y.size(); ++i)
        if (const std::size_t length = numbers_of(y[i]).size(); length != components)
            return Failure{messages::patch_ragged_values(components, i, length)};
    return d;
}

// The patch whose node, among those that carry one, lies nearest the centre of
// a cell (outer cells included), ties to the lower node. The distance is
// measured exactly, in half lattice spacings: sum over k of (2 i_k - 2 j_k - 1)^2.
template <class Y>
std::uint32_t nearest_patch(const Lattice& lattice, const std::vector<Patch<Y>>& patches, const LatticeIndices& cell) {
    const std::size_t d = lattice.dimension();
    std::uint64_t best_distance = static_cast<std::uint64_t>(-1);
    std::uint32_t best = 0;
    auto patch_at = [&](std::uint64_t node) -> std::optional<std::uint32_t> {
        const auto it = std::lower_bound(patches.begin(), patches.end(), node,
                                         [](const Patch<Y>& p, std::uint64_t n) { return p.node < n; });
        if (it == patches.end() || it->node != node) return std::nullopt;
        return static_cast<std::uint32_t>(it - patches.begin());
    };
    for (std::int64_t ring = 0;; ++ring) {
        LatticeIndices lo{}, hi{};
        bool whole = true;
        for (std::size_t k = 0; k < d; ++k) {
            lo[k] = std::max<std::int64_t>(cell[k] - ring, 0);
            hi[k] = std::min<std::int64_t>(cell[k] + 1 + ring, lattice.nodes_along(k) - 1);
            whole = whole && cell[k] - ring <= 0 && cell[k] + 1 + ring >= lattice.nodes_along(k) - 1;
        }
        const std::int64_t shell = 2 * ring + 1;
        for_each_index(lo, hi, d, [&](const LatticeIndices& node) {
            std::int64_t widest = 0;
            std::uint64_t distance = 0;
            for (std::size_t k = 0; k < d; ++k) {
                const std::int64_t offset = 2 * node[k] - 2 * cell[k] - 1;
                widest = std::max<std::int64_t>(widest, offset < 0 ? -offset : offset);
                distance += static_cast<std::uint64_t>(offset * offset);
            }
            if (widest != shell) return;  // an inner ring's, seen already
            const std::uint64_t number = lattice.node_at(node);
            if (distance > best_distance || (distance == best_distance && number > patches[best].node)) return;
            if (const std::optional<std::uint32_t> p = patch_at(number)) best_distance = distance, best = *p;
        });
        const auto next = static_cast<std::uint64_t>(shell + 2);
        if (whole || (best_distance != static_cast<std::uint64_t>(-1) && next * next > best_distance)) return best;
    }
}

}  // namespace pymorvel
