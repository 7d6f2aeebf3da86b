// The design matrix: the kernel matrix between every pair of sample points, with the opt-in smoothing and polynomial rows and columns.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "linear_algebra/execution.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "numeric/kernel_batch.hpp"
#include "numeric/kernels.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

namespace design_matrix_detail {

// Rows per block: a block's square tiles are written to its own rows and,
// mirrored, to whole cache lines of the rows below, a page of each at a time.
inline constexpr std::size_t BLOCK = 64;
static_assert(BLOCK % BATCH_LANES == 0);

// Rows [i0, i0 + BLOCK) from their diagonal on, and their mirror images in
// the columns below the diagonal, one BLOCK x BLOCK tile at a time.
template <class Points>
void fill_row_block(SquareMatrix& m, const Points& points, Kernel kernel, double epsilon, std::size_t i0,
                    const ProcessorContext& context) {
    const std::size_t n = points.size();
    const std::size_t i1 = std::min(i0 + BLOCK, n);
    const std::size_t groups = (i1 - i0 + BATCH_LANES - 1) / BATCH_LANES;
    // Value (i, j) of the batch at [(i - i0) / BATCH_LANES][(j - j0) * BATCH_LANES + (i - i0) % BATCH_LANES].
    double phi[BLOCK / BATCH_LANES][BLOCK * BATCH_LANES];
    const auto value = [&](std::size_t i, std::size_t j, std::size_t j0) {
        return phi[(i - i0) / BATCH_LANES][(j - j0) * BATCH_LANES + (i - i0) % BATCH_LANES];
    };
    for (std::size_t j0 = i0; j0 < n; j0 += BLOCK) {
        const std::size_t j1 = std::min(j0 + BLOCK, n);
        for (std::size_t g = 0; g < groups; ++g) {
            const std::size_t first = i0 + g * BATCH_LANES;
            kernel_batch(context, kernel, epsilon, points, [&](std::size_t l) { return points[first + l]; },
                        std::min(BATCH_LANES, i1 - first), j0, j1, phi[g]);
        }
        for (std::size_t i = i0; i < i1; ++i) {
            double* row = m.row(i);
            for (std::size_t j = std::max(j0, i); j < j1; ++j) row[j] = value(i, j, j0);
        }
        for (std::size_t j = j0; j < j1; ++j) {
            double* row = m.row(j);
            for (std::size_t i = i0; i < std::min(i1, j); ++i) row[i] = value(i, j, j0);
        }
    }
}

}  // namespace design_matrix_detail

// Fills the leading points.size() square of m: entry (i, j) is
// kernel(floor(|x_i - x_j|^2), epsilon). Points is a vector of numbers or a
// PointSet.
//
// Only the upper triangle is evaluated: the squared distance is symmetric bit
// for bit (a - b is exactly -(b - a), and the squares and their sum in
// component order are then equal), so the mirror image is the same value.
// Blocks of rows are filled independently, each with its mirror columns, so
// large matrices are filled on the pool; the entries do not depend on it.
template <class Points>
void fill_kernel_matrix(SquareMatrix& m, const Points& points, Kernel kernel, double epsilon,
                       const Execution& execution) {
    const std::size_t n = points.size();
    const ProcessorContext& context = *execution.context;
    // Block b and block blocks - 1 - b together hold about as many entries as
    // any other such pair, so a contiguous range of pairs is a fair share.
    using design_matrix_detail::BLOCK;
    const std::size_t blocks = (n + BLOCK - 1) / BLOCK;
    const std::size_t pairs = (blocks + 1) / 2;
    auto run = [&](std::size_t begin, std::size_t end) {
        for (std::size_t b = begin; b < end && !stop_requested(execution); ++b) {
            design_matrix_detail::fill_row_block(m, points, kernel, epsilon, b * BLOCK, context);
            if (blocks - 1 - b != b)
                design_matrix_detail::fill_row_block(m, points, kernel, epsilon, (blocks - 1 - b) * BLOCK, context);
        }
    };
    run_blocks(execution, pairs, 1, pairs > 1 && whole_matrix_on_pool(execution, n), run);
}

// Vector points kept one vector each are laid out as a PointSet first.
inline void fill_kernel_matrix(SquareMatrix& m, const std::vector<Vector>& points, Kernel kernel, double epsilon,
                              const Execution& execution) {
    fill_kernel_matrix(m, PointSet(points), kernel, epsilon, execution);
}

template <class Points>
SquareMatrix build_design_matrix(const Points& points, Kernel kernel, double epsilon, const Execution& execution = {}) {
    SquareMatrix m(points.size());
    fill_kernel_matrix(m, points, kernel, epsilon, execution);
    return m;
}

// The design matrix of a smoothed fit with a polynomial term:
//
//   [ K + diag(smoothing)   P ]
//   [ P^T                   0 ]
//
// K is the kernel matrix above; smoothing[i] is added to K(i, i) (one
// rounding; empty means nothing is added); P is the n x monomials polynomial
// block, row-major (no monomials: no border).
template <class Points>
SquareMatrix build_design_matrix(const Points& points, Kernel kernel, double epsilon,
                                 std::span<const double> smoothing, std::span<const double> polynomial_block,
                                 std::size_t monomials, const Execution& execution = {}) {
    const std::size_t n = points.size();
    SquareMatrix m(n + monomials);
    fill_kernel_matrix(m, points, kernel, epsilon, execution);
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
