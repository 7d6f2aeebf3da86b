// The portable kernel batch stages, which every other implementation must match bit for bit.
#include "numeric/kernel_batch.hpp"

namespace pymorvel {

namespace {

void number_distances_portable(const double* q, const double* x, std::size_t j0, std::size_t j1, double* s) {
    for (std::size_t j = j0; j < j1; ++j)
        for (std::size_t l = 0; l < BATCH_LANES; ++l) *s++ = floor_distance(squared_distance(q[l], x[j]));
}

void vector_distances_portable(const std::span<const double>* q, const PointSet& x, std::size_t j0, std::size_t j1,
                               double* s) {
    for (std::size_t j = j0; j < j1; ++j)
        for (std::size_t l = 0; l < BATCH_LANES; ++l) *s++ = floor_distance(squared_distance(q[l], x[j]));
}

// The scalar kernels, exp included.
void apply_portable(KernelId kernel, double e, double* v, std::size_t count, ExpLanes) {
    dispatch_kernel(kernel, [&](auto phi) {
        for (std::size_t t = 0; t < count; ++t) v[t] = phi(v[t], e);
    });
}

void lane_sums_portable(const double* w, const double* phi, std::size_t count, double* acc) {
    for (std::size_t j = 0; j < count; ++j)
        for (std::size_t l = 0; l < BATCH_LANES; ++l) add_scaled(acc[l], w[j], phi[j * BATCH_LANES + l]);
}

}  // namespace

const KernelBatchOps PORTABLE_KERNEL_BATCHES = {number_distances_portable, vector_distances_portable, apply_portable,
                                             lane_sums_portable};

}  // namespace pymorvel
