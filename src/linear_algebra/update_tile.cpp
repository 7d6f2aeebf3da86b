// The portable update tile and the run-time choice between tiles.
#include "linear_algebra/update_tile.hpp"

#include <cpuid.h>

#include <string>

#include "common/panic.hpp"

namespace pymorvel {

void update_tile_portable(std::size_t kc, double* const* rows, std::size_t a_col, const double* b,
                          std::size_t c_col, std::size_t m, std::size_t n) {
    // Work on a register-sized copy so that each entry is read once and
    // written once, whatever the tile.
    double c[TILE_MR][TILE_NR];
    for (std::size_t r = 0; r < m; ++r)
        for (std::size_t j = 0; j < n; ++j) c[r][j] = rows[r][c_col + j];
    for (std::size_t k = 0; k < kc; ++k) {
        const double* bk = b + k * TILE_NR;
        for (std::size_t r = 0; r < m; ++r) {
            const double a = rows[r][a_col + k];
            for (std::size_t j = 0; j < n; ++j) c[r][j] = c[r][j] - (bk[j] * a);
        }
    }
    for (std::size_t r = 0; r < m; ++r)
        for (std::size_t j = 0; j < n; ++j) rows[r][c_col + j] = c[r][j];
}

std::string_view tile_path_name(TilePath path) noexcept {
    switch (path) {
        case TilePath::Portable: return "portable";
        case TilePath::Avx2: return "avx2";
    }
    return "unknown";
}

// The processor is asked directly: __builtin_cpu_supports answers from the
// compiler's runtime library, and some runtimes (Zig's, which builds the
// wheels) carry a stub there that reports no feature at all.
bool cpu_has_avx2() noexcept {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return false;
    // The ymm registers are usable only if the system saves them on a
    // context switch: XCR0 bits 1 (SSE state) and 2 (AVX state).
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    if ((xcr0 & 0x6u) != 0x6u) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return (ebx & bit_AVX2) != 0;
}

TilePath default_tile_path() noexcept {
    static const TilePath path = cpu_has_avx2() ? TilePath::Avx2 : TilePath::Portable;
    return path;
}

UpdateTile update_tile(TilePath path, bool avx2_available) {
    switch (path) {
        case TilePath::Portable: return update_tile_portable;
        case TilePath::Avx2:
            if (!avx2_available) panic("the " + std::string(tile_path_name(path)) + " update tile needs a processor with AVX2");
            return update_tile_avx2;
    }
    panic("unknown update tile path");
}

}  // namespace pymorvel
