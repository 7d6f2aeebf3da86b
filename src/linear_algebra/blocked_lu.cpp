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

#include "parallel/global_pool.hpp"

namespace pymorvel {

namespace {

// Growable scratch that keeps its memory between calls on the same thread.
double* scratch(std::vector<double>& buffer, std::size_t size) {
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

class Factorisation {
public:
    Factorisation(double** rows, std::size_t n, std::vector<std::size_t>& perm, const Execution& execution)
        : rows_(rows),
          perm_(perm),
          n_(n),
          execution_(execution),
          blocking_(sanitised(execution.blocking)),
          kernel_(micro_kernel(execution.kernel)) {}

    std::size_t run() {
        // 1. The first panel: its columns on all rows.
        const std::size_t first = std::min(blocking_.panel, n_);
        if (const std::size_t bad = factor_panel(0, first); bad != NO_ZERO_PIVOT) return bad;
        for (std::size_t c0 = 0, c1 = first; c1 < n_; c0 = c1, c1 = std::min(c1 + blocking_.panel, n_)) {
            const std::size_t c2 = std::min(c1 + blocking_.panel, n_);
            // 2. Finish the panel's rows of U to the right of it.
            solve_block_row(c0, c1, c1, n_);
            // 3. Bring the next panel's columns up to date first ...
            update(c1, n_, c1, c2, c0, c1, c0);
            // 4. ... so that it can be factorised while the rest of the
            // trailing matrix is updated (look-ahead).
            if (const std::size_t bad = factor_ahead(c0, c1, c2); bad != NO_ZERO_PIVOT) return bad;
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

    // Factorises panel [c1, c2) while the pool updates columns [c2, n) with
    // steps [c0, c1). The two touch disjoint columns of the same rows, but the
    // panel's row exchanges would move rows under the other pieces' feet, so
    // the panel works on its own copy of the row table and its exchanges are
    // applied to the real one afterwards, in order.
    std::size_t factor_ahead(std::size_t c0, std::size_t c1, std::size_t c2) {
        std::vector<double*> table(rows_, rows_ + n_);
        Factorisation ahead(table.data(), n_, perm_, execution_);
        ahead.exchanges_ = &exchanges_buffer_;
        exchanges_buffer_.clear();
        const UpdateTask rest = plan(c1, n_, c2, n_, c0, c1);
        std::size_t bad = NO_ZERO_PIVOT;
        auto run = [&](std::size_t begin, std::size_t end) {
            for (std::size_t t = begin; t < end; ++t) {
                if (t == 0) bad = ahead.factor_panel(c1, c2);
                else run_pieces(rest, t - 1, t);
            }
        };
        dispatch(1 + rest.pieces(), c0, run);
        for (const auto& [k, p] : exchanges_buffer_) exchange(k, p);
        return bad;
    }

    void exchange(std::size_t k, std::size_t p) {
        if (exchanges_ != nullptr) {
            std::swap(rows_[k], rows_[p]);
            exchanges_->emplace_back(k, p);
            return;
        }
        std::swap(rows_[k], rows_[p]);
        std::swap(perm_[k], perm_[p]);
    }

    // Runs op over [0, count) on the pool when more rows than the threshold
    // lie below `pivot_column`, else here. The pool takes such a step even
    // when it makes a single piece: whether the pool exists must depend on
    // the system's size only.
    template <class Op>
    void dispatch(std::size_t count, std::size_t pivot_column, Op& op) {
        if (count == 0) return;
        if (n_ - pivot_column - 1 > execution_.parallel_rows_threshold) {
            parallel::WorkerPool& pool =
                execution_.pool != nullptr ? *execution_.pool : parallel::global_pool();
            pool.for_each_range(count, op);
        } else {
            op(0, count);
        }
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
        // Column j of the slab, indexed by the row's number in the matrix.
        struct Column {
            double* base;
            std::size_t first_row;
            double& operator[](std::size_t i) const noexcept { return base[i - first_row]; }
        };
        auto column = [&](std::size_t j) { return Column{slab + (j - c0) * height, c0}; };
        for (std::size_t i = c0; i < n_; ++i)
            for (std::size_t j = c0; j < c1; ++j) column(j)[i] = rows_[i][j];

        std::size_t bad = NO_ZERO_PIVOT;
        for (std::size_t k = c0; k < c1 && k + 1 < n_; ++k) {
            const Column ck = column(k);
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
                exchange(k, p);
                for (std::size_t j = c0; j < c1; ++j) std::swap(column(j)[k], column(j)[p]);
            }
            // 4. Multipliers, then the rest of the slab's columns.
            const double pivot = ck[k];
            for (std::size_t i = k + 1; i < n_; ++i) ck[i] = ck[i] / pivot;
            for (std::size_t j = k + 1; j < c1; ++j) {
                const Column cj = column(j);
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
    // Pieces are (column chunk, row group) pairs; each writes its own tiles only.
    struct UpdateTask {
        std::size_t i0, i1, j0, j1, k0, k1;
        std::size_t chunks, groups;
        std::size_t pieces() const noexcept { return chunks * groups; }
    };

    UpdateTask plan(std::size_t i0, std::size_t i1, std::size_t j0, std::size_t j1, std::size_t k0,
                    std::size_t k1) const {
        if (i0 >= i1 || j0 >= j1 || k0 >= k1) return {i0, i1, j0, j1, k0, k1, 0, 0};
        return {i0, i1, j0, j1, k0, k1, (j1 - j0 + blocking_.column_chunk - 1) / blocking_.column_chunk,
                (i1 - i0 + blocking_.row_block - 1) / blocking_.row_block};
    }

    // `pivot_column` is the first elimination step involved: the pool is used
    // only when more rows than the threshold lie below it.
    void update(std::size_t i0, std::size_t i1, std::size_t j0, std::size_t j1, std::size_t k0,
                std::size_t k1, std::size_t pivot_column) {
        const UpdateTask task = plan(i0, i1, j0, j1, k0, k1);
        auto run = [&](std::size_t begin, std::size_t end) { run_pieces(task, begin, end); };
        dispatch(task.pieces(), pivot_column, run);
    }

    void run_pieces(const UpdateTask& task, std::size_t begin, std::size_t end) const {
        const std::size_t chunk = blocking_.column_chunk;
        const std::size_t group = blocking_.row_block;
        thread_local std::vector<double> b_buffer;
        double* b = scratch(b_buffer, std::min(blocking_.depth, task.k1 - task.k0) * chunk);
        for (std::size_t t = begin; t < end; ++t) {
            const std::size_t c0 = task.j0 + (t / task.groups) * chunk;
            const std::size_t c1 = std::min(c0 + chunk, task.j1);
            const std::size_t r0 = task.i0 + (t % task.groups) * group;
            const std::size_t r1 = std::min(r0 + group, task.i1);
            const std::size_t panels = (c1 - c0 + KERNEL_NR - 1) / KERNEL_NR;
            // 1. Blocks of steps one after another, so each entry still sees k in order.
            for (std::size_t kb = task.k0; kb < task.k1; kb += blocking_.depth) {
                const std::size_t kc = std::min(blocking_.depth, task.k1 - kb);
                // 2. Pack B (rows kb.. of U over the chunk) into NR-wide,
                // k-major micro-panels, zero-padded on the right.
                for (std::size_t q = 0; q < panels; ++q) {
                    const std::size_t jq = c0 + q * KERNEL_NR;
                    const std::size_t nq = std::min(KERNEL_NR, c1 - jq);
                    double* out = b + q * kc * KERNEL_NR;
                    for (std::size_t k = 0; k < kc; ++k) {
                        const double* u = rows_[kb + k] + jq;
                        for (std::size_t c = 0; c < KERNEL_NR; ++c) out[k * KERNEL_NR + c] = c < nq ? u[c] : 0.0;
                    }
                }
                // 3. One MR-row strip of A at a time against every micro-panel
                // of the chunk: A is read in place, the strip stays in L1 and
                // the chunk's B in L2.
                for (std::size_t rp = r0; rp < r1; rp += KERNEL_MR) {
                    const std::size_t m = std::min(KERNEL_MR, r1 - rp);
                    for (std::size_t q = 0; q < panels; ++q) {
                        const std::size_t jq = c0 + q * KERNEL_NR;
                        kernel_(kc, rows_ + rp, kb, b + q * kc * KERNEL_NR, jq, m, std::min(KERNEL_NR, c1 - jq));
                    }
                }
            }
        }
    }

    double** rows_;
    std::vector<std::size_t>& perm_;
    // Set on a look-ahead panel: row exchanges are logged here, not applied to perm.
    std::vector<std::pair<std::size_t, std::size_t>>* exchanges_ = nullptr;
    std::vector<std::pair<std::size_t, std::size_t>> exchanges_buffer_;
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
    return Factorisation(a.row_table(), a.size(), perm, execution).run();
}

}  // namespace pymorvel
