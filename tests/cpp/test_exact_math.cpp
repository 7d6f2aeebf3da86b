// Holds exact_exp and exact_log, in every build this processor runs, to MPFR's correctly rounded values.
//
// PYMORVEL_EXACT_MATH_SAMPLES sets the random inputs per family (default 4096,
// for the CI run); `make test-exact-math` runs 2^20 per family, over five
// million per function.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "exact_math/exact_math.hpp"
#include "processor_contexts.hpp"

namespace pymorvel {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double TRUE_MIN = std::numeric_limits<double>::denorm_min();

enum class Fn { Exp, Log };
using MpfrFn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
MpfrFn mpfr_of(Fn fn) { return fn == Fn::Exp ? mpfr_exp : mpfr_log; }
const char* name_of(Fn fn) { return fn == Fn::Exp ? "exp" : "log"; }

// Exact arithmetic on a double's bit pattern, MPFR's own idiom for binary64.
class Mpfr {
public:
    explicit Mpfr(mpfr_prec_t precision) { mpfr_init2(v_, precision); }
    ~Mpfr() { mpfr_clear(v_); }
    Mpfr(const Mpfr&) = delete;
    Mpfr& operator=(const Mpfr&) = delete;
    mpfr_ptr get() { return v_; }

private:
    mpfr_t v_;
};

// The binary64 exponent range, so that MPFR rounds subnormal and overflowing
// results exactly as a double does.
class DoubleRange {
public:
    DoubleRange() : emin_(mpfr_get_emin()), emax_(mpfr_get_emax()) {
        mpfr_set_emin(-1073);
        mpfr_set_emax(1024);
    }
    ~DoubleRange() {
        mpfr_set_emin(emin_);
        mpfr_set_emax(emax_);
    }

private:
    mpfr_exp_t emin_, emax_;
};

double correctly_rounded(Fn fn, double x) {
    const DoubleRange range;
    Mpfr in(53), out(53);
    mpfr_set_d(in.get(), x, MPFR_RNDN);
    const int inexact = mpfr_of(fn)(out.get(), in.get(), MPFR_RNDN);
    mpfr_subnormalize(out.get(), inexact, MPFR_RNDN);
    return mpfr_get_d(out.get(), MPFR_RNDN);
}

// How far the exact value lies from the nearest rounding boundary, the
// midpoint between the correctly rounded double and its neighbour on the
// exact value's side, as a fraction of their spacing: the smaller, the harder
// to round. Only for finite, normal results.
double ulps_from_midpoint(Fn fn, double x) {
    Mpfr in(53), exact(400), rounded(53), neighbour(53), midpoint(400), spacing(400), offset(400);
    mpfr_set_d(in.get(), x, MPFR_RNDN);
    mpfr_of(fn)(exact.get(), in.get(), MPFR_RNDN);
    mpfr_set(rounded.get(), exact.get(), MPFR_RNDN);
    mpfr_set(neighbour.get(), rounded.get(), MPFR_RNDN);
    if (mpfr_cmp(exact.get(), rounded.get()) < 0) mpfr_nextbelow(neighbour.get());
    else mpfr_nextabove(neighbour.get());
    // All exact at 400 bits: the operands have 53.
    mpfr_add(midpoint.get(), rounded.get(), neighbour.get(), MPFR_RNDN);
    mpfr_div_2ui(midpoint.get(), midpoint.get(), 1, MPFR_RNDN);
    mpfr_sub(spacing.get(), rounded.get(), neighbour.get(), MPFR_RNDN);
    mpfr_sub(offset.get(), exact.get(), midpoint.get(), MPFR_RNDN);
    mpfr_div(offset.get(), offset.get(), spacing.get(), MPFR_RNDN);
    return std::fabs(mpfr_get_d(offset.get(), MPFR_RNDN));
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

// Every way in which the kernels reach the library: the chosen build, each
// build on its own, where this processor runs it, and exp in the lanes of this
// process's context, in a block of four (the argument in one lane, others
// beside it) and one of eight.
struct Build {
    const char* name;
    std::function<double(double)> exp, log;
};

std::vector<Build> builds() {
    std::vector<Build> all{{"chosen", [](double x) { return exact_exp(x); }, [](double x) { return exact_log(x); }},
                           {"baseline", [](double x) { return exact_exp(ExactMathBuild::Baseline, x); },
                            [](double x) { return exact_log(ExactMathBuild::Baseline, x); }}};
    all.push_back({"lanes",
                   [](double x) {
                       double v[4] = {0.25, x, -x, 700.0};
                       processor_context().exp_lanes(v, 4);
                       return v[1];
                   },
                   [](double x) { return exact_log(x); }});
    all.push_back({"lanes of eight",
                   [](double x) {
                       double v[8] = {0.25, -x, 700.0, 1e-300, -2.0, x, x * 0.5, -800.0};
                       processor_context().exp_lanes(v, 8);
                       return v[5];
                   },
                   [](double x) { return exact_log(x); }});
#if defined(__x86_64__)
    if (processor_context().fma_math)
        all.push_back({"fma", [](double x) { return exact_exp(ExactMathBuild::Fma, x); },
                       [](double x) { return exact_log(ExactMathBuild::Fma, x); }});
#endif
    return all;
}

// Checks every build at each input; reports the first few misses and counts all.
void expect_correctly_rounded(Fn fn, const std::vector<double>& inputs) {
    static const std::vector<Build> all = builds();
    std::size_t misses = 0;
    for (double x : inputs) {
        const double want = correctly_rounded(fn, x);
        for (const Build& b : all) {
            const double got = fn == Fn::Exp ? b.exp(x) : b.log(x);
            if (same_bits(want, got)) continue;
            if (++misses <= 10)
                ADD_FAILURE() << b.name << " " << name_of(fn) << std::hexfloat << "(" << x << ") = " << got
                              << ", correctly rounded " << want;
        }
    }
    EXPECT_EQ(0u, misses) << "of " << inputs.size() << " inputs";
}

std::size_t samples() {
    const char* text = std::getenv("PYMORVEL_EXACT_MATH_SAMPLES");
    return text ? std::strtoull(text, nullptr, 10) : 4096;
}

double from_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

// --- Random families: each draws inputs over one part of the range. ---

using Draw = double (*)(std::mt19937_64&);

struct Family {
    const char* name;
    Fn fn;
    Draw draw;
};

double uniform(std::mt19937_64& rng, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
double bits_between(std::mt19937_64& rng, std::uint64_t lo, std::uint64_t hi) {
    return from_bits(std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng));
}
// x moved by up to 2^20 ulps: a boundary and its neighbourhood.
double near(std::mt19937_64& rng, double x) {
    const auto step = std::uniform_int_distribution<std::int64_t>(-(1 << 20), 1 << 20)(rng);
    return from_bits(std::bit_cast<std::uint64_t>(x) + step);
}

// Where exp's result leaves the normal range: overflow, the last normal, the
// last subnormal (results below 2^-1075 round to zero).
constexpr double EXP_OVERFLOW = 0x1.62e42fefa39efp+9;
constexpr double EXP_SUBNORMAL = -0x1.6232bdd7abcd2p+9;
constexpr double EXP_ZERO = -0x1.74910d52d3051p+9;

const Family FAMILIES[] = {
    {"exp_any_double", Fn::Exp, [](std::mt19937_64& r) { return from_bits(r()); }},
    {"exp_finite_results", Fn::Exp, [](std::mt19937_64& r) { return uniform(r, EXP_ZERO, EXP_OVERFLOW); }},
    {"exp_subnormal_results", Fn::Exp, [](std::mt19937_64& r) { return uniform(r, EXP_ZERO, EXP_SUBNORMAL); }},
    {"exp_small_arguments", Fn::Exp,  // every binade from 2^-64 to 1, both signs
     [](std::mt19937_64& r) { return bits_between(r, 0x3bf0000000000000, 0x3ff0000000000000) * (r() & 1 ? -1 : 1); }},
    {"exp_range_edges", Fn::Exp,
     [](std::mt19937_64& r) {
         const double edges[] = {EXP_OVERFLOW, EXP_SUBNORMAL, EXP_ZERO};
         return near(r, edges[r() % 3]);
     }},
    {"log_any_double", Fn::Log, [](std::mt19937_64& r) { return from_bits(r()); }},
    {"log_every_binade", Fn::Log, [](std::mt19937_64& r) { return bits_between(r, 1, 0x7fefffffffffffff); }},
    {"log_subnormal_arguments", Fn::Log, [](std::mt19937_64& r) { return bits_between(r, 1, 0x000fffffffffffff); }},
    {"log_near_one", Fn::Log,  // 1 + d with |d| in every binade from 2^-53 to 2^-1
     [](std::mt19937_64& r) { return 1.0 + bits_between(r, 0x3ca0000000000000, 0x3fe0000000000000) * (r() & 1 ? -1 : 1); }},
    {"log_range_edges", Fn::Log,
     [](std::mt19937_64& r) {
         const double edges[] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(), 1.0};
         return near(r, edges[r() % 3]);
     }},
};

class RandomInputs : public ::testing::TestWithParam<Family> {};

TEST_P(RandomInputs, MatchMpfr) {
    const Family& f = GetParam();
    std::mt19937_64 rng(std::hash<std::string>{}(f.name));
    std::vector<double> inputs(samples());
    for (double& x : inputs) x = f.draw(rng);
    expect_correctly_rounded(f.fn, inputs);
}

INSTANTIATE_TEST_SUITE_P(ExactMath, RandomInputs, ::testing::ValuesIn(FAMILIES),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Special values: the IEEE cases, exact results and the range ends. ---

struct Special {
    Fn fn;
    double x, expected;
};

class SpecialValues : public ::testing::TestWithParam<Special> {};

TEST_P(SpecialValues, AreExact) {
    const Special& c = GetParam();
    EXPECT_TRUE(same_bits(c.expected, correctly_rounded(c.fn, c.x))) << std::hexfloat << c.x;
    expect_correctly_rounded(c.fn, {c.x});
}

INSTANTIATE_TEST_SUITE_P(
    ExactMath, SpecialValues,
    ::testing::Values(Special{Fn::Exp, 0.0, 1.0}, Special{Fn::Exp, -0.0, 1.0}, Special{Fn::Exp, INF, INF},
                      Special{Fn::Exp, -INF, 0.0}, Special{Fn::Exp, NaN, NaN}, Special{Fn::Exp, -NaN, NaN},
                      Special{Fn::Exp, 0x1p-1074, 1.0}, Special{Fn::Exp, -0x1p-1074, 1.0},
                      Special{Fn::Exp, 0x1p-54, 1.0}, Special{Fn::Exp, -0x1p-54, 1.0},
                      Special{Fn::Exp, EXP_OVERFLOW, 0x1.fffffffffff2ap+1023},
                      Special{Fn::Exp, std::nextafter(EXP_OVERFLOW, INF), INF}, Special{Fn::Exp, 1e300, INF},
                      Special{Fn::Exp, EXP_ZERO, TRUE_MIN}, Special{Fn::Exp, std::nextafter(EXP_ZERO, -INF), 0.0},
                      Special{Fn::Exp, -1e300, 0.0}, Special{Fn::Exp, EXP_SUBNORMAL, 0x1.000000000007cp-1022},
                      Special{Fn::Exp, std::nextafter(EXP_SUBNORMAL, -INF), 0x1.ffffffffffcf8p-1023},
                      Special{Fn::Log, 1.0, 0.0}, Special{Fn::Log, 0.0, -INF}, Special{Fn::Log, -0.0, -INF},
                      Special{Fn::Log, INF, INF}, Special{Fn::Log, -INF, NaN}, Special{Fn::Log, -1.0, NaN},
                      Special{Fn::Log, -TRUE_MIN, NaN}, Special{Fn::Log, NaN, NaN},
                      Special{Fn::Log, TRUE_MIN, -0x1.74385446d71c3p+9},
                      Special{Fn::Log, std::numeric_limits<double>::max(), 0x1.62e42fefa39efp+9},
                      Special{Fn::Log, 2.0, 0x1.62e42fefa39efp-1}, Special{Fn::Log, 0.5, -0x1.62e42fefa39efp-1}),
    [](const auto& info) { return std::to_string(info.index); });

// --- Hard to round: exact values within a hair of a midpoint. ---

// exp(x) = 1 + x + x^2/2 + ...: with x an odd multiple of 2^-53 (or of 2^-54
// below zero), 1 + x is a midpoint and x^2/2 is all that decides the rounding.
std::vector<double> exp_near_midpoints(int count) {
    std::vector<double> xs;
    for (int m = 0; m < count; ++m) {
        xs.push_back(std::ldexp(2.0 * m + 1, -53));
        xs.push_back(-std::ldexp(2.0 * m + 1, -54));
    }
    return xs;
}

// log(1 + k 2^-52) = k 2^-52 - k^2 2^-105 + ...: with k = o 2^a, o odd and
// 2^a <= o < 2^(a+1), the second term puts the value half an ulp off the grid,
// and only the third, k^3 2^-156 / 3, decides. Below one the same with
// k 2^-53 and 2^(a-1) <= o < 2^a.
std::vector<double> log_near_midpoints(int count) {
    std::vector<double> xs;
    for (int o = 3; o < 2 * count + 3; o += 2) {
        const int a = std::ilogb(o);
        xs.push_back(1.0 + std::ldexp(o, a - 52));
        xs.push_back(1.0 - std::ldexp(o, a + 1 - 53));
    }
    return xs;
}

// Inputs on which earlier LLVM libc exp builds misrounded (from its own tests).
std::vector<double> exp_regressions() {
    std::vector<double> xs;
    for (std::uint64_t b : {0x3FD79289C6E6A5C0u, 0x3FD05DE80A173EA0u, 0xbf1eb7a4cb841fccu, 0xbf19a61fb925970du,
                            0x3fda7b764e2cf47au, 0xc04757852a4b93aau, 0x4044c19e5712e377u, 0xc039a74cdab36c28u,
                            0xc085b3e4e2e3bba9u, 0xc086960d591aec34u, 0xc086232c09d58d91u, 0xc0874910d52d3051u,
                            0xc0867a172ceb0990u})
        xs.push_back(from_bits(b));
    return xs;
}

struct Hard {
    const char* name;
    Fn fn;
    std::vector<double> inputs;
    double within;  // ulps from a midpoint that every input is proven to be within
};

class HardToRound : public ::testing::TestWithParam<Hard> {};

TEST_P(HardToRound, MatchMpfr) {
    const Hard& h = GetParam();
    for (double x : h.inputs) EXPECT_LT(ulps_from_midpoint(h.fn, x), h.within) << std::hexfloat << x;
    expect_correctly_rounded(h.fn, h.inputs);
}

INSTANTIATE_TEST_SUITE_P(ExactMath, HardToRound,
                         ::testing::Values(Hard{"exp_near_midpoints", Fn::Exp, exp_near_midpoints(2048), 0x1p-31},
                                           Hard{"log_near_midpoints", Fn::Log, log_near_midpoints(127), 0x1p-20},
                                           Hard{"exp_regressions", Fn::Exp, exp_regressions(), 0.5}),
                         [](const auto& info) { return std::string(info.param.name); });

// Lanes are independent: every lane of every block, whatever its neighbours
// (special values, results out of range, arguments that fail the fast path's
// rounding test), holds the scalar function's bits, in every width this
// processor runs.
TEST(ExpLanes, EveryLaneHoldsTheScalarBits) {
    std::mt19937_64 rng(41);
    std::vector<double> inputs;
    for (const Family& f : FAMILIES)
        if (f.fn == Fn::Exp)
            for (int i = 0; i < 50000; ++i) inputs.push_back(f.draw(rng));
    for (double x : exp_near_midpoints(256)) inputs.push_back(x);
    for (double x : {0.0, -0.0, 1.0, -1.0, EXP_OVERFLOW, EXP_SUBNORMAL, EXP_ZERO, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        inputs.push_back(x);
    std::shuffle(inputs.begin(), inputs.end(), rng);
    // Odd lengths leave a scalar tail.
    for (const ProcessorContext& context : testing_support::kernel_contexts())
        for (std::size_t length : {inputs.size(), inputs.size() - 3}) {
            SCOPED_TRACE(testing_support::context_label(context));
            std::vector<double> v(inputs.begin(), inputs.begin() + static_cast<std::ptrdiff_t>(length));
            context.exp_lanes(v.data(), v.size());
            std::size_t misses = 0;
            for (std::size_t i = 0; i < v.size(); ++i)
                if (!same_bits(exact_exp(inputs[i]), v[i]) && ++misses <= 10)
                    ADD_FAILURE() << std::hexfloat << "lane " << i % 4 << ": exp(" << inputs[i] << ") = " << v[i];
            EXPECT_EQ(0u, misses);
        }
}

// Ordinary arguments take the four-lane path wherever it runs: the Gaussian's
// speed rests on it.
TEST(ExpLanes, OrdinaryArgumentsAreSettledInLanes) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "the exp lanes are an x86-64 build (AVX2 and FMA)";
#else
    if (!processor_context().fma_math) GTEST_SKIP() << "no FMA build on this processor";
    double four[4] = {-0.5, -3.25, -40.0, 1e-3};
    EXPECT_EQ(0u, pymorvel_llvm_libc_fma::exp_fast_lanes(four));
    double eight[8] = {-0.5, -3.25, -40.0, 1e-3, -700.0, 2.5, -1e-5, 300.0};
    if (processor_context().exp_lanes == exact_exp_lanes8) {
        EXPECT_EQ(0u, pymorvel_llvm_libc_fma::exp_fast_lanes8(eight));
    }
#endif
}

}  // namespace
}  // namespace pymorvel
