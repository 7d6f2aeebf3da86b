// LU factorisation of separately owned rows, through the blocked in-place factorisation.
#include "linear_algebra/lu.hpp"

#include <string>

#include "linear_algebra/blocked_lu.hpp"
#include "common/panic.hpp"

namespace pymorvel {

SquareMatrix to_square(MatrixView matrix) {
    const std::size_t n = matrix.size();
    SquareMatrix a(n);
    for (std::size_t i = 0; i < n; ++i) {
        // Indices are used in increasing order, so the first one outside a
        // short row is its length.
        if (matrix[i].size() < n) check_index(matrix[i].size(), matrix[i].size());
        std::copy(matrix[i].begin(), matrix[i].begin() + static_cast<std::ptrdiff_t>(n), a.row(i));
    }
    return a;
}

Outcome<LuFactors> lu_decompose(MatrixView matrix, const Execution& execution) {
    SquareMatrix a = to_square(matrix);
    LuFactors factors;
    const std::size_t bad = lu_factor_in_place(a, factors.perm, execution);
    if (bad != NO_ZERO_PIVOT) return Failure{messages::zero_pivot(bad)};
    factors.lu.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) factors.lu.emplace_back(a.row(i), a.row(i) + a.size());
    return factors;
}

}  // namespace pymorvel
