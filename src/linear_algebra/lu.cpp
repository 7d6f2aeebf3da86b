// Right-looking blocked LU with recursive panels and a packed, register-tiled update.
//
// Why the bits match row-by-row elimination: there, entry (i, j) receives, for
// k = 0, 1, ... in increasing order, c = c - (u(k, j) * l(i, k)) with the final
// multiplier and the final pivot-row entry. Every routine below keeps exactly
// that per-entry sequence: panels are factorised on fully updated columns,
// block rows of U are finished in increasing k before they are used, and the
// update tiles subtract one rounded product at a time, k in increasing order.
// Work is split over rows and columns only, never over k.
//
// Blocks are named as in the usual 2 x 2 partition around a panel P = [c0, c1):
// A11 = P x P, A12 = P x [c1, n) (rows of U still to finish), A21 = [c1, n) x P
// (multipliers), A22 = [c1, n) x [c1, n) (the trailing matrix).
#include "linear_algebra/lu.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <utility>

#include "parallel/global_pool.hpp"

namespace pymorvel {

namespace {

constexpr std::size_t NO_ZERO_PIVOT = static_cast<std::size_t>(-1);

// A half-open range of row or column indices.
struct Span {
    std::size_t begin, end;
    bool empty() const noexcept { return begin >= end; }
    std::size_t size() const noexcept { return end - begin; }
};

// Growable scratch that keeps its memory between calls on the same thread,
// aligned to a cache line so that a packed row of a panel is one line.
double* scratch(std::vector<double>& buffer, std::size_t size) {
    constexpr std::size_t line = 64 / sizeof(double);
    if (buffer.size() < size + line) buffer.resize(size + line);
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    return buffer.data() + (((address + 63) & ~std::uintptr_t{63}) - address) / sizeof(double);
}

class Factorisation {
public:
    Factorisation(double** rows, std::size_t n, std::vector<std::size_t>& perm, const Execution& execution)
        : rows_(rows),
          perm_(perm),
          n_(n),
          execution_(execution),
          blocking_(sanitised(execution.context->blocking, n)),
          tile_(execution.context->update_tile),
          column_steps_(execution.context->column_steps) {}

    // Returns the first column with an exactly zero pivot, or NO_ZERO_PIVOT.
    std::size_t run() {
        // The first panel is factorised on all rows; every later one was
        // factorised ahead, while the trailing matrix was being updated.
        if (const std::size_t bad = factor_panel({0, std::min(blocking_.panel, n_)}); bad != NO_ZERO_PIVOT) return bad;
        for (Span panel{0, std::min(blocking_.panel, n_)}; panel.end < n_;) {
            check_cancellation(execution_.cancellation);
            const Span rest{panel.end, n_};
            const Span next{panel.end, std::min(panel.end + blocking_.panel, n_)};
            // The next panel's columns first: A12 := L11^-1 A12, then A22 loses
            // A21 A12 ...
            solve_block_row(panel, next);
            subtract_product(rest, next, panel, panel.begin);
            // ... so that the panel can be factorised while the other columns
            // get the same two steps.
            if (const std::size_t bad = factor_ahead(panel, next); bad != NO_ZERO_PIVOT) return bad;
            panel = next;
        }
        return NO_ZERO_PIVOT;
    }

private:
    static LuBlocking sanitised(LuBlocking b, std::size_t n) {
        if (n >= b.wide_from) b.panel = b.wide_panel;
        b.panel = std::max<std::size_t>(b.panel, 1);
        b.base = std::max<std::size_t>(b.base, 1);
        b.row_block = std::max<std::size_t>(b.row_block / TILE_MR, 1) * TILE_MR;
        b.depth = std::max<std::size_t>(b.depth, 1);
        b.column_chunk = std::max<std::size_t>(b.column_chunk / TILE_NR, 1) * TILE_NR;
        b.min_pieces = std::max<std::size_t>(b.min_pieces, 1);
        return b;
    }

