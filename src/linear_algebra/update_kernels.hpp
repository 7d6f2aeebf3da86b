// Register-tiled micro-kernels for C -= A B with one rounding per product and per difference.
#pragma once

#include <cstddef>

namespace pymorvel {

// Tile shape shared by every kernel: MR rows of C by NR columns.
inline constexpr std::size_t KERNEL_MR = 4;
inline constexpr std::size_t KERNEL_NR = 8;

// For every entry of the m x n tile (m <= MR, n <= NR) whose rows start at
// c_rows[r] + col:  for k = 0 .. kc-1 in order,  c = c - (b[k][c] * a[k][r]).
// a is a packed micro-panel (kc x MR, k-major), b a packed micro-panel
// (kc x NR, k-major); entries outside the tile are never written. The
// sequence of roundings per entry is exactly that of row-by-row elimination.
using MicroKernel = void (*)(std::size_t kc, const double* a, const double* b, double* const* c_rows,
                             std::size_t col, std::size_t m, std::size_t n);

enum class KernelPath { Portable, Avx2 };

// The plain kernel every other one must match bit for bit.
void micro_kernel_portable(std::size_t kc, const double* a, const double* b, double* const* c_rows,
                           std::size_t col, std::size_t m, std::size_t n);
// Needs AVX2 at run time.
void micro_kernel_avx2(std::size_t kc, const double* a, const double* b, double* const* c_rows,
                       std::size_t col, std::size_t m, std::size_t n);

bool cpu_has_avx2() noexcept;
// The best path this processor supports.
KernelPath default_kernel_path() noexcept;
MicroKernel micro_kernel(KernelPath path) noexcept;

}  // namespace pymorvel
