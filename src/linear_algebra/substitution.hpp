// Solving a square system through its LU factors: forward, then back substitution.
#pragma once

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "common/panic.hpp"
#include "linear_algebra/lu.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// V is double (one output) or Vector (several outputs sharing one
// factorisation). Each product is rounded before it is added, terms are added
// in increasing index order, and no term allocates. Fails with
// "NaN detected in backward substitution at index i" for the highest i whose
// weight is (or contains) NaN.
template <class V>
Outcome<std::vector<V>> substitute(const LuFactors& factors, std::span<const V> values,
                                   Cancellation* cancellation = nullptr) {
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    check_index(0, values.size());

    // Forward substitution, L y = P b. Accumulators are shaped like the first
    // value, whatever the permutation.
    std::vector<V> y;
    y.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        check_cancellation(cancellation);
        const double* l = lu.row(i);
        V acc = zero_like(values[0]);
        for (std::size_t j = 0; j < i; ++j) add_scaled(acc, y[j], l[j]);
        check_index(factors.perm[i], values.size());
        y.push_back(subtract(values[factors.perm[i]], acc));
    }

    // Back substitution, U x = y, from the last row up; the first NaN stops it.
    std::vector<V> x(n, zero_like(y[0]));
    V acc = zero_like(y[0]);
    for (std::size_t i = n; i-- > 0;) {
        check_cancellation(cancellation);
        const double* u = lu.row(i);
        acc = zero_like(y[0]);
        for (std::size_t j = i + 1; j < n; ++j) add_scaled(acc, x[j], u[j]);
        // A true division by the diagonal, after the difference.
        x[i] = divide(subtract(y[i], acc), u[i]);
        if (has_nan(x[i])) return Failure{messages::nan_in_back_substitution(i)};
    }
    return x;
}

// Factorises the matrix it is given, then substitutes.
template <class V>
Outcome<std::vector<V>> lu_solve(SquareMatrix a, std::span<const V> values, const Execution& execution = {}) {
    Outcome<LuFactors> factors = lu_decompose(std::move(a), execution);
    if (auto* failure = std::get_if<Failure>(&factors)) return std::move(*failure);
    return substitute(std::get<LuFactors>(factors), values, execution.cancellation);
}

}  // namespace pymorvel
