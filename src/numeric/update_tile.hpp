// Register-sized update tiles for C -= A B, and the column steps of narrow panels, with one rounding per product, quotient and difference.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pymorvel {

// Asks for the cache line that starts `bytes` after p. Tiles call it on the C
// of the next tile along their rows: a tile's C rows are read at its start, and
// a miss there stalls every accumulator. A hint only, so the address may lie
// past the end of a row (it is formed as an integer, not a pointer).
inline void prefetch_ahead(const double* p, std::size_t bytes) noexcept {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + bytes));
}

// Tile shape shared by every implementation: MR rows of C by NR columns.
inline constexpr std::size_t TILE_MR = 6;
inline constexpr std::size_t TILE_NR = 8;

// For every entry of the m x n tile (m <= MR, n <= NR) in rows[0 .. m-1] at
// columns c_col .. c_col+n-1:  for k = 0 .. kc-1 in order,
//     c = c - (b[k][j] * rows[r][a_col + k]).
// A is read straight from the same rows (the multipliers left of the tile);
// b is a packed micro-panel (kc x NR, k-major). Entries outside the tile are
// neither read nor written. The sequence of roundings per entry is exactly
// that of row-by-row elimination.
using UpdateTile = void (*)(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                            std::size_t c_col, std::size_t m, std::size_t n);

// The plain tile every other one must match bit for bit.
void update_tile_portable(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                          std::size_t c_col, std::size_t m, std::size_t n);
#if defined(__x86_64__)
// Needs AVX2 at run time.
void update_tile_avx2(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                      std::size_t c_col, std::size_t m, std::size_t n);
// Needs AVX-512F at run time. Twice the width of AVX2 without fused
// multiply-adds still does a third more per cycle, and edge tiles stay vectorised.
void update_tile_avx512(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                        std::size_t c_col, std::size_t m, std::size_t n);
#endif

// The column steps of a narrow panel's row-by-row elimination, entry by
// entry: x[i] = x[i] / pivot, and c[i] = c[i] - (u * x[i]), for i < length.
struct ColumnSteps {
    void (*divide)(double* x, double pivot, std::size_t length);
    void (*subtract_scaled)(double* c, const double* x, double u, std::size_t length);
};
extern const ColumnSteps PORTABLE_COLUMN_STEPS;
#if defined(__x86_64__)
extern const ColumnSteps AVX2_COLUMN_STEPS;  // needs AVX2 at run time
#endif

}  // namespace pymorvel
