// The solver's steps with their factors kept: what leave-one-out residuals and condition estimates are read from.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "linear_algebra/equilibration.hpp"
#include "linear_algebra/substitution.hpp"

namespace pymorvel {

template <class V>
struct FactoredSolution {
    // The factors of D^-1 A, where D holds the row divisors (none when the
    // system was solved as it was).
    LuFactors factors;
    std::vector<double> row_divisors;
    // ||D^-1 A||_1, of the matrix that was factorised.
    double norm1 = 0.0;
    std::vector<V> solution;
};

// solve()'s steps in its order, on the same matrix and the same execution, so
// the solution is the same bits as solve()'s; the factors and divisors are
// kept rather than dropped.
template <class V>
Outcome<FactoredSolution<V>> solve_keeping_factors(SquareMatrix a, std::span<const V> values,
                                                   const Execution& execution = {}) {
    const std::size_t n = a.size();
    if (n == 0 || n != values.size()) return Failure{std::string(messages::EMPTY_SYSTEM)};
    AbsoluteSums sums = absolute_sums(a);
    FactoredSolution<V> out;
    std::vector<V> scaled_values;
    if (needs_equilibration(sums)) {
        scaled_values = equilibrate(a, sums.rows, values, execution);
        check_cancellation(execution.cancellation);
        out.row_divisors = std::move(sums.rows);
        sums = absolute_sums(a);
        values = std::span<const V>(scaled_values);
    }
    for (double s : sums.columns) out.norm1 = std::max(out.norm1, s);
    Outcome<LuFactors> factors = lu_decompose(std::move(a), execution);
    if (auto* failure = std::get_if<Failure>(&factors)) return std::move(*failure);
    out.factors = std::get<LuFactors>(std::move(factors));
    Outcome<std::vector<V>> solution = substitute(out.factors, values, execution.cancellation);
    if (auto* failure = std::get_if<Failure>(&solution)) return std::move(*failure);
    out.solution = std::get<std::vector<V>>(std::move(solution));
    return out;
}

}  // namespace pymorvel
