// The AVX2 kernel batch stages: one query point per lane of a ymm register.
#include <immintrin.h>

#include "numeric/kernel_batch.hpp"

// Only "avx2" is enabled here, never "fma": with contraction switched off the
// compiler cannot fuse a product into a sum in any case, and the object-code
// scan of the build checks that it did not.
#define PYMORVEL_AVX2 __attribute__((target("avx2")))

namespace pymorvel {

namespace {

// floor_distance lane by lane: an ordered comparison, so NaN takes the floor.
PYMORVEL_AVX2 inline __m256d floored(__m256d d) {
    const __m256d floor = _mm256_set1_pd(DISTANCE_FLOOR);
    return _mm256_blendv_pd(floor, d, _mm256_cmp_pd(d, floor, _CMP_GT_OQ));
}

PYMORVEL_AVX2 void number_distances_avx2(const double* q, const double* x, std::size_t j0, std::size_t j1,
                                         double* s) {
    const __m256d qv = _mm256_loadu_pd(q);
    for (std::size_t j = j0; j < j1; ++j, s += BATCH_LANES) {
        const __m256d t = _mm256_sub_pd(qv, _mm256_broadcast_sd(x + j));
        _mm256_storeu_pd(s, floored(_mm256_mul_pd(t, t)));
    }
}

PYMORVEL_AVX2 void vector_distances_avx2(const std::span<const double>* q, const PointSet& x, std::size_t j0,
                                         std::size_t j1, double* s) {
    // Vectorised when every lane compares the same number of components with
    // every sample: the samples share one dimension D and each query's
    // common prefix with them has the same length.
    const std::size_t d = x.dimension();
    bool uniform = d != PointSet::RAGGED;
    const std::size_t common = uniform ? std::min(q[0].size(), d) : 0;
    for (std::size_t l = 1; l < BATCH_LANES && uniform; ++l) uniform = std::min(q[l].size(), d) == common;
    if (!uniform) {
        PORTABLE_KERNEL_BATCHES.vector_distances(q, x, j0, j1, s);
        return;
    }
    // Queries transposed, component k of every lane in one register; few
    // points have more than a handful of components.
    constexpr std::size_t kHeld = 8;
    if (common > kHeld) {
        PORTABLE_KERNEL_BATCHES.vector_distances(q, x, j0, j1, s);
        return;
    }
    __m256d qk[kHeld];
    for (std::size_t k = 0; k < common; ++k) qk[k] = _mm256_set_pd(q[3][k], q[2][k], q[1][k], q[0][k]);
    const double* point = x.coordinates() + j0 * d;
    for (std::size_t j = j0; j < j1; ++j, s += BATCH_LANES, point += d) {
        // The sum starts at -0.0 and takes the components in order, as in squared_distance.
        __m256d acc = _mm256_set1_pd(-0.0);
        for (std::size_t k = 0; k < common; ++k) {
            const __m256d t = _mm256_sub_pd(qk[k], _mm256_broadcast_sd(point + k));
            acc = _mm256_add_pd(_mm256_mul_pd(t, t), acc);
        }
        _mm256_storeu_pd(s, floored(acc));
    }
}

// The square-root kernels, the polynomial ones, the inverse quadratic and the
// Gaussian's argument, in the operation order of kernels.hpp; the logarithmic
// ones call their scalar function lane by lane.
PYMORVEL_AVX2 void apply_avx2(KernelId kernel, double e, double* v, std::size_t count, ExpLanes exp_lanes) {
    const std::size_t vectorised = count - count % 4;
    const __m256d ee = _mm256_set1_pd(e * e);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d sign = _mm256_set1_pd(-0.0);  // negation flips the sign bit only, as the scalar minus does
    switch (kernel) {
        case KernelId::Multiquadric:
            for (std::size_t t = 0; t < vectorised; t += 4)
                _mm256_storeu_pd(v + t, _mm256_sqrt_pd(_mm256_add_pd(ee, _mm256_loadu_pd(v + t))));
            break;
        case KernelId::InverseMultiquadratic:
            for (std::size_t t = 0; t < vectorised; t += 4)
                _mm256_storeu_pd(v + t,
                                 _mm256_div_pd(one, _mm256_sqrt_pd(_mm256_add_pd(ee, _mm256_loadu_pd(v + t)))));
            break;
        case KernelId::Linear:
            break;
        case KernelId::Cubic:
            for (std::size_t t = 0; t < vectorised; t += 4) {
                const __m256d s = _mm256_loadu_pd(v + t);
                _mm256_storeu_pd(v + t, _mm256_mul_pd(s, s));
            }
            break;
        case KernelId::Gaussian: {
            // The argument (s * -0.5) / (e * e) in lanes, then its correctly
            // rounded exp, in the lanes the caller passes.
            const __m256d half = _mm256_set1_pd(-0.5);
            for (std::size_t t = 0; t < vectorised; t += 4)
                _mm256_storeu_pd(v + t, _mm256_div_pd(_mm256_mul_pd(_mm256_loadu_pd(v + t), half), ee));
            exp_lanes(v, vectorised);
            break;
        }
        case KernelId::InverseQuadratic:
            for (std::size_t t = 0; t < vectorised; t += 4)
                _mm256_storeu_pd(v + t,
                                 _mm256_div_pd(one, _mm256_add_pd(one, _mm256_div_pd(_mm256_loadu_pd(v + t), ee))));
            break;
        case KernelId::Polyharmonic1:
            for (std::size_t t = 0; t < vectorised; t += 4)
                _mm256_storeu_pd(v + t, _mm256_xor_pd(sign, _mm256_sqrt_pd(_mm256_loadu_pd(v + t))));
            break;
        case KernelId::Polyharmonic3:
            for (std::size_t t = 0; t < vectorised; t += 4) {
                const __m256d s = _mm256_loadu_pd(v + t);
                _mm256_storeu_pd(v + t, _mm256_mul_pd(s, _mm256_sqrt_pd(s)));
            }
            break;
        case KernelId::Polyharmonic5:
            for (std::size_t t = 0; t < vectorised; t += 4) {
                const __m256d s = _mm256_loadu_pd(v + t);
                _mm256_storeu_pd(v + t, _mm256_xor_pd(sign, _mm256_mul_pd(_mm256_mul_pd(s, s), _mm256_sqrt_pd(s))));
            }
            break;
        case KernelId::ThinPlateSpline:
        case KernelId::Polyharmonic2:
            PORTABLE_KERNEL_BATCHES.apply(kernel, e, v, count, exp_lanes);
            return;
    }
    PORTABLE_KERNEL_BATCHES.apply(kernel, e, v + vectorised, count - vectorised, exp_lanes);
}

PYMORVEL_AVX2 void lane_sums_avx2(const double* w, const double* phi, std::size_t count, double* acc) {
    __m256d sum = _mm256_loadu_pd(acc);
    for (std::size_t j = 0; j < count; ++j)
        sum = _mm256_add_pd(_mm256_mul_pd(_mm256_broadcast_sd(w + j), _mm256_loadu_pd(phi + j * BATCH_LANES)), sum);
    _mm256_storeu_pd(acc, sum);
}

}  // namespace

const KernelBatchOps AVX2_KERNEL_BATCHES = {number_distances_avx2, vector_distances_avx2, apply_avx2, lane_sums_avx2};

}  // namespace pymorvel
