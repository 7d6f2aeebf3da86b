// The kernel matrix between all pairs of sample points.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "linear_algebra/matrix.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "numeric/distances.hpp"
#include "numeric/kernels.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

namespace detail {

// Only the upper triangle is evaluated: the squared distance is symmetric bit
// for bit (a - b is exactly -(b - a), and the squares and their sum in
// component order are then equal), so the mirror image is the same value.
// Each row takes two passes, distances then kernels, with the same roundings
// as one loop: the kernel's exp or log calls then follow one another with
// nothing in between to wait for. The mirror image is copied tile by tile,
// so that its column reads stay in cache.
template <auto Kernel, class Points>
void fill_kernel_matrix(SquareMatrix& m, const Points& points, double epsilon) {
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i) {
        double* row = m.row(i);
        floored_distances(points[i], points, i, row);
        for (std::size_t j = i; j < n; ++j) row[j] = Kernel(row[j], epsilon);
    }
    constexpr std::size_t TILE = 32;
    for (std::size_t i0 = 0; i0 < n; i0 += TILE)
        for (std::size_t j0 = 0; j0 <= i0; j0 += TILE)
            for (std::size_t i = i0; i < std::min(i0 + TILE, n); ++i)
                for (std::size_t j = j0; j < std::min(j0 + TILE, i); ++j) m(i, j) = m(j, i);
}

}  // namespace detail

// Entry (i, j) is kernel(floor(|x_i - x_j|^2), epsilon). The six kernels are
// resolved at compile time so that no entry pays for an indirect call.
// Points is a vector of numbers, a vector of vectors or a PointSet.
template <class Points>
SquareMatrix build_kernel_matrix(const Points& points, KernelFn kernel, double epsilon) {
    SquareMatrix m(points.size());
    if (kernel == &gaussian) detail::fill_kernel_matrix<gaussian>(m, points, epsilon);
    else if (kernel == &multiquadric) detail::fill_kernel_matrix<multiquadric>(m, points, epsilon);
    else if (kernel == &inverse_multiquadratic) detail::fill_kernel_matrix<inverse_multiquadratic>(m, points, epsilon);
    else if (kernel == &thin_plate_spline) detail::fill_kernel_matrix<thin_plate_spline>(m, points, epsilon);
    else if (kernel == &linear) detail::fill_kernel_matrix<linear>(m, points, epsilon);
    else if (kernel == &cubic) detail::fill_kernel_matrix<cubic>(m, points, epsilon);
    else {
        const std::size_t n = points.size();
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                m(i, j) = kernel(floor_distance(squared_distance(points[i], points[j])), epsilon);
    }
    return m;
}

// The same matrix as separately owned rows.
template <class X>
DesignMatrix build_design_matrix(const std::vector<X>& points, KernelFn kernel, double epsilon) {
    const SquareMatrix m = build_kernel_matrix(points, kernel, epsilon);
    DesignMatrix rows;
    rows.reserve(m.size());
    for (std::size_t i = 0; i < m.size(); ++i) rows.emplace_back(m.row(i), m.row(i) + m.size());
    return rows;
}

}  // namespace pymorvel
