// The design matrix: the kernel between every pair of sample points.
// Folder src/linear_algebra: the dense kernel system, from its matrix to its solution (design
// matrix, equilibration, blocked LU with its update tiles, substitution).
#pragma once

#include <cstddef>

#include "linear_algebra/execution.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "numeric/kernels.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// Entry (i, j) is kernel(floor(|x_i - x_j|^2), epsilon). Points is a vector
// of numbers or a PointSet.
//
// Only the upper triangle is evaluated: the squared distance is symmetric bit
// for bit (a - b is exactly -(b - a), and the squares and their sum in
// component order are then equal), so the mirror image is the same value.
template <class Points>
SquareMatrix build_design_matrix(const Points& points, Kernel kernel, double epsilon, const Execution& execution = {}) {
    SquareMatrix m(points.size());
    dispatch_kernel(kernel.id, [&](auto phi) {
        const std::size_t n = points.size();
        for (std::size_t i = 0; i < n; ++i) {
            check_cancellation(execution.cancellation);
            double* row = m.row(i);
            for (std::size_t j = i; j < n; ++j) row[j] = phi(floor_distance(squared_distance(points[i], points[j])), epsilon);
            for (std::size_t j = 0; j < i; ++j) row[j] = m(j, i);
        }
    });
    return m;
}

}  // namespace pymorvel
