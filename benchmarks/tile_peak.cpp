// Times the elimination's update tile on one core with every operand in L1, beside the same loop written with fused multiply-adds.
//
// usage: tile_peak  ->  prints "PATH G_PER_S fused G_PER_S" (billions of
// multiply-subtracts per second, best of several rounds; the fused loop is
// timed where the tile path is AVX-512, else its rate reads 0)
//
// The tile's rate is the ceiling of the whole factorisation on this processor;
// the fused loop, which the library may not use (it rounds once where each
// entry must be rounded twice), is roughly what an optimised BLAS reaches.
#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <vector>

#include "numeric/processor_context.hpp"

namespace {

constexpr std::size_t KC = 192;  // the depth of the production update
constexpr int CALLS = 20000;

template <class F>
double best_rate(std::size_t width, F&& call) {
    double best = std::numeric_limits<double>::infinity();
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < CALLS; ++i) call();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return CALLS * double(KC * pymorvel::TILE_MR * width) / best / 1e9;
}

// Six rows by 16 columns, k in order, one fused multiply-add per entry and
// step: twelve accumulators, as many as it takes to keep the fused units busy,
// as a BLAS kernel does.
__attribute__((target("avx512f,fma"))) void fused_tile_512(double* const* rows, const double* b) {
    __m512d c[12];
#pragma GCC unroll 6
    for (int r = 0; r < 6; ++r) c[2 * r] = _mm512_loadu_pd(rows[r] + KC), c[2 * r + 1] = _mm512_loadu_pd(rows[r] + KC + 8);
    const double* a[6] = {rows[0], rows[1], rows[2], rows[3], rows[4], rows[5]};
    for (std::size_t k = 0; k < KC; ++k, b += 16) {
        const __m512d b0 = _mm512_loadu_pd(b), b1 = _mm512_loadu_pd(b + 8);
#pragma GCC unroll 6
        for (int r = 0; r < 6; ++r) {
            const __m512d ar = _mm512_set1_pd(a[r][k]);
            c[2 * r] = _mm512_fnmadd_pd(b0, ar, c[2 * r]);
            c[2 * r + 1] = _mm512_fnmadd_pd(b1, ar, c[2 * r + 1]);
        }
    }
#pragma GCC unroll 6
    for (int r = 0; r < 6; ++r) _mm512_storeu_pd(rows[r] + KC, c[2 * r]), _mm512_storeu_pd(rows[r] + KC + 8, c[2 * r + 1]);
}

}  // namespace

int main() {
    using namespace pymorvel;
    // Tiny values keep every entry finite and normal however often the tile runs.
    constexpr std::size_t WIDEST = 16;
    std::vector<double> storage(TILE_MR * (KC + WIDEST), 1e-3), packed(KC * WIDEST, 1e-3);
    double* rows[TILE_MR];
    for (std::size_t r = 0; r < TILE_MR; ++r) rows[r] = storage.data() + r * (KC + WIDEST);
    const ProcessorContext& context = processor_context();
    const UpdateTile tile = context.update_tile;
    const double ours = best_rate(TILE_NR, [&] { tile(KC, rows, 0, packed.data(), KC, TILE_MR, TILE_NR); });
    double fused = 0.0;
    if (tile == update_tile_avx512) fused = best_rate(16, [&] { fused_tile_512(rows, packed.data()); });
    std::printf("%s %.2f fused %.2f\n", context.name, ours, fused);
    return 0;
}
