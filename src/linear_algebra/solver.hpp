// Solving a design matrix: validation, row equilibration where it is badly scaled, the LU solve.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "linear_algebra/equilibration.hpp"
#include "linear_algebra/substitution.hpp"

namespace pymorvel {

// Solves a x = values. The caller hands over a matrix it no longer needs: it
// is equilibrated and factorised where it lies, so a solve makes no copy.
template <class V>
Outcome<std::vector<V>> solve(SquareMatrix a, std::span<const V> values, const Execution& execution = {}) {
    const std::size_t n = a.size();
    if (n == 0 || n != values.size()) return Failure{std::string(messages::EMPTY_SYSTEM)};
    AbsoluteSums sums = absolute_sums(a);
    // Well-scaled systems are solved as they are (inclusive bound).
    if (!needs_equilibration(sums)) return lu_solve(std::move(a), values, execution);
    const std::vector<V> scaled_values = equilibrate(a, sums.rows, values, execution);
    check_cancellation(execution.cancellation);
    // Weights or message, unchanged.
    return lu_solve(std::move(a), std::span<const V>(scaled_values), execution);
}

}  // namespace pymorvel
