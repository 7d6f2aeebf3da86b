// The kernel matrix between all pairs of sample points.
#pragma once

#include <cstddef>
#include <vector>

#include "linear_algebra/matrix.hpp"
#include "numeric/kernels.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// Entry (i, j) is kernel(floor(|x_i - x_j|^2), epsilon), row point first.
template <class X>
DesignMatrix build_design_matrix(const std::vector<X>& points, KernelFn kernel, double epsilon) {
    const std::size_t n = points.size();
    DesignMatrix matrix;
    matrix.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        Row row(n);
        for (std::size_t j = 0; j < n; ++j)
            row[j] = kernel(floor_distance(squared_distance(points[i], points[j])), epsilon);
        matrix.push_back(std::move(row));
    }
    return matrix;
}

}  // namespace pymorvel
