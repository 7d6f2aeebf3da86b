// The portable micro-kernel and the run-time choice between kernels.
#include "linear_algebra/update_kernels.hpp"

namespace pymorvel {

void micro_kernel_portable(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                           std::size_t c_col, std::size_t m, std::size_t n) {
    // Work on a register-sized copy so that each entry is read once and
    // written once, whatever the tile.
    double c[KERNEL_MR][KERNEL_NR];
    for (std::size_t r = 0; r < m; ++r)
        for (std::size_t j = 0; j < n; ++j) c[r][j] = rows[r][c_col + j];
    for (std::size_t k = 0; k < kc; ++k) {
        const double* bk = b + k * KERNEL_NR;
        for (std::size_t r = 0; r < m; ++r) {
            const double a = rows[r][a_col + k];
            for (std::size_t j = 0; j < n; ++j) c[r][j] = c[r][j] - (bk[j] * a);
        }
    }
    for (std::size_t r = 0; r < m; ++r)
        for (std::size_t j = 0; j < n; ++j) rows[r][c_col + j] = c[r][j];
}

bool cpu_has_avx2() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

KernelPath default_kernel_path() noexcept {
    static const KernelPath path = cpu_has_avx2() ? KernelPath::Avx2 : KernelPath::Portable;
    return path;
}

MicroKernel micro_kernel(KernelPath path) noexcept {
    return path == KernelPath::Avx2 ? micro_kernel_avx2 : micro_kernel_portable;
}

}  // namespace pymorvel
