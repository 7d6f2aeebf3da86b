// exp over runs of arguments, one at a time or in lanes, and each build of LLVM libc's exp and log on its own.
#include "exact_math/exact_math.hpp"

namespace pymorvel {

void exact_exp_one_by_one(double* v, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) v[i] = exact_exp(v[i]);
}

#if defined(__x86_64__)
namespace {

// Eight lanes at a time if `eight`, then four, then one by one. Lanes the fast
// path leaves (bit l for v[first + l]) get the function itself.
void exp_from(double* v, std::size_t count, bool eight) noexcept {
    std::size_t i = 0;
    const auto finish = [v](std::size_t first, unsigned left) {
        for (; left != 0; left &= left - 1) {
            const std::size_t lane = first + static_cast<std::size_t>(__builtin_ctz(left));
            v[lane] = exact_exp(v[lane]);
        }
    };
    if (eight)
        for (; i + 8 <= count; i += 8) finish(i, pymorvel_llvm_libc_fma::exp_fast_lanes8(v + i));
    for (; i + 4 <= count; i += 4) finish(i, pymorvel_llvm_libc_fma::exp_fast_lanes(v + i));
    for (; i < count; ++i) v[i] = exact_exp(v[i]);
}

}  // namespace

void exact_exp_lanes4(double* v, std::size_t count) noexcept { exp_from(v, count, false); }
void exact_exp_lanes8(double* v, std::size_t count) noexcept { exp_from(v, count, true); }

double exact_exp(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? pymorvel_llvm_libc_fma::exp(x) : pymorvel_llvm_libc::exp(x);
}

double exact_log(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? pymorvel_llvm_libc_fma::log(x) : pymorvel_llvm_libc::log(x);
}
#else
double exact_exp(ExactMathBuild, double x) noexcept { return pymorvel_llvm_libc::exp(x); }

double exact_log(ExactMathBuild, double x) noexcept { return pymorvel_llvm_libc::log(x); }
#endif

}  // namespace pymorvel
