// The blocked, vectorised and parallel solver against the plain reference, compared with memcmp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "exact.hpp"
#include "fixtures.hpp"
#include "row_matrix.hpp"
#include "rbf/design_matrix.hpp"
#include "linear_algebra/solver.hpp"
#include "parallel/pool.hpp"
#include "processor_contexts.hpp"
#include "rbf/fitting.hpp"
#include "rbf/prediction.hpp"
#include "reference_solver.hpp"

namespace pymorvel {
namespace {

using testing_support::context_label;
using testing_support::kernel_contexts;
using testing_support::lu_contexts;
using testing_support::pool_of;
using testing_support::with_blocking;

enum class Family { Random, PivotHeavy, SmallIntegers, DuplicateRows, ZeroColumn, NonFinite, Gaussian };

const char* name(Family f) {
    static const char* names[] = {"random", "pivot-heavy", "small-integers", "duplicate-rows",
                                  "zero-column", "non-finite", "gaussian"};
    return names[static_cast<int>(f)];
}

DesignMatrix make_matrix(Family family, std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed * 7919 + n);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    DesignMatrix m(n, Row(n));
    for (Row& row : m)
        for (double& v : row) v = unit(rng);
    switch (family) {
        case Family::Random: break;
        case Family::PivotHeavy:
            // Diagonally dominant, then rows reversed: every column exchanges.
            for (std::size_t i = 0; i < n; ++i) m[i][i] += 2.0 * static_cast<double>(n);
            std::reverse(m.begin(), m.end());
            break;
        case Family::SmallIntegers:
            for (Row& row : m)
                for (double& v : row) v = std::round(2.0 * v);
            break;
        case Family::DuplicateRows:
            if (n > 1) m[n - 1] = m[n / 2];
            break;
        case Family::ZeroColumn:
            for (Row& row : m) row[n / 3] = 0.0;
            break;
        case Family::NonFinite:
            m[n / 2][n / 3] = std::numeric_limits<double>::quiet_NaN();
            m[n / 3][n / 2] = std::numeric_limits<double>::infinity();
            break;
        case Family::Gaussian: {
            std::vector<Vector> points(n, Vector(2));
            for (Vector& p : points) p = {unit(rng), unit(rng)};
            return reference::design_matrix(points, gaussian, 0.3);
        }
    }
    return m;
}

struct SolverSetup {
    const char* label;
    unsigned workers;  // 0: no pool at all
    LuBlocking blocking;
};

// Block sizes small enough that panels, recursion, packing edges and chunking
// all run on matrices of a few dozen rows.
const SolverSetup SETUPS[] = {
    {"sequential-tiny", 0, {.panel = 3, .base = 1, .row_block = 4, .depth = 2, .column_chunk = 8}},
    {"1-worker-small", 1, {.panel = 8, .base = 2, .row_block = 8, .depth = 5, .column_chunk = 16}},
    {"2-workers-tiny", 2, {.panel = 3, .base = 1, .row_block = 4, .depth = 2, .column_chunk = 8}},
    {"3-workers-small", 3, {.panel = 8, .base = 2, .row_block = 8, .depth = 5, .column_chunk = 16, .min_pieces = 1}},
    {"7-workers-odd", 7, {.panel = 13, .base = 3, .row_block = 12, .depth = 7, .column_chunk = 24, .min_pieces = 9}},
    {"2-workers-wide-from-20", 2,
     {.panel = 3, .base = 1, .row_block = 4, .depth = 2, .column_chunk = 8, .min_pieces = 4, .wide_panel = 11,
      .wide_from = 20}},
    {"2-workers-default", 2, {}},
};

// The setup's pool on `context`, which must outlive the execution.
Execution execution_for(const SolverSetup& s, const ProcessorContext& context) {
    Execution e = s.workers == 0 ? sequential() : on_pool(pool_of(s.workers), 2);
    e.context = &context;
    return e;
}

// memcmp, except that any NaN matches any NaN: when both operands of a
// commutative product are NaN, which payload survives depends on the operand
// order the compiler picked, and no NaN ever leaves the solver (a NaN weight
// is reported as a failure).
bool same_bits(const double* a, const double* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (std::memcmp(a + i, b + i, sizeof(double)) != 0 && !(std::isnan(a[i]) && std::isnan(b[i]))) return false;
    return true;
}

// Factors, weights for one and for two outputs, all against the reference.
void expect_matches_reference(const DesignMatrix& m, const Execution& e) {
    const std::size_t n = m.size();
    const auto expected = reference::lu_decompose(MatrixView(m));
    const Outcome<LuFactors> factored = lu_decompose(to_square(MatrixView(m)), e);
    if (failed(expected)) {
        ASSERT_TRUE(failed(factored));
        EXPECT_EQ(std::get<Failure>(factored).message, std::get<Failure>(expected).message);
    } else {
        const auto& f = std::get<reference::Factors>(expected);
        ASSERT_FALSE(failed(factored)) << std::get<Failure>(factored).message;
        const LuFactors& g = std::get<LuFactors>(factored);
        ASSERT_EQ(g.perm, f.perm);
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(same_bits(g.lu.row(i), f.lu[i].data(), n)) << "row " << i;
    }

    std::vector<double> values(n);
    std::vector<Vector> vector_values(n);
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = std::sin(static_cast<double>(i)) * 1e3;
        vector_values[i] = {values[i], static_cast<double>(i % 5)};
    }
    const auto want = reference::solve(MatrixView(m), std::span<const double>(values));
    const auto got = solve(MatrixView(m), std::span<const double>(values), e);
    ASSERT_EQ(failed(want), failed(got));
    if (failed(want)) {
        EXPECT_EQ(std::get<Failure>(want).message, std::get<Failure>(got).message);
    } else {
        const auto& w = std::get<std::vector<double>>(want);
        EXPECT_TRUE(same_bits(w.data(), std::get<std::vector<double>>(got).data(), n));
    }
    const auto want_v = reference::solve(MatrixView(m), std::span<const Vector>(vector_values));
    const auto got_v = solve(MatrixView(m), std::span<const Vector>(vector_values), e);
    ASSERT_EQ(failed(want_v), failed(got_v));
    if (!failed(want_v)) {
        const auto& w = std::get<std::vector<Vector>>(want_v);
        const auto& g = std::get<std::vector<Vector>>(got_v);
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(same_bits(w[i].data(), g[i].data(), 2)) << "weight " << i;
    }
}

