// Tests of the opt-in extensions: kernel derivatives, the polynomial basis and rank test, smoothed fits and fits with a polynomial term, and gradients.
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "exact.hpp"
#include "fixtures.hpp"
#include "reference_solver.hpp"
#include "row_matrix.hpp"
#include "linear_algebra/rank.hpp"
#include "rbf/fitting.hpp"
#include "rbf/gradient.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel {
namespace {

using namespace testing_support;

// ---------------------------------------------------------------- kernels

TEST(KernelDerivatives, MatchCentralDifferencesOfTheKernels) {
    for (Kernel k : ALL_KERNELS)
        for (double e : {0.7, 1.3})
            for (double s : {0.05, 0.3, 1.0, 2.5}) {
                const double h = 1e-6 * s;
                const KernelFn phi = reference::function_of(k);
                const double difference = (phi(s + h, e) - phi(s - h, e)) / (2 * h);
                const double slope = reference::derivative_of(k)(s, e);
                EXPECT_NEAR(difference, slope, 1e-7 * std::max(1.0, std::fabs(slope)))
                    << kernel_name(k) << " s=" << s << " e=" << e;
            }
}

// Coinciding points sit at the floor: no kernel's slope may blow up there,
// not even that of -r, whose derivative in s is -1 / (2r).
TEST(KernelDerivatives, FiniteAtTheFloor) {
    for (Kernel k : ALL_KERNELS)
        for (double e : {1.0, 1e-3, 1e3})
            EXPECT_TRUE(std::isfinite(reference::derivative_of(k)(DISTANCE_FLOOR, e))) << kernel_name(k) << " e=" << e;
}

TEST(KernelDerivatives, ThinPlateSplineIsFlatAtZero) {
    EXPECT_TRUE(same_bits(0.0, reference::derivative_of(thin_plate_spline)(0.0, 1.0)));
    EXPECT_TRUE(same_bits(0.0, reference::derivative_of(thin_plate_spline)(-0.0, 1.0)));
}

// ---------------------------------------------------------------- polynomial basis

TEST(PolynomialBasis, MonomialCount) {
    const std::size_t saturated = std::numeric_limits<std::size_t>::max();
    const std::tuple<std::size_t, std::size_t, std::size_t> cases[] = {
        {0, 7, 1}, {1, 0, 1}, {1, 3, 4}, {2, 2, 6}, {3, 2, 10}, {5, 3, 56}, {3, 5, 56},
        {2, 1000000000, 500000001500000001}, {1000, 1000, saturated}, {1, saturated - 1, saturated}};
    for (const auto& [dimension, degree, count] : cases)
        EXPECT_EQ(count, PolynomialBasis::monomial_count(dimension, degree)) << dimension << ", " << degree;
}

struct Derivative {
    std::size_t q, k;
    double value;
    friend bool operator==(const Derivative&, const Derivative&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Derivative& d) {
        return out << "(" << d.q << ", " << d.k << ", " << d.value << ")";
    }
};

std::vector<Derivative> derivatives_of(const PolynomialBasis& basis, std::vector<double> p) {
    std::vector<Derivative> out;
    basis.differentiate(p, [&](std::size_t q, std::size_t k, double v) { out.push_back({q, k, v}); });
    return out;
}

std::vector<double> values_of(const PolynomialBasis& basis, std::vector<double> p) {
    std::vector<double> out(basis.size());
    basis.evaluate(p, out);
    return out;
}

struct BasisCase {
    const char* name;
    std::size_t degree, dimension;
    std::vector<double> samples;  // back to back
    std::vector<double> at;
    std::vector<double> values;
    std::vector<Derivative> derivatives;
};

class Basis : public ::testing::TestWithParam<BasisCase> {};

TEST_P(Basis, ValuesAndDerivativesInBasisOrder) {
    const BasisCase& c = GetParam();
    const PolynomialBasis basis(c.degree, c.dimension, c.samples, c.samples.size() / std::max<std::size_t>(c.dimension, 1));
    EXPECT_TRUE(same_bits(c.values, values_of(basis, c.at)));
    EXPECT_EQ(c.derivatives, derivatives_of(basis, c.at));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Basis,
    ::testing::Values(
        // Samples spanning [-1, 1]: u = x. Order 1, u0, u1, u0^2, u0 u1, u1^2.
        BasisCase{"graded_order", 2, 2, {-1, -1, 1, 1}, {2, 3}, {1, 2, 3, 4, 6, 9},
                  {{1, 0, 1}, {2, 1, 1}, {3, 0, 4}, {4, 0, 3}, {4, 1, 2}, {5, 1, 6}}},
        BasisCase{"three_coordinates", 2, 3, {-1, -1, -1, 1, 1, 1}, {2, 3, 5}, {1, 2, 3, 5, 4, 6, 10, 9, 15, 25},
                  {{1, 0, 1}, {2, 1, 1}, {3, 2, 1}, {4, 0, 4}, {5, 0, 3}, {5, 1, 2}, {6, 0, 5}, {6, 2, 2},
                   {7, 1, 6}, {8, 1, 5}, {8, 2, 3}, {9, 2, 10}}},
        // Shift 12, scale 2: u = (x - 12) / 2, and every derivative divides by 2.
        BasisCase{"shift_and_scale", 3, 1, {10, 14, 11}, {13}, {1, 0.5, 0.25, 0.125},
                  {{1, 0, 0.5}, {2, 0, 0.5}, {3, 0, 0.375}}},
        // A coordinate that never changes: scale 1, u = 0 on every sample.
        BasisCase{"constant_coordinate", 1, 2, {1, 5, 3, 5}, {2, 7}, {1, 0, 2}, {{1, 0, 1}, {2, 1, 1}}},
        BasisCase{"no_coordinates", 4, 0, {}, {}, {1}, {}},
        BasisCase{"degree_zero", 0, 2, {0, 0, 1, 1}, {9, 9}, {1}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- rank

struct RankCase {
    const char* name;
    std::size_t rows, columns;
    std::vector<double> a;
    std::size_t rank;
};

class Rank : public ::testing::TestWithParam<RankCase> {};

TEST_P(Rank, CompletePivotingCountsPivotsAboveTheTolerance) {
    const RankCase& c = GetParam();
    EXPECT_EQ(c.rank, numerical_rank(c.a, c.rows, c.columns));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rank,
    ::testing::Values(
        RankCase{"identity", 3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 3},
        RankCase{"line", 3, 2, {1, 1, 1, 2, 1, 3}, 2},
        RankCase{"multiple_columns", 3, 2, {1, 2, 2, 4, 3, 6}, 1},
        RankCase{"sum_of_columns", 4, 3, {1, 0, 1, 0, 1, 1, 1, 1, 2, 2, 3, 5}, 2},
        RankCase{"zero", 2, 2, {0, 0, 0, 0}, 0},
        RankCase{"nan", 1, 2, {NaN, NaN}, 0},
        // The second pivot is 2^-52, at or below 2 * 2^-52: dependent.
        RankCase{"within_tolerance", 2, 2, {1, 1, 1, 1 + 0x1p-52}, 1},
        RankCase{"above_tolerance", 2, 2, {1, 1, 1, 1 + 0x1p-49}, 2},
        // The largest entry leads, wherever it is.
        RankCase{"pivot_anywhere", 2, 2, {1e-20, 1, 1, 0}, 2},
        RankCase{"wide", 2, 3, {1, 2, 3, 2, 4, 6}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- fits

std::vector<Vector> plane_points(std::size_t n, unsigned seed) {
    Uniform u{std::mt19937_64(seed)};
    std::vector<Vector> points(n);
    for (Vector& p : points) p = {u(), u()};
    return points;
}

TEST(FitOptions, ZeroSmoothingOfEitherSignAndNoDegreeIsThePlainFit) {
    const std::vector<Vector> x = plane_points(40, 3);
    std::vector<double> y;
    for (const Vector& p : x) y.push_back(std::sin(5 * p[0]) + p[1]);
    for (Kernel k : ALL_KERNELS)
        for (double epsilon : {0.2, 400.0}) {  // 400: equilibrated for the multiquadric
            const VecF64 plain = value_of(fit(x, y, k, epsilon));
            for (const FitOptions& options : {FitOptions{}, FitOptions{-0.0}, FitOptions{std::vector<double>(40, 0.0)},
                                              FitOptions{std::vector<double>(40, -0.0)}}) {
                const VecF64 model = value_of(fit(x, y, k, epsilon, options));
                EXPECT_TRUE(same_bits(plain.weights, model.weights)) << kernel_name(k) << " " << epsilon;
                EXPECT_FALSE(model.polynomial.has_value());
            }
        }
}

// The design matrix of a smoothed fit with a polynomial term, written out in full and solved by the plain
// reference: the fit must give its solution bit for bit.
template <class X, class Y>
std::vector<Y> reference_solution(const std::vector<X>& x, const std::vector<Y>& y, Kernel k, double epsilon,
                                  const std::vector<double>& smoothing, const PolynomialBasis* basis) {
    DesignMatrix m = reference::design_matrix(x, k, epsilon);
    const std::size_t n = x.size(), q = basis != nullptr ? basis->size() : 0;
    for (std::size_t i = 0; i < smoothing.size(); ++i) m[i][i] = m[i][i] + smoothing[i];
    for (Row& row : m) row.resize(n + q, 0.0);
    m.resize(n + q, Row(n + q, 0.0));
    std::vector<double> monomials(q);
    for (std::size_t i = 0; i < n && basis != nullptr; ++i) {
        basis->evaluate(numbers_of(x[i]), monomials);
        for (std::size_t j = 0; j < q; ++j) m[i][n + j] = m[n + j][i] = monomials[j];
    }
    std::vector<Y> values = y;
    values.resize(n + q, zero_like(y.front()));
    return value_of(reference::solve(MatrixView(m), std::span<const Y>(values)));
}

template <class X, class Y>
void expect_reference_fit(const std::vector<X>& x, const std::vector<Y>& y, Kernel k, double epsilon,
                          const FitOptions& options, const std::vector<double>& smoothing) {
    const RbfModel<X, Y> model = value_of(fit(x, y, k, epsilon, options, Execution{.pool = &pool_of(3), .thresholds = {.rows = 2}}));
    ASSERT_EQ(options.degree.has_value(), model.polynomial.has_value());
    const PolynomialBasis* basis = model.polynomial ? &model.polynomial->basis : nullptr;
    std::vector<Y> solution = model.weights;
    if (basis != nullptr) {
        EXPECT_EQ(*options.degree, basis->degree());
        solution.insert(solution.end(), model.polynomial->coefficients.begin(), model.polynomial->coefficients.end());
    }
    EXPECT_TRUE(same_bits(reference_solution(x, y, k, epsilon, smoothing, basis), solution));
}

TEST(FitOptions, SmoothedDesignMatrixWithPolynomialMatchesThePlainReference) {
    const std::vector<Vector> points = plane_points(30, 11);
    std::vector<double> numbers, values, smoothing;
    std::vector<Vector> vector_values;
    for (std::size_t i = 0; i < points.size(); ++i) {
        numbers.push_back(points[i][0] * 10.0 - 3.0);
        values.push_back(std::cos(4 * points[i][0]) * points[i][1]);
        vector_values.push_back({values.back(), -2 * values.back() + 1, 0.5});
        smoothing.push_back(1e-3 * static_cast<double>(i % 4));
    }
    for (Kernel k : {gaussian, multiquadric, thin_plate_spline})
        for (double epsilon : {0.3, 3.0})  // 3.0: the multiquadric system is equilibrated
            for (std::optional<std::size_t> degree : {std::optional<std::size_t>{}, std::optional<std::size_t>{0},
                                                      std::optional<std::size_t>{1}, std::optional<std::size_t>{2}}) {
                SCOPED_TRACE(std::string(kernel_name(k)) + " epsilon " + std::to_string(epsilon) + " degree " +
                             (degree ? std::to_string(*degree) : "none"));
                expect_reference_fit(points, values, k, epsilon, FitOptions{smoothing, degree}, smoothing);
                expect_reference_fit(points, vector_values, k, epsilon, FitOptions{0.01, degree},
                                     std::vector<double>(points.size(), 0.01));
                expect_reference_fit(numbers, values, k, epsilon, FitOptions{0.0, degree}, {});
            }
}

struct RefusalCase {
    const char* name;
    std::vector<Vector> x;
    FitOptions options;
    std::string message;
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, MessageInCheckOrder) {
    const RefusalCase& c = GetParam();
    const Outcome<VecF64> model = fit(c.x, std::vector<double>(c.x.size(), 1.0), gaussian, 0.5, c.options);
    ASSERT_TRUE(failed(model));
    EXPECT_EQ(c.message, std::get<Failure>(model).message);
}

const std::vector<Vector> THREE = {{0, 0}, {1, 0}, {0, 1}};

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(
        RefusalCase{"empty_before_smoothing", {}, {-1.0, 3}, "Design matrix and RHS must be non-empty and the same length."},
        RefusalCase{"negative", THREE, {-1.0}, "Smoothing must be finite and non-negative"},
        RefusalCase{"nan", THREE, {NaN}, "Smoothing must be finite and non-negative"},
        RefusalCase{"infinite", THREE, {INF}, "Smoothing must be finite and non-negative"},
        RefusalCase{"short", THREE, {std::vector<double>{1, 2}}, "Smoothing needs one value per sample: got 2 for 3 samples"},
        RefusalCase{"first_bad_index", THREE, {std::vector<double>{0, -0.5, NaN}},
                    "Smoothing must be finite and non-negative, and is not at index 1"},
        RefusalCase{"smoothing_before_polynomial", {{0}, {1, 2}}, {INF, 0}, "Smoothing must be finite and non-negative"},
        RefusalCase{"ragged", {{0, 0}, {1, 1}, {2}}, {0.0, 0},
                    "Polynomial term needs points of one length: point 0 has length 2, point 2 has length 1"},
        RefusalCase{"nonfinite", {{0, 0}, {1, INF}, {2}}, {0.0, 0},
                    "Polynomial term needs finite coordinates: NaN or infinity in point 1"},
        RefusalCase{"too_few", THREE, {0.0, 2}, "Polynomial term has 6 monomials, more than the sample count 3"},
        RefusalCase{"saturated", {Vector(200, 0.0), Vector(200, 1.0)}, {0.0, 300},
                    "Polynomial term has over 18446744073709551615 monomials, more than the sample count 2"},
        RefusalCase{"collinear", {{0, 0}, {1, 1}, {3, 3}, {2, 2}}, {0.0, 1},
                    "Polynomial term has 3 monomials but rank 2 on the samples"},
        RefusalCase{"conic", {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {0.6, 0.8}, {-0.8, 0.6}, {0.28, -0.96}}, {0.0, 2},
                    "Polynomial term has 6 monomials but rank 5 on the samples"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- prediction and gradient

// Linear kernel, samples 0 and 4 (shift 2, scale 2), degree 1.
F64F64 line_with_polynomial() {
    const std::vector<double> samples{0, 4};
    return F64F64{{0, 4}, {0, 0}, {0.5, 0.25}, linear, 1.0,
                  PolynomialTerm<double>{PolynomialBasis(1, 1, samples, 2), {3, -1}}};
}

TEST(PolynomialTerm, FollowsTheKernelSumInBasisOrder) {
    // Kernel terms (0.5 x 1) then (0.25 x 9): 2.75; then 3 x 1 and -1 x u with u = -0.5.
    const std::vector<double> q{1};
    EXPECT_TRUE(same_bits(std::vector<double>{6.25}, value_of(predict(line_with_polynomial(), std::span<const double>(q)))));
    // Kernel terms 0.5 x 2 and 0.25 x -6: -0.5; then -1 x du/dx = -1 x 0.5.
    EXPECT_TRUE(same_bits(std::vector<double>{-1.0}, value_of(gradient(line_with_polynomial(), std::span<const double>(q)))));
}

TEST(PolynomialTerm, QueriesOfAnotherLengthAreRefusedByBothEvaluations) {
    const std::vector<Vector> x = plane_points(12, 5);
    const VecF64 model = value_of(fit(x, std::vector<double>(12, 1.0), gaussian, 0.5, FitOptions{0.0, 1}));
    const std::vector<Vector> q{{0.5, 0.5}, {0.5, 0.5, 0.5}, {0.5}};
    const std::string message = "Polynomial term needs points of length 2: query point 1 has length 3";
    EXPECT_EQ(message, refuse_queries(model, std::span<const Vector>(q))->message);
    EXPECT_EQ(message, std::get<Failure>(predict(model, std::span<const Vector>(q))).message);
    EXPECT_EQ(message, std::get<Failure>(gradient(model, std::span<const Vector>(q))).message);
    const VecF64 plain = value_of(fit(x, std::vector<double>(12, 1.0), gaussian, 0.5));
    EXPECT_FALSE(refuse_queries(plain, std::span<const Vector>(q)).has_value());
}

template <class X, class Y>
std::vector<GradientOf<X, Y>> gradient_at(const RbfModel<X, Y>& model, std::vector<X> q) {
    return value_of(gradient(model, std::span<const X>(q)));
}

TEST(Gradient, HandDerivedNumbers) {
    const F64F64 line{{0, 2}, {0, 0}, {3, -1}, linear, 1.0};
    // 3 x (0.5 x 2) + -1 x (-1.5 x 2)
    EXPECT_TRUE(same_bits(std::vector<double>{6}, gradient_at(line, {0.5})));
    // On a sample, or within 2^-26 of it, that sample gives nothing; a NaN
    // query coincides with every sample.
    EXPECT_TRUE(same_bits(std::vector<double>{4, 4 - 0x1p-29, 0}, gradient_at(line, {0, 0x1p-30, NaN})));
    // d/dx exp(-x^2 / 2) = -exp(-1/2) at 1; d/dx sqrt(1 + x^2) = 1/sqrt(2).
    EXPECT_TRUE(same_bits(std::vector<double>{-0.6065306597126334},
                          gradient_at(F64F64{{0}, {0}, {1}, gaussian, 1.0}, {1})));
    EXPECT_TRUE(same_bits(std::vector<double>{0.7071067811865475},
                          gradient_at(F64F64{{0}, {0}, {1}, multiquadric, 1.0}, {1})));
}

TEST(Gradient, ShapesAndRaggedVectors) {
    const VecF64 ragged{PointSet(std::vector<Vector>{{0, 0}, {1}}), {0, 0}, {1, 2}, linear, 1.0};
    // Sample 0: 6 and 8; sample 1 knows x0 only: 2 x 4.
    EXPECT_TRUE(same_bits(std::vector<Vector>{{14, 8, 0}}, gradient_at(ragged, {{3, 4, 5}})));
    EXPECT_TRUE(same_bits(std::vector<Vector>{{14}}, gradient_at(ragged, {{3}})));
    const F64Vec components{{0}, {{0, 0, 0}}, {{1, 2, 3}}, linear, 1.0};
    EXPECT_TRUE(same_bits(std::vector<Vector>{{2, 4, 6}}, gradient_at(components, {1})));
    const VecVec both{PointSet(std::vector<Vector>{{0, 0}}), {{0, 0}}, {{1, 2}}, linear, 1.0};
    EXPECT_TRUE(same_bits(std::vector<std::vector<Vector>>{{{2, 4}, {4, 8}}}, gradient_at(both, {{1, 2}})));
}

int slope_calls = 0;
struct CountingLinear {
    static double slope(double, double) {
        ++slope_calls;
        return 1.0;
    }
};

TEST(Gradient, StopsAtTheFirstNaN) {
    // At 0.5 the two terms are +inf and -inf.
    const F64F64 model{{0, 1}, {0, 0}, {INF, INF}, linear, 1.0};
    const std::vector<double> q{0.5, 3};
    slope_calls = 0;
    EXPECT_EQ("NaN values in output",
              std::get<Failure>(gradient_with(model, std::span<const double>(q), CountingLinear{})).message);
    EXPECT_EQ(2, slope_calls) << "the second query point must not be evaluated";
}

TEST(Gradient, SameBitsOnEveryPool) {
    const std::vector<Vector> x = plane_points(150, 21);
    std::vector<double> y, smoothing;
    for (std::size_t i = 0; i < x.size(); ++i) {
        y.push_back(std::sin(3 * x[i][0]) * std::cos(2 * x[i][1]));
        smoothing.push_back(1e-4 * static_cast<double>(1 + i % 3));
    }
    const std::vector<Vector> queries = plane_points(70, 22);  // several pieces on a pool
    const FitOptions options{smoothing, 2};
    const VecF64 reference = value_of(fit(x, y, gaussian, 0.3, options, sequential()));
    const auto expected = gradient_at(reference, queries);
    for (unsigned workers : {1u, 2u, 7u}) {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        const VecF64 model = value_of(fit(x, y, gaussian, 0.3, options, Execution{.pool = &pool_of(workers), .thresholds = {.rows = 2}}));
        EXPECT_TRUE(same_bits(reference.weights, model.weights));
        EXPECT_TRUE(same_bits(reference.polynomial->coefficients, model.polynomial->coefficients));
        EXPECT_TRUE(same_bits(expected, gradient_at(model, queries)));
        const Execution spread{.pool = &pool_of(workers), .thresholds = {.predict = 0}};
        EXPECT_TRUE(same_bits(expected, value_of(gradient(reference, std::span<const Vector>(queries), spread))));
    }
}

TEST(Gradient, NaNFailsOnAPoolToo) {
    const F64F64 model{{0, 1}, {0, 0}, {INF, INF}, linear, 1.0};
    std::vector<double> q(100, 3.0);
    q[57] = 0.5;  // the two terms are +inf and -inf
    const Execution spread{.pool = &pool_of(2), .thresholds = {.predict = 0}};
    EXPECT_EQ("NaN values in output", std::get<Failure>(gradient(model, std::span<const double>(q), spread)).message);
}

}  // namespace
}  // namespace pymorvel
