// The AVX-512 update tile: each of up to six rows of C in one zmm register, edges masked.
#include <immintrin.h>

#include "numeric/update_tile.hpp"

namespace pymorvel {

namespace {

// Only "avx512f" is enabled here, never "fma": with contraction switched off
// the compiler cannot fuse the separate multiply and subtract below in any
// case, and the object-code scan of the build checks that it did not.
template <std::size_t M>
__attribute__((target("avx512f"))) void tile_rows(std::size_t kc, double* const* rows, std::size_t a_col,
                                                  const double* b, std::size_t c_col, __mmask8 columns) {
    __m512d c[M];
    const double* a[M];
    for (std::size_t r = 0; r < M; ++r) {
        a[r] = rows[r] + a_col;
        // Masked: columns outside the tile are neither read nor written.
        c[r] = _mm512_maskz_loadu_pd(columns, rows[r] + c_col);
        prefetch_ahead(rows[r] + c_col, TILE_NR * sizeof(double));
    }
    for (std::size_t k = 0; k < kc; ++k, b += TILE_NR) {
        // Beyond the tile's columns the packed panel holds zeros.
        const __m512d bk = _mm512_loadu_pd(b);
#pragma GCC unroll 6
        for (std::size_t r = 0; r < M; ++r) c[r] = _mm512_sub_pd(c[r], _mm512_mul_pd(bk, _mm512_set1_pd(a[r][k])));
    }
    for (std::size_t r = 0; r < M; ++r) _mm512_mask_storeu_pd(rows[r] + c_col, columns, c[r]);
}

}  // namespace

static_assert(TILE_NR == 8 && TILE_MR == 6, "one zmm register holds a row of the tile");

void update_tile_avx512(std::size_t kc, double* const* rows, std::size_t a_col, const double* b, std::size_t c_col,
                        std::size_t m, std::size_t n) {
    const auto columns = static_cast<__mmask8>((1u << n) - 1u);
    switch (m) {
        case 6: return tile_rows<6>(kc, rows, a_col, b, c_col, columns);
        case 5: return tile_rows<5>(kc, rows, a_col, b, c_col, columns);
        case 4: return tile_rows<4>(kc, rows, a_col, b, c_col, columns);
        case 3: return tile_rows<3>(kc, rows, a_col, b, c_col, columns);
        case 2: return tile_rows<2>(kc, rows, a_col, b, c_col, columns);
        case 1: return tile_rows<1>(kc, rows, a_col, b, c_col, columns);
        default: return;
    }
}

}  // namespace pymorvel