class FastLu : public ::testing::TestWithParam<Family> {};

TEST_P(FastLu, MatchesReferenceForEverySizeSetupAndKernel) {
    std::vector<std::size_t> sizes;
    for (std::size_t n = 1; n <= 40; ++n) sizes.push_back(n);
    for (std::size_t n : {64, 101, 102}) sizes.push_back(n);
    // Past the default row group (252 rows) and packed block (256 steps).
    if (testing_support::full_sizes()) sizes.push_back(257);
    for (const ProcessorContext& path : lu_contexts())
        for (const SolverSetup& s : SETUPS) {
            const ProcessorContext blocked = with_blocking(s.blocking, path);
            for (std::size_t n : sizes) {
                SCOPED_TRACE(std::string(name(GetParam())) + " n=" + std::to_string(n) + " " + s.label + " " +
                             context_label(path));
                expect_matches_reference(make_matrix(GetParam(), n, 1), execution_for(s, blocked));
                if (HasFatalFailure()) return;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Families, FastLu,
                         ::testing::Values(Family::Random, Family::PivotHeavy, Family::SmallIntegers,
                                           Family::DuplicateRows, Family::ZeroColumn, Family::NonFinite,
                                           Family::Gaussian),
                         [](const auto& info) {
                             std::string s = name(info.param);
                             std::replace(s.begin(), s.end(), '-', '_');
                             return s;
                         });

TEST(FastLuLarge, MatchesReferenceAtProductionBlockSizes) {
    // 1000 rows take the wide panels; the quick loop stops short of them.
    const bool full = testing_support::full_sizes();
    for (std::size_t n : full ? std::vector<std::size_t>{500, 1000} : std::vector<std::size_t>{500})
        for (unsigned workers : full ? std::vector<unsigned>{1, 2, 7} : std::vector<unsigned>{2, 7})
            for (const ProcessorContext& path : lu_contexts()) {
                SCOPED_TRACE("n=" + std::to_string(n) + " workers=" + std::to_string(workers));
                const Execution e{.pool = &pool_of(workers), .context = &path};
                expect_matches_reference(make_matrix(Family::Gaussian, n, 2), e);
            }
}

// A fused multiply-add would leave 3 - 3 * (1/3 rounded) = 5.551115123125783e-17
// in U(1, 1); separate roundings give exactly +0.0. Comparing two builds cannot
// catch contraction, this can.
TEST(FastLuKnownAnswer, NoContractionOnAnyTilePath) {
    for (const ProcessorContext& path : lu_contexts())
        for (const SolverSetup& s : SETUPS) {
            SCOPED_TRACE(s.label);
            ProcessorContext blocked = with_blocking(s.blocking, path);
            blocked.blocking.base = 1;  // column 1 is then updated by an update tile
            blocked.blocking.panel = 1;
            const Execution e = execution_for(s, blocked);
            const LuFactors f = testing_support::value_of(lu_decompose(to_square(MatrixView(DesignMatrix{{3, 3}, {1, 1}})), e));
            EXPECT_EQ(std::bit_cast<std::uint64_t>(f.lu(1, 1)), std::bit_cast<std::uint64_t>(0.0));
        }
    // The same through a full tile of the vectorised path: 8 rows of [3 3 ... 3], [1 1 ... 1].
    for (const ProcessorContext& path : lu_contexts()) {
        const std::size_t n = 16;
        DesignMatrix m(n, Row(n, 1.0));
        for (std::size_t j = 0; j < n; ++j) m[0][j] = 3.0, m[0][0] = 3.0;
        for (std::size_t i = 1; i < n; ++i) m[i][i] = 1.0 + static_cast<double>(i);
        const ProcessorContext blocked =
            with_blocking({.panel = 1, .base = 1, .row_block = 4, .depth = 1, .column_chunk = 8}, path);
        Execution e = sequential();
        e.context = &blocked;
        const LuFactors a = testing_support::value_of(lu_decompose(to_square(MatrixView(m)), e));
        const auto f = std::get<reference::Factors>(reference::lu_decompose(MatrixView(m)));
        for (std::size_t i = 0; i < n; ++i) ASSERT_TRUE(same_bits(a.lu.row(i), f.lu[i].data(), n));
    }
}

// Mirroring the upper triangle relies on the squared distance being symmetric
// bit for bit; a full evaluation must give the same matrix, whatever the
// kernel batches and however the row blocks are spread over a pool.
TEST(KernelMatrix, MirroredTriangleEqualsFullEvaluation) {
    std::mt19937_64 rng(5);
    std::normal_distribution<double> normal(0.0, 10.0);
    std::vector<double> numbers(60);
    std::vector<Vector> vectors(60), planar(70);  // 70: the mirror's last tile is partial
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        numbers[i] = normal(rng);
        vectors[i] = Vector(1 + i % 4);  // ragged on purpose: the common prefix is compared
        for (double& c : vectors[i]) c = normal(rng);
    }
    for (Vector& p : planar) p = {normal(rng), normal(rng)};
    numbers[7] = std::numeric_limits<double>::quiet_NaN();
    planar[9][1] = std::numeric_limits<double>::quiet_NaN();
    numbers[20] = -0.0, numbers[21] = 0.0, numbers[30] = std::numeric_limits<double>::infinity();
    // Points of one dimension take the vectorised distances.
    std::vector<Vector> pairs;
    for (const Vector& v : vectors)
        if (v.size() == 2) pairs.push_back(v);
    for (const ProcessorContext& context : kernel_contexts())
        for (unsigned workers : {0u, 1u, 2u, 7u})
            for (const KernelEntry& entry : KERNELS) {
                const Kernel k = entry.kernel;
                SCOPED_TRACE(std::to_string(workers) + " workers, " + std::string(kernel_name(k)) + " " +
                             context_label(context));
                Execution e = workers == 0 ? sequential() : on_pool(pool_of(workers), 2);
                e.thresholds.fill = 0;
                e.context = &context;
                const auto check = [&](const auto& points) {
                    const SquareMatrix fast = build_design_matrix(points, k, 0.7, e);
                    const DesignMatrix plain = reference::design_matrix(points, k, 0.7);
                    for (std::size_t i = 0; i < plain.size(); ++i)
                        ASSERT_TRUE(same_bits(fast.row(i), plain[i].data(), plain.size())) << "row " << i;
                };
                check(numbers);
                check(vectors);
                check(pairs);
                // As fits store them: contiguous, ragged or all of one length.
                const auto check_set = [&](const std::vector<Vector>& points) {
                    const SquareMatrix fast = build_design_matrix(PointSet(points), k, 0.7, e);
                    const DesignMatrix plain = reference::design_matrix(points, k, 0.7);
                    for (std::size_t i = 0; i < plain.size(); ++i)
                        ASSERT_TRUE(same_bits(fast.row(i), plain[i].data(), plain.size())) << "row " << i;
                };
                check_set(vectors);
                check_set(planar);
            }
}

TEST(FastFit, WeightsMatchPlainPipeline) {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Vector> x(300, Vector(2));
    std::vector<double> y(300);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = {unit(rng), unit(rng)};
        y[i] = std::sin(6 * x[i][0]) + x[i][1];
    }
    for (Kernel k : {gaussian, multiquadric, thin_plate_spline}) {
        const DesignMatrix plain = reference::design_matrix(x, k, 0.5);
        const auto want = std::get<std::vector<double>>(reference::solve(MatrixView(plain), std::span<const double>(y)));
        const auto model = std::get<VecF64>(fit(x, y, k, 0.5, on_pool(pool_of(3), 2)));
        EXPECT_TRUE(same_bits(want.data(), model.weights.data(), want.size()));
    }
}

