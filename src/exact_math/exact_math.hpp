// Correctly rounded exp and log for the kernels, so that their bits depend on no processor or C library.
#pragma once

#include <cstddef>

#include "system/processor.hpp"

// LLVM libc's exp and log (third_party/llvm-libc), which CMake builds into
// these namespaces (its target names): on x86-64 twice, for any x86-64 and for
// processors with FMA and AVX2; on aarch64 once, the first alone. Hidden: nothing of them leaves the module, and they do
// not replace the C library's exp and log, which stay the process's own.
namespace [[gnu::visibility("hidden")]] pymorvel_llvm_libc {
double exp(double x);
double log(double x);
}  // namespace pymorvel_llvm_libc
#if defined(__x86_64__)
namespace [[gnu::visibility("hidden")]] pymorvel_llvm_libc_fma {
double exp(double x);
double log(double x);
// That exp's fast path on v[0..3] (exact_exp_lanes.cpp): replaces each
// argument it settles by its exp and returns the lanes it left (bit i for v[i]).
unsigned exp_fast_lanes(double* v) noexcept;
// The same on v[0..7]; needs AVX-512F besides.
unsigned exp_fast_lanes8(double* v) noexcept;
}  // namespace pymorvel_llvm_libc_fma
#endif

namespace pymorvel {

namespace exact_math_detail {
// At or below this (log 2^-1075, rounded down) the correctly rounded exp is
// +0. The library gets there too, but only after raising the underflow flag
// through the x87 environment, which costs more than the rest of exp, and
// far-apart points give Gaussian kernels such arguments all the time. Nothing
// in the module reads errno or the flags.
inline constexpr double EXP_IS_ZERO = -0x1.74910d52d3052p+9;
}  // namespace exact_math_detail

// Whether a processor with these features runs LLVM libc's FMA build (it is
// compiled for FMA and AVX2, and exists on x86-64 alone). The processor
// context reports the same choice.
constexpr bool fma_math_runs([[maybe_unused]] const system::ProcessorFeatures& features) noexcept {
#if defined(__x86_64__)
    return features.avx2 && features.fma;
#else
    return false;
#endif
}

// Each returns the double nearest the exact value (ties to even) for every
// input, with IEEE results for NaN, infinities and zeros. One right answer is
// why the kernels give the same bits everywhere: the C library's exp and log
// take different paths on different processors and disagree in the last bit.
// Inline, so that a kernel loop calls the library directly.
#if defined(__x86_64__)
namespace exact_math_detail {
// Chosen during static initialisation, without a guard to test on every call:
// exact_exp reads it for each argument.
inline const bool FMA_MATH = fma_math_runs(system::processor_features());
}  // namespace exact_math_detail

inline double exact_exp(double x) noexcept {
    if (x <= exact_math_detail::EXP_IS_ZERO) return 0.0;
    return exact_math_detail::FMA_MATH ? pymorvel_llvm_libc_fma::exp(x) : pymorvel_llvm_libc::exp(x);
}

inline double exact_log(double x) noexcept {
    return exact_math_detail::FMA_MATH ? pymorvel_llvm_libc_fma::log(x) : pymorvel_llvm_libc::log(x);
}
#else
inline double exact_exp(double x) noexcept {
    if (x <= exact_math_detail::EXP_IS_ZERO) return 0.0;
    return pymorvel_llvm_libc::exp(x);
}

inline double exact_log(double x) noexcept { return pymorvel_llvm_libc::log(x); }
#endif

// The ExpLanes of the processor contexts: v[i] = exact_exp(v[i]) for i <
// count, the same bits from each. One at a time runs anywhere; four at a time
// needs FMA and AVX2, eight at a time AVX-512F besides.
void exact_exp_one_by_one(double* v, std::size_t count) noexcept;
#if defined(__x86_64__)
void exact_exp_lanes4(double* v, std::size_t count) noexcept;
void exact_exp_lanes8(double* v, std::size_t count) noexcept;
#endif

// Each build on its own, without the shortcut above: the two must agree bit
// for bit, and the tests hold each to exact values. Fma needs FMA and AVX2,
// and exists on x86-64 alone.
#if defined(__x86_64__)
enum class ExactMathBuild { Baseline, Fma };
#else
enum class ExactMathBuild { Baseline };
#endif
double exact_exp(ExactMathBuild build, double x) noexcept;
double exact_log(ExactMathBuild build, double x) noexcept;

}  // namespace pymorvel