    // Factorises `next` (already up to date) while the pool finishes the
    // columns right of it with `panel`'s steps, one column chunk per piece:
    // its rows of U, then its rows of A22. The two touch disjoint columns of
    // the same rows, but the next panel's row exchanges would move rows under
    // the other pieces' feet, so it works on its own copy of the row table and
    // its exchanges are applied to the real one afterwards, in order. One hand-
    // over per panel is all the pool sees of it.
    std::size_t factor_ahead(Span panel, Span next) {
        std::vector<double*> table(rows_, rows_ + n_);
        Factorisation ahead(table.data(), n_, perm_, execution_);
        ahead.exchanges_ = &exchanges_buffer_;
        exchanges_buffer_.clear();
        const UpdateTask rest_of_a22 = plan({next.begin, n_}, {next.end, n_}, panel, 1);
        std::size_t bad = NO_ZERO_PIVOT;
        auto run = [&](std::size_t begin, std::size_t end) {
            for (std::size_t t = begin; t < end; ++t) {
                if (t == 0) {
                    bad = ahead.factor_panel(next);
                    continue;
                }
                const std::size_t c0 = rest_of_a22.columns.begin + (t - 1) * blocking_.column_chunk;
                solve_block_row(panel, {c0, std::min(c0 + blocking_.column_chunk, n_)});
                run_pieces(rest_of_a22, (t - 1) * rest_of_a22.groups, t * rest_of_a22.groups);
            }
        };
        const std::size_t height = n_ - next.begin;
        const std::size_t block_row_work = panel.size() * panel.size() / 2 * rest_of_a22.columns.size();
        dispatch(1 + rest_of_a22.chunks, panel.begin,
                 height * next.size() * next.size() / 2 + block_row_work + rest_of_a22.work(), run);
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

    // Runs op over [0, count) on the pool when the step has several pieces,
    // at least the threshold's multiply-subtracts (`work`), the system at least
    // the minimum rows and more rows than the row threshold below
    // `pivot_column`; else here. Handing a step to the
    // pool and waiting for it costs tens of microseconds, which a smaller step
    // does not win back. All three depend on the system's size and the
    // blocking only, so whether a fit creates the pool does too.
    template <class Op>
    void dispatch(std::size_t count, std::size_t pivot_column, std::size_t work, Op& op) {
        if (count == 0) return;
        const ParallelThresholds& at = execution_.thresholds;
        if (count > 1 && work >= at.work && n_ >= at.min_rows && n_ - pivot_column - 1 > at.rows) {
            parallel_for(execution_, count, 1, op);
        } else {
            op(0, count);
        }
    }

    // The panel's columns on rows [panel.begin, n), already updated by every
    // step before it. Recursively: factorise the left half, finish its rows of
    // U over the right half, update the right half, factorise it.
    std::size_t factor_panel(Span panel) {
        if (panel.size() <= blocking_.base) return factor_columns(panel.begin, panel.end);
        const Span left{panel.begin, panel.begin + panel.size() / 2};
        const Span right{left.end, panel.end};
        if (const std::size_t bad = factor_panel(left); bad != NO_ZERO_PIVOT) return bad;
        solve_block_row(left, right);
        subtract_product({right.begin, n_}, right, left, left.begin);
        return factor_panel(right);
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
            // Pivot search: strict comparison, so ties keep the lowest row
            // and a NaN never wins.
            std::size_t p = k;
            for (std::size_t i = k + 1; i < n_; ++i)
                if (std::fabs(ck[i]) > std::fabs(ck[p])) p = i;
            // Exact zero test (both zeros, no tolerance).
            if (ck[p] == 0.0) {
                bad = k;
                break;
            }
            // Whole rows travel: a pointer swap, plus the slab's copy.
            if (p != k) {
                exchange(k, p);
                for (std::size_t j = c0; j < c1; ++j) std::swap(column(j)[k], column(j)[p]);
            }
            // Multipliers, then the rest of the slab's columns.
            const std::size_t below = n_ - k - 1;
            column_steps_.divide(&ck[k + 1], ck[k], below);
            for (std::size_t j = k + 1; j < c1; ++j) {
                const Column cj = column(j);
                column_steps_.subtract_scaled(&cj[k + 1], &ck[k + 1], cj[k], below);
            }
        }
        for (std::size_t i = c0; i < n_; ++i)
            for (std::size_t j = c0; j < c1; ++j) rows_[i][j] = column(j)[i];
        return bad;
    }

