// The portable update tile and the run-time choice between tiles.
#include "linear_algebra/update_tile.hpp"

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

namespace {

void divide_portable(double* x, double pivot, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) x[i] = x[i] / pivot;
}

void subtract_scaled_portable(double* c, const double* x, double u, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) c[i] = c[i] - (u * x[i]);
}

}  // namespace

const ColumnSteps PORTABLE_COLUMN_STEPS = {divide_portable, subtract_scaled_portable};

const ColumnSteps& column_steps(TilePath path) {
    // Every processor with AVX-512F has AVX2.
    return update_tile(path) == update_tile_portable ? PORTABLE_COLUMN_STEPS : AVX2_COLUMN_STEPS;
}

std::string_view tile_path_name(TilePath path) noexcept {
    switch (path) {
        case TilePath::Portable: return "portable";
        case TilePath::Avx2: return "avx2";
        case TilePath::Avx512: return "avx512";
    }
    return "unknown";
}

TilePath default_tile_path() noexcept {
    static const TilePath path = cpu_has_avx512()  ? TilePath::Avx512
                                 : cpu_has_avx2() ? TilePath::Avx2
                                                  : TilePath::Portable;
    return path;
}

UpdateTile update_tile(TilePath path, bool avx2_available, bool avx512_available) {
    switch (path) {
        case TilePath::Portable: return update_tile_portable;
        case TilePath::Avx2:
            if (!avx2_available) panic("the " + std::string(tile_path_name(path)) + " update tile needs a processor with AVX2");
            return update_tile_avx2;
        case TilePath::Avx512:
            if (!avx512_available)
                panic("the " + std::string(tile_path_name(path)) + " update tile needs a processor with AVX-512F");
            return update_tile_avx512;
    }
    panic("unknown update tile path");
}

}  // namespace pymorvel
