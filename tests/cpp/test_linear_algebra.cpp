// Tests of the dense solver: LU factors, substitution, equilibration, bounds checks, thread-count independence.
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "exact.hpp"
#include "fixtures.hpp"
#include "row_matrix.hpp"
#include "linear_algebra/solver.hpp"
#include "parallel/pool.hpp"
#include "processor_contexts.hpp"
#include "rbf/fitting.hpp"

namespace pymorvel {
namespace {

using namespace testing_support;
const std::string ZERO_PIVOT = "Exact zero pivot encountered at column ";
const std::string NAN_WEIGHT = "NaN detected in backward substitution at index ";
const std::string INVALID = "Design matrix and RHS must be non-empty and the same length.";

// Identity of size n except that column `zero` has no non-zero entry on or below the diagonal.
DesignMatrix singular_at(std::size_t n, std::size_t zero) {
    DesignMatrix a(n, Row(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) a[i][i] = i == zero ? 0.0 : 1.0;
    return a;
}

struct LuCase {
    const char* name;
    DesignMatrix a;
    DesignMatrix lu;
    std::vector<std::size_t> perm;
    std::string message;  // non-empty: the factorisation must fail with it
};

class LuDecompose : public ::testing::TestWithParam<LuCase> {};

TEST_P(LuDecompose, FactorsOrMessage) {
    const LuCase& c = GetParam();
    for (const Execution& execution : {sequential(), on_pool(pool_of(3), 0)}) {
        const Outcome<RowFactors> actual = lu_decompose(c.a, execution);
        ASSERT_EQ(!c.message.empty(), failed(actual)) << (failed(actual) ? std::get<Failure>(actual).message : "");
        if (failed(actual)) {
            EXPECT_EQ(c.message, std::get<Failure>(actual).message);
        } else {
            EXPECT_TRUE(same_bits(c.lu, std::get<RowFactors>(actual).lu));
            EXPECT_TRUE(same_bits(c.perm, std::get<RowFactors>(actual).perm));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LuDecompose,
    ::testing::Values(
        LuCase{"zero_column_0", {{0, 1}, {0, 2}}, {}, {}, ZERO_PIVOT + "0"},
        LuCase{"negative_zero_pivot", {{-0.0, 1}, {0.0, 1}}, {}, {}, ZERO_PIVOT + "0"},
        LuCase{"zero_column_1", {{1, 1, 1}, {1, 1, 1}, {1, 1, 2}}, {}, {}, ZERO_PIVOT + "1"},
        LuCase{"zero_column_10", singular_at(12, 10), {}, {}, ZERO_PIVOT + "10"},
        LuCase{"exchange", {{0, 1}, {1, 0}}, {{1, 0}, {0, 1}}, {1, 0}, ""},
        LuCase{"larger_wins", {{1, 2}, {3, 4}}, {{3, 4}, {0.3333333333333333, 0.6666666666666667}}, {1, 0}, ""},
        // 3/10 is not 3 x (1/10): the multiplier is a true division.
        LuCase{"multiplier_divides", {{10, 1}, {3, 1}}, {{10, 1}, {0.3, 0.7}}, {0, 1}, ""},
        LuCase{"tie_keeps_lowest", {{1, 2}, {-1, 3}}, {{1, 2}, {-1, 5}}, {0, 1}, ""},
        LuCase{"last_zero_unreported", {{1, 1}, {1, 1}}, {{1, 1}, {1, 0}}, {0, 1}, ""},
        LuCase{"single_zero", {{0}}, {{0}}, {0}, ""},
        LuCase{"nan_stays_pivot", {{NaN, 1}, {1, 1}}, {{NaN, 1}, {NaN, NaN}}, {0, 1}, ""},
        LuCase{"tiny_pivot_passes", {{1e-300, 1}, {0, 1}}, {{1e-300, 1}, {0, 1}}, {0, 1}, ""},
        // f = 0 still updates the row, so inf x 0 turns into NaN.
        LuCase{"zero_multiplier_updates", {{1, INF}, {0, 1}}, {{1, INF}, {0, NaN}}, {0, 1}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Which access trips first is the implementation's choice; it must name the
// short row's length and an index at or past its end.
::testing::AssertionResult out_of_bounds(std::size_t len, const std::string& message) {
    unsigned long reported_len = 0, index = 0;
    if (std::sscanf(message.c_str(), "index out of bounds: the len is %lu but the index is %lu",
                    &reported_len, &index) == 2 &&
        message == "index out of bounds: the len is " + std::to_string(reported_len) +
                       " but the index is " + std::to_string(index) &&
        reported_len == len && index >= len)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << message << "\" for a row of length " << len;
}

TEST(LuDecompose, RaggedRowAbortsInsteadOfReadingOutside) {
    const std::pair<DesignMatrix, std::size_t> cases[] = {
        {{{3, 4}, {1}}, 1}, {{{1, 2}, {}}, 0}, {{{4, 1, 1}, {1, 4, 1}, {1, 1}}, 2}};
    for (const auto& [a, len] : cases) {
        for (const Execution& execution : {sequential(), on_pool(pool_of(3), 0)}) {
            EXPECT_TRUE(out_of_bounds(len, panic_message([&] { (void)lu_decompose(a, execution); })));
            const std::vector<double> b(a.size(), 1.0);
            EXPECT_TRUE(out_of_bounds(len, panic_message([&] { (void)solve<double>(a, b, execution); })));
        }
    }
    // A row longer than the first: the first row is the short one.
    const DesignMatrix longer{{1}, {2, 3}};
    const std::vector<double> b{1, 1};
    EXPECT_TRUE(out_of_bounds(1, panic_message([&] { (void)solve<double>(longer, b); })));
}

struct SolveCase {
    const char* name;
    DesignMatrix a;
    std::vector<double> b;
    Outcome<std::vector<double>> expected;
};

class Solve : public ::testing::TestWithParam<SolveCase> {};

TEST_P(Solve, WeightsOrMessage) {
    const SolveCase& c = GetParam();
    EXPECT_TRUE(same_outcome(c.expected, solve<double>(c.a, c.b, sequential())));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Solve,
    ::testing::Values(
        SolveCase{"empty", {}, {}, Failure{INVALID}},
        SolveCase{"more_values", {{1}}, {1, 2}, Failure{INVALID}},
        SolveCase{"more_rows", {{1, 0}, {0, 1}}, {1}, Failure{INVALID}},
        SolveCase{"one_by_one", {{2}}, {4}, std::vector<double>{2}},
        SolveCase{"one_by_one_scaled", {{400}}, {2}, std::vector<double>{0.005}},
        SolveCase{"two_by_two", {{1, 2}, {3, 4}}, {5, 6}, std::vector<double>{-3.9999999999999987, 4.499999999999999}},
        SolveCase{"zero_over_zero", {{0}}, {0}, Failure{NAN_WEIGHT + "0"}},
        SolveCase{"one_over_zero", {{0}}, {1}, std::vector<double>{INF}},
        SolveCase{"singular_nan", {{1, 1}, {1, 1}}, {1, 1}, Failure{NAN_WEIGHT + "1"}},
        SolveCase{"singular_infinite", {{1, 1}, {1, 1}}, {1, 2}, std::vector<double>{-INF, INF}},
        // Terms 1, 2^-53, 2^-53 added in increasing index give 1; in any other
        // order they would give 1 + 2^-52. The factors equal the input here.
        SolveCase{"forward_adds_in_order", {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 1, 1, 1}},
                  {1, 0x1p-53, 0x1p-53, 2}, std::vector<double>{1, 0x1p-53, 0x1p-53, 1}},
        SolveCase{"backward_adds_in_order", {{1, 1, 1, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}},
                  {2, 1, 0x1p-53, 0x1p-53}, std::vector<double>{1, 1, 0x1p-53, 0x1p-53}},
        SolveCase{"zero_pivot_passed_on", {{0, 1}, {0, 2}}, {1, 1}, Failure{ZERO_PIVOT + "0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Solve, VectorValues) {
    const DesignMatrix a{{1, 2}, {3, 4}};
    const std::vector<Vector> b{{5, 1}, {6, 1}};
    EXPECT_TRUE(same_bits(std::vector<Vector>{{-3.9999999999999987, -1}, {4.499999999999999, 1}},
                          value_of(solve<Vector>(a, b))));
    // Unequal lengths meet over the common prefix. The rows are exchanged, yet
    // the accumulators keep the length of value 0, so no weight outgrows it.
    const DesignMatrix swapped{{0, 2}, {2, 0}};
    const std::vector<Vector> ragged{{1, 2}, {3, 4, 5}};
    EXPECT_TRUE(same_bits(std::vector<Vector>{{1.5, 2}, {0.5, 1}}, value_of(solve<Vector>(swapped, ragged))));
}

TEST(Solve, VectorComponentsEqualNumberSolves) {
    const std::pair<DesignMatrix, std::vector<Vector>> cases[] = {
        {{{1, 2}, {3, 4}}, {{5, 0.1, -7}, {6, 0.3, 1e10}}},
        {{{300, 100}, {100, 300}}, {{2, 4, 0.7}, {6, 8, -0.2}}},  // equilibrated
        {{{4, 1, 0.5}, {1, 3, 1}, {0.5, 2, 5}}, {{1, 2, 3}, {0.1, 0.2, 0.3}, {-1, 1e-3, 7}}},
    };
    for (const auto& [a, b] : cases) {
        const std::vector<Vector> together = value_of(solve<Vector>(a, b));
        for (std::size_t c = 0; c < b[0].size(); ++c) {
            std::vector<double> component, from_vector;
            for (const Vector& v : b) component.push_back(v[c]);
            for (const Vector& w : together) from_vector.push_back(w[c]);
            EXPECT_TRUE(same_bits(value_of(solve<double>(a, component)), from_vector)) << "component " << c;
        }
    }
}

// Solving a scaled and an unscaled system gives different bits here, so the
// result shows which one solve handed to lu_solve.
struct EquilibrationCase {
    const char* name;
    DesignMatrix a;
    std::vector<Vector> b;
    DesignMatrix hand_scaled;
    std::vector<Vector> hand_scaled_b;
    bool equilibrated;
};

class Equilibration : public ::testing::TestWithParam<EquilibrationCase> {};

TEST_P(Equilibration, SolvesTheRightSystem) {
    const EquilibrationCase& c = GetParam();
    const auto unscaled = value_of(lu_solve<Vector>(c.a, c.b));
    const auto scaled = value_of(lu_solve<Vector>(c.hand_scaled, c.hand_scaled_b));
    ASSERT_FALSE(same_bits(unscaled, scaled)) << "case does not discriminate";
    EXPECT_TRUE(same_bits(c.equilibrated ? scaled : unscaled, value_of(solve<Vector>(c.a, c.b))));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Equilibration,
    ::testing::Values(
        // Both norms 400, product 160000.
        EquilibrationCase{"product_160000", {{300, 100}, {100, 300}}, {{2, 4}, {6, 8}},
                          {{0.75, 0.25}, {0.25, 0.75}}, {{0.005, 0.01}, {0.015, 0.02}}, true},
        // Row norm 250, column norm 400: exactly the threshold, so not scaled.
        EquilibrationCase{"product_exactly_100000", {{250, 0}, {150, 100}}, {{3}, {3}},
                          {{1, 0}, {0.6, 0.4}}, {{0.012}, {0.012}}, false},
        // Row sums 1000: x / 1000 and x x (1/1000) differ, so the division shows.
        EquilibrationCase{"product_1600000", {{300, 700}, {100, 900}}, {{3}, {7}},
                          {{0.3, 0.7}, {0.1, 0.9}}, {{0.003}, {0.007}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Thread-count independence -------------------------------------------------

enum class System { Gaussian, MultiquadricVectorValues, NeedsEquilibration };

struct ThreadCase {
    std::size_t n;
    System system;
};

std::string name_of(const ThreadCase& c) {
    const char* names[] = {"gaussian", "multiquadric_vector", "equilibrated"};
    return names[static_cast<int>(c.system)] + std::to_string(c.n);
}

struct Problem {
    std::vector<Vector> points;
    std::vector<double> values;
    std::vector<Vector> vector_values;
    DesignMatrix matrix;
};

Problem make_problem(const ThreadCase& c) {
    Uniform u{std::mt19937_64(1000 + c.n)};
    Problem p;
    for (std::size_t i = 0; i < c.n; ++i) {
        p.points.push_back({u(), u()});
        p.values.push_back(u() - 0.5);
        p.vector_values.push_back({u(), u() * 100, -u()});
    }
    switch (c.system) {
        case System::Gaussian: p.matrix = design_rows(p.points, gaussian, 0.05); break;
        case System::MultiquadricVectorValues: p.matrix = design_rows(p.points, multiquadric, 1.0); break;
        case System::NeedsEquilibration:
            // Rows spanning twelve orders of magnitude around a dominant diagonal.
            p.matrix.assign(c.n, Row(c.n));
            for (std::size_t i = 0; i < c.n; ++i) {
                const double row_scale = std::pow(10.0, static_cast<double>(i % 13) - 6);
                for (std::size_t j = 0; j < c.n; ++j)
                    p.matrix[i][j] = row_scale * (u() + (i == j ? static_cast<double>(c.n) : 0.0));
            }
            break;
    }
    return p;
}

// Weights of the system the case stands for, computed with the given execution.
Outcome<std::vector<Vector>> weights(const ThreadCase& c, const Problem& p, const Execution& execution) {
    auto as_vectors = [](Outcome<std::vector<double>> o) -> Outcome<std::vector<Vector>> {
        if (failed(o)) return std::get<Failure>(o);
        std::vector<Vector> out;
        for (double w : std::get<0>(o)) out.push_back({w});
        return out;
    };
    switch (c.system) {
        case System::Gaussian: {
            auto model = fit<Vector, double>(p.points, p.values, gaussian, 0.05, execution);
            if (failed(model)) return std::get<Failure>(model);
            return as_vectors(std::get<0>(model).weights);
        }
        case System::MultiquadricVectorValues: {
            auto model = fit<Vector, Vector>(p.points, p.vector_values, multiquadric, 1.0, execution);
            if (failed(model)) return std::get<Failure>(model);
            return std::get<0>(model).weights;
        }
        case System::NeedsEquilibration:
            return as_vectors(solve<double>(p.matrix, p.values, execution));
    }
    return Failure{"unreachable"};
}

class ThreadCountIndependence : public ::testing::TestWithParam<ThreadCase> {};

TEST_P(ThreadCountIndependence, FactorsAndWeightsMatchSequential) {
    const ThreadCase& c = GetParam();
    const Problem p = make_problem(c);
    const RowFactors reference = value_of(lu_decompose(p.matrix, sequential()));
    const auto reference_weights = weights(c, p, sequential());
    ASSERT_FALSE(failed(reference_weights)) << std::get<Failure>(reference_weights).message;
    if (c.system == System::NeedsEquilibration) {
        // Only meaningful if solve really equilibrates: then it differs from the unscaled solve.
        ASSERT_FALSE(same_bits(value_of(lu_solve<double>(p.matrix, p.values, sequential())),
                               value_of(solve<double>(p.matrix, p.values, sequential()))));
    }
    struct Setup {
        const char* name;
        std::size_t threshold;
        bool small_pieces;  // so that every worker gets some of each parallel step
    };
    const Setup setups[] = {{"production threshold", PARALLEL_ROWS_THRESHOLD, false},
                            {"threshold 2", 2, false},
                            {"threshold 2, small pieces", 2, true}};
    for (unsigned workers : {1u, 2u, 3u, 7u}) {
        for (const Setup& setup : setups) {
            SCOPED_TRACE(std::to_string(workers) + " workers, " + setup.name);
            Execution execution{.pool = &pool_of(workers), .thresholds = {.rows = setup.threshold}};
            // Below the production threshold everything that can go to the
            // pool does: elimination steps, the fill and the equilibration.
            if (setup.threshold != PARALLEL_ROWS_THRESHOLD)
                execution.thresholds.work = 0, execution.thresholds.min_rows = 0, execution.thresholds.fill = 0;
            const ProcessorContext small = testing_support::with_blocking({.row_block = 8, .column_chunk = 16});
            if (setup.small_pieces) execution.context = &small;
            const RowFactors factors = value_of(lu_decompose(p.matrix, execution));
            EXPECT_TRUE(same_bits(reference.perm, factors.perm));
            EXPECT_TRUE(same_bits(reference.lu, factors.lu));
            EXPECT_TRUE(same_outcome(reference_weights, weights(c, p, execution)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ThreadCountIndependence,
    ::testing::ValuesIn([] {
        std::vector<ThreadCase> cases;
        for (std::size_t n : {102, 150, 400})
            for (System s : {System::Gaussian, System::MultiquadricVectorValues, System::NeedsEquilibration})
                cases.push_back({n, s});
        return cases;
    }()),
    [](const auto& info) { return name_of(info.param); });

}  // namespace
}  // namespace pymorvel