    // The rows `steps` of U over `columns`: row r loses the contributions of
    // the rows of `steps` above it, in order (a unit lower-triangular solve).
    // At most a panel's rows: too little work to hand to the pool.
    void solve_block_row(Span steps, Span columns) {
        if (steps.size() <= blocking_.base) {
            for (std::size_t r = steps.begin + 1; r < steps.end; ++r) {
                double* row = rows_[r];
                for (std::size_t k = steps.begin; k < r; ++k)
                    column_steps_.subtract_scaled(row + columns.begin, rows_[k] + columns.begin, row[k],
                                                  columns.size());
            }
            return;
        }
        const Span upper{steps.begin, steps.begin + steps.size() / 2};
        const Span lower{upper.end, steps.end};
        solve_block_row(upper, columns);
        const UpdateTask task = plan(lower, columns, upper, 1);
        run_pieces(task, 0, task.pieces());
        solve_block_row(lower, columns);
    }

    // C = rows x columns loses A B, where A = rows x steps (multipliers) and
    // B = steps x columns (rows of U). Pieces are (column chunk, row group)
    // pairs; each writes its own tiles only.
    struct UpdateTask {
        Span rows, columns, steps;
        std::size_t chunks, groups, group_rows;
        std::size_t pieces() const noexcept { return chunks * groups; }
        std::size_t work() const noexcept { return rows.size() * columns.size() * steps.size(); }
    };

    // Column chunks of blocking.column_chunk; row groups of blocking.row_block,
    // made smaller (down to one tile height) when that is what it takes to
    // give the step `min_pieces` pieces (by default blocking.min_pieces).
    UpdateTask plan(Span rows, Span columns, Span steps, std::size_t min_pieces = 0) const {
        if (rows.empty() || columns.empty() || steps.empty()) return {rows, columns, steps, 0, 0, 1};
        if (min_pieces == 0) min_pieces = blocking_.min_pieces;
        const std::size_t chunks = (columns.size() + blocking_.column_chunk - 1) / blocking_.column_chunk;
        const std::size_t wanted_groups = (min_pieces + chunks - 1) / chunks;
        const std::size_t tiles = (rows.size() + TILE_MR - 1) / TILE_MR;
        const std::size_t tiles_per_group =
            std::min(blocking_.row_block / TILE_MR, std::max<std::size_t>((tiles + wanted_groups - 1) / wanted_groups, 1));
        const std::size_t group_rows = tiles_per_group * TILE_MR;
        return {rows, columns, steps, chunks, (rows.size() + group_rows - 1) / group_rows, group_rows};
    }

    // `pivot_column` is the first elimination step involved: the pool is used
    // only when more rows than the threshold lie below it.
    void subtract_product(Span rows, Span columns, Span steps, std::size_t pivot_column) {
        const UpdateTask task = plan(rows, columns, steps);
        auto run = [&](std::size_t begin, std::size_t end) { run_pieces(task, begin, end); };
        dispatch(task.pieces(), pivot_column, task.work(), run);
    }

