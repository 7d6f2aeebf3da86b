// Picks, once, the build of LLVM libc's exp and log that this processor runs fastest.
#include "numeric/exact_math.hpp"

#if __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#endif

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

bool processor_has_avx512() noexcept {
#if __has_include(<sys/platform/x86.h>)
    return CPU_FEATURE_ACTIVE(AVX512F);
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
#endif
}

}  // namespace

extern const bool exact_math_detail::use_fma = processor_has_fma();
extern const bool exact_math_detail::use_avx512 = exact_math_detail::use_fma && processor_has_avx512();

bool exact_math_runs(ExactMathBuild build) noexcept {
    return build == ExactMathBuild::Baseline || processor_has_fma();
}

void exact_exp_in_place(double* v, std::size_t count) noexcept {
    std::size_t i = 0;
    // Lanes the fast path leaves (bit l for v[first + l]) get the function itself.
    const auto finish = [v](std::size_t first, unsigned left) {
        for (; left != 0; left &= left - 1) {
            const std::size_t lane = first + static_cast<std::size_t>(__builtin_ctz(left));
            v[lane] = exact_exp(v[lane]);
        }
    };
    if (exact_math_detail::use_avx512)
        for (; i + 8 <= count; i += 8) finish(i, pymorvel_llvm_libc_fma::exp_fast_lanes8(v + i));
    if (exact_math_detail::use_fma)
        for (; i + 4 <= count; i += 4) finish(i, pymorvel_llvm_libc_fma::exp_fast_lanes(v + i));
    for (; i < count; ++i) v[i] = exact_exp(v[i]);
}

double exact_exp(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? pymorvel_llvm_libc_fma::exp(x) : pymorvel_llvm_libc::exp(x);
}

double exact_log(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? pymorvel_llvm_libc_fma::log(x) : pymorvel_llvm_libc::log(x);
}

}  // namespace pymorvel
