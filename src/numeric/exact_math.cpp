// Picks, once, the build of LLVM libc's exp and log that this processor runs fastest.
#include "numeric/exact_math.hpp"

#if __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#endif

// The library's own headers declare these for one namespace per translation
// unit, so both builds are declared here; CMake names the namespaces.
namespace [[gnu::visibility("hidden")]] PYMORVEL_LIBC_BASELINE {
double exp(double x);
double log(double x);
}  // namespace PYMORVEL_LIBC_BASELINE
namespace [[gnu::visibility("hidden")]] PYMORVEL_LIBC_FMA {
double exp(double x);
double log(double x);
}  // namespace PYMORVEL_LIBC_FMA

namespace pymorvel {
namespace {

bool processor_has_fma() noexcept {
#if __has_include(<sys/platform/x86.h>)
    // "Active" is what the C library itself will use: present, enabled by the
    // operating system, and not masked by GLIBC_TUNABLES.
    return CPU_FEATURE_ACTIVE(FMA) && CPU_FEATURE_ACTIVE(AVX2);
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2");
#endif
}

// Read on every call, so it is a plain flag. Before it is set, during static
// initialisation, the baseline build answers: the same bits, a little slower.
const bool use_fma = processor_has_fma();

}  // namespace

// At or below this (log 2^-1075, rounded down to a double) the correctly
// rounded exp is +0. The library gets there too, but only after raising the
// underflow flag through the x87 environment, which costs more than the rest
// of exp; far-apart points give Gaussian kernels such arguments all the time.
// Nothing in the module reads errno or the flags.
constexpr double EXP_IS_ZERO = -0x1.74910d52d3052p+9;

double exact_exp(double x) noexcept {
    if (x <= EXP_IS_ZERO) return 0.0;
    return use_fma ? PYMORVEL_LIBC_FMA::exp(x) : PYMORVEL_LIBC_BASELINE::exp(x);
}
double exact_log(double x) noexcept { return use_fma ? PYMORVEL_LIBC_FMA::log(x) : PYMORVEL_LIBC_BASELINE::log(x); }

bool exact_math_runs(ExactMathBuild build) noexcept {
    return build == ExactMathBuild::Baseline || processor_has_fma();
}

double exact_exp(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? PYMORVEL_LIBC_FMA::exp(x) : PYMORVEL_LIBC_BASELINE::exp(x);
}

double exact_log(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? PYMORVEL_LIBC_FMA::log(x) : PYMORVEL_LIBC_BASELINE::log(x);
}

}  // namespace pymorvel
