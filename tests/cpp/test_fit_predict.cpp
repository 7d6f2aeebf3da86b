// Tests of fitting and prediction in the four shapes, and of when fitting creates the worker pool.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "fixtures.hpp"
#include "exact.hpp"
#include "parallel/global_pool.hpp"
#include "processor_contexts.hpp"
#include "rbf/fitting.hpp"
#include "rbf/prediction.hpp"
#include "reference_solver.hpp"
#include "row_matrix.hpp"

namespace pymorvel {
namespace {

using namespace testing_support;
constexpr double FLOOR = 0x1p-52;

template <class X, class Y>
Outcome<std::vector<Y>> predict_at(const Outcome<RbfModel<X, Y>>& model, std::vector<X> x_new) {
    return predict(value_of(model), std::span<const X>(x_new));
}

TEST(DesignMatrix, CoincidingPointsAllSitOnTheFloor) {
    // Common-prefix equality, empty points and NaN coordinates all count as coinciding.
    const std::vector<std::vector<Vector>> vector_sets = {
        {{1, 2, 3}, {1, 2}}, {{}, {}}, {{NaN, 1}, {5, 1}}};
    for (Kernel k : ALL_KERNELS) {
        const double diagonal = reference::function_of(k)(FLOOR, 1.0);
        const DesignMatrix expected(2, Row(2, diagonal));
        for (const auto& points : vector_sets) EXPECT_TRUE(same_bits(expected, design_rows(points, k, 1.0)));
        EXPECT_TRUE(same_bits(expected, design_rows(std::vector<double>{NaN, 7}, k, 1.0)));
    }
}

TEST(Fit, LinearKernelSeesSquaredDistance) {
    const std::vector<double> x{0, 1};
    EXPECT_TRUE(same_bits(DesignMatrix{{FLOOR, 1}, {1, FLOOR}}, design_rows(x, linear, 1.0)));
    const auto model = fit<double, double>(x, {0, 1}, linear, 1.0);
    EXPECT_TRUE(same_bits(std::vector<double>{1, -2.220446049250313e-16}, value_of(model).weights));
    // 0.25 x 1 + 0.25 x (-2^-52): about 0.25, where a kernel on r would give 0.5.
    EXPECT_TRUE(same_outcome(Outcome<std::vector<double>>(std::vector<double>{0.25 - 0x1p-54}),
                             predict_at(model, {0.5})));
}

struct FitFailureCase {
    const char* name;
    std::vector<double> x, y;
    Kernel kernel;
    double epsilon;
    std::string message;
};

class FitFailure : public ::testing::TestWithParam<FitFailureCase> {};

TEST_P(FitFailure, SolverMessagePassedOn) {
    const FitFailureCase& c = GetParam();
    const Outcome<F64F64> model = fit(c.x, c.y, c.kernel, c.epsilon);
    ASSERT_TRUE(failed(model));
    EXPECT_EQ(c.message, std::get<Failure>(model).message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitFailure,
    ::testing::Values(
        FitFailureCase{"empty", {}, {}, gaussian, 1.0, "Design matrix and RHS must be non-empty and the same length."},
        FitFailureCase{"zero_epsilon", {0, 1}, {1, 2}, gaussian, 0.0, "Exact zero pivot encountered at column 0"},
        FitFailureCase{"two_coinciding", {0, 0}, {1, 1}, gaussian, 1.0, "NaN detected in backward substitution at index 1"},
        FitFailureCase{"three_coinciding", {0, 0, 0}, {1, 2, 3}, gaussian, 1.0, "Exact zero pivot encountered at column 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fit, LengthMismatchAborts) {
    const std::pair<std::size_t, std::size_t> cases[] = {{3, 2}, {2, 3}, {0, 1}};
    for (const auto& [nx, ny] : cases) {
        EXPECT_EQ("assertion `left == right` failed: x and y must have the same length\n  left: " +
                      std::to_string(nx) + "\n right: " + std::to_string(ny),
                  panic_message([&] { (void)fit<double, double>(std::vector<double>(nx), std::vector<double>(ny), gaussian, 1.0); }));
    }
    EXPECT_EQ("assertion `left == right` failed: x and y must have the same length\n  left: 3\n right: 2",
              panic_message([] { (void)fit<Vector, Vector>({{0}, {1}, {2}}, {{0}, {1}}, linear, 1.0); }));
}

TEST(Fit, InfiniteWeightsSucceedButEveryPredictionFails) {
    const auto model = fit<double, double>({0, 0}, {1, 2}, gaussian, 1.0);
    EXPECT_TRUE(same_bits(std::vector<double>{-INF, INF}, value_of(model).weights));
    EXPECT_TRUE(same_outcome(Outcome<std::vector<double>>(Failure{"NaN values in output"}), predict_at(model, {3.0})));
}

TEST(Fit, OnePointWeightIsValueOverDiagonal) {
    for (Kernel k : ALL_KERNELS)
        for (double epsilon : {1.0, 0.3, 400.0}) {  // 400: the multiquadric 1 x 1 system is equilibrated
            const double diagonal = reference::function_of(k)(FLOOR, epsilon);
            EXPECT_TRUE(same_bits(std::vector<double>{3.7 / diagonal}, value_of(fit<double, double>({2}, {3.7}, k, epsilon)).weights));
        }
}

TEST(Fit, VectorValueComponentsEqualNumberFits) {
    const std::vector<double> x{0, 1.5, 2.25};
    const std::vector<Vector> y{{1, 2}, {3, 4}, {-0.5, 1e-3}};
    const auto together = value_of(fit<double, Vector>(x, y, multiquadric, 0.7)).weights;
    ASSERT_EQ(3u, together.size());
    for (std::size_t c = 0; c < 2; ++c) {
        std::vector<double> component, from_vector;
        for (std::size_t i = 0; i < y.size(); ++i) {
            component.push_back(y[i][c]);
            from_vector.push_back(together[i][c]);
        }
        EXPECT_TRUE(same_bits(value_of(fit(x, component, multiquadric, 0.7)).weights, from_vector));
    }
}

TEST(Predict, ReproducesSamplesInEveryShape) {
    const std::vector<double> px{0, 0.5, 1.25, 2};
    const std::vector<Vector> vx{{0, 0}, {1, 0}, {0, 1}, {1, 1.5}};
    const std::vector<double> py{1, -2, 0.5, 3};
    const std::vector<Vector> vy{{1, 10}, {-2, 20}, {0.5, 30}, {3, 40}};
    auto expect_near = [](const std::vector<double>& e, const std::vector<double>& a) {
        ASSERT_EQ(e.size(), a.size());
        for (std::size_t i = 0; i < e.size(); ++i) EXPECT_NEAR(e[i], a[i], 1e-9 * (1 + std::fabs(e[i])));
    };
    expect_near(py, value_of(predict_at(fit(px, py, gaussian, 1.0), px)));
    expect_near(py, value_of(predict_at(fit(vx, py, inverse_multiquadratic, 1.0), vx)));
    for (const auto& out : {value_of(predict_at(fit(px, vy, multiquadric, 1.0), px)),
                            value_of(predict_at(fit(vx, vy, thin_plate_spline, 1.0), vx))})
        for (std::size_t c = 0; c < 2; ++c) {
            std::vector<double> e, a;
            for (std::size_t i = 0; i < vy.size(); ++i) e.push_back(vy[i][c]), a.push_back(out[i][c]);
            expect_near(e, a);
        }
}

TEST(Predict, AddsTermsInSampleOrder) {
    // Every kernel value is 1: the terms 1, 2^-53, 2^-53 sum to 1 only in this order.
    const F64F64 model{{0, 0, 0}, {0, 0, 0}, {1, 0x1p-53, 0x1p-53}, linear, 1.0};
    const std::vector<double> q{1};
    EXPECT_TRUE(same_bits(std::vector<double>{1}, value_of(predict(model, std::span<const double>(q)))));
}

TEST(Predict, EmptyQueryGivesEmptyOutput) {
    const auto model = fit<double, double>({0, 1}, {1, 2}, gaussian, 1.0);
    EXPECT_TRUE(same_outcome(Outcome<std::vector<double>>(std::vector<double>{}), predict_at(model, {})));
}

TEST(Predict, QueryVectorsUseCommonPrefix) {
    const VecF64 model = value_of(fit<Vector, double>({{0, 0}, {1, 2}, {2, 1}}, {1, 2, 3}, gaussian, 1.0));
    const auto at = [&](std::vector<Vector> q) { return value_of(predict(model, std::span<const Vector>(q))); };
    EXPECT_TRUE(same_bits(at({{1, 2}}), at({{1, 2, 99}})));
    // A one-component query sees only the first coordinate of every sample.
    const F64F64 first_coordinate{{0, 1, 2}, {1, 2, 3}, model.weights, gaussian, 1.0};
    EXPECT_TRUE(same_bits(at({{1}}), value_of(predict(first_coordinate, std::span<const double>(std::vector<double>{1})))));
}

TEST(Predict, NaNQueryCoincidesWithEverySample) {
    const F64F64 model = value_of(fit<double, double>({0, 1, 3}, {1, -2, 0.5}, gaussian, 1.0));
    F64F64 collapsed = model;
    collapsed.x.assign(3, 0.0);
    const std::vector<double> nan_query{NaN}, zero_query{0.0};
    const std::vector<double> out = value_of(predict(model, std::span<const double>(nan_query)));
    EXPECT_TRUE(std::isfinite(out[0]));
    EXPECT_TRUE(same_bits(value_of(predict(collapsed, std::span<const double>(zero_query))), out));
}

TEST(Predict, OutputHasTheLengthOfTheFirstValue) {
    const F64Vec model{{0, 1}, {{1, 2, 3}, {4, 5}}, {{1, 2}, {1, 2, 3, 4}}, gaussian, 1.0};
    const std::vector<double> q{0, 0.5, 7};
    for (const Vector& out : value_of(predict(model, std::span<const double>(q)))) EXPECT_EQ(3u, out.size());
}

int kernel_calls = 0;
double counting_multiquadric(double s, double e) {
    ++kernel_calls;
    return kernel_functions::multiquadric(s, e);
}

TEST(Predict, StopsAtFirstNaNOutput) {
    // At an infinite query the two terms are +inf and -inf.
    const F64F64 model{{0, 1}, {1, 1}, {1, -1}, multiquadric, 1.0};
    const std::vector<double> q{0.5, INF, 2};
    kernel_calls = 0;
    EXPECT_TRUE(same_outcome(Outcome<std::vector<double>>(Failure{"NaN values in output"}),
                             reference::predict_with(model, std::span<const double>(q), counting_multiquadric)));
    EXPECT_EQ(4, kernel_calls) << "the third query point must not be evaluated";
}

// The exit code of the child: 1 when the fit of n points requested the pool.
[[noreturn]] void fit_and_exit(std::size_t n) {
    if (parallel::global_pool_requested()) std::exit(3);
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = static_cast<double>(i);
        y[i] = static_cast<double>(i % 3);
    }
    // Epsilon 0.5 keeps the system diagonally dominant, so the fit succeeds.
    if (failed(fit(std::move(x), std::move(y), gaussian, 0.5))) std::exit(2);
    std::exit(parallel::global_pool_requested() ? 1 : 0);
}

// Each case runs in a freshly started child process, so that no earlier test
// can have created the process-wide pool.
class GlobalPoolDeathTest : public ::testing::TestWithParam<std::pair<std::size_t, int>> {};

TEST_P(GlobalPoolDeathTest, CreatedOnlyFrom320Points) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(fit_and_exit(GetParam().first), ::testing::ExitedWithCode(GetParam().second), "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, GlobalPoolDeathTest,
                         ::testing::Values(std::pair<std::size_t, int>{101, 0}, std::pair<std::size_t, int>{319, 0},
                                           std::pair<std::size_t, int>{320, 1}));

}  // namespace
}  // namespace pymorvel

namespace pymorvel {
namespace {

using testing_support::same_bits;
using testing_support::value_of;

// A stop asked for at any poll ends the fit with Cancelled, whether it falls
// in the design matrix, the elimination or the substitution; a hook that never
// stops changes no bit; the pool stays usable.
TEST(Cancellation, StopsAtAnyPollAndOtherwiseChangesNothing) {
    std::vector<Vector> x;
    std::vector<double> y;
    for (std::size_t i = 0; i < 300; ++i) {
        x.push_back({std::fmod(i * 0.6180339887, 1.0), std::fmod(i * 0.7548776662, 1.0)});
        y.push_back(static_cast<double>(i % 5));
    }
    static parallel::WorkerPool pool(3);
    const ProcessorContext blocked =
        testing_support::with_blocking({.panel = 16, .base = 4, .row_block = 12, .depth = 8, .column_chunk = 16});
    Execution execution{.pool = &pool, .thresholds = {.rows = 2}, .context = &blocked};
    const std::vector<double> plain = value_of(fit(x, y, multiquadric, 0.5, execution)).weights;

    std::size_t polls = 0, stop_at = 0;
    auto hook = [&] { return ++polls == stop_at; };
    Cancellation never(hook, std::chrono::steady_clock::duration::zero());
    execution.cancellation = &never;
    EXPECT_TRUE(same_bits(plain, value_of(fit(x, y, multiquadric, 0.5, execution)).weights));
    const std::size_t total = polls;
    ASSERT_GT(total, 2 * x.size());  // a poll for each row of the matrix and of the substitution at least

    for (std::size_t k : {std::size_t{1}, total / 3, total / 2, total - 1, total}) {
        polls = 0, stop_at = k;
        Cancellation stop(hook, std::chrono::steady_clock::duration::zero());
        execution.cancellation = &stop;
        bool cancelled = false;
        try {
            (void)fit(x, y, multiquadric, 0.5, execution);
        } catch (const Cancelled&) {
            cancelled = true;
        }
        // Polls while waiting for the workers come as often as timing makes
        // them: a run may end before poll k, and must stop whenever it comes.
        EXPECT_EQ(polls >= k, cancelled) << "stop at poll " << k << " of " << polls;
    }
    execution.cancellation = nullptr;
    EXPECT_TRUE(same_bits(plain, value_of(fit(x, y, multiquadric, 0.5, execution)).weights));
}

}  // namespace
}  // namespace pymorvel
