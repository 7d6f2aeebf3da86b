// The design matrix: the kernel between every pair of sample points, and the system with the opt-in terms around it.
// Folder src/linear_algebra: the dense kernel system, from its matrix to its solution (design
// matrix, equilibration, blocked LU with its update tiles, substitution).
#pragma once

#include <algorithm>
#include <algorithm>
#include <cstddef>
#include <span>

#include "linear_algebra/execution.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "numeric/distances.hpp"
#include "numeric/distances.hpp"
#include "numeric/kernels.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// Fills the leading points.size() square of m: entry (i, j) is
// kernel(floor(|x_i - x_j|^2), epsilon). Points is a vector of numbers or a
// PointSet.
//
// Only the upper triangle is evaluated: the squared distance is symmetric bit
// for bit (a - b is exactly -(b - a), and the squares and their sum in
// component order are then equal), so the mirror image is the same value.
template <class Points>
void fill_kernel_block(SquareMatrix& m, const Points& points, Kernel kernel, double epsilon,
                       const Execution& execution) {
    dispatch_kernel(kernel.id, [&](auto phi) {
        const std::size_t n = points.size();
        // Each row takes two passes, distances then kernels, with the same
        // roundings as one loop: the kernel's exp or log calls then follow
        // one another with nothing in between to wait for.
        for (std::size_t i = 0; i < n; ++i) {
            check_cancellation(execution.cancellation);
            double* row = m.row(i);
            floored_distances(points[i], points, i, row);
            for (std::size_t j = i; j < n; ++j) row[j] = phi(row[j], epsilon);
        }
        // The mirror image is copied tile by tile, so that its column reads stay in cache.
        constexpr std::size_t TILE = 32;
        for (std::size_t i0 = 0; i0 < n; i0 += TILE)
            for (std::size_t j0 = 0; j0 <= i0; j0 += TILE)
                for (std::size_t i = i0; i < std::min(i0 + TILE, n); ++i)
                    for (std::size_t j = j0; j < std::min(j0 + TILE, i); ++j) m(i, j) = m(j, i);
    });
}

template <class Points>
SquareMatrix build_design_matrix(const Points& points, Kernel kernel, double epsilon, const Execution& execution = {}) {
    SquareMatrix m(points.size());
    fill_kernel_block(m, points, kernel, epsilon, execution);
    return m;
}

// The saddle-point system of a smoothed fit with a polynomial term:
//
//   [ K + diag(smoothing)   P ]
//   [ P^T                   0 ]
//
// K is the kernel block above; smoothing[i] is added to K(i, i) (one
// rounding; empty means nothing is added); P is the n x monomials polynomial
// block, row-major (no monomials: no border).
template <class Points>
SquareMatrix build_design_matrix(const Points& points, Kernel kernel, double epsilon,
                                 std::span<const double> smoothing, std::span<const double> polynomial_block,
                                 std::size_t monomials, const Execution& execution = {}) {
    const std::size_t n = points.size();
    SquareMatrix m(n + monomials);
    fill_kernel_block(m, points, kernel, epsilon, execution);
    for (std::size_t i = 0; i < smoothing.size(); ++i) m(i, i) = m(i, i) + smoothing[i];
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t q = 0; q < monomials; ++q) {
            m(i, n + q) = polynomial_block[i * monomials + q];
            m(n + q, i) = polynomial_block[i * monomials + q];
        }
    for (std::size_t q = 0; q < monomials; ++q)
        for (std::size_t r = 0; r < monomials; ++r) m(n + q, n + r) = 0.0;
    return m;
}

}  // namespace pymorvel
