// Building the lattice of patch centres from a bounding box and a sample count.
#include "rbf/patch_lattice.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "exact_math/exact_math.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

namespace {

// The volume of the unit ball in 1, 2 and 3 dimensions.
constexpr std::array<double, MAX_PATCH_DIMENSION + 1> UNIT_BALL = {1.0, 2.0, 3.141592653589793,
                                                                   4.1887902047863905};

}  // namespace

Outcome<Lattice> Lattice::make(std::size_t dimension, const Coordinates& lower, const Coordinates& upper,
                               std::uint64_t count, std::size_t patch_size) {
    Lattice lattice;
    lattice.dimension_ = dimension;
    lattice.lower_ = lower;
    lattice.upper_ = upper;
    lattice.count_ = count;
    lattice.patch_size_ = patch_size;

    std::array<double, MAX_PATCH_DIMENSION> extent{};
    std::array<std::size_t, MAX_PATCH_DIMENSION> axes{};
    for (std::size_t k = 0; k < dimension; ++k) {
        extent[k] = upper[k] - lower[k];
        if (!std::isfinite(extent[k]) || extent[k] < 0.0) return Failure{std::string(messages::PATCH_BOX_OVERFLOW)};
        axes[k] = k;
    }
    std::stable_sort(axes.begin(), axes.begin() + static_cast<std::ptrdiff_t>(dimension),
                     [&](std::size_t a, std::size_t b) { return extent[a] > extent[b]; });

    double spacing = 1.0;
    for (std::size_t m = dimension; m >= 1; --m) {
        if (!(extent[axes[m - 1]] > 0.0)) continue;
        double rho_power = 1.0;
        for (std::size_t i = 0; i < m; ++i) rho_power = rho_power * PATCH_OVERLAP;
        double sum = exact_log(static_cast<double>(patch_size));
        for (std::size_t i = 0; i < m; ++i) sum = sum + exact_log(extent[axes[i]]);
        sum = sum - exact_log(static_cast<double>(count));
        sum = sum - exact_log(UNIT_BALL[m] * rho_power);
        const double candidate = exact_exp(sum / static_cast<double>(m));
        if (m == 1 || candidate <= extent[axes[m - 1]]) {
            spacing = candidate;
            break;
        }
    }
    if (!(spacing > 0.0) || !std::isfinite(spacing)) return Failure{std::string(messages::PATCH_BOX_OVERFLOW)};
    lattice.spacing_ = spacing;

    std::uint64_t nodes = 1;
    for (std::size_t k = 0; k < dimension; ++k) {
        const double intervals = std::ceil(extent[k] / spacing);
        if (!(intervals < static_cast<double>(MAX_LATTICE_NODES)))
            return Failure{"patch_size: the lattice would have more than " + std::to_string(MAX_LATTICE_NODES) +
                           " points"};
        lattice.intervals_[k] = static_cast<std::int64_t>(intervals);
        nodes = nodes * static_cast<std::uint64_t>(lattice.intervals_[k] + 1);
        if (nodes > MAX_LATTICE_NODES)
            return Failure{"patch_size: the lattice would have more than " + std::to_string(MAX_LATTICE_NODES) +
                           " points"};
    }
    lattice.nodes_ = nodes;
    return lattice;
}

LatticeIndices Lattice::indices_of(std::uint64_t node) const noexcept {
    LatticeIndices indices{};
    for (std::size_t k = dimension_; k-- > 0;) {
        const auto along = static_cast<std::uint64_t>(nodes_along(k));
        indices[k] = static_cast<std::int64_t>(node % along);
        node /= along;
    }
    return indices;
}

std::uint64_t Lattice::node_at(const LatticeIndices& indices) const noexcept {
    std::uint64_t node = 0;
    for (std::size_t k = 0; k < dimension_; ++k)
        node = node * static_cast<std::uint64_t>(nodes_along(k)) + static_cast<std::uint64_t>(indices[k]);
    return node;
}

Coordinates Lattice::centre(std::uint64_t node) const noexcept {
    const LatticeIndices indices = indices_of(node);
    Coordinates c{};
    for (std::size_t k = 0; k < dimension_; ++k) c[k] = lower_[k] + (static_cast<double>(indices[k]) * spacing_);
    return c;
}

double Lattice::radius(unsigned growth) const noexcept {
    double r = spacing_ * PATCH_OVERLAP;
    for (unsigned g = 0; g < growth; ++g) r = r * PATCH_GROWTH;
    return r;
}

std::int64_t Lattice::cell_of(double x, std::size_t k, std::int64_t lowest, std::int64_t highest) const noexcept {
    const double j = std::floor((x - lower_[k]) / spacing_);
    // Compared as doubles first: the quotient may be far outside any integer.
    if (!(j > static_cast<double>(lowest))) return lowest;
    if (!(j < static_cast<double>(highest))) return highest;
    return static_cast<std::int64_t>(j);
}

double squared_distance_to_box(std::span<const double> centre, std::span<const double> lower,
                               std::span<const double> upper) noexcept {
    Coordinates nearest{};
    for (std::size_t k = 0; k < centre.size(); ++k) nearest[k] = std::clamp(centre[k], lower[k], upper[k]);
    return squared_distance(centre, std::span<const double>(nearest.data(), centre.size()));
}

}  // namespace pymorvel
