// Correctly rounded exp and log for the kernels, so that their bits depend on no processor or C library.
#pragma once

namespace pymorvel {

// Each returns the double nearest the exact value (ties to even) for every
// input, with IEEE results for NaN, infinities and zeros. One right answer is
// why the kernels give the same bits everywhere: the C library's exp and log
// take different paths on different processors and disagree in the last bit.
// The process's own exp and log are not replaced.
double exact_exp(double x) noexcept;
double exact_log(double x) noexcept;

// The library is built twice: for any x86-64, and for processors with FMA and
// AVX2. exact_exp and exact_log take the second where the C library reports
// both features usable (so its glibc.cpu.hwcaps tunable masks them here too).
// The two builds must agree bit for bit; the tests hold each to exact values.
enum class ExactMathBuild { Baseline, Fma };
bool exact_math_runs(ExactMathBuild build) noexcept;
double exact_exp(ExactMathBuild build, double x) noexcept;
double exact_log(ExactMathBuild build, double x) noexcept;

}  // namespace pymorvel
