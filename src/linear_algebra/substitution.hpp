// Solving a square system through its LU factors: forward, then back substitution.
#pragma once

#include <cstddef>
#include <span>
#include <type_traits>
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
    std::size_t i = 0;
    if constexpr (std::is_same_v<V, double>) {
        // One row's sum is a chain of additions, each waiting for the one
        // before. Rows i .. i+3 share the terms left of i, so their four chains
        // run side by side there; each row then adds the terms that needed the
        // rows just above it. Every row still adds its terms in index order.
        for (; i + 4 <= n; i += 4) {
            const double *l0 = lu.row(i), *l1 = lu.row(i + 1), *l2 = lu.row(i + 2), *l3 = lu.row(i + 3);
            double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
            for (std::size_t j = 0; j < i; ++j) {
                const double yj = y[j];
                add_scaled(a0, yj, l0[j]), add_scaled(a1, yj, l1[j]);
                add_scaled(a2, yj, l2[j]), add_scaled(a3, yj, l3[j]);
            }
            double* acc[4] = {&a0, &a1, &a2, &a3};
            const double* row[4] = {l0, l1, l2, l3};
            for (std::size_t r = 0; r < 4; ++r) {
                check_cancellation(cancellation);
                for (std::size_t j = i; j < i + r; ++j) add_scaled(*acc[r], y[j], row[r][j]);
                check_index(factors.perm[i + r], values.size());
                y.push_back(subtract(values[factors.perm[i + r]], *acc[r]));
            }
        }
    }
    for (; i < n; ++i) {
        check_cancellation(cancellation);
        const double* l = lu.row(i);
        V acc = zero_like(values[0]);
        for (std::size_t j = 0; j < i; ++j) add_scaled(acc, y[j], l[j]);
        check_index(factors.perm[i], values.size());
        y.push_back(subtract(values[factors.perm[i]], acc));
    }

    // Back substitution, U x = y, from the last row up; the first NaN stops it.
    std::vector<V> x(n, zero_like(y[0]));
    // Here no two rows can overlap: a row's first term is the weight of the
    // row just below it.
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
