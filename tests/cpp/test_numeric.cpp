// Tests of the kernels, the point and value operations, and the text form of a model.
#include <cmath>
#include <limits>
#include <string>

#include "exact.hpp"
#include "reference_solver.hpp"
#include "numeric/kernels.hpp"
#include "numeric/values.hpp"
#include "rbf/describe.hpp"

namespace pymorvel {
namespace {

using testing_support::same_bits;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double FLOOR = 0x1p-52;

struct KernelCase {
    const char* name;
    Kernel kernel;
    double s, e, expected;
};

class Kernels : public ::testing::TestWithParam<KernelCase> {};

TEST_P(Kernels, ExactValue) {
    const KernelCase& c = GetParam();
    EXPECT_TRUE(same_bits(c.expected, reference::function_of(c.kernel)(c.s, c.e)));
}

// The off-floor values pin the rounding order: (s x -0.5)/(e x e), sqrt(e x e + s),
// 1/sqrt(...) and ln(s) x (s x s) each differ from a plausible regrouping here.
INSTANTIATE_TEST_SUITE_P(
    Values, Kernels,
    ::testing::Values(
        KernelCase{"linear_takes_squared", linear, 4, 1, 4},
        KernelCase{"cubic_takes_squared", cubic, 4, 1, 16},
        KernelCase{"gaussian_unit", gaussian, 1, 1, 0.6065306597126334},
        KernelCase{"gaussian_zero_epsilon", gaussian, 1, 0, 0.0},
        KernelCase{"gaussian_order", gaussian, 1.3, 0.7, 0.26539642902432964},
        KernelCase{"multiquadric_unit", multiquadric, 1, 1, 1.4142135623730951},
        KernelCase{"multiquadric_order", multiquadric, 1.3, 0.7, 1.3379088160259651},
        KernelCase{"inverse_unit", inverse_multiquadratic, 1, 1, 0.7071067811865475},
        KernelCase{"inverse_order", inverse_multiquadratic, 1.3, 0.3, 0.84818892967997084},
        KernelCase{"tps_zero", thin_plate_spline, 0.0, 1, 0.0},
        KernelCase{"tps_negative_zero", thin_plate_spline, -0.0, 1, 0.0},
        KernelCase{"tps_one", thin_plate_spline, 1, 1, 0.0},
        KernelCase{"tps_order", thin_plate_spline, 1.3, 1, 0.44339560695005992},
        KernelCase{"tps_nan", thin_plate_spline, NaN, 1, NaN},
        KernelCase{"tps_negative", thin_plate_spline, -1, 1, NaN},
        // SciPy's scale-free kernels in r: -r, r^2 ln r, r^3, -r^5, at s = r^2 = 4.
        KernelCase{"ph1_takes_root", polyharmonic_1, 4, 1, -2},
        KernelCase{"ph2_takes_root", polyharmonic_2, 4, 1, 2.772588722239781},
        KernelCase{"ph3_takes_root", polyharmonic_3, 4, 1, 8},
        KernelCase{"ph5_takes_root", polyharmonic_5, 4, 1, -32},
        KernelCase{"ph2_zero", polyharmonic_2, 0.0, 1, 0.0},
        KernelCase{"ph2_one", polyharmonic_2, 1, 1, 0.0},
        KernelCase{"ph2_nan", polyharmonic_2, NaN, 1, NaN},
        // Next to r = 1, s ln(sqrt(s)) loses the ninth digit to the square root's rounding.
        KernelCase{"ph2_near_one", polyharmonic_2, 1.0000001, 1, 5.0000002529193275e-08},
        KernelCase{"ph5_order", polyharmonic_5, 0.77, 1, -0.5202676385284789},
        KernelCase{"iq_unit", inverse_quadratic, 1, 1, 0.5},
        KernelCase{"iq_zero_epsilon", inverse_quadratic, 1, 0, 0.0},
        KernelCase{"iq_order", inverse_quadratic, 1.3, 0.7, 0.2737430167597765},
        // The design-matrix diagonal: every kernel sees the floor 2^-52, never 0.
        KernelCase{"diag_gaussian", gaussian, FLOOR, 1, 1 - 0x1p-53},
        KernelCase{"diag_multiquadric", multiquadric, FLOOR, 1, 1.0},
        KernelCase{"diag_inverse", inverse_multiquadratic, FLOOR, 1, 1.0},
        KernelCase{"diag_linear", linear, FLOOR, 1, 2.220446049250313e-16},
        KernelCase{"diag_cubic", cubic, FLOOR, 1, 0x1p-104},
        KernelCase{"diag_tps", thin_plate_spline, FLOOR, 1, -1.7770893150007092e-30},
        KernelCase{"diag_iq", inverse_quadratic, FLOOR, 1, 1 - 0x1p-52},
        KernelCase{"diag_ph1", polyharmonic_1, FLOOR, 1, -0x1p-26},
        KernelCase{"diag_ph2", polyharmonic_2, FLOOR, 1, -4.001649388420642e-15},
        KernelCase{"diag_ph3", polyharmonic_3, FLOOR, 1, 0x1p-78},
        KernelCase{"diag_ph5", polyharmonic_5, FLOOR, 1, -0x1p-130}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Kernels, SignOfEpsilonDoesNotMatter) {
    for (const KernelEntry& entry : KERNELS)
        for (double s : {FLOOR, 0.3, 1.0, 7.5})
            EXPECT_TRUE(same_bits(reference::function_of(entry.kernel)(s, 2), reference::function_of(entry.kernel)(s, -2)))
                << entry.name << " " << s;
}

TEST(Distances, FloorAlsoCatchesNaN) {
    EXPECT_TRUE(same_bits(FLOOR, floor_distance(NaN)));
    EXPECT_TRUE(same_bits(FLOOR, floor_distance(-0.0)));
    EXPECT_TRUE(same_bits(FLOOR, floor_distance(FLOOR)));
    EXPECT_TRUE(same_bits(0x1p-51, floor_distance(0x1p-51)));
}

struct DistanceCase {
    Vector a, b;
    double expected;
};

TEST(Distances, VectorsUseCommonPrefixInIncreasingOrder) {
    // Each small square is 0.4 ulp of 1: added after the 1 they are lost, added
    // to each other first they would survive.
    const double small = std::sqrt(0.4) * 0x1p-26;
    const DistanceCase cases[] = {
        {{1, 2, 3}, {1, 2}, 0.0},
        {{}, {}, -0.0},
        {{}, {5}, -0.0},
        {{1, 2}, {4, 6}, 25},
        {{1, small, small}, {0, 0, 0}, 1.0},
    };
    for (const DistanceCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.a) + " vs " + ::testing::PrintToString(c.b));
        EXPECT_TRUE(same_bits(c.expected, squared_distance(c.a, c.b)));
    }
    EXPECT_TRUE(same_bits(4.0, squared_distance(3.0, 1.0)));
}

TEST(ValueOperations, UnequalLengthsUseCommonPrefix) {
    Vector longer{1, 2, 3};
    add_scaled(longer, Vector{10, 20}, 1.0);
    EXPECT_TRUE(same_bits(Vector{11, 22, 3}, longer));
    Vector shorter{1, 2};
    add_scaled(shorter, Vector{10, 20, 30}, 1.0);
    EXPECT_TRUE(same_bits(Vector{11, 22}, shorter));
    EXPECT_TRUE(same_bits(Vector{4, 5}, subtract(Vector{5, 6, 7}, Vector{1, 1})));
    EXPECT_TRUE(same_bits(Vector{4}, subtract(Vector{5}, Vector{1, 1})));
    EXPECT_TRUE(same_bits(Vector{0.0, 0.0, 0.0}, zero_like(Vector{-1, NaN, -0.0})));
    EXPECT_TRUE(has_nan(Vector{1, NaN}));
    EXPECT_FALSE(has_nan(Vector{1, INF}));
}

struct FormatCase {
    double v;
    std::string text;
};

class FormatEpsilon : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatEpsilon, ShortestDigitsPositional) {
    EXPECT_EQ(GetParam().text, format_epsilon(GetParam().v));
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatEpsilon,
    ::testing::Values(
        FormatCase{1.0, "1"}, FormatCase{0.5, "0.5"}, FormatCase{100.0, "100"},
        FormatCase{0.1, "0.1"}, FormatCase{0.25, "0.25"}, FormatCase{123.456, "123.456"},
        FormatCase{1e21, "1" + std::string(21, '0')},
        FormatCase{1e23, "1" + std::string(23, '0')},  // not exact: shortest digits, then zeros
        FormatCase{1e-7, "0.0000001"}, FormatCase{0.0, "0"}, FormatCase{-0.0, "-0"},
        FormatCase{NaN, "NaN"}, FormatCase{-NaN, "NaN"}, FormatCase{INF, "inf"},
        FormatCase{-INF, "-inf"}, FormatCase{-2.5, "-2.5"},
        FormatCase{0.30000000000000004, "0.30000000000000004"},
        FormatCase{1.7976931348623157e308, "17976931348623157" + std::string(292, '0')},
        FormatCase{5e-324, "0." + std::string(323, '0') + "5"},
        FormatCase{123456.789e-20, "0.00000000000000123456789"}));

