// The lattice of patch centres over a data set's bounding box: its spacing, nodes and cells, and the weight that blends the patches.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/outcome.hpp"

namespace pymorvel {

// Patches are made for points of at most this many coordinates.
inline constexpr std::size_t MAX_PATCH_DIMENSION = 3;
using Coordinates = std::array<double, MAX_PATCH_DIMENSION>;
// A node's or a cell's indices along each axis.
using LatticeIndices = std::array<std::int64_t, MAX_PATCH_DIMENSION>;

// The patch sizes a caller may ask for. Below the least, patches hold too few
// samples to fit anything but the crudest local model; above the most, one
// patch costs more than a dense fit of that size would be worth.
inline constexpr std::size_t MIN_PATCH_SIZE = 8;
inline constexpr std::size_t MAX_PATCH_SIZE = 10000;
// A patch's first radius in lattice spacings. Balls of this radius around the
// nodes cover every cell (its half-diagonal is at most sqrt(3) / 2 spacings),
// and a cell's centre still lies inside the balls of all its corners.
inline constexpr double PATCH_OVERLAP = 1.0;
// A patch with too few samples (or a rank-deficient polynomial block) grows its
// radius by this factor, at most MAX_PATCH_GROWTH times.
inline constexpr double PATCH_GROWTH = 1.25;
inline constexpr unsigned MAX_PATCH_GROWTH = 4;
// Node numbers are kept in 32 bits where a patch names its lattice neighbours.
inline constexpr std::uint64_t MAX_LATTICE_NODES = 0xFFFFFFFFu;

// The lattice of a data set of `count` samples whose bounding box is [lower,
// upper], for patches of about `patch_size` samples. Everything in it follows
// from these exact quantities through one formula, so a tile of the data set
// told the same quantities builds the same lattice to the bit.
//
// Spacing H: a ball of radius PATCH_OVERLAP * H holds patch_size samples on
// average when the samples fill the box evenly. Axes are taken by extent,
// largest first (ties by axis); H is computed over the m largest,
//   H = exp((ln n + sum ln L_i - ln N - ln(omega_m rho^m)) / m),
// with omega_m the volume of the unit m-ball, for m from the dimension down,
// and the first H no larger than the m-th extent (or that of m = 1) is taken:
// a box thinner than a patch along some axis is a box of fewer dimensions.
// exp and log are the correctly rounded ones. A box of no extent at all has H = 1.
//
// Nodes: lower + i * H along each axis, i = 0 .. C_k with C_k = ceil(L_k / H),
// numbered row-major (the last axis fastest): that is the lattice order.
// Cells: [lower + j * H, lower + (j + 1) * H) for j = 0 .. K_k - 1, K_k =
// max(C_k, 1); queries also use the outer cells j = -1 and j = K_k, which
// reach to infinity.
class Lattice {
public:
    static Outcome<Lattice> make(std::size_t dimension, const Coordinates& lower, const Coordinates& upper,
                                 std::uint64_t count, std::size_t patch_size);

    std::size_t dimension() const noexcept { return dimension_; }
    const Coordinates& lower() const noexcept { return lower_; }
    const Coordinates& upper() const noexcept { return upper_; }
    std::uint64_t count() const noexcept { return count_; }
    std::size_t patch_size() const noexcept { return patch_size_; }
    double spacing() const noexcept { return spacing_; }

    std::uint64_t nodes() const noexcept { return nodes_; }
    // Nodes along axis k: C_k + 1.
    std::int64_t nodes_along(std::size_t k) const noexcept { return intervals_[k] + 1; }
    LatticeIndices indices_of(std::uint64_t node) const noexcept;
    std::uint64_t node_at(const LatticeIndices& indices) const noexcept;
    // lower + i * H, one rounding for the product and one for the sum.
    Coordinates centre(std::uint64_t node) const noexcept;
    // PATCH_OVERLAP * H grown `growth` times by PATCH_GROWTH, one rounding per step.
    double radius(unsigned growth) const noexcept;

    // Inner cells along axis k: K_k.
    std::int64_t cells_along(std::size_t k) const noexcept { return intervals_[k] > 0 ? intervals_[k] : 1; }
    // floor((x - lower_k) / H), clamped to [lowest, highest].
    std::int64_t cell_of(double x, std::size_t k, std::int64_t lowest, std::int64_t highest) const noexcept;

private:
    std::size_t dimension_ = 1;
    Coordinates lower_{}, upper_{};
    std::uint64_t count_ = 0;
    std::size_t patch_size_ = 0;
    double spacing_ = 1.0;
    LatticeIndices intervals_{};
    std::uint64_t nodes_ = 1;
};

// The squared distance from `centre` to the nearest point of the box [lower,
// upper]: each coordinate clamped into the box, then the project's squared
// distance. Zero inside the box.
double squared_distance_to_box(std::span<const double> centre, std::span<const double> lower,
                               std::span<const double> upper) noexcept;

// The blending weight of a patch of squared radius r2 at squared distance s
// from its centre: Wendland's C2 function (1 - t)^4 (4t + 1) of t = sqrt(s / r2),
// and 0 from t = 1 on (so also for every s >= r2).
inline double patch_weight(double s, double r2) noexcept {
    const double t = std::sqrt(s / r2);
    if (!(t < 1.0)) return 0.0;
    const double a = 1.0 - t;
    const double a2 = a * a;
    return (a2 * a2) * ((t * 4.0) + 1.0);
}

// The weight's derivative in coordinate k is this factor times (x_k - c_k):
// d/dx_k (1 - t)^4 (4t + 1) = -20 (1 - t)^3 (x_k - c_k) / r2, which has no
// division by the distance and so holds at the centre too.
inline double patch_weight_slope(double s, double r2) noexcept {
    const double t = std::sqrt(s / r2);
    if (!(t < 1.0)) return 0.0;
    const double a = 1.0 - t;
    return (((a * a) * a) * -20.0) / r2;
}

}  // namespace pymorvel