    void run_pieces(const UpdateTask& task, std::size_t begin, std::size_t end) const {
        const std::size_t chunk = blocking_.column_chunk;
        const std::size_t group = task.group_rows;
        thread_local std::vector<double> b_buffer;
        double* b = scratch(b_buffer, std::min(blocking_.depth, task.steps.size()) * chunk);
        // Consecutive pieces of one chunk share its packed B when a single
        // block of steps covers the task: it is packed once for all of them.
        const bool one_block = task.steps.size() <= blocking_.depth;
        std::size_t packed_chunk = static_cast<std::size_t>(-1);
        for (std::size_t t = begin; t < end; ++t) {
            // Once a stop is decided the factors are abandoned: what is left
            // of the step is skipped, and the caller throws when it returns.
            if (stop_requested(execution_)) return;
            const std::size_t c0 = task.columns.begin + (t / task.groups) * chunk;
            const std::size_t c1 = std::min(c0 + chunk, task.columns.end);
            const std::size_t r0 = task.rows.begin + (t % task.groups) * group;
            const std::size_t r1 = std::min(r0 + group, task.rows.end);
            const std::size_t panels = (c1 - c0 + TILE_NR - 1) / TILE_NR;
            // Blocks of steps one after another, so each entry still sees k in order.
            for (std::size_t kb = task.steps.begin; kb < task.steps.end; kb += blocking_.depth) {
                const std::size_t kc = std::min(blocking_.depth, task.steps.end - kb);
                // Pack B (rows kb.. of U over the chunk) into NR-wide,
                // k-major micro-panels, zero-padded on the right.
                const bool reuse = one_block && packed_chunk == t / task.groups;
                packed_chunk = t / task.groups;
                for (std::size_t q = 0; q < panels && !reuse; ++q) {
                    const std::size_t jq = c0 + q * TILE_NR;
                    const std::size_t nq = std::min(TILE_NR, c1 - jq);
                    double* out = b + q * kc * TILE_NR;
                    for (std::size_t k = 0; k < kc; ++k) {
                        const double* u = rows_[kb + k] + jq;
                        double* packed = out + k * TILE_NR;
                        if (nq == TILE_NR) {
                            std::memcpy(packed, u, sizeof(double) * TILE_NR);
                        } else {
                            std::copy(u, u + nq, packed);
                            std::fill(packed + nq, packed + TILE_NR, 0.0);
                        }
                    }
                }
                // One MR-row strip of A at a time against every micro-panel of
                // the chunk: A is read in place, the strip stays in L1 and the
                // chunk's B in L2.
                for (std::size_t rp = r0; rp < r1; rp += TILE_MR) {
                    const std::size_t m = std::min(TILE_MR, r1 - rp);
                    for (std::size_t q = 0; q < panels; ++q) {
                        const std::size_t jq = c0 + q * TILE_NR;
                        // The tiles fetch C ahead along their rows; the strip's
                        // last one hands over to the next strip's first.
                        if (q + 1 == panels)
                            for (std::size_t r = rp + TILE_MR; r < std::min(rp + 2 * TILE_MR, r1); ++r)
                                __builtin_prefetch(rows_[r] + c0);
                        tile_(kc, rows_ + rp, kb, b + q * kc * TILE_NR, jq, m, std::min(TILE_NR, c1 - jq));
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
    UpdateTile tile_;
    const ColumnSteps& column_steps_;
};

}  // namespace

Outcome<LuFactors> lu_decompose(SquareMatrix a, const Execution& execution) {
    const std::size_t n = a.size();
    LuFactors factors{std::move(a), std::vector<std::size_t>(n)};
    std::iota(factors.perm.begin(), factors.perm.end(), std::size_t{0});
    if (n <= 1) return factors;
    const std::size_t bad = Factorisation(factors.lu.row_table(), n, factors.perm, execution).run();
    // A stop decided during the last step left it unfinished.
    check_cancellation(execution.cancellation);
    if (bad != NO_ZERO_PIVOT) return Failure{messages::zero_pivot(bad)};
    return factors;
}

}  // namespace pymorvel
