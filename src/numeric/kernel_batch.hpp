// Kernel values of a few points against a run of samples, side by side in SIMD lanes: the inner loops of the design matrix and of prediction.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "numeric/kernels.hpp"
#include "numeric/point_set.hpp"
#include "numeric/processor_context.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// Query points evaluated side by side. A batch's values are stored lane by
// lane for each sample: value (j, l) at [(j - j0) * BATCH_LANES + l].
inline constexpr std::size_t BATCH_LANES = 4;
// Samples per batch: the batch's values stay in L1.
inline constexpr std::size_t BATCH_SAMPLES = 128;

// The three stages of a batch. Every value is computed with the operations of
// the scalar kernels.hpp and values.hpp, in the same order: square root,
// division, product and sum are correctly rounded in every SIMD width, so a
// lane gives the bits of the scalar code.
struct KernelBatchOps {
    // s[(j - j0) * BATCH_LANES + l] = floor_distance(squared_distance(q[l], x[j])), j in [j0, j1).
    void (*number_distances)(const double* q, const double* x, std::size_t j0, std::size_t j1, double* s);
    void (*vector_distances)(const std::span<const double>* q, const PointSet& x, std::size_t j0, std::size_t j1,
                             double* s);
    // v[t] = kernel(v[t], e) for t < count; the Gaussian's exp may run in exp_lanes.
    void (*apply)(KernelId kernel, double e, double* v, std::size_t count, ExpLanes exp_lanes);
    // For j = 0 .. count-1 in order, acc[l] = (w[j] * phi[j * BATCH_LANES + l]) + acc[l].
    void (*lane_sums)(const double* w, const double* phi, std::size_t count, double* acc);
};

// The plain implementation, and the AVX2 one (needs AVX2 at run time).
extern const KernelBatchOps PORTABLE_KERNEL_BATCHES;
#if defined(__x86_64__)
extern const KernelBatchOps AVX2_KERNEL_BATCHES;
#endif

// kernel(floor_distance(squared_distance(query(l), samples[j])), e) for j in
// [j0, j1) into out, for l < lanes; the remaining lanes repeat the last query;
// with the context's kernel batches and exp lanes.
template <class Query>
void kernel_batch(const ProcessorContext& context, Kernel kernel, double e, const std::vector<double>& samples, Query query,
                 std::size_t lanes, std::size_t j0, std::size_t j1, double* out) {
    double q[BATCH_LANES];
    for (std::size_t l = 0; l < BATCH_LANES; ++l) q[l] = query(std::min(l, lanes - 1));
    context.kernel_batches->number_distances(q, samples.data(), j0, j1, out);
    context.kernel_batches->apply(kernel.id, e, out, (j1 - j0) * BATCH_LANES, context.exp_lanes);
}

template <class Query>
void kernel_batch(const ProcessorContext& context, Kernel kernel, double e, const PointSet& samples, Query query,
                 std::size_t lanes, std::size_t j0, std::size_t j1, double* out) {
    std::span<const double> q[BATCH_LANES];
    for (std::size_t l = 0; l < BATCH_LANES; ++l) q[l] = query(std::min(l, lanes - 1));
    context.kernel_batches->vector_distances(q, samples, j0, j1, out);
    context.kernel_batches->apply(kernel.id, e, out, (j1 - j0) * BATCH_LANES, context.exp_lanes);
}

}  // namespace pymorvel
