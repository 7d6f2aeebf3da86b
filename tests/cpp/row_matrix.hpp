// Row-of-vectors matrices, the plain form test cases are written in, and the solver entry points on them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "common/panic.hpp"
#include "rbf/design_matrix.hpp"
#include "linear_algebra/solver.hpp"

namespace pymorvel {

// Each row is its own vector, so a case may also be ragged.
using Row = std::vector<double>;
using DesignMatrix = std::vector<Row>;
using MatrixView = std::span<const Row>;

// Every step on the calling thread, whatever the size.
inline Execution sequential() {
    constexpr std::size_t never = std::numeric_limits<std::size_t>::max();
    return {.thresholds = {.rows = never, .predict = never}};
}

// Every step of several pieces on `pool` once more than `rows_threshold` rows
// lie below its pivot, however little work it has.
inline Execution on_pool(parallel::WorkerPool& pool, std::size_t rows_threshold) {
    return {.pool = &pool, .thresholds = {.rows = rows_threshold, .work = 0, .min_rows = 0, .predict = 0}};
}

// Copies the rows into one square matrix. A row shorter than the number of
// rows panics with the index a row-by-row solver would have read past its end.
inline SquareMatrix to_square(MatrixView matrix) {
    const std::size_t n = matrix.size();
    SquareMatrix a(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (matrix[i].size() < n) check_index(matrix[i].size(), matrix[i].size());
        std::copy(matrix[i].begin(), matrix[i].begin() + static_cast<std::ptrdiff_t>(n), a.row(i));
    }
    return a;
}

inline DesignMatrix rows_of(const SquareMatrix& m) {
    DesignMatrix rows;
    for (std::size_t i = 0; i < m.size(); ++i) rows.emplace_back(m.row(i), m.row(i) + m.size());
    return rows;
}

struct RowFactors {
    DesignMatrix lu;
    std::vector<std::size_t> perm;
};

inline Outcome<RowFactors> lu_decompose(MatrixView matrix, const Execution& execution = {}) {
    Outcome<LuFactors> factors = lu_decompose(to_square(matrix), execution);
    if (auto* failure = std::get_if<Failure>(&factors)) return std::move(*failure);
    LuFactors& f = std::get<LuFactors>(factors);
    return RowFactors{rows_of(f.lu), std::move(f.perm)};
}

template <class V>
Outcome<std::vector<V>> lu_solve(MatrixView matrix, std::span<const V> values, const Execution& execution = {}) {
    return lu_solve(to_square(matrix), values, execution);
}

// A row longer than the first panics, as does one shorter than the row count.
template <class V>
Outcome<std::vector<V>> solve(MatrixView matrix, std::span<const V> values, const Execution& execution = {}) {
    if (matrix.empty() || matrix.size() != values.size()) return Failure{std::string(messages::EMPTY_SYSTEM)};
    for (const Row& row : matrix)
        if (row.size() > matrix[0].size()) check_index(matrix[0].size(), matrix[0].size());
    return solve(to_square(matrix), values, execution);
}

template <class Points>
DesignMatrix design_rows(const Points& points, Kernel kernel, double epsilon) {
    return rows_of(build_design_matrix(points, kernel, epsilon));
}

}  // namespace pymorvel
