// Register-tiled micro-kernels for C -= A B with one rounding per product and per difference.
#pragma once

#include <cstddef>

namespace pymorvel {

// Tile shape shared by every kernel: MR rows of C by NR columns.
inline constexpr std::size_t KERNEL_MR = 6;
inline constexpr std::size_t KERNEL_NR = 8;

// For every entry of the m x n tile (m <= MR, n <= NR) in rows[0 .. m-1] at
// columns c_col .. c_col+n-1:  for k = 0 .. kc-1 in order,
//     c = c - (b[k][j] * rows[r][a_col + k]).
// A is read straight from the same rows (the multipliers left of the tile);
// b is a packed micro-panel (kc x NR, k-major). Entries outside the tile are
// neither read nor written. The sequence of roundings per entry is exactly
// that of row-by-row elimination.
using MicroKernel = void (*)(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                             std::size_t c_col, std::size_t m, std::size_t n);

enum class KernelPath { Portable, Avx2 };

// The plain kernel every other one must match bit for bit.
void micro_kernel_portable(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                           std::size_t c_col, std::size_t m, std::size_t n);
// Needs AVX2 at run time.
void micro_kernel_avx2(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                       std::size_t c_col, std::size_t m, std::size_t n);

bool cpu_has_avx2() noexcept;
// The best path this processor supports.
KernelPath default_kernel_path() noexcept;
MicroKernel micro_kernel(KernelPath path) noexcept;

}  // namespace pymorvel
