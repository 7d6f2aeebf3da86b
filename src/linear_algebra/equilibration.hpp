// Row equilibration of a system: its absolute row and column sums, the test that decides it, and the division of its rows.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "linear_algebra/execution.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// Systems whose infinity norm times 1-norm exceeds this are equilibrated.
inline constexpr double SCALING_THRESHOLD = 100000.0;
// The smallest divisor of a row; an all-zero row stays all zero.
inline constexpr double ROW_SCALE_FLOOR = 2.220446049250313e-16;

// The absolute sums of a matrix's rows and of its columns.
struct AbsoluteSums {
    std::vector<double> rows;
    std::vector<double> columns;
};

// Each sum adds its entries in increasing index order. A NaN sum never
// becomes a norm (the comparison is false).
inline AbsoluteSums absolute_sums(const SquareMatrix& a) {
    const std::size_t n = a.size();
    std::vector<double> row_sums(n);
    std::vector<double> column_sums(n, 0.0);
    // Four rows side by side: their sums are four independent chains, where
    // one row alone would wait for each addition before the next. Each column
    // sum still takes the rows in order.
    constexpr std::size_t SIDE_BY_SIDE = 4;
    std::size_t i = 0;
    for (; i + SIDE_BY_SIDE <= n; i += SIDE_BY_SIDE) {
        const double *r0 = a.row(i), *r1 = a.row(i + 1), *r2 = a.row(i + 2), *r3 = a.row(i + 3);
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            const double m0 = std::fabs(r0[j]), m1 = std::fabs(r1[j]), m2 = std::fabs(r2[j]), m3 = std::fabs(r3[j]);
            s0 = s0 + m0, s1 = s1 + m1, s2 = s2 + m2, s3 = s3 + m3;
            column_sums[j] = (((column_sums[j] + m0) + m1) + m2) + m3;
        }
        row_sums[i] = s0, row_sums[i + 1] = s1, row_sums[i + 2] = s2, row_sums[i + 3] = s3;
    }
    for (; i < n; ++i) {
        const double* row = a.row(i);
        double s = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            const double magnitude = std::fabs(row[j]);
            s = s + magnitude;
            column_sums[j] = column_sums[j] + magnitude;
        }
        row_sums[i] = s;
    }
    return {std::move(row_sums), std::move(column_sums)};
}

// Whether the product of the infinity norm and the 1-norm passes the
// threshold (exclusive). A NaN product passes too.
inline bool needs_equilibration(const AbsoluteSums& sums) {
    double row_norm = 0.0;
    for (double s : sums.rows)
        if (s > row_norm) row_norm = s;
    double column_norm = 0.0;
    for (double s : sums.columns)
        if (s > column_norm) column_norm = s;
    return !(row_norm * column_norm <= SCALING_THRESHOLD);
}

// Divides every row of a and its value by the row's absolute sum (a true
// division, floored at ROW_SCALE_FLOOR); returns the divided values. The
// scaled system has the same solution, so no back-transformation follows.
template <class V>
std::vector<V> equilibrate(SquareMatrix& a, std::vector<double>& row_sums, std::span<const V> values,
                           const Execution& execution) {
    const std::size_t n = a.size();
    std::vector<V> scaled_values;
    scaled_values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        row_sums[i] = row_sums[i] > ROW_SCALE_FLOOR ? row_sums[i] : ROW_SCALE_FLOOR;
        scaled_values.push_back(divide(values[i], row_sums[i]));
    }
    // The elimination's vectorised division: the same quotient, entry by
    // entry. Rows are independent, so large systems divide theirs on the pool.
    const auto divide_row = execution.context->column_steps.divide;
    auto divide_rows = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end && !stop_requested(execution); ++i) divide_row(a.row(i), row_sums[i], n);
    };
    if (whole_matrix_on_pool(execution, n)) {
        constexpr std::size_t ROWS_PER_BLOCK = 32;
        parallel_for(execution, n, ROWS_PER_BLOCK, divide_rows);
    } else {
        divide_rows(0, n);
    }
    return scaled_values;
}

}  // namespace pymorvel
