// Right-looking blocked LU with recursive panels and a packed, register-tiled update.
//
// Why the bits match row-by-row elimination: there, entry (i, j) receives, for
// k = 0, 1, ... in increasing order, c = c - (u(k, j) * l(i, k)) with the final
// multiplier and the final pivot-row entry. Every routine below keeps exactly
// that per-entry sequence: panels are factorised on fully updated columns,
// block rows of U are finished in increasing k before they are used, and the
// update kernels subtract one rounded product at a time, k in increasing order.
// Work is split over rows and columns only, never over k.
#include "linear_algebra/blocked_lu.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "parallel/pool.hpp"

namespace pymorvel {

namespace {

// Growable scratch that keeps its memory between calls on the same thread.
double* scratch(std::vector<double>& buffer, std::size_t size) {
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

class Factorisation {
public:
    Factorisation(SquareMatrix& a, std::vector<std::size_t>& perm, const Execution& execution)
        : rows_(a.rows()),
          a_(a),
          perm_(perm),
          n_(a.size()),
          execution_(execution),
          blocking_(sanitised(execution.blocking)),
          kernel_(micro_kernel(execution.kernel)) {}

    std::size_t run() {
        // 1. Outer panels, left to right.
        for (std::size_t c0 = 0; c0 < n_; c0 += blocking_.panel) {
            const std::size_t c1 = std::min(c0 + blocking_.panel, n_);
            // 2. Factorise the panel's columns on all rows below c0.
            if (const std::size_t bad = factor_panel(c0, c1); bad != NO_ZERO_PIVOT) return bad;
            if (c1 == n_) break;
            // 3. Finish the panel's rows of U to the right of it.
            solve_block_row(c0, c1, c1, n_);
            // 4. Apply the panel's steps to the trailing matrix.
            update(c1, n_, c1, n_, c0, c1, c0);
        }
        return NO_ZERO_PIVOT;
    }

private:
    static LuBlocking sanitised(LuBlocking b) {
        b.panel = std::max<std::size_t>(b.panel, 1);
        b.base = std::max<std::size_t>(b.base, 1);
        b.row_block = std::max<std::size_t>(b.row_block / KERNEL_MR, 1) * KERNEL_MR;
        b.depth = std::max<std::size_t>(b.depth, 1);
        b.column_chunk = std::max<std::size_t>(b.column_chunk / KERNEL_NR, 1) * KERNEL_NR;
        return b;
    }

    // Columns [c0, c1) of rows [c0, n), already updated by every step before c0.
    std::size_t factor_panel(std::size_t c0, std::size_t c1) {
        if (c1 - c0 <= blocking_.base) return factor_columns(c0, c1);
        const std::size_t mid = c0 + (c1 - c0) / 2;
        if (const std::size_t bad = factor_panel(c0, mid); bad != NO_ZERO_PIVOT) return bad;
        solve_block_row(c0, mid, mid, c1);
        update(mid, n_, mid, c1, c0, mid, c0);
        return factor_panel(mid, c1);
    }

    // The row-by-row algorithm, restricted to columns [c0, c1). The slab is
    // copied into column-major scratch first, so that the pivot search and the
    // updates run down contiguous columns instead of touching one row per entry.
    std::size_t factor_columns(std::size_t c0, std::size_t c1) {
        const std::size_t height = n_ - c0;
        const std::size_t width = c1 - c0;
        thread_local std::vector<double> slab_buffer;
        double* slab = scratch(slab_buffer, height * width);
        auto column = [&](std::size_t j) { return slab + (j - c0) * height - c0; };  // indexed by row
        for (std::size_t i = c0; i < n_; ++i)
            for (std::size_t j = c0; j < c1; ++j) column(j)[i] = rows_[i][j];

        std::size_t bad = NO_ZERO_PIVOT;
        for (std::size_t k = c0; k < c1 && k + 1 < n_; ++k) {
            double* ck = column(k);
            // 1. Pivot search: strict comparison, so ties keep the lowest row
            // and a NaN never wins.
            std::size_t p = k;
            for (std::size_t i = k + 1; i < n_; ++i)
                if (std::fabs(ck[i]) > std::fabs(ck[p])) p = i;
            // 2. Exact zero test (both zeros, no tolerance).
            if (ck[p] == 0.0) {
                bad = k;
                break;
            }
            // 3. Whole rows travel: a pointer swap, plus the slab's copy.
            if (p != k) {
                a_.swap_rows(k, p);
                std::swap(perm_[k], perm_[p]);
                for (std::size_t j = c0; j < c1; ++j) std::swap(column(j)[k], column(j)[p]);
            }
            // 4. Multipliers, then the rest of the slab's columns.
            const double pivot = ck[k];
            for (std::size_t i = k + 1; i < n_; ++i) ck[i] = ck[i] / pivot;
            for (std::size_t j = k + 1; j < c1; ++j) {
                double* cj = column(j);
                const double u = cj[k];
                for (std::size_t i = k + 1; i < n_; ++i) cj[i] = cj[i] - (u * ck[i]);
            }
        }
        for (std::size_t i = c0; i < n_; ++i)
            for (std::size_t j = c0; j < c1; ++j) rows_[i][j] = column(j)[i];
        return bad;
    }

    // Rows [r0, r1) of U over columns [j0, j1): row r loses the contributions
    // of rows r0 .. r-1, in that order (a unit lower-triangular solve).
    void solve_block_row(std::size_t r0, std::size_t r1, std::size_t j0, std::size_t j1) {
        if (r1 - r0 <= blocking_.base) {
            for (std::size_t r = r0 + 1; r < r1; ++r) {
                double* row = rows_[r];
                for (std::size_t k = r0; k < r; ++k) {
                    const double f = row[k];
                    const double* u = rows_[k];
                    for (std::size_t j = j0; j < j1; ++j) row[j] = row[j] - (u[j] * f);
                }
            }
            return;
        }
        const std::size_t mid = r0 + (r1 - r0) / 2;
        solve_block_row(r0, mid, j0, j1);
        update(mid, r1, j0, j1, r0, mid, r0);
        solve_block_row(mid, r1, j0, j1);
    }

    // C = rows [i0, i1) x columns [j0, j1) loses A B, A = rows [i0, i1) x
    // columns [k0, k1) (multipliers), B = rows [k0, k1) x columns [j0, j1) (U).
    // `pivot_column` is the first elimination step involved: the pool is used
    // only when more rows than the threshold lie below it.
    void update(std::size_t i0, std::size_t i1, std::size_t j0, std::size_t j1, std::size_t k0,
                std::size_t k1, std::size_t pivot_column) {
        if (i0 >= i1 || j0 >= j1 || k0 >= k1) return;
        const bool parallel = n_ - pivot_column - 1 > execution_.parallel_rows_threshold;
        // Blocks of steps run one after another, so each entry still sees k in order.
        for (std::size_t kb = k0; kb < k1; kb += blocking_.depth) {
            const std::size_t ke = std::min(kb + blocking_.depth, k1);
            update_block(i0, i1, j0, j1, kb, ke, parallel);
        }
    }

    void update_block(std::size_t i0, std::size_t i1, std::size_t j0, std::size_t j1, std::size_t k0,
                      std::size_t k1, bool parallel) {
        // 1. Pieces are (column chunk, row group) pairs. Each packs the B of its
        // chunk itself (so packing runs in parallel too) and writes only its
        // own tiles; A is read in place from the rows.
        const std::size_t kc = k1 - k0;
        const std::size_t chunk = blocking_.column_chunk;
        const std::size_t chunks = (j1 - j0 + chunk - 1) / chunk;
        const std::size_t group = blocking_.row_block;
        const std::size_t groups = (i1 - i0 + group - 1) / group;
        const MicroKernel kernel = kernel_;
        double* const* rows = rows_;

        auto run = [&](std::size_t begin, std::size_t end) {
            thread_local std::vector<double> b_buffer;
            double* b = scratch(b_buffer, kc * chunk);
            for (std::size_t t = begin; t < end; ++t) {
                const std::size_t c0 = j0 + (t / groups) * chunk;
                const std::size_t c1 = std::min(c0 + chunk, j1);
                const std::size_t r0 = i0 + (t % groups) * group;
                const std::size_t r1 = std::min(r0 + group, i1);
                // 2. Pack B (rows k0..k1-1 of U over the chunk) into NR-wide,
                // k-major micro-panels, zero-padded on the right.
                const std::size_t panels = (c1 - c0 + KERNEL_NR - 1) / KERNEL_NR;
                for (std::size_t q = 0; q < panels; ++q) {
                    const std::size_t jq = c0 + q * KERNEL_NR;
                    const std::size_t nq = std::min(KERNEL_NR, c1 - jq);
                    double* out = b + q * kc * KERNEL_NR;
                    for (std::size_t k = 0; k < kc; ++k) {
                        const double* u = rows[k0 + k] + jq;
                        for (std::size_t c = 0; c < KERNEL_NR; ++c) out[k * KERNEL_NR + c] = c < nq ? u[c] : 0.0;
                    }
                }
                // 3. One MR-row strip of A at a time against every micro-panel
                // of the chunk: the strip stays in L1, the chunk in L2.
                for (std::size_t rp = r0; rp < r1; rp += KERNEL_MR) {
                    const std::size_t m = std::min(KERNEL_MR, r1 - rp);
                    for (std::size_t q = 0; q < panels; ++q) {
                        const std::size_t jq = c0 + q * KERNEL_NR;
                        kernel(kc, rows + rp, k0, b + q * kc * KERNEL_NR, jq, m, std::min(KERNEL_NR, c1 - jq));
                    }
                }
            }
        };
        // The pool takes every step with more rows below its pivot than the
        // threshold, even one that makes a single piece: whether the pool
        // exists must depend on the system's size only.
        const std::size_t pieces = chunks * groups;
        if (parallel) {
            parallel::WorkerPool& pool =
                execution_.pool != nullptr ? *execution_.pool : parallel::global_pool();
            pool.for_each_range(pieces, run);
        } else {
            run(0, pieces);
        }
    }

    double* const* rows_;
    SquareMatrix& a_;
    std::vector<std::size_t>& perm_;
    std::size_t n_;
    const Execution& execution_;
    LuBlocking blocking_;
    MicroKernel kernel_;
};

}  // namespace

std::size_t lu_factor_in_place(SquareMatrix& a, std::vector<std::size_t>& perm,
                               const Execution& execution) {
    perm.resize(a.size());
    std::iota(perm.begin(), perm.end(), std::size_t{0});
    if (a.size() <= 1) return NO_ZERO_PIVOT;
    return Factorisation(a, perm, execution).run();
}

}  // namespace pymorvel
