// The diagonal of a factorised matrix's inverse, and an estimate of its 1-norm condition number.
#pragma once

#include <cstddef>
#include <vector>

#include "linear_algebra/execution.hpp"
#include "linear_algebra/lu.hpp"

namespace pymorvel {

// (A^-1)_kk for k < count, where P A = L U are the factors. Entry k is the k-th
// component of the solution of L U z = P e_k, computed exactly as the
// substitution computes it for that right-hand side (each sum in increasing
// index order), so every entry is the same bits whatever the pool, the thread
// count, the way columns are grouped or the execution's processor context.
// Under a cancellation a stop throws Cancelled.
std::vector<double> inverse_diagonal(const LuFactors& factors, std::size_t count, const Execution& execution = {});

// x <- A^-T x through the factors, each sum in increasing index order.
void solve_transposed(const LuFactors& factors, std::vector<double>& x);

// An estimate of ||A||_1 ||A^-1||_1 (Hager's method with Higham's alternating
// vector, a few substitutions of a fixed sequence), given ||A||_1. It never
// exceeds the true value by more than rounding; +inf when A^-1 overflows or a
// substitution meets NaN.
double condition_estimate(const LuFactors& factors, double norm1);

// Both of the above, the same bits. The estimate is a chain of substitutions
// that one thread must run alone, so it runs on the pool beside the diagonal's
// chunks rather than after them.
struct InverseSummary {
    std::vector<double> diagonal;
    double condition = 0.0;
};
InverseSummary inverse_summary(const LuFactors& factors, std::size_t count, double norm1,
                               const Execution& execution = {});

}  // namespace pymorvel