Vector random_vector(std::mt19937_64& rng, std::size_t n, double sigma) {
    std::normal_distribution<double> normal(0.0, sigma);
    Vector v(n);
    for (double& c : v) c = normal(rng);
    return v;
}

// predict evaluates tiles of query points and samples; the bits must be those
// of one loop, in every shape, up to the first query that gives NaN.
TEST(FastPredict, PassesMatchOneLoop) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> normal(0.0, 1.0);
    const auto vector = [&](std::size_t n) { return random_vector(rng, n, 1.0); };
    std::vector<double> x(40), qx(25);
    std::vector<Vector> vx(40), vq(25), vy(40), ux(40);
    std::vector<double> y(40);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = normal(rng);
        y[i] = normal(rng);
        vx[i] = vector(1 + i % 3);  // ragged: distances use the common prefix
        ux[i] = vector(2);
        vy[i] = vector(i == 0 ? 3 : 2 + i % 2);
    }
    for (std::size_t i = 0; i < qx.size(); ++i) {
        qx[i] = normal(rng);
        vq[i] = vector(1 + i % 3);
    }
    // Where a kernel grows without bound, an infinite query sums infinities of
    // both signs to NaN, and predict stops there.
    qx[20] = testing_support::INF;
    vq[20][0] = testing_support::INF;
    for (const KernelEntry& entry : KERNELS) {
        const Kernel k = entry.kernel;
        const F64F64 a{x, y, y, k, 0.8};
        const F64Vec b{x, vy, vy, k, 0.8};
        const VecF64 c{PointSet(vx), y, y, k, 0.8};
        const VecVec d{PointSet(vx), vy, vy, k, 0.8};
        const VecF64 e{PointSet(ux), y, y, k, 0.8};  // one length: the vectorised distances
        using testing_support::same_outcome;
        EXPECT_TRUE(same_outcome(reference::predict(a, qx), predict(a, std::span<const double>(qx))));
        EXPECT_TRUE(same_outcome(reference::predict(b, qx), predict(b, std::span<const double>(qx))));
        EXPECT_TRUE(same_outcome(reference::predict(c, vq), predict(c, std::span<const Vector>(vq))));
        EXPECT_TRUE(same_outcome(reference::predict(d, vq), predict(d, std::span<const Vector>(vq))));
        EXPECT_TRUE(same_outcome(reference::predict(e, vq), predict(e, std::span<const Vector>(vq))));
    }
}

}  // namespace
}  // namespace pymorvel
