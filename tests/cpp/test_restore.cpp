// Tests of rebuilding a model from its parts: what is checked, and that the parts come back unchanged.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "exact.hpp"
#include "rbf/restore.hpp"

namespace pymorvel {
namespace {

using namespace testing_support;

template <class X, class Y>
std::string failure_of(std::vector<X> x, std::vector<Y> y, std::vector<Y> weights) {
    auto outcome = restore(std::move(x), std::move(y), std::move(weights), gaussian, 1.0);
    return failed(outcome) ? std::get<Failure>(outcome).message : "<restored>";
}

const std::string COUNTS = "Rbf state: points, values and weights must be non-empty and equally many";
const std::string NOT_FINITE = "Rbf state: every weight must be finite";

TEST(Restore, RefusesWhatPredictionCouldNotUse) {
    // Counts come first: a missing weight is reported as such even beside a bad one.
    EXPECT_EQ(COUNTS, (failure_of<double, double>({}, {}, {})));
    EXPECT_EQ(COUNTS, (failure_of<double, double>({0, 1}, {1}, {1, 2})));
    EXPECT_EQ(COUNTS, (failure_of<double, double>({0, 1}, {1, 2}, {1})));
    EXPECT_EQ(COUNTS, (failure_of<double, double>({0}, {1, 2}, {1, 2})));
    EXPECT_EQ(COUNTS, (failure_of<Vector, Vector>({{0}, {1}}, {{1}, {2}}, {{NaN}})));
    for (double bad : {NaN, INF, -INF}) {
        EXPECT_EQ(NOT_FINITE, (failure_of<double, double>({0, 1}, {1, 2}, {1, bad})));
        EXPECT_EQ(NOT_FINITE, (failure_of<Vector, Vector>({{0}, {1}}, {{1}, {2}}, {{1, 2}, {3, bad}})));
    }
}

TEST(Restore, KeepsValuesThatPredictionIgnores) {
    // Values other than the first are only shown, never computed with, and a
    // fit may succeed with NaN in a component the common prefix drops.
    EXPECT_EQ("<restored>", (failure_of<double, Vector>({0, 1}, {{1}, {NaN, INF}}, {{1}, {2}})));
}

TEST(Restore, PartsComeBackUnchanged) {
    // Ragged points keep their own lengths, empty ones included; weights of
    // other lengths than the values stay as given.
    const std::vector<Vector> points{{0.5, -0.0}, {}, {1, 2, 3}};
    const std::vector<Vector> values{{1, 2}, {3}, {NaN}};
    const std::vector<Vector> weights{{0.25, 0x1p-1074}, {-1e300}, {1, 2, 3}};
    const VecVec model = value_of(restore(points, values, weights, thin_plate_spline, -0.0));
    ASSERT_EQ(points.size(), model.x.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::span<const double> p = model.x[i];
        EXPECT_TRUE(same_bits(points[i], Vector(p.begin(), p.end())));
    }
    EXPECT_TRUE(same_bits(values, model.y));
    EXPECT_TRUE(same_bits(weights, model.weights));
    EXPECT_EQ(thin_plate_spline, model.kernel);
    EXPECT_TRUE(same_bits(-0.0, model.epsilon));
}

TEST(Restore, OnlyFiniteWeightsAndCoefficientsTravel) {
    EXPECT_TRUE(can_travel(F64F64{{0}, {1}, {-1e308}, gaussian, 1.0}));
    EXPECT_FALSE(can_travel(F64F64{{0, 0}, {1, 2}, {-INF, INF}, gaussian, 1.0}));
    EXPECT_FALSE(can_travel(F64Vec{{0}, {{1, 2}}, {{1, NaN}}, gaussian, 1.0}));
    const PolynomialBasis constant(0, 1, std::vector<double>{0.0}, 1);
    EXPECT_TRUE(can_travel(F64F64{{0}, {1}, {1}, gaussian, 1.0, PolynomialTerm<double>{constant, {-1e308}}}));
    EXPECT_FALSE(can_travel(F64F64{{0}, {1}, {1}, gaussian, 1.0, PolynomialTerm<double>{constant, {INF}}}));
}

// ---------------------------------------------------------------- the polynomial term

template <class X, class Y>
std::string polynomial_failure_of(std::vector<X> x, std::vector<Y> weights, std::size_t degree,
                                  std::vector<Y> coefficients) {
    std::vector<Y> y = weights;
    auto outcome = restore(std::move(x), std::move(y), std::move(weights), gaussian, 1.0,
                           std::optional(PolynomialState<Y>{degree, std::move(coefficients)}));
    return failed(outcome) ? std::get<Failure>(outcome).message : "<restored>";
}

TEST(RestorePolynomial, RefusesInTheOrderOfWhatPredictionReliesOn) {
    // The sample checks come first, then the fit's own refusals of the points,
    // then the coefficients: their count needs the points' dimension.
    const std::vector<Vector> plane{{0, 0}, {1, 0}, {0, 1}};
    EXPECT_EQ(COUNTS, (polynomial_failure_of<Vector, double>({}, {}, 1, {})));
    EXPECT_EQ(NOT_FINITE, (polynomial_failure_of<Vector, double>({{0, 0}, {1}}, {1, INF}, 1, {})));
    EXPECT_EQ("Rbf state: Polynomial term needs points of one length: point 0 has length 2, point 1 has length 1",
              (polynomial_failure_of<Vector, double>({{0, 0}, {1}, {0, 1}}, {1, 2, 3}, 1, {NaN})));
    EXPECT_EQ("Rbf state: Polynomial term needs finite coordinates: NaN or infinity in point 2",
              (polynomial_failure_of<Vector, double>({{0, 0}, {1, 0}, {0, NaN}}, {1, 2, 3}, 1, {})));
    EXPECT_EQ("Rbf state: Polynomial term needs finite coordinates: NaN or infinity in point 0",
              (polynomial_failure_of<double, double>({-INF, 0}, {1, 2}, 0, {1})));
    EXPECT_EQ("Rbf state: Polynomial term has 6 monomials, more than the sample count 3",
              (polynomial_failure_of<Vector, double>(plane, {1, 2, 3}, 2, {})));
    // The count is checked before any basis is built, so that a huge degree costs nothing.
    EXPECT_EQ("Rbf state: Polynomial term has 1000000000000000001 monomials, more than the sample count 2",
              (polynomial_failure_of<double, double>({0, 1}, {1, 2}, 1000000000000000000, {})));
    EXPECT_EQ("Rbf state: the polynomial term needs one coefficient per monomial: got 2 for 3 monomials",
              (polynomial_failure_of<Vector, double>(plane, {1, 2, 3}, 1, {1, NaN})));
    EXPECT_EQ("Rbf state: the polynomial term needs one coefficient per monomial: got 4 for 3 monomials",
              (polynomial_failure_of<Vector, Vector>(plane, {{1}, {2}, {3}}, 1, {{1}, {2}, {3}, {4}})));
    for (double bad : {NaN, INF, -INF}) {
        EXPECT_EQ("Rbf state: every coefficient must be finite",
                  (polynomial_failure_of<Vector, double>(plane, {1, 2, 3}, 1, {1, 2, bad})));
        EXPECT_EQ("Rbf state: every coefficient must be finite",
                  (polynomial_failure_of<double, Vector>({0, 1}, {{1, 2}, {3, 4}}, 1, {{1, 2}, {bad}})));
    }
}

TEST(RestorePolynomial, AcceptsWhatOnlyASolveWouldRefuse) {
    // Collinear points fail the fit's rank test, and points without
    // coordinates give the constant alone whatever the degree: neither stops
    // a model whose coefficients are given.
    EXPECT_EQ("<restored>", (polynomial_failure_of<Vector, double>({{0, 0}, {1, 1}, {2, 2}}, {1, 2, 3}, 1, {1, 2, 3})));
    EXPECT_EQ("<restored>", (polynomial_failure_of<Vector, double>({{}, {}}, {1, 2}, 1000000000000000000, {5})));
}

}  // namespace
}  // namespace pymorvel
