// The kernel batches and the batched, parallel prediction against plain scalar loops.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "exact.hpp"
#include "numeric/kernel_batch.hpp"
#include "parallel/pool.hpp"
#include "processor_contexts.hpp"
#include "rbf/fitting.hpp"
#include "rbf/prediction.hpp"
#include "reference_solver.hpp"

namespace pymorvel {
namespace {

using namespace testing_support;

constexpr double SUBNORMAL = 0x1p-1060;
constexpr double HUGE_VALUE = 0x1p+600;  // its square overflows

// The plain scalar loop every batch must match.
template <class Q, class P>
double plain_value(Kernel kernel, double e, const Q& q, const P& x) {
    return reference::function_of(kernel)(floor_distance(squared_distance(q, x)), e);
}

// Numbers that exercise every branch of the floor and of the kernels.
const std::vector<double> SPECIAL = {0.0, -0.0, 1.0, -1.5, 0.25, SUBNORMAL, -SUBNORMAL, 1e-8, 3.0, -7.25,
                                     HUGE_VALUE, -HUGE_VALUE, INF, -INF, NaN, 1e300, 0x1p-26, 12345.678};
const double EPSILONS[] = {0.5, -0.7, 0.0, -0.0, SUBNORMAL, 1e200, INF, NaN};

// Vector point sets: one dimension throughout, ragged, with empty points.
std::vector<std::vector<Vector>> vector_sets() {
    std::mt19937_64 rng(17);
    std::uniform_int_distribution<std::size_t> pick(0, SPECIAL.size() - 1);
    auto point = [&](std::size_t length) {
        Vector p(length);
        for (double& c : p) c = pick(rng) % 3 == 0 ? SPECIAL[pick(rng)] : std::ldexp(double(pick(rng)) - 8.0, -3);
        return p;
    };
    std::vector<std::vector<Vector>> sets(5);
    for (std::size_t j = 0; j < 37; ++j) {
        sets[0].push_back(point(2));
        sets[1].push_back(point(3));
        sets[2].push_back(point(1 + j % 4));
        sets[3].push_back(point(j % 5 == 0 ? 0 : 2));
        sets[4].push_back(point(9));  // more components than the registers hold
    }
    return sets;
}

class KernelBatches : public ::testing::TestWithParam<ProcessorContext> {};

TEST_P(KernelBatches, NumberBatchesMatchThePlainLoop) {
    const ProcessorContext& context = GetParam();
    const std::vector<double>& samples = SPECIAL;
    double out[BATCH_SAMPLES * BATCH_LANES];
    for (Kernel kernel : ALL_KERNELS)
        for (double e : EPSILONS)
            for (std::size_t i0 = 0; i0 < samples.size(); i0 += 3)
                for (std::size_t lanes = 1; lanes <= BATCH_LANES && i0 + lanes <= samples.size(); ++lanes) {
                    // Ranges that start and end anywhere, lengths not a multiple of the lanes.
                    const std::size_t j0 = i0 % 5, j1 = samples.size() - i0 % 3;
                    kernel_batch(context, kernel, e, samples, [&](std::size_t l) { return samples[i0 + l]; }, lanes, j0,
                                j1, out);
                    for (std::size_t j = j0; j < j1; ++j)
                        for (std::size_t l = 0; l < lanes; ++l)
                            ASSERT_TRUE(same_bits(plain_value(kernel, e, samples[i0 + l], samples[j]),
                                                  out[(j - j0) * BATCH_LANES + l]))
                                << kernel_name(kernel) << " e=" << e << " query " << i0 + l << " sample " << j;
                }
}

TEST_P(KernelBatches, VectorBatchesMatchThePlainLoopAlsoForRaggedPoints) {
    const ProcessorContext& context = GetParam();
    double out[BATCH_SAMPLES * BATCH_LANES];
    const auto sets = vector_sets();
    for (const auto& sample_vectors : sets) {
        const PointSet samples(sample_vectors);
        // Queries from every set: same dimension, shorter, longer, ragged lanes.
        for (const auto& queries : sets)
            for (Kernel kernel : ALL_KERNELS)
                for (double e : {0.5, SUBNORMAL, NaN})
                    for (std::size_t i0 = 0; i0 + BATCH_LANES <= queries.size(); i0 += 5) {
                        const std::size_t lanes = 1 + i0 % BATCH_LANES;
                        kernel_batch(context, kernel, e, samples,
                                    [&](std::size_t l) { return std::span<const double>(queries[i0 + l]); }, lanes, 1,
                                    samples.size(), out);
                        for (std::size_t j = 1; j < samples.size(); ++j)
                            for (std::size_t l = 0; l < lanes; ++l)
                                ASSERT_TRUE(same_bits(plain_value(kernel, e, std::span<const double>(queries[i0 + l]),
                                                                  samples[j]),
                                                      out[(j - 1) * BATCH_LANES + l]))
                                    << kernel_name(kernel) << " query " << i0 + l << " sample " << j;
                    }
    }
}

TEST_P(KernelBatches, LaneSumsAddInSampleOrder) {
    const KernelBatchOps& ops = *GetParam().kernel_batches;
    // 1 + 2^-53 + 2^-53 is 1 in this order and 1 + 2^-52 in another; the
    // special values bring NaN, infinities and signed zeros into the sums.
    std::vector<double> w = {1.0, 0x1p-53, 0x1p-53};
    for (double v : SPECIAL) w.push_back(v);
    std::vector<double> phi(w.size() * BATCH_LANES);
    for (std::size_t t = 0; t < phi.size(); ++t) phi[t] = t % 7 == 0 ? 1.0 : SPECIAL[(t * 5) % SPECIAL.size()];
    for (std::size_t count : {std::size_t{3}, w.size()}) {
        double acc[BATCH_LANES] = {0.0, -0.0, 2.0, 0x1p-60};
        double plain[BATCH_LANES];
        std::copy(acc, acc + BATCH_LANES, plain);
        ops.lane_sums(w.data(), phi.data(), count, acc);
        for (std::size_t l = 0; l < BATCH_LANES; ++l) {
            for (std::size_t j = 0; j < count; ++j) plain[l] = (w[j] * phi[j * BATCH_LANES + l]) + plain[l];
            EXPECT_TRUE(same_bits(plain[l], acc[l])) << "lane " << l << " count " << count;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, KernelBatches, ::testing::ValuesIn(kernel_contexts()),
                         [](const auto& info) { return context_label(info.param); });

parallel::WorkerPool& pool_of(unsigned workers) {
    static std::unique_ptr<parallel::WorkerPool> pools[8];
    if (!pools[workers]) pools[workers] = std::make_unique<parallel::WorkerPool>(workers);
    return *pools[workers];
}

struct Spread {
    const char* label;
    unsigned workers;  // 0: the calling thread alone
};
const Spread SPREADS[] = {{"here", 0}, {"1-worker", 1}, {"2-workers", 2}, {"7-workers", 7}};

template <class X, class Y>
void expect_batched_prediction_is_plain(const RbfModel<X, Y>& model, const std::vector<X>& queries) {
    const auto plain = reference::predict_with(model, std::span<const X>(queries), reference::function_of(model.kernel));
    for (const ProcessorContext& context : kernel_contexts())
        for (const Spread& spread : SPREADS) {
            SCOPED_TRACE(context_label(context) + " " + spread.label + " " + std::string(kernel_name(model.kernel)) +
                         " m=" + std::to_string(queries.size()));
            const Execution e{.pool = spread.workers == 0 ? nullptr : &pool_of(spread.workers),
                              .thresholds = {.predict = spread.workers == 0 ? static_cast<std::size_t>(-1) : 0},
                              .context = &context};
            EXPECT_TRUE(same_outcome(plain, predict(model, std::span<const X>(queries), e)));
        }
}

TEST(BatchedPrediction, EqualsThePlainSumsInEveryShapeOnEveryPoolAndPath) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const std::size_t n = 150;  // more than one batch of samples
    std::vector<double> xs(n), ys(n);
    std::vector<Vector> xv(n), yv(n);
    for (std::size_t i = 0; i < n; ++i) {
        xs[i] = 3 * unit(rng);
        xv[i] = {unit(rng), unit(rng)};
        ys[i] = unit(rng);
        yv[i] = {unit(rng), unit(rng), unit(rng)};
    }
    for (std::size_t m : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{41}}) {
        std::vector<double> qs(m);
        std::vector<Vector> qv(m);
        for (std::size_t i = 0; i < m; ++i) {
            qs[i] = 4 * unit(rng);
            qv[i] = i % 6 == 5 ? Vector{unit(rng)} : Vector{unit(rng), unit(rng)};  // some queries are shorter
        }
        if (m > 3) qs[3] = NaN, qv[3] = {NaN, 0.5};
        for (Kernel k : ALL_KERNELS) {
            // Weights taken as they are: the sums, not the fit, are under test.
            expect_batched_prediction_is_plain(F64F64{xs, ys, ys, k, 0.8}, qs);
            expect_batched_prediction_is_plain(F64Vec{xs, yv, yv, k, 0.8}, qs);
            expect_batched_prediction_is_plain(VecF64{PointSet(xv), ys, ys, k, 0.8}, qv);
            expect_batched_prediction_is_plain(VecVec{PointSet(xv), yv, yv, k, 0.8}, qv);
        }
    }
}

TEST(BatchedPrediction, PolynomialTermsFollowTheSampleTermsOfEachLane) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Vector> x(60), queries(23);
    std::vector<double> y(60);
    for (Vector& p : x) p = {unit(rng), unit(rng)};
    for (Vector& q : queries) q = {unit(rng), unit(rng)};
    for (double& v : y) v = unit(rng);
    FitOptions options;
    options.degree = 2;
    options.smoothing = 1e-3;
    for (Kernel k : {gaussian, multiquadric, thin_plate_spline})
        expect_batched_prediction_is_plain(testing_support::value_of(fit(x, y, k, 0.8, options)), queries);
}

TEST(BatchedPrediction, ANaNOutputFailsWhereverItLies) {
    // At an infinite query the two multiquadric terms are +inf and -inf.
    const F64F64 model{{0, 1}, {1, 1}, {1, -1}, multiquadric, 1.0};
    for (std::size_t at : {std::size_t{0}, std::size_t{5}, std::size_t{38}}) {
        std::vector<double> q(39, 0.5);
        q[at] = INF;
        expect_batched_prediction_is_plain(model, q);
    }
}

}  // namespace
}  // namespace pymorvel
