// exp over runs of arguments, one at a time or in lanes, and each build of LLVM libc's exp and log on its own.
#include "numeric/exact_math.hpp"

namespace pymorvel {

namespace {

// The FMA build's exp, with exact_exp's shortcut: the lanes run only where it does.
double fma_exp(double x) noexcept {
    return x <= exact_math_detail::EXP_IS_ZERO ? 0.0 : pymorvel_llvm_libc_fma::exp(x);
}

// Lanes the fast path left (bit l for v[first + l]) get the function itself.
void finish(double* v, std::size_t first, unsigned left) noexcept {
    for (; left != 0; left &= left - 1) {
        const std::size_t lane = first + static_cast<std::size_t>(__builtin_ctz(left));
        v[lane] = fma_exp(v[lane]);
    }
}

// From v[i] on: four at a time, then one by one.
void lanes4_from(double* v, std::size_t i, std::size_t count) noexcept {
    for (; i + 4 <= count; i += 4) finish(v, i, pymorvel_llvm_libc_fma::exp_fast_lanes(v + i));
    for (; i < count; ++i) v[i] = fma_exp(v[i]);
}

}  // namespace

void exact_exp_one_by_one(double* v, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) v[i] = exact_exp(v[i]);
}

void exact_exp_lanes4(double* v, std::size_t count) noexcept { lanes4_from(v, 0, count); }

void exact_exp_lanes8(double* v, std::size_t count) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) finish(v, i, pymorvel_llvm_libc_fma::exp_fast_lanes8(v + i));
    lanes4_from(v, i, count);
}

double exact_exp(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? pymorvel_llvm_libc_fma::exp(x) : pymorvel_llvm_libc::exp(x);
}

double exact_log(ExactMathBuild build, double x) noexcept {
    return build == ExactMathBuild::Fma ? pymorvel_llvm_libc_fma::log(x) : pymorvel_llvm_libc::log(x);
}

}  // namespace pymorvel
