// The portable update tile and column steps, which every other one must match bit for bit.
#include "numeric/update_tile.hpp"

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

}  // namespace pymorvel
