// Tests of models fitted in patches: the lattice, membership and growth, the blend against a plain reference, continuity, pools, restriction, tiles and restoring.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "exact.hpp"
#include "fixtures.hpp"
#include "processor_contexts.hpp"
#include "rbf/patch_evaluation.hpp"
#include "rbf/patch_fitting.hpp"
#include "rbf/patch_restore.hpp"

namespace pymorvel {
namespace {

using namespace testing_support;

// A smooth function that is not Franke's, with a gradient of modest size
// against its range.
double field(std::span<const double> p) {
    double v = std::sin(2.0 * p[0]) + 0.5 * p[0];
    if (p.size() > 1) v += std::cos(3.0 * p[1]);
    if (p.size() > 2) v += 0.25 * p[2] * p[2];
    return v;
}

struct Data {
    std::vector<Vector> x;
    std::vector<double> y;
};

Data scattered(std::size_t n, std::size_t dimension, std::uint64_t seed = 7) {
    Uniform u{std::mt19937_64(seed)};
    Data data;
    for (std::size_t i = 0; i < n; ++i) {
        Vector p(dimension);
        for (double& c : p) c = u();
        data.y.push_back(field(p));
        data.x.push_back(std::move(p));
    }
    return data;
}

std::vector<double> firsts(const std::vector<Vector>& x) {
    std::vector<double> out;
    for (const Vector& p : x) out.push_back(p[0]);
    return out;
}

std::vector<Vector> pairs_of(const std::vector<double>& y) {
    std::vector<Vector> out;
    for (double v : y) out.push_back({v, -2.0 * v});
    return out;
}

PatchOptions patches(std::size_t size) { return PatchOptions{size, std::nullopt, std::nullopt}; }

template <class X, class Y>
PatchModel<X, Y> fitted(const std::vector<X>& x, const std::vector<Y>& y, Kernel kernel, double epsilon,
                        const FitOptions& options = {}, std::size_t size = 24, const Execution& execution = {}) {
    return value_of(fit_patches(x, y, kernel, epsilon, options, patches(size), execution));
}

// ---------------------------------------------------------------- a plain reference

// The members of a patch by testing every sample.
template <class X, class Y>
std::vector<std::uint32_t> plain_members(const PatchModel<X, Y>& model, std::uint32_t node, unsigned growth) {
    const Coordinates c = model.lattice.centre(node);
    const double r = model.lattice.radius(growth);
    std::vector<std::uint32_t> members;
    for (std::size_t i = 0; i < model.x.size(); ++i) {
        const std::span<const double> p = numbers_of(model.x[i]);
        if (squared_distance(p, std::span<const double>(c.data(), p.size())) < r * r)
            members.push_back(static_cast<std::uint32_t>(i));
    }
    return members;
}

// A patch fitted again from scratch, in coordinates worked out here: the
// scale is the least power of two above the radius.
template <class X, class Y>
RbfModel<X, Y> plain_patch(const PatchModel<X, Y>& model, std::size_t p, const std::vector<double>& smoothing = {}) {
    const Patch<Y>& patch = model.patches[p];
    const Coordinates c = model.lattice.centre(patch.node);
    double scale = 1.0;
    while (scale <= model.lattice.radius(patch.growth)) scale *= 2.0;
    while (scale / 2.0 > model.lattice.radius(patch.growth)) scale /= 2.0;
    std::vector<X> points;
    std::vector<Y> values;
    for (std::uint32_t i : plain_members(model, patch.node, patch.growth)) {
        const std::span<const double> q = numbers_of(model.x[i]);
        Vector u;
        for (std::size_t k = 0; k < q.size(); ++k) u.push_back((q[k] - c[k]) / scale);
        if constexpr (std::is_same_v<X, double>) {
            points.push_back(u[0]);
        } else {
            points.push_back(u);
        }
        values.push_back(model.y[i]);
    }
    FitOptions options;
    options.degree = model.degree;
    if (!smoothing.empty()) options.smoothing = smoothing;
    return value_of(fit(points, values, model.kernel, model.epsilon / scale, options));
}

template <class X>
X local(std::span<const double> q, const Coordinates& c, double scale) {
    Vector u;
    for (std::size_t k = 0; k < q.size(); ++k) u.push_back((q[k] - c[k]) / scale);
    if constexpr (std::is_same_v<X, double>) {
        return u[0];
    } else {
        return u;
    }
}

double scale_of(const Lattice& lattice, unsigned growth) {
    double scale = 1.0;
    while (scale <= lattice.radius(growth)) scale *= 2.0;
    while (scale / 2.0 > lattice.radius(growth)) scale /= 2.0;
    return scale;
}

// The blend, query by query over every patch in lattice order; a query no
// patch covers takes the patch whose node is nearest its cell's centre,
// found by looking at every patch.
template <class X, class Y>
std::vector<Y> plain_predict(const PatchModel<X, Y>& model, const std::vector<X>& queries) {
    std::vector<RbfModel<X, Y>> locals;
    for (std::size_t p = 0; p < model.patches.size(); ++p) locals.push_back(plain_patch(model, p));
    std::vector<Y> out;
    for (const X& q : queries) {
        const std::span<const double> point = numbers_of(q);
        Y sum = zero_like(model.y.front());
        double total = 0.0;
        for (std::size_t p = 0; p < model.patches.size(); ++p) {
            const Patch<Y>& patch = model.patches[p];
            const Coordinates c = model.lattice.centre(patch.node);
            const double r = model.lattice.radius(patch.growth);
            const double w = patch_weight(squared_distance(point, std::span<const double>(c.data(), point.size())), r * r);
            if (w == 0.0) continue;
            const X u = local<X>(point, c, scale_of(model.lattice, patch.growth));
            add_scaled(sum, value_of(predict(locals[p], std::span<const X>(&u, 1)))[0], w);
            total = w + total;
        }
        if (total == 0.0) {
            const LatticeIndices cell = query_cell(model.lattice, point);
            std::size_t best = 0;
            std::int64_t best_distance = -1;
            for (std::size_t p = 0; p < model.patches.size(); ++p) {
                const LatticeIndices node = model.lattice.indices_of(model.patches[p].node);
                std::int64_t distance = 0;
                for (std::size_t k = 0; k < point.size(); ++k)
                    distance += (2 * node[k] - 2 * cell[k] - 1) * (2 * node[k] - 2 * cell[k] - 1);
                if (best_distance < 0 || distance < best_distance) best = p, best_distance = distance;
            }
            const Patch<Y>& patch = model.patches[best];
            const X u = local<X>(point, model.lattice.centre(patch.node), scale_of(model.lattice, patch.growth));
            sum = value_of(predict(locals[best], std::span<const X>(&u, 1)))[0];
            total = 1.0;
        }
        out.push_back(divide(sum, total));
    }
    return out;
}

std::vector<Vector> grid(std::size_t per_axis, std::size_t dimension, double low, double high) {
    std::vector<Vector> out;
    std::size_t total = 1;
    for (std::size_t k = 0; k < dimension; ++k) total *= per_axis;
    for (std::size_t i = 0; i < total; ++i) {
        Vector p;
        std::size_t rest = i;
        for (std::size_t k = 0; k < dimension; ++k, rest /= per_axis)
            p.push_back(low + (high - low) * static_cast<double>(rest % per_axis) / static_cast<double>(per_axis - 1));
        out.push_back(p);
    }
    return out;
}

// ---------------------------------------------------------------- the lattice

TEST(PatchLattice, BallsHoldAboutPatchSizeSamples) {
    for (std::size_t d : {1, 2, 3}) {
        const Data data = scattered(6000, d);
        const auto model = fitted(data.x, data.y, multiquadric, 0.1, {}, 40);
        // Balls well inside the box see the density the spacing was chosen for.
        double members = 0, count = 0;
        for (const auto& patch : model.patches) {
            const Coordinates c = model.lattice.centre(patch.node);
            const double r = model.lattice.radius(0);
            bool inside = patch.growth == 0;
            for (std::size_t k = 0; k < d; ++k) inside = inside && c[k] - r > 0.0 && c[k] + r < 1.0;
            if (inside) members += static_cast<double>(patch.members.size()), ++count;
        }
        ASSERT_GT(count, 5) << d;
        EXPECT_NEAR(members / count, 40.0, 6.0) << d;
    }
}

TEST(PatchLattice, ThinAxesCountAsNone) {
    // A flat box is a box of fewer dimensions: its patches still hold about
    // patch_size samples, and the lattice has one node across the flat axis.
    Data data = scattered(3000, 2);
    for (Vector& p : data.x) p[1] = 0.5;
    const auto model = fitted(data.x, data.y, multiquadric, 0.1, {}, 40);
    EXPECT_EQ(1, model.lattice.nodes_along(1));
    double low = 1, high = 0;
    for (const Vector& p : data.x) low = std::min(low, p[0]), high = std::max(high, p[0]);
    const Lattice line = value_of(Lattice::make(1, {low}, {high}, 3000, 40));
    EXPECT_TRUE(same_bits(line.spacing(), model.lattice.spacing()));
    // No extent at all: one node.
    const Lattice point = value_of(Lattice::make(2, {3.0, 3.0}, {3.0, 3.0}, 10, 40));
    EXPECT_EQ(1u, point.nodes());
}

TEST(PatchLattice, NodesAreNumberedRowMajor) {
    const Lattice lattice = value_of(Lattice::make(3, {0, 0, 0}, {1, 2, 3}, 5000, 20));
    std::uint64_t node = 0;
    for (std::int64_t i = 0; i < lattice.nodes_along(0); ++i)
        for (std::int64_t j = 0; j < lattice.nodes_along(1); ++j)
            for (std::int64_t k = 0; k < lattice.nodes_along(2); ++k, ++node) {
                EXPECT_EQ(node, lattice.node_at({i, j, k}));
                EXPECT_EQ((LatticeIndices{i, j, k}), lattice.indices_of(node));
            }
    EXPECT_EQ(node, lattice.nodes());
}

TEST(PatchLattice, WeightIsWendlandsAndVanishesAtTheRim) {
    for (double t : {0.0, 0.1, 0.5, 0.9}) {
        const double r2 = 4.0, s = t * t * r2;
        const double a = 1.0 - std::sqrt(s / r2);
        EXPECT_NEAR(std::pow(a, 4) * (4.0 * std::sqrt(s / r2) + 1.0), patch_weight(s, r2), 1e-15);
        // The slope factor times (x - c) is the derivative along a radius.
        const double h = 1e-7, x = std::sqrt(s);
        const double numeric = (patch_weight((x + h) * (x + h), r2) - patch_weight((x - h) * (x - h), r2)) / (2 * h);
        EXPECT_NEAR(numeric, patch_weight_slope(s, r2) * x, 1e-6);
    }
    EXPECT_TRUE(same_bits(1.0, patch_weight(0.0, 4.0)));
    for (double s : {4.0, 4.5, INF, NaN}) {
        EXPECT_TRUE(same_bits(0.0, patch_weight(s, 4.0))) << s;
        EXPECT_TRUE(same_bits(0.0, patch_weight_slope(s, 4.0))) << s;
    }
}

// ---------------------------------------------------------------- fitting

TEST(PatchFit, MembersAreEverySampleInsideTheBallAndGrowthIsLeast) {
    // A dense square and a sparse strip beside it: patches over the strip grow.
    Data data = scattered(1500, 2);
    for (std::size_t i = 0; i < 40; ++i) {
        const double t = static_cast<double>(i) / 39.0;
        data.x.push_back({1.0 + 0.5 * t, 0.3 + 0.4 * std::fmod(t * 7.0, 1.0)});
        data.y.push_back(field(data.x.back()));
    }
    const auto model = fitted(data.x, data.y, multiquadric, 0.1, {}, 24);
    std::size_t grown = 0;
    for (const auto& patch : model.patches) {
        EXPECT_EQ(plain_members(model, patch.node, patch.growth), patch.members) << patch.node;
        // It grew only while it held fewer than a quarter of patch_size.
        if (patch.growth > 0 && patch.growth < MAX_PATCH_GROWTH) {
            EXPECT_LT(plain_members(model, patch.node, patch.growth - 1).size(), 6u) << patch.node;
            EXPECT_GE(patch.members.size(), 6u) << patch.node;
        }
        grown += patch.growth > 0;
    }
    EXPECT_GT(grown, 0u);
    // Every node whose first ball holds a sample has a patch.
    for (std::uint32_t node = 0; node < model.lattice.nodes(); ++node) {
        const bool occupied = !plain_members(model, node, 0).empty();
        const bool has = std::any_of(model.patches.begin(), model.patches.end(), [&](const auto& p) { return p.node == node; });
        EXPECT_EQ(occupied, has) << node;
    }
}

TEST(PatchFit, RankDeficientPatchesGrow) {
    // Samples on the lines y = 0 and y = 1 only: a patch near one line alone
    // sees collinear points, and degree 1 cannot be fitted on them.
    std::vector<Vector> x;
    std::vector<double> y;
    for (std::size_t i = 0; i < 200; ++i) {
        const double t = static_cast<double>(i) / 99.5;
        x.push_back({std::fmod(t, 1.0), i < 100 ? 0.0 : 0.1});
        y.push_back(field(x.back()));
    }
    const auto model = fitted(x, y, multiquadric, 0.1, {.degree = 1}, 16);
    for (const auto& patch : model.patches) {
        bool both = false;
        for (std::uint32_t i : patch.members) both = both || x[i][1] != x[patch.members.front()][1];
        EXPECT_TRUE(both) << "patch " << patch.node << " holds one line only";
    }
}

TEST(PatchFit, EachPatchIsTheDenseFitOfItsMembersInLocalCoordinates) {
    const Data data = scattered(800, 2);
    std::vector<double> smoothing(data.x.size());
    for (std::size_t i = 0; i < smoothing.size(); ++i) smoothing[i] = 1e-6 * static_cast<double>(i % 3);
    struct Case {
        Kernel kernel;
        double epsilon;
        std::optional<std::size_t> degree;
    };
    for (const Case& c : {Case{gaussian, 0.08, std::nullopt}, Case{multiquadric, 0.05, 1},
                          Case{inverse_multiquadratic, 0.05, 0}, Case{thin_plate_spline, 1.0, 2}}) {
        const auto model = fitted(data.x, data.y, c.kernel, c.epsilon, {smoothing, c.degree});
        for (std::size_t p = 0; p < model.patches.size(); ++p) {
            const auto& patch = model.patches[p];
            // The smoothing of a patch is scaled with its coordinates.
            const double scale = scale_of(model.lattice, patch.growth);
            const double factor = std::pow(scale, -kernel_scaling_power(c.kernel));
            std::vector<double> local_smoothing;
            for (std::uint32_t i : patch.members) local_smoothing.push_back(smoothing[i] * factor);
            const auto plain = plain_patch(model, p, local_smoothing);
            ASSERT_TRUE(same_bits(plain.weights, patch.weights)) << kernel_name(c.kernel) << " patch " << p;
            if (c.degree) {
                ASSERT_TRUE(same_bits(plain.polynomial->coefficients, patch.coefficients));
            }
        }
    }
}

struct KernelCase {
    Kernel kernel;
    double epsilon;
    std::optional<std::size_t> degree;
    double tolerance;  // of the interpolation, relative to the range
};

class PatchInterpolation : public ::testing::TestWithParam<KernelCase> {};

TEST_P(PatchInterpolation, PassesThroughTheSamplesInEveryShape) {
    const KernelCase c = GetParam();
    for (std::size_t d : {1, 2, 3}) {
        const std::size_t n = d == 1 ? 300 : 1200;
        const Data data = scattered(n, d);
        const FitOptions options{0.0, c.degree};
        // epsilon in mean sample spacings: the local systems' condition then
        // does not depend on the dimension.
        const double epsilon = c.epsilon * std::pow(static_cast<double>(n), -1.0 / static_cast<double>(d));
        const auto check = [&](const std::vector<double>& got, const char* shape) {
            double worst = 0;
            for (std::size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - data.y[i]));
            // The values span about 4.
            EXPECT_LT(worst, c.tolerance * 4.0) << kernel_name(c.kernel) << " " << shape << " d=" << d;
        };
        const auto vv = fitted(data.x, pairs_of(data.y), c.kernel, epsilon, options);
        std::vector<double> first;
        for (const Vector& v : value_of(predict(vv, std::span<const Vector>(data.x)))) first.push_back(v[0]);
        check(first, "vector values");
        const auto vn = fitted(data.x, data.y, c.kernel, epsilon, options);
        const std::vector<double> numbers = value_of(predict(vn, std::span<const Vector>(data.x)));
        check(numbers, "vector points");
        EXPECT_TRUE(same_bits(first, numbers));  // one component of a vector fit is the number fit
        if (d == 1) {
            const std::vector<double> x = firsts(data.x);
            const auto nn = fitted(x, data.y, c.kernel, epsilon, options);
            check(value_of(predict(nn, std::span<const double>(x))), "numbers");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, PatchInterpolation,
                         ::testing::Values(KernelCase{gaussian, 2.0, std::nullopt, 1e-9},
                                           KernelCase{multiquadric, 1.5, std::nullopt, 1e-10},
                                           KernelCase{inverse_multiquadratic, 1.5, 1, 1e-10},
                                           KernelCase{thin_plate_spline, 1.0, 2, 1e-10}),
                         [](const auto& info) { return std::string(kernel_name(info.param.kernel)); });

// ---------------------------------------------------------------- evaluation

TEST(PatchPredict, EqualsThePlainBlendInEveryShape) {
    // Queries over a box larger than the samples', so that some fall outside
    // every patch; the disc leaves the box's corners without patches too.
    Data data = scattered(900, 2);
    Data disc;
    for (std::size_t i = 0; i < data.x.size(); ++i)
        if (std::hypot(data.x[i][0] - 0.5, data.x[i][1] - 0.5) < 0.5) disc.x.push_back(data.x[i]), disc.y.push_back(data.y[i]);
    const std::vector<Vector> queries = grid(23, 2, -0.3, 1.3);
    const auto vn = fitted(disc.x, disc.y, multiquadric, 0.05, {.degree = 1});
    EXPECT_TRUE(same_bits(plain_predict(vn, queries), value_of(predict(vn, std::span<const Vector>(queries)))));
    const auto vv = fitted(disc.x, pairs_of(disc.y), gaussian, 0.1);
    EXPECT_TRUE(same_bits(plain_predict(vv, queries), value_of(predict(vv, std::span<const Vector>(queries)))));

    const Data line = scattered(200, 1);
    const std::vector<double> x = firsts(line.x), q = firsts(grid(101, 1, -0.5, 1.5));
    const auto nn = fitted(x, line.y, inverse_multiquadratic, 0.05, {.degree = 2});
    EXPECT_TRUE(same_bits(plain_predict(nn, q), value_of(predict(nn, std::span<const double>(q)))));
    const auto nv = fitted(x, pairs_of(line.y), thin_plate_spline, 1.0, {.degree = 2});
    EXPECT_TRUE(same_bits(plain_predict(nv, q), value_of(predict(nv, std::span<const double>(q)))));

    const Data cube = scattered(1500, 3);
    const std::vector<Vector> q3 = grid(7, 3, -0.1, 1.1);
    const auto v3 = fitted(cube.x, cube.y, multiquadric, 0.1, {}, 30);
    EXPECT_TRUE(same_bits(plain_predict(v3, q3), value_of(predict(v3, std::span<const Vector>(q3)))));
}

TEST(PatchPredict, UncoveredQueriesExtendTheNearestPatch) {
    const Data data = scattered(400, 2);
    const auto model = fitted(data.x, data.y, multiquadric, 0.05);
    const std::vector<Vector> far{{5.0, 5.0}, {-3.0, 0.5}, {0.5, 40.0}};
    const std::vector<double> got = value_of(predict(model, std::span<const Vector>(far)));
    EXPECT_TRUE(same_bits(plain_predict(model, far), got));
    for (double v : got) EXPECT_TRUE(std::isfinite(v));
}

TEST(PatchPredict, NonFiniteQueriesAndOtherLengthsFail) {
    const Data data = scattered(300, 2);
    const auto model = fitted(data.x, data.y, multiquadric, 0.05);
    for (double bad : {NaN, INF, -INF}) {
        const std::vector<Vector> q{{0.5, 0.5}, {bad, 0.5}};
        EXPECT_EQ("NaN values in output", std::get<Failure>(predict(model, std::span<const Vector>(q))).message);
        EXPECT_EQ("NaN values in output", std::get<Failure>(gradient(model, std::span<const Vector>(q))).message);
    }
    const std::vector<Vector> q{{0.5, 0.5}, {0.5}};
    EXPECT_EQ("Patches need query points of length 2: query point 1 has length 1",
              std::get<Failure>(predict(model, std::span<const Vector>(q))).message);
}

TEST(PatchPredict, ContinuousAcrossPatchBoundaries) {
    // Pairs of points 1e-12 apart astride every sphere a segment crosses: the
    // blend changes by no more than its slope allows.
    const Data data = scattered(2000, 2);
    double low = data.y[0], high = data.y[0];
    for (double v : data.y) low = std::min(low, v), high = std::max(high, v);
    for (const KernelCase& c : {KernelCase{multiquadric, 0.05, 1, 0}, KernelCase{gaussian, 0.05, std::nullopt, 0},
                                KernelCase{thin_plate_spline, 1.0, 2, 0}}) {
        const auto model = fitted(data.x, data.y, c.kernel, c.epsilon, {0.0, c.degree}, 32);
        const Vector a{0.03, 0.11}, b{0.97, 0.83};
        std::vector<Vector> queries;
        for (const auto& patch : model.patches) {
            const Coordinates centre = model.lattice.centre(patch.node);
            const double r = model.lattice.radius(patch.growth);
            // |a + t (b - a) - c| = r
            const double dx = b[0] - a[0], dy = b[1] - a[1], ex = a[0] - centre[0], ey = a[1] - centre[1];
            const double qa = dx * dx + dy * dy, qb = 2 * (dx * ex + dy * ey), qc = ex * ex + ey * ey - r * r;
            const double disc = qb * qb - 4 * qa * qc;
            if (disc <= 0) continue;
            for (double t : {(-qb - std::sqrt(disc)) / (2 * qa), (-qb + std::sqrt(disc)) / (2 * qa)}) {
                if (t <= 0 || t >= 1) continue;
                const double length = std::sqrt(qa);
                for (double shift : {-0.5e-12, 0.5e-12}) {
                    const double u = t + shift / length;
                    queries.push_back({a[0] + u * dx, a[1] + u * dy});
                }
            }
        }
        ASSERT_GT(queries.size(), 40u);
        const std::vector<double> v = value_of(predict(model, std::span<const Vector>(queries)));
        double jump = 0;
        for (std::size_t i = 0; i + 1 < v.size(); i += 2) jump = std::max(jump, std::fabs(v[i + 1] - v[i]));
        EXPECT_LE(jump / (high - low), 1e-12) << kernel_name(c.kernel);
    }
}

// Central differences over a step wide enough that the rounding of nearly
// cancelling kernel terms (large weights of a flat kernel) does not swamp them.
TEST(PatchGradient, IsTheDerivativeOfThePrediction) {
    const Data data = scattered(1200, 2);
    const std::vector<Vector> queries = grid(9, 2, 0.05, 0.95);
    for (const KernelCase& c : {KernelCase{multiquadric, 0.05, 1, 0}, KernelCase{gaussian, 0.08, std::nullopt, 0}}) {
        const auto model = fitted(data.x, pairs_of(data.y), c.kernel, c.epsilon, {0.0, c.degree}, 32);
        const auto g = value_of(gradient(model, std::span<const Vector>(queries)));
        for (std::size_t i = 0; i < queries.size(); ++i)
            for (std::size_t k = 0; k < 2; ++k) {
                const double h = 1e-4;
                std::vector<Vector> pair{queries[i], queries[i]};
                pair[0][k] -= h, pair[1][k] += h;
                const auto v = value_of(predict(model, std::span<const Vector>(pair)));
                for (std::size_t comp = 0; comp < 2; ++comp)
                    EXPECT_NEAR((v[1][comp] - v[0][comp]) / (2 * h), g[i][comp][k], 5e-5)
                        << kernel_name(c.kernel) << " at " << i << " coordinate " << k;
            }
    }
    // Numbers: one number per value; a query no patch covers has its nearest
    // patch's own gradient, which far out only the exact derivative shows
    // (differences drown in the rounding of large cancelling terms).
    const Data line = scattered(200, 1);
    const std::vector<double> x = firsts(line.x);
    const auto model = fitted(x, line.y, multiquadric, 0.05, {.degree = 1});
    const std::vector<double> q{0.25, 0.5, 3.0};
    const auto g = value_of(gradient(model, std::span<const double>(q)));
    for (std::size_t i = 0; i < 2; ++i) {
        const std::vector<double> pair{q[i] - 1e-4, q[i] + 1e-4};
        const auto v = value_of(predict(model, std::span<const double>(pair)));
        EXPECT_NEAR((v[1] - v[0]) / 2e-4, g[i], 5e-5) << q[i];
    }
    const std::size_t last = model.patches.size() - 1;
    const auto& patch = model.patches[last];
    const double scale = scale_of(model.lattice, patch.growth);
    const double u = (3.0 - model.lattice.centre(patch.node)[0]) / scale;
    EXPECT_TRUE(same_bits(value_of(gradient(plain_patch(model, last), std::span<const double>(&u, 1)))[0] / scale, g[2]));
}

// ---------------------------------------------------------------- the same bits

TEST(PatchBits, SameOnEveryPoolBlockingAndTile) {
    const Data data = scattered(1500, 2);
    const std::vector<Vector> queries = grid(40, 2, -0.1, 1.1);
    std::optional<PatchModel<Vector, double>> first;
    std::vector<double> values;
    std::vector<Vector> slopes;
    // Small blocks, so that the patches' own fits run every blocked path; on
    // seven workers the plain tiles and kernels too.
    const ProcessorContext blocked = with_blocking({16, 4, 12, 8, 16});
    const ProcessorContext plain = with_blocking({16, 4, 12, 8, 16}, context_for({}));
    for (unsigned workers : {1u, 2u, 7u}) {
        const Execution execution{.pool = &pool_of(workers),
                                  .thresholds = {.rows = 2, .work = 1, .min_rows = 1, .fill = 1, .predict = 1},
                                  .context = workers == 7 ? &plain : &blocked};
        const auto model = fitted(data.x, data.y, multiquadric, 0.05, {.degree = 1}, 24, execution);
        const auto v = value_of(predict(model, std::span<const Vector>(queries), execution));
        const auto g = value_of(gradient(model, std::span<const Vector>(queries), execution));
        if (!first) {
            first = model, values = v, slopes = g;
            continue;
        }
        ASSERT_EQ(first->patches.size(), model.patches.size());
        for (std::size_t p = 0; p < model.patches.size(); ++p)
            EXPECT_TRUE(same_bits(first->patches[p].weights, model.patches[p].weights)) << workers << " " << p;
        EXPECT_TRUE(same_bits(values, v)) << workers;
        EXPECT_TRUE(same_bits(slopes, g)) << workers;
    }
}

template <class Y>
::testing::AssertionResult same_patches(const std::vector<Patch<Y>>& expected, const std::vector<Patch<Y>>& actual) {
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << expected.size() << " patches, got " << actual.size();
    for (std::size_t p = 0; p < expected.size(); ++p) {
        if (expected[p].node != actual[p].node || expected[p].growth != actual[p].growth ||
            expected[p].members != actual[p].members)
            return ::testing::AssertionFailure() << "patch " << p << " differs";
        if (!same_bits(expected[p].weights, actual[p].weights) ||
            !same_bits(expected[p].coefficients, actual[p].coefficients))
            return ::testing::AssertionFailure() << "patch " << p << " has other weights";
    }
    return ::testing::AssertionSuccess();
}

TEST(PatchRestrict, KeepsThePatchesReachingInAndTheirBits) {
    const Data data = scattered(2000, 2);
    const auto model = fitted(data.x, data.y, gaussian, 0.08, {.degree = 1}, 24);
    const PatchBox box{{0.2, 0.55}, {0.45, 0.9}};
    const auto part = value_of(restrict_patches(model, box));
    EXPECT_LT(part.patches.size(), model.patches.size() / 3);
    EXPECT_LT(part.x.size(), model.x.size() / 3);
    const std::vector<Vector> inside = grid(31, 2, 0.0, 1.0);
    std::vector<Vector> queries;
    for (const Vector& q : inside)
        if (q[0] >= 0.2 && q[0] <= 0.45 && q[1] >= 0.55 && q[1] <= 0.9) queries.push_back(q);
    queries.push_back({0.2, 0.55}), queries.push_back({0.45, 0.9});
    EXPECT_TRUE(same_bits(value_of(predict(model, std::span<const Vector>(queries))),
                          value_of(predict(part, std::span<const Vector>(queries)))));
    EXPECT_TRUE(same_bits(value_of(gradient(model, std::span<const Vector>(queries))),
                          value_of(gradient(part, std::span<const Vector>(queries)))));
    // Restricting again to the same box changes nothing.
    EXPECT_TRUE(same_patches(part.patches, value_of(restrict_patches(part, box)).patches));
    EXPECT_EQ("No patch reaches into the box",
              std::get<Failure>(restrict_patches(model, PatchBox{{5, 5}, {6, 6}})).message);
    EXPECT_EQ("restrict needs corners of 2 finite coordinates, lower <= upper in each",
              std::get<Failure>(restrict_patches(model, PatchBox{{0.5, 0.5}, {0.4, 0.6}})).message);
}

TEST(PatchTiles, ATileWithItsHaloIsTheWholeFitRestricted) {
    const Data data = scattered(3000, 2);
    std::vector<double> smoothing(data.x.size(), 1e-8);
    const FitOptions options{smoothing, 1};
    const auto whole = fitted(data.x, data.y, multiquadric, 0.05, options, 24);
    PatchDomain domain{{{1, 1}, {0, 0}}, data.x.size()};
    for (const Vector& p : data.x)
        for (std::size_t k = 0; k < 2; ++k)
            domain.box.lower[k] = std::min(domain.box.lower[k], p[k]), domain.box.upper[k] = std::max(domain.box.upper[k], p[k]);
    const double halo = tile_halo(whole.lattice);
    for (const PatchBox& region : {PatchBox{{0.0, 0.0}, {0.5, 0.5}}, PatchBox{{0.5, 0.25}, {1.0, 0.75}}}) {
        Data tile;
        std::vector<double> tile_smoothing;
        for (std::size_t i = 0; i < data.x.size(); ++i) {
            bool near = true;
            for (std::size_t k = 0; k < 2; ++k)
                near = near && data.x[i][k] >= region.lower[k] - halo && data.x[i][k] <= region.upper[k] + halo;
            if (near) tile.x.push_back(data.x[i]), tile.y.push_back(data.y[i]), tile_smoothing.push_back(smoothing[i]);
        }
        ASSERT_LT(tile.x.size(), data.x.size());
        const auto piece = value_of(fit_patches(tile.x, tile.y, multiquadric, 0.05, FitOptions{tile_smoothing, 1},
                                                PatchOptions{24, domain, region}));
        const auto expected = value_of(restrict_patches(whole, region));
        EXPECT_TRUE(same_patches(expected.patches, piece.patches));
        EXPECT_TRUE(same_bits(expected.y, piece.y));
    }
    // The samples must lie in the domain it names.
    PatchDomain small = domain;
    small.box.upper[0] = 0.5;
    EXPECT_EQ(0u, std::get<Failure>(fit_patches(data.x, data.y, multiquadric, 0.05, {}, PatchOptions{24, small, std::nullopt}))
                      .message.find("domain must hold every sample: point "));
}

// ---------------------------------------------------------------- refusals

TEST(PatchFit, RefusesWhatPatchesCannotFit) {
    const Data data = scattered(50, 2);
    auto failure = [&](auto x, auto y, Kernel kernel, std::optional<std::size_t> degree, std::size_t size = 24) {
        auto outcome = fit_patches(x, y, kernel, 0.1, FitOptions{0.0, degree}, patches(size));
        return failed(outcome) ? std::get<Failure>(outcome).message : std::string("<fitted>");
    };
    const std::string singular(messages::PATCH_SINGULAR_KERNEL), spline(messages::PATCH_SPLINE_DEGREE);
    EXPECT_EQ(singular, failure(data.x, data.y, linear, 2));
    EXPECT_EQ(singular, failure(data.x, data.y, cubic, std::nullopt));
    EXPECT_EQ(spline, failure(data.x, data.y, thin_plate_spline, std::nullopt));
    EXPECT_EQ(spline, failure(data.x, data.y, thin_plate_spline, 1));
    EXPECT_EQ("<fitted>", failure(data.x, data.y, thin_plate_spline, 2));
    EXPECT_EQ("patch_size must be None or an int from 8 to 10000 (about that many samples per patch), not 7",
              failure(data.x, data.y, gaussian, std::nullopt, 7));
    EXPECT_EQ("Design matrix and RHS must be non-empty and the same length.",
              failure(std::vector<double>{}, std::vector<double>{}, gaussian, std::nullopt));
    const std::vector<Vector> four(10, Vector{0, 1, 2, 3});
    EXPECT_EQ(messages::patch_dimension(4), failure(four, std::vector<double>(10, 1.0), gaussian, std::nullopt));
    EXPECT_EQ(messages::patch_dimension(0), failure(std::vector<Vector>(3), std::vector<double>(3, 1.0), gaussian, std::nullopt));
    std::vector<Vector> ragged = data.x;
    ragged[7] = {0.5};
    EXPECT_EQ("patch_size needs points of one length: point 0 has length 2, point 7 has length 1",
              failure(ragged, data.y, gaussian, std::nullopt));
    std::vector<Vector> infinite = data.x;
    infinite[3][1] = INF;
    EXPECT_EQ("patch_size needs finite coordinates: NaN or infinity in point 3",
              failure(infinite, data.y, gaussian, std::nullopt));
    std::vector<Vector> values = pairs_of(data.y);
    values[9] = {1.0};
    EXPECT_EQ("patch_size needs values of one length: value 0 has length 2, value 9 has length 1",
              failure(data.x, values, gaussian, std::nullopt));
    // A degree no patch can carry.
    EXPECT_EQ(std::string(messages::PATCH_NONE_FITTED),
              failure(std::vector<double>{0.0, 1.0, 2.0}, std::vector<double>{1, 2, 3}, gaussian, 5));
    // A patch that cannot be solved names its node.
    const std::vector<double> twice{0.0, 0.0, 0.0, 1.0};
    EXPECT_EQ(0u, failure(twice, std::vector<double>{1, 2, 3, 4}, multiquadric, std::nullopt).find("In the patch at lattice point 0: "));
}

TEST(PatchFit, AStopBetweenPatchesThrowsCancelled) {
    // One poll before each patch on the calling thread; on the pool, the poll
    // after the loop at least.
    const Data data = scattered(1500, 2);
    for (std::size_t stop_at : {1, 3, 10}) {
        std::size_t polls = 0;
        auto hook = [&] { return ++polls == stop_at; };
        Cancellation stop(hook, std::chrono::steady_clock::duration::zero());
        const Execution execution{.cancellation = &stop, .thresholds = {.fill = static_cast<std::size_t>(-1)}};
        EXPECT_THROW((void)fit_patches(data.x, data.y, multiquadric, 0.05, {}, patches(24), execution), Cancelled);
        EXPECT_EQ(stop_at, polls);
    }
    std::size_t polls = 0;
    auto hook = [&] { return ++polls == 1; };
    Cancellation stop(hook, std::chrono::steady_clock::duration::zero());
    const Execution execution{.pool = &pool_of(2), .cancellation = &stop, .thresholds = {.fill = 1}};
    EXPECT_THROW((void)fit_patches(data.x, data.y, multiquadric, 0.05, {}, patches(24), execution), Cancelled);
}

// ---------------------------------------------------------------- restoring

TEST(PatchRestore, RebuildsTheFittedModelWithoutSolving) {
    const Data data = scattered(1200, 2);
    const auto model = fitted(data.x, pairs_of(data.y), inverse_multiquadratic, 0.05, {.degree = 1}, 24);
    const PatchDomain domain{{{model.lattice.lower()[0], model.lattice.lower()[1]},
                              {model.lattice.upper()[0], model.lattice.upper()[1]}},
                             model.lattice.count()};
    std::vector<PatchPlace> places;
    std::vector<Vector> weights, coefficients;
    for (const auto& patch : model.patches) {
        places.push_back({patch.node, patch.growth});
        weights.insert(weights.end(), patch.weights.begin(), patch.weights.end());
        coefficients.insert(coefficients.end(), patch.coefficients.begin(), patch.coefficients.end());
    }
    auto restored = [&](auto change) {
        auto p = places;
        auto w = weights, c = coefficients;
        std::size_t size = 24;
        change(p, w, c, size);
        return restore_patches(data.x, pairs_of(data.y), inverse_multiquadratic, 0.05, std::optional<std::size_t>(1),
                               size, domain, p, w, c);
    };
    const auto again = value_of(restored([](auto&, auto&, auto&, auto&) {}));
    EXPECT_TRUE(same_patches(model.patches, again.patches));
    const std::vector<Vector> queries = grid(17, 2, -0.2, 1.2);
    EXPECT_TRUE(same_bits(value_of(predict(model, std::span<const Vector>(queries))),
                          value_of(predict(again, std::span<const Vector>(queries)))));

    auto refusal = [&](auto change) {
        const auto outcome = restored(change);
        return failed(outcome) ? std::get<Failure>(outcome).message : std::string("<restored>");
    };
    const std::string places_message(messages::STATE_PATCH_PLACES);
    EXPECT_EQ(places_message, refusal([](auto& p, auto&, auto&, auto&) { std::swap(p[0], p[1]); }));
    EXPECT_EQ(places_message, refusal([](auto& p, auto&, auto&, auto&) { p.back().growth = 5; }));
    EXPECT_EQ(places_message, refusal([&](auto& p, auto&, auto&, auto&) { p.back().node = model.lattice.nodes(); }));
    EXPECT_EQ(places_message, refusal([](auto& p, auto&, auto&, auto&) { p.clear(); }));
    EXPECT_EQ(messages::state_patch_weight_count(weights.size() - 1),
              refusal([](auto&, auto& w, auto&, auto&) { w.pop_back(); }));
    EXPECT_EQ(messages::state_patch_weight_count(weights.size() + 1),
              refusal([](auto&, auto& w, auto&, auto&) { w.push_back({0, 0}); }));
    EXPECT_EQ(messages::state_patch_coefficient_count(coefficients.size() - 1, coefficients.size()),
              refusal([](auto&, auto&, auto& c, auto&) { c.pop_back(); }));
    EXPECT_EQ("Rbf state: every weight must be finite", refusal([](auto&, auto& w, auto&, auto&) { w[5][1] = NaN; }));
    EXPECT_EQ(std::string(messages::STATE_PATCH_SIZE), refusal([](auto&, auto&, auto&, auto& s) { s = 4; }));
}

}  // namespace
}  // namespace pymorvel
