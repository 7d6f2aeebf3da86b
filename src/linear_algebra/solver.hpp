// The kernel-system solver: validation, optional row equilibration, LU solve.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "linear_algebra/substitution.hpp"

namespace pymorvel {

// Systems whose infinity norm times 1-norm exceeds this are equilibrated.
inline constexpr double SCALING_THRESHOLD = 100000.0;
// The smallest divisor of a row; an all-zero row stays all zero.
inline constexpr double ROW_SCALE_FLOOR = 2.220446049250313e-16;

template <class V>
Outcome<std::vector<V>> solve(MatrixView matrix, std::span<const V> values,
                              const Execution& execution = {}) {
    // 1. Validate.
    if (matrix.empty() || matrix.size() != values.size())
        return Failure{"Design matrix and RHS must be non-empty and the same length."};
    const std::size_t n = matrix.size();

    // 2. Measure: absolute row sums and column sums, each added in increasing
    // index order. A NaN sum never becomes a norm (the comparison is false).
    std::vector<double> row_sums(n);
    std::vector<double> column_sums(matrix[0].size(), 0.0);
    double row_norm = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Row& row = matrix[i];
        double s = 0.0;
        for (double a : row) s = s + std::fabs(a);
        row_sums[i] = s;
        if (s > row_norm) row_norm = s;
        for (std::size_t j = 0; j < row.size(); ++j) {
            check_index(j, column_sums.size());
            column_sums[j] = column_sums[j] + std::fabs(row[j]);
        }
    }
    double column_norm = 0.0;
    for (double s : column_sums)
        if (s > column_norm) column_norm = s;

    // 3. Well-scaled systems are solved as they are (inclusive bound). A NaN
    // product fails the test and is equilibrated.
    if (row_norm * column_norm <= SCALING_THRESHOLD) return lu_solve(matrix, values, execution);

    // 4. Divide every row and its value by the row's absolute sum. The
    // solution of the scaled system is the solution of the original one.
    DesignMatrix scaled;
    scaled.reserve(n);
    std::vector<V> scaled_values;
    scaled_values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double d = row_sums[i] > ROW_SCALE_FLOOR ? row_sums[i] : ROW_SCALE_FLOOR;
        Row row(matrix[i].size());
        for (std::size_t j = 0; j < row.size(); ++j) row[j] = matrix[i][j] / d;
        scaled.push_back(std::move(row));
        scaled_values.push_back(divide(values[i], d));
    }
    // 5. Weights or message, unchanged.
    return lu_solve(MatrixView(scaled), std::span<const V>(scaled_values), execution);
}

}  // namespace pymorvel
