// Solving a square system through its LU factors: forward, then back substitution.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "linear_algebra/lu.hpp"
#include "numeric/values.hpp"
#include "parallel/abort.hpp"

namespace pymorvel {

// V is double (one output) or Vector (several outputs sharing one factorisation).
// Fails with the factorisation's message, or with
// "NaN detected in backward substitution at index i" for the highest i whose
// weight is (or contains) NaN.
template <class V>
Outcome<std::vector<V>> lu_solve(MatrixView matrix, std::span<const V> values,
                                 const Execution& execution = {}) {
    // 1. Factorise.
    Outcome<LuFactors> factored = lu_decompose(matrix, execution);
    if (auto* failure = std::get_if<Failure>(&factored)) return std::move(*failure);
    const LuFactors& f = std::get<LuFactors>(factored);
    const std::size_t n = f.lu.size();
    check_index(0, values.size());
    auto entry = [&](std::size_t i, std::size_t j) {
        check_index(j, f.lu[i].size());
        return f.lu[i][j];
    };

    // 2. Forward substitution, L y = P b. Every product is rounded before it is
    // added, and terms are added in increasing j.
    std::vector<V> y;
    y.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        V acc = zero_like(values[0]);
        for (std::size_t j = 0; j < i; ++j) add_assign(acc, scale(y[j], entry(i, j)));
        check_index(f.perm[i], values.size());
        y.push_back(subtract(values[f.perm[i]], acc));
    }

    // 3. Back substitution, U x = y, from the last row up; the first NaN stops it.
    std::vector<V> x(n, zero_like(y[0]));
    for (std::size_t i = n; i-- > 0;) {
        V acc = zero_like(y[0]);
        for (std::size_t j = i + 1; j < n; ++j) add_assign(acc, scale(x[j], entry(i, j)));
        // A true division by the diagonal, after the difference.
        x[i] = divide(subtract(y[i], acc), entry(i, i));
        if (has_nan(x[i]))
            return Failure{"NaN detected in backward substitution at index " + std::to_string(i)};
    }
    return x;
}

}  // namespace pymorvel
