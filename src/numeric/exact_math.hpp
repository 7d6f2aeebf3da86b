// Correctly rounded exp and log for the kernels, so that their bits depend on no processor or C library.
#pragma once

#include <cstddef>

#include "numeric/processor_context.hpp"

// LLVM libc's exp and log (third_party/llvm-libc), which CMake builds twice
// into these namespaces (its target names): for any x86-64, and for processors
// with FMA and AVX2. Hidden: nothing of them leaves the module, and they do
// not replace the C library's exp and log, which stay the process's own.
namespace [[gnu::visibility("hidden")]] pymorvel_llvm_libc {
double exp(double x);
double log(double x);
}  // namespace pymorvel_llvm_libc
namespace [[gnu::visibility("hidden")]] pymorvel_llvm_libc_fma {
double exp(double x);
double log(double x);
// That exp's fast path on v[0..3] (numeric/exact_exp_lanes.cpp): replaces each
// argument it settles by its exp and returns the lanes it left (bit i for v[i]).
unsigned exp_fast_lanes(double* v) noexcept;
// The same on v[0..7]; needs AVX-512F besides.
unsigned exp_fast_lanes8(double* v) noexcept;
}  // namespace pymorvel_llvm_libc_fma

namespace pymorvel {

namespace exact_math_detail {
// At or below this (log 2^-1075, rounded down) the correctly rounded exp is
// +0. The library gets there too, but only after raising the underflow flag
// through the x87 environment, which costs more than the rest of exp, and
// far-apart points give Gaussian kernels such arguments all the time. Nothing
// in the module reads errno or the flags.
inline constexpr double EXP_IS_ZERO = -0x1.74910d52d3052p+9;
}  // namespace exact_math_detail

// Each returns the double nearest the exact value (ties to even) for every
// input, with IEEE results for NaN, infinities and zeros. One right answer is
// why the kernels give the same bits everywhere: the C library's exp and log
// take different paths on different processors and disagree in the last bit.
// Inline, so that a kernel loop calls the library directly.
inline double exact_exp(double x) noexcept {
    if (x <= exact_math_detail::EXP_IS_ZERO) return 0.0;
    return processor_context().fma_math ? pymorvel_llvm_libc_fma::exp(x) : pymorvel_llvm_libc::exp(x);
}

inline double exact_log(double x) noexcept {
    return processor_context().fma_math ? pymorvel_llvm_libc_fma::log(x) : pymorvel_llvm_libc::log(x);
}

// The ExpLanes of the processor contexts: v[i] = exact_exp(v[i]) for i <
// count, the same bits from each. One at a time runs anywhere; four at a time
// needs FMA and AVX2, eight at a time AVX-512F besides.
void exact_exp_one_by_one(double* v, std::size_t count) noexcept;
void exact_exp_lanes4(double* v, std::size_t count) noexcept;
void exact_exp_lanes8(double* v, std::size_t count) noexcept;

// Each build on its own, without the shortcut above: the two must agree bit
// for bit, and the tests hold each to exact values. Fma needs FMA and AVX2.
enum class ExactMathBuild { Baseline, Fma };
double exact_exp(ExactMathBuild build, double x) noexcept;
double exact_log(ExactMathBuild build, double x) noexcept;

}  // namespace pymorvel