TEST(Describe, PrefixPerShape) {
    const std::pair<RbfVariant, std::string> cases[] = {
        {F64F64{{0}, {0}, {0}, gaussian, 1.0}, "Rbf<f64, f64>: epsilon = 1"},
        {F64Vec{{0}, {{0}}, {{0}}, gaussian, 0.25}, "Rbf<f64, Vec<f64>>: epsilon = 0.25"},
        {VecF64{PointSet(std::vector<Vector>{{0}}), {0}, {0}, gaussian, -0.0}, "Rbf<Vec<f64>, f64>: epsilon = -0"},
        {VecVec{PointSet(std::vector<Vector>{{0}}), {{0}}, {{0}}, gaussian, 1e-7}, "Rbf<Vec<f64>, Vec<f64>>: epsilon = 0.0000001"},
    };
    for (const auto& [model, text] : cases) EXPECT_EQ(text, describe(model));
}

// Every kernel is reachable by its name, and by nothing but its exact name.
TEST(KernelTable, NamesRoundTripExactly) {
    for (const KernelEntry& entry : KERNELS) {
        ASSERT_EQ(lookup_kernel(entry.name), entry.kernel) << entry.name;
        EXPECT_EQ(kernel_name(entry.kernel), entry.name);
        EXPECT_FALSE(lookup_kernel(std::string(entry.name) + " ")) << entry.name;
    }
    using namespace std::string_view_literals;
    for (std::string_view near_miss : {""sv, "Gaussian"sv, "thin-plate-spline"sv, "cubic\0"sv})
        EXPECT_FALSE(lookup_kernel(near_miss)) << near_miss;
}

}  // namespace
}  // namespace pymorvel
