// The AVX2 update tile (a 6 x 8 tile of C held in twelve ymm registers) and column steps.
#include <immintrin.h>

#include <initializer_list>

#include "numeric/update_tile.hpp"

namespace pymorvel {

// Only "avx2" is enabled here, never "fma": with contraction switched off the
// compiler cannot fuse the separate multiply and subtract below in any case,
// and the object-code scan of the build checks that it did not.
__attribute__((target("avx2"))) void update_tile_avx2(std::size_t kc, double* const* rows,
                                                       std::size_t a_col, const double* b,
                                                       std::size_t c_col, std::size_t m, std::size_t n) {
    if (m != TILE_MR || n != TILE_NR) {
        // Edge tiles are rare; the portable tile gives the same bits.
        update_tile_portable(kc, rows, a_col, b, c_col, m, n);
        return;
    }
    const double* a0 = rows[0] + a_col;
    const double* a1 = rows[1] + a_col;
    const double* a2 = rows[2] + a_col;
    const double* a3 = rows[3] + a_col;
    const double* a4 = rows[4] + a_col;
    const double* a5 = rows[5] + a_col;
    double* c0 = rows[0] + c_col;
    double* c1 = rows[1] + c_col;
    double* c2 = rows[2] + c_col;
    double* c3 = rows[3] + c_col;
    double* c4 = rows[4] + c_col;
    double* c5 = rows[5] + c_col;
    for (const double* c : {c0, c1, c2, c3, c4, c5}) prefetch_ahead(c, TILE_NR * sizeof(double));
    __m256d c00 = _mm256_loadu_pd(c0), c01 = _mm256_loadu_pd(c0 + 4);
    __m256d c10 = _mm256_loadu_pd(c1), c11 = _mm256_loadu_pd(c1 + 4);
    __m256d c20 = _mm256_loadu_pd(c2), c21 = _mm256_loadu_pd(c2 + 4);
    __m256d c30 = _mm256_loadu_pd(c3), c31 = _mm256_loadu_pd(c3 + 4);
    __m256d c40 = _mm256_loadu_pd(c4), c41 = _mm256_loadu_pd(c4 + 4);
    __m256d c50 = _mm256_loadu_pd(c5), c51 = _mm256_loadu_pd(c5 + 4);
    for (std::size_t k = 0; k < kc; ++k) {
        const __m256d b0 = _mm256_loadu_pd(b);
        const __m256d b1 = _mm256_loadu_pd(b + 4);
        __m256d ar = _mm256_broadcast_sd(a0 + k);
        c00 = _mm256_sub_pd(c00, _mm256_mul_pd(b0, ar));
        c01 = _mm256_sub_pd(c01, _mm256_mul_pd(b1, ar));
        ar = _mm256_broadcast_sd(a1 + k);
        c10 = _mm256_sub_pd(c10, _mm256_mul_pd(b0, ar));
        c11 = _mm256_sub_pd(c11, _mm256_mul_pd(b1, ar));
        ar = _mm256_broadcast_sd(a2 + k);
        c20 = _mm256_sub_pd(c20, _mm256_mul_pd(b0, ar));
        c21 = _mm256_sub_pd(c21, _mm256_mul_pd(b1, ar));
        ar = _mm256_broadcast_sd(a3 + k);
        c30 = _mm256_sub_pd(c30, _mm256_mul_pd(b0, ar));
        c31 = _mm256_sub_pd(c31, _mm256_mul_pd(b1, ar));
        ar = _mm256_broadcast_sd(a4 + k);
        c40 = _mm256_sub_pd(c40, _mm256_mul_pd(b0, ar));
        c41 = _mm256_sub_pd(c41, _mm256_mul_pd(b1, ar));
        ar = _mm256_broadcast_sd(a5 + k);
        c50 = _mm256_sub_pd(c50, _mm256_mul_pd(b0, ar));
        c51 = _mm256_sub_pd(c51, _mm256_mul_pd(b1, ar));
        b += TILE_NR;
    }
    _mm256_storeu_pd(c0, c00), _mm256_storeu_pd(c0 + 4, c01);
    _mm256_storeu_pd(c1, c10), _mm256_storeu_pd(c1 + 4, c11);
    _mm256_storeu_pd(c2, c20), _mm256_storeu_pd(c2 + 4, c21);
    _mm256_storeu_pd(c3, c30), _mm256_storeu_pd(c3 + 4, c31);
    _mm256_storeu_pd(c4, c40), _mm256_storeu_pd(c4 + 4, c41);
    _mm256_storeu_pd(c5, c50), _mm256_storeu_pd(c5 + 4, c51);
}

namespace {

__attribute__((target("avx2"))) void divide_avx2(double* x, double pivot, std::size_t length) {
    const __m256d p = _mm256_set1_pd(pivot);
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) _mm256_storeu_pd(x + i, _mm256_div_pd(_mm256_loadu_pd(x + i), p));
    for (; i < length; ++i) x[i] = x[i] / pivot;
}

__attribute__((target("avx2"))) void subtract_scaled_avx2(double* c, const double* x, double u, std::size_t length) {
    const __m256d uu = _mm256_set1_pd(u);
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4)
        _mm256_storeu_pd(c + i, _mm256_sub_pd(_mm256_loadu_pd(c + i), _mm256_mul_pd(uu, _mm256_loadu_pd(x + i))));
    for (; i < length; ++i) c[i] = c[i] - (u * x[i]);
}

}  // namespace

const ColumnSteps AVX2_COLUMN_STEPS = {divide_avx2, subtract_scaled_avx2};

}  // namespace pymorvel
