// The inverse diagonal against plain substitutions, Rippa's residuals against refits without each sample, and the epsilon search's bits.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "linear_algebra/inverse_diagonal.hpp"
#include "processor_contexts.hpp"
#include "rbf/epsilon_selection.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel {
namespace {

using testing_support::pool_of;
using testing_support::Uniform;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

SquareMatrix random_matrix(std::size_t n, std::uint64_t seed) {
    Uniform u{std::mt19937_64(seed)};
    SquareMatrix a(n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) a(i, j) = u() - 0.5 + (i == j ? 0.25 : 0.0);
    return a;
}

// Pools of 1, 2 and 7 workers with thresholds low enough that small systems use them.
std::vector<Execution> executions() {
    std::vector<Execution> out(1);
    for (unsigned workers : {1u, 2u, 7u}) {
        Execution e;
        e.pool = &pool_of(workers);
        e.thresholds.min_rows = 1;
        e.thresholds.rows = 2;
        out.push_back(e);
    }
    return out;
}

// The plain reference: component k of the substitution's solution for e_k, on
// every pool and instruction set, for the whole diagonal and for a leading part
// (the whole design matrix's), alone and with the condition estimate run
// beside it. Sizes straddle the row tiles, column groups and chunks.
class InverseDiagonal : public ::testing::TestWithParam<std::size_t> {};

TEST_P(InverseDiagonal, IsThePlainSubstitutionOfEachUnitVectorOnEveryPool) {
    const std::size_t n = GetParam();
    const LuFactors factors = std::get<LuFactors>(lu_decompose(random_matrix(n, 7 + n)));
    std::vector<double> plain(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::vector<double> unit(n, 0.0);
        unit[k] = 1.0;
        plain[k] = std::get<std::vector<double>>(substitute(factors, std::span<const double>(unit)))[k];
    }
    const double condition = condition_estimate(factors, 2.5);
    for (const ProcessorContext& context : testing_support::lu_contexts()) {
        for (Execution execution : executions()) {
            execution.context = &context;
            for (const std::size_t count : {n, n - n / 3}) {
                const InverseSummary summary = inverse_summary(factors, count, 2.5, execution);
                ASSERT_TRUE(same_bits(summary.condition, condition)) << "n=" << n;
                for (const std::vector<double>& diagonal : {inverse_diagonal(factors, count, execution),
                                                            summary.diagonal}) {
                    ASSERT_EQ(diagonal.size(), count);
                    for (std::size_t k = 0; k < count; ++k)
                        ASSERT_TRUE(same_bits(diagonal[k], plain[k]))
                            << "n=" << n << " count=" << count << " k=" << k << " "
                            << instructions_name(context.instructions);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, InverseDiagonal, ::testing::Values(1, 2, 7, 8, 9, 17, 31, 32, 33, 40, 64, 65, 101, 163, 257));

// A stop decided at any poll ends the diagonal and its estimate with Cancelled,
// whichever block is running, on the calling thread alone or on a pool.
TEST(InverseSummary, AStopAtAnyPollThrowsCancelled) {
    const std::size_t n = 200;
    const LuFactors factors = std::get<LuFactors>(lu_decompose(random_matrix(n, 5)));
    for (Execution execution : executions()) {
        std::size_t polls = 0, stop_at = 0;
        auto hook = [&] { return ++polls == stop_at; };
        Cancellation never(hook, std::chrono::steady_clock::duration::zero());
        execution.cancellation = &never;
        (void)inverse_summary(factors, n, 1.0, execution);
        ASSERT_GT(polls, 0u);
        for (std::size_t k = 1; k <= polls; k += std::max<std::size_t>(1, polls / 4)) {
            std::size_t seen = 0;
            auto stop_hook = [&] { return ++seen == k; };
            Cancellation stop(stop_hook, std::chrono::steady_clock::duration::zero());
            execution.cancellation = &stop;
            bool cancelled = false;
            try {
                (void)inverse_summary(factors, n, 1.0, execution);
            } catch (const Cancelled&) {
                cancelled = true;
            }
            // The calling thread also polls while it waits for the workers, as
            // often as timing makes it: a run may end before poll k comes.
            EXPECT_EQ(seen >= k, cancelled) << "stop at poll " << k << " of " << seen;
        }
    }
}

// The plain transposed solve the estimate's bits are defined by: A^T = U^T L^T P,
// each entry's sum down its column of the factors in increasing index order.
std::vector<double> plain_transposed_solve(const LuFactors& factors, std::vector<double> x) {
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        double acc = 0.0;
        for (std::size_t j = 0; j < i; ++j) acc = (w[j] * lu(j, i)) + acc;
        w[i] = (x[i] - acc) / lu(i, i);
    }
    for (std::size_t i = n; i-- > 0;) {
        double acc = 0.0;
        for (std::size_t j = i + 1; j < n; ++j) acc = (w[j] * lu(j, i)) + acc;
        w[i] = w[i] - acc;
    }
    for (std::size_t i = 0; i < n; ++i) x[factors.perm[i]] = w[i];
    return x;
}

class TransposedSolve : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TransposedSolve, IsThePlainColumnOrderSolve) {
    const std::size_t n = GetParam();
    const LuFactors factors = std::get<LuFactors>(lu_decompose(random_matrix(n, 300 + n)));
    Uniform u{std::mt19937_64(n)};
    std::vector<double> signs(n), spread(n);
    for (std::size_t i = 0; i < n; ++i) signs[i] = i % 3 == 0 ? -1.0 : 1.0, spread[i] = (u() - 0.5) * 1e3;
    for (const std::vector<double>& x : {signs, spread}) {
        std::vector<double> fast = x;
        solve_transposed(factors, fast);
        const std::vector<double> plain = plain_transposed_solve(factors, x);
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(same_bits(fast[i], plain[i])) << "n=" << n << " i=" << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TransposedSolve, ::testing::Values(1, 2, 5, 33, 120));

TEST(ConditionEstimate, LiesWithinAFactorOfTheExactOneNormCondition) {
    for (std::size_t n : {1u, 3u, 12u, 30u}) {
        const SquareMatrix a = random_matrix(n, 100 + n);
        double norm = 0.0, inverse_norm = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            double s = 0.0;
            for (std::size_t i = 0; i < n; ++i) s += std::fabs(a(i, j));
            norm = std::max(norm, s);
        }
        SquareMatrix copy(n);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) copy(i, j) = a(i, j);
        const LuFactors factors = std::get<LuFactors>(lu_decompose(std::move(copy)));
        for (std::size_t j = 0; j < n; ++j) {
            std::vector<double> unit(n, 0.0);
            unit[j] = 1.0;
            const auto column = std::get<std::vector<double>>(substitute(factors, std::span<const double>(unit)));
            double s = 0.0;
            for (double v : column) s += std::fabs(v);
            inverse_norm = std::max(inverse_norm, s);
        }
        const double exact = norm * inverse_norm, estimate = condition_estimate(factors, norm);
        EXPECT_LE(estimate, exact * (1 + 1e-10)) << n;
        EXPECT_GE(estimate, exact / 10) << n;
    }
}

// Rippa's residual of sample k against the value a fit without k predicts there.
struct RippaCase {
    const char* name;
    Kernel kernel;
    double epsilon;
    double smoothing;
    std::optional<std::size_t> degree;
    double scale;  // of the coordinates; large ones make the solver equilibrate
};

class Rippa : public ::testing::TestWithParam<RippaCase> {};

TEST_P(Rippa, EqualsRefitsWithoutEachSample) {
    const RippaCase& c = GetParam();
    Uniform u{std::mt19937_64(11)};
    const std::size_t n = 24;
    std::vector<Vector> x(n);
    std::vector<Vector> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = {u() * c.scale, u() * c.scale};
        y[i] = {std::sin(3 * x[i][0] / c.scale) + x[i][1] / c.scale, std::cos(2 * x[i][1] / c.scale)};
    }
    const FitOptions options{c.smoothing, c.degree};
    const auto loo = std::get<LeaveOneOut<Vector, Vector>>(leave_one_out(x, y, c.kernel, c.epsilon, options));
    for (std::size_t k = 0; k < n; ++k) {
        std::vector<Vector> xs = x, ys = y;
        xs.erase(xs.begin() + k), ys.erase(ys.begin() + k);
        const auto model = std::get<RbfModel<Vector, Vector>>(fit(xs, ys, c.kernel, c.epsilon, options));
        const std::vector<Vector> query = {x[k]};
        const Vector at = std::get<std::vector<Vector>>(predict(model, std::span<const Vector>(query))).at(0);
        for (std::size_t m = 0; m < 2; ++m) {
            const double brute = y[k][m] - at[m];
            EXPECT_NEAR(loo.residuals[k][m], brute, 1e-9 * (1 + std::fabs(brute))) << c.name << " k=" << k;
        }
    }
    EXPECT_GT(loo.condition, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rippa,
    ::testing::Values(RippaCase{"gaussian", gaussian, 0.2, 0.0, std::nullopt, 1.0},
                      RippaCase{"multiquadric_equilibrated", multiquadric, 300.0, 0.0, std::nullopt, 1000.0},
                      RippaCase{"smoothed", inverse_multiquadratic, 0.5, 1e-3, std::nullopt, 1.0},
                      RippaCase{"degree_1", thin_plate_spline, 1.0, 0.0, std::size_t{1}, 1.0},
                      RippaCase{"degree_2_smoothed", gaussian, 0.3, 1e-4, std::size_t{2}, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Rippa, TheEquilibratedCaseIsEquilibrated) {
    // Guards the table above: its second row must take the division path.
    Uniform u{std::mt19937_64(11)};
    std::vector<Vector> x(24);
    for (auto& p : x) p = {u() * 1000.0, u() * 1000.0};
    const PointSet points(x);
    EXPECT_TRUE(needs_equilibration(absolute_sums(build_design_matrix(points, multiquadric, 300.0))));
}

// The selection: its model is fit()'s at the chosen kernel and epsilon, and
// every result bit is the same on every pool.
TEST(EpsilonSearch, ModelIsTheFitAtTheChoiceAndEveryPoolAgrees) {
    Uniform u{std::mt19937_64(5)};
    const std::size_t n = 60;
    std::vector<Vector> x(n);
    std::vector<double> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = {u(), u()};
        y[i] = std::exp(-(x[i][0] - 0.4) * (x[i][0] - 0.4) * 5) * std::cos(3 * x[i][1]);
    }
    const std::vector<Kernel> kernels = {gaussian, multiquadric, thin_plate_spline};
    std::optional<EpsilonSelection<Vector, double>> first;
    for (const Execution& execution : executions()) {
        auto selection = std::get<EpsilonSelection<Vector, double>>(
            select_epsilon(x, y, kernels, FitOptions{}, SelectionLimits{}, execution));
        EXPECT_LE(selection.curve.size(), 2 * 16 + 1u);
        if (!first) {
            first = selection;
            const auto plain = std::get<RbfModel<Vector, double>>(fit(x, y, selection.kernel, selection.epsilon));
            for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(same_bits(plain.weights[i], selection.model->weights[i]));
            continue;
        }
        ASSERT_EQ(selection.curve.size(), first->curve.size());
        for (std::size_t i = 0; i < selection.curve.size(); ++i) {
            EXPECT_TRUE(same_bits(selection.curve[i].epsilon, first->curve[i].epsilon));
            EXPECT_TRUE(same_bits(selection.curve[i].score, first->curve[i].score));
            EXPECT_TRUE(same_bits(selection.curve[i].condition, first->curve[i].condition));
        }
    }
}

// A score curve over t = log2(epsilon) and where the search must end up:
// within `tolerance` of `target` in t.
struct SearchCase {
    const char* name;
    double (*score)(double t);
    double target;
    double tolerance;
};

// A narrow valley between grid points (narrower than the tie factor's reach):
// the refinement must close in on it.
double smooth_valley(double t) { return 1e-6 * (1.0 + 100.0 * (t - 3.3) * (t - 3.3)); }
// The same valley with a rough floor at the grid's own points (noise that
// makes a whole-number t look worse than it is): the best grid point sits a
// step away from the valley, and one bad comparison must not discard its side.
double rough_valley(double t) {
    const bool on_grid = t == std::floor(t);
    return smooth_valley(t) * (on_grid ? 3.0 : 1.0);
}
// A flat floor from t = 2 to 5 with a slight slope down to the left: the
// scores tie, and the tie goes to the flattest kernel, the floor's right end.
double flat_floor(double t) {
    if (t < 2.0) return 1e-6 * (1.0 + (2.0 - t) * 10.0);
    if (t > 5.0) return 1e-6 * (1.0 + (t - 5.0) * 1000.0);
    return 1e-6 * (1.0 + (t - 2.0) * 0.01);
}
// Fits that fail past t = 4.5 score +inf; the search goes on and never picks one.
double failing_past(double t) { return t > 4.5 ? std::numeric_limits<double>::infinity() : 1e-6 * (6.0 - t); }

class EpsilonSearchPath : public ::testing::TestWithParam<SearchCase> {};

TEST_P(EpsilonSearchPath, EndsNearTheTargetWithinTheBudgetAndRange) {
    const SearchCase c = GetParam();
    std::vector<EpsilonEvaluation> curve;
    auto evaluate = [&](double epsilon) {
        const double score = c.score(std::log2(epsilon));
        curve.push_back({gaussian, epsilon, score, std::isfinite(score) ? 1e20 : score});
        return std::pair<double, double>{score, curve.back().condition};
    };
    selection_detail::search_kernel(evaluate, 1.0, 256.0, 16);
    ASSERT_LE(curve.size(), 16u);
    for (const EpsilonEvaluation& e : curve) {
        EXPECT_GE(e.epsilon, 1.0);
        EXPECT_LE(e.epsilon, 256.0);
    }
    const std::optional<std::size_t> chosen = selection_detail::choice(curve, [](std::size_t) { return true; });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_NEAR(std::log2(curve[*chosen].epsilon), c.target, c.tolerance) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Curves, EpsilonSearchPath,
                         ::testing::Values(SearchCase{"smooth_valley", smooth_valley, 3.3, 0.07},
                                           SearchCase{"rough_valley", rough_valley, 3.3, 0.07},
                                           SearchCase{"flat_floor", flat_floor, 5.0, 0.01},
                                           SearchCase{"failing_past", failing_past, 4.5, 0.3}),
                         [](const auto& info) { return std::string(info.param.name); });

// Which evaluation the choice keeps; `succeeded` marks the fits that gave a model.
struct ChoiceCase {
    const char* name;
    std::vector<EpsilonEvaluation> curve;
    std::vector<bool> succeeded;
    std::optional<std::size_t> expected;
};

class EpsilonChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(EpsilonChoice, KeepsTheExpectedEvaluation) {
    const ChoiceCase& c = GetParam();
    EXPECT_EQ(selection_detail::choice(c.curve, [&](std::size_t i) { return bool(c.succeeded[i]); }), c.expected);
}

constexpr double INF = std::numeric_limits<double>::infinity();
INSTANTIATE_TEST_SUITE_P(
    Curves, EpsilonChoice,
    ::testing::Values(
        // Within the tie factor the larger epsilon wins; past it the lower score does.
        ChoiceCase{"tie_goes_to_larger", {{gaussian, 1.0, 1.0, 1.0}, {gaussian, 2.0, 1.2, 1.0}}, {true, true}, 1},
        ChoiceCase{"no_tie_past_factor", {{gaussian, 1.0, 1.0, 1.0}, {gaussian, 2.0, 1.3, 1.0}}, {true, true}, 0},
        // Another kernel's larger epsilon never wins a tie: epsilons of two kernels do not compare.
        ChoiceCase{"tie_stays_in_kernel",
                   {{gaussian, 1.0, 1.0, 1.0}, {multiquadric, 4.0, 1.1, 1.0}, {multiquadric, 8.0, 1.0, 1.0}},
                   {true, true, true}, 0},
        ChoiceCase{"failed_fits_never_win", {{gaussian, 1.0, 2.0, 1.0}, {gaussian, 2.0, INF, INF}}, {true, false}, 0},
        // A fit whose residuals are not finite still beats no model at all.
        ChoiceCase{"only_infinite_scores", {{gaussian, 1.0, INF, INF}, {gaussian, 2.0, INF, 1.0}}, {false, true}, 1},
        ChoiceCase{"every_fit_failed", {{gaussian, 1.0, INF, INF}}, {false}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pymorvel
