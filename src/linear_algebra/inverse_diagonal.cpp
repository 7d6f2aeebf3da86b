// The diagonal of a factorised matrix's inverse, in chunks of columns on the pool, and the condition estimate.
#include "linear_algebra/inverse_diagonal.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <utility>
#include <variant>

#include "linear_algebra/substitution.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

namespace {

// Doubles side by side. Products and sums on them round lane by lane exactly
// as scalar ones do; compiled for AVX2 or AVX-512 they are single instructions.
using Quad = double __attribute__((vector_size(32)));
using Oct = double __attribute__((vector_size(64)));

// Chunk: columns per chunk. A chunk is a run of consecutive k: its backward
// passes all stop near the chunk's first k, and each U row is read once for
// all of them. Group: columns per forward group (in order of p); every lane of
// a group starts at the group's smallest p, so narrow groups waste less on
// terms that are structurally zero. Rows: rows per forward tile, which share
// the terms left of it, so their sums run side by side. Group times rows is
// the number of independent sums in flight, enough to hide the adds' latency.

// Rows between checks for a stop.
constexpr std::size_t POLL_ROWS = 64;

template <class V>
constexpr std::size_t LANES = sizeof(V) / sizeof(double);

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void store(double* p, V v) {
    __builtin_memcpy(p, &v, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline V splat(double x) {
    V v;
    for (std::size_t c = 0; c < LANES<V>; ++c) v[c] = x;
    return v;
}

// Row i of the backward pass, U z = y, in the first VECS vectors of lanes.
template <class V, std::size_t CHUNK, std::size_t VECS>
[[gnu::always_inline]] inline void backward_row(const double* u, double* w, std::size_t i, std::size_t n) {
    constexpr std::size_t L = LANES<V>;
    V acc[VECS] = {};
    for (std::size_t j = i + 1; j < n; ++j) {
        const V uj = splat<V>(u[j]);
        const double* z = &w[j * CHUNK];
#pragma GCC unroll 16
        for (std::size_t q = 0; q < VECS; ++q) acc[q] = (load<V>(z + L * q) * uj) + acc[q];
    }
    double* row = &w[i * CHUNK];
    const V ui = splat<V>(u[i]);
#pragma GCC unroll 16
    for (std::size_t q = 0; q < VECS; ++q) store(row + L * q, (load<V>(row + L * q) - acc[q]) / ui);
}

template <class V, std::size_t CHUNK, std::size_t... Q>
[[gnu::always_inline]] inline void backward_row_of(std::size_t live, const double* u, double* w, std::size_t i,
                                                   std::size_t n, std::index_sequence<Q...>) {
    ((live == Q + 1 ? backward_row<V, CHUNK, Q + 1>(u, w, i, n) : void()), ...);
}

// One chunk. Its columns are P e_p for the p with perm[p] = k, k in
// [first_k, first_k + width); w holds n rows of CHUNK values.
//
// Forward, L y = P e_p, for the columns in increasing order of p, in groups
// of GROUP that start at their smallest p. A lane whose p lies further down
// adds zero terms before it reaches p, and those leave its accumulator at +0,
// so every lane's sum is the substitution's own sum over j from 0 to i - 1
// in increasing order.
//
// Backward, U z = y, on the columns in order of k, from the last row up to
// first_k; lanes past their own row only do work nobody reads. Row i's sum
// is over j from i + 1 up in increasing order, as in the substitution.
template <class V, std::size_t CHUNK, std::size_t GROUP, std::size_t ROWS>
[[gnu::always_inline]] inline void solve_chunk_body(const LuFactors& factors, std::size_t first_k,
                                                   std::size_t width, const std::vector<std::size_t>& column_of,
                                                   std::vector<double>& w, std::vector<std::size_t>& p,
                                                   const Execution& execution, double* diagonal) {
    static_assert(CHUNK % GROUP == 0 && GROUP % LANES<V> == 0 && POLL_ROWS % ROWS == 0);
    constexpr std::size_t L = LANES<V>;
    constexpr std::size_t Q = GROUP / L;
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    p.assign(CHUNK, n);  // the lanes past width never meet their 1
    for (std::size_t c = 0; c < width; ++c) p[c] = column_of[first_k + c];
    std::sort(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(width));
    const std::size_t top = std::min(p[0], first_k);
    w.resize(n * CHUNK);
    std::fill(w.begin() + static_cast<std::ptrdiff_t>(top * CHUNK), w.end(), 0.0);

    // The accumulators' loops are unrolled outright so that they live in registers.
    for (std::size_t i0 = p[0]; i0 < n; i0 += ROWS) {
        if ((i0 - p[0]) % POLL_ROWS == 0 && stop_requested(execution)) return;
        const std::size_t rows = std::min(ROWS, n - i0);
        const double* l[ROWS];
        for (std::size_t r = 0; r < ROWS; ++r) l[r] = lu.row(i0 + std::min(r, rows - 1));
        for (std::size_t g = 0; g < CHUNK; g += GROUP) {
            const std::size_t start = p[g];
            if (start >= i0 + rows) break;  // so do the later groups': their rows here stay +0
            V acc[ROWS][Q] = {};
            for (std::size_t j = start; j < i0; ++j) {
                const double* y = &w[j * CHUNK + g];
                V v[Q];
#pragma GCC unroll 8
                for (std::size_t q = 0; q < Q; ++q) v[q] = load<V>(y + L * q);
#pragma GCC unroll 8
                for (std::size_t r = 0; r < ROWS; ++r) {
                    const V lj = splat<V>(l[r][j]);
#pragma GCC unroll 8
                    for (std::size_t q = 0; q < Q; ++q) acc[r][q] = (v[q] * lj) + acc[r][q];
                }
            }
#pragma GCC unroll 8
            for (std::size_t r = 0; r < ROWS; ++r) {
                if (r >= rows) break;
                const std::size_t i = i0 + r;
                for (std::size_t j = std::max(i0, start); j < i; ++j) {
                    const V lj = splat<V>(l[r][j]);
#pragma GCC unroll 8
                    for (std::size_t q = 0; q < Q; ++q)
                        acc[r][q] = (load<V>(&w[j * CHUNK + g + L * q]) * lj) + acc[r][q];
                }
                double* y = &w[i * CHUNK + g];
#pragma GCC unroll 8
                for (std::size_t q = 0; q < Q; ++q) {
                    V one;
                    for (std::size_t c = 0; c < L; ++c) one[c] = p[g + L * q + c] == i ? 1.0 : 0.0;
                    store(y + L * q, one - acc[r][q]);
                }
            }
        }
    }

    // From order of p to order of k, row by row.
    double moved[CHUNK];
    for (std::size_t i = first_k; i < n; ++i) {
        double* row = &w[i * CHUNK];
        std::fill(moved + width, moved + CHUNK, 0.0);
        for (std::size_t c = 0; c < width; ++c) moved[factors.perm[p[c]] - first_k] = row[c];
        std::copy(moved, moved + CHUNK, row);
    }

    // Lane c is read only down to row first_k + c, so a row near the top
    // leaves out the vectors whose lanes all stop below it.
    const std::size_t used = (width + L - 1) / L;
    for (std::size_t i = n; i-- > first_k;) {
        if ((n - i) % POLL_ROWS == 0 && stop_requested(execution)) return;
        const std::size_t live = std::min(used, (i - first_k) / L + 1);
        backward_row_of<V, CHUNK>(live, lu.row(i), w.data(), i, n, std::make_index_sequence<CHUNK / L>());
    }
    for (std::size_t c = 0; c < width; ++c) diagonal[first_k + c] = w[(first_k + c) * CHUNK + c];
}

// The chunk width of each instruction set, and its chunk.
struct ChunkSolver {
    std::size_t chunk;
    void (*solve)(const LuFactors&, std::size_t, std::size_t, const std::vector<std::size_t>&, std::vector<double>&,
                  std::vector<std::size_t>&, const Execution&, double*);
};

void solve_chunk_portable(const LuFactors& factors, std::size_t first_k, std::size_t width,
                          const std::vector<std::size_t>& column_of, std::vector<double>& w,
                          std::vector<std::size_t>& p, const Execution& execution, double* diagonal) {
    solve_chunk_body<Quad, 32, 8, 4>(factors, first_k, width, column_of, w, p, execution, diagonal);
}

#if defined(__x86_64__)
// Only "avx2" or "avx512f", never "fma": the separate products and sums must stay separate.
__attribute__((target("avx2"))) void solve_chunk_avx2(const LuFactors& factors, std::size_t first_k,
                                                      std::size_t width, const std::vector<std::size_t>& column_of,
                                                      std::vector<double>& w, std::vector<std::size_t>& p,
                                                      const Execution& execution, double* diagonal) {
    solve_chunk_body<Quad, 32, 4, 8>(factors, first_k, width, column_of, w, p, execution, diagonal);
}

__attribute__((target("avx512f"))) void solve_chunk_avx512(const LuFactors& factors, std::size_t first_k,
                                                          std::size_t width, const std::vector<std::size_t>& column_of,
                                                          std::vector<double>& w, std::vector<std::size_t>& p,
                                                          const Execution& execution, double* diagonal) {
    solve_chunk_body<Oct, 64, 8, 8>(factors, first_k, width, column_of, w, p, execution, diagonal);
}
#endif

ChunkSolver chunk_solver(Instructions instructions) {
    switch (instructions) {
#if defined(__x86_64__)
        case Instructions::avx512:
            return {64, solve_chunk_avx512};
        case Instructions::avx2:
            return {32, solve_chunk_avx2};
#endif
        case Instructions::portable:
            break;
    }
    return {32, solve_chunk_portable};
}

// x <- A^-1 x exactly as the substitution solves it; false when it meets NaN.
bool solve_plain(const LuFactors& factors, std::vector<double>& x) {
    Outcome<std::vector<double>> solved = substitute(factors, std::span<const double>(x));
    if (std::holds_alternative<Failure>(solved)) return false;
    x = std::get<std::vector<double>>(std::move(solved));
    return true;
}

double norm1(const std::vector<double>& x) {
    double s = 0.0;
    for (double v : x) s = s + std::fabs(v);
    return s;
}

}  // namespace

namespace {

// The diagonal's chunks on the pool, after `beside` (when given) as a block of
// its own: it goes first, so that the chunks fill in around it.
template <class Beside>
std::vector<double> diagonal_beside(const LuFactors& factors, std::size_t count, const Execution& execution,
                                    Beside* beside) {
    const std::size_t n = factors.lu.size();
    count = std::min(count, n);
    std::vector<double> diagonal(count, 0.0);
    std::vector<std::size_t> column_of(n);
    for (std::size_t p = 0; p < n; ++p) column_of[factors.perm[p]] = p;
    const auto [CHUNK, solve_chunk] = chunk_solver(execution.context->instructions);
    const std::size_t extra = beside != nullptr ? 1 : 0;
    const std::size_t blocks = extra + (count + CHUNK - 1) / CHUNK;
    // Chunk 0 has the longest backward passes; handing the chunks out in
    // order lets the short ones fill in at the end.
    auto solve_chunks = [&](std::size_t begin, std::size_t end) {
        // Kept by each thread from call to call: a fresh buffer of this size
        // would come from the system zeroed page by page, every chunk.
        thread_local std::vector<double> w;
        thread_local std::vector<std::size_t> p;
        for (std::size_t b = begin; b < end && !stop_requested(execution); ++b) {
            if (b < extra) {
                (*beside)();
                continue;
            }
            const std::size_t first_k = (b - extra) * CHUNK;
            solve_chunk(factors, first_k, std::min(CHUNK, count - first_k), column_of, w, p, execution,
                        diagonal.data());
        }
    };
    run_blocks(execution, blocks, 1, n >= execution.thresholds.min_rows, solve_chunks);
    return diagonal;
}

}  // namespace

std::vector<double> inverse_diagonal(const LuFactors& factors, std::size_t count, const Execution& execution) {
    return diagonal_beside<void()>(factors, count, execution, nullptr);
}

InverseSummary inverse_summary(const LuFactors& factors, std::size_t count, double norm1, const Execution& execution) {
    InverseSummary out;
    auto estimate = [&] { out.condition = condition_estimate(factors, norm1); };
    out.diagonal = diagonal_beside(factors, count, execution, &estimate);
    return out;
}

// A^T = U^T L^T P: U^T w = x forward, L^T v = w backward, then x = P^T v.
void solve_transposed(const LuFactors& factors, std::vector<double>& x) {
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    // Entry i's sum runs down column i of U. Adding each finished w_j into
    // every later sum at once reads U by rows instead, and still gives each
    // sum its terms in increasing order of j; the sums are independent, so
    // they do not wait on one another either.
    std::vector<double> w(n, 0.0);  // the sums, then the solution
    for (std::size_t j = 0; j < n; ++j) {
        const double* u = lu.row(j);
        const double wj = (x[j] - w[j]) / u[j];
        w[j] = wj;
        for (std::size_t i = j + 1; i < n; ++i) w[i] = (wj * u[i]) + w[i];
    }
    // Here a sum's first term is the entry just below it: one after another.
    for (std::size_t i = n; i-- > 0;) {
        double acc = 0.0;
        for (std::size_t j = i + 1; j < n; ++j) acc = (w[j] * lu(j, i)) + acc;
        w[i] = w[i] - acc;
    }
    for (std::size_t i = 0; i < n; ++i) x[factors.perm[i]] = w[i];
}

double condition_estimate(const LuFactors& factors, double norm1_of_a) {
    const std::size_t n = factors.lu.size();
    if (n == 0) return 0.0;
    constexpr double INF = std::numeric_limits<double>::infinity();
    std::vector<double> x(n, 1.0 / static_cast<double>(n));
    double estimate = 0.0;
    constexpr int ITERATIONS = 5;
    for (int iteration = 0; iteration < ITERATIONS; ++iteration) {
        if (!solve_plain(factors, x)) return INF;
        const double size = norm1(x);
        if (iteration > 0 && size <= estimate) break;
        estimate = size;
        for (double& v : x) v = v >= 0.0 ? 1.0 : -1.0;
        std::vector<double> z = x;
        solve_transposed(factors, z);
        std::size_t best = 0;
        double dot = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (std::fabs(z[i]) > std::fabs(z[best])) best = i;
        }
        for (std::size_t i = 0; i < n; ++i) dot = (z[i] * x[i]) + dot;
        if (iteration > 0 && !(std::fabs(z[best]) > dot)) break;
        std::fill(x.begin(), x.end(), 0.0);
        x[best] = 1.0;
    }
    // The alternating vector catches the matrices the iteration misjudges.
    for (std::size_t i = 0; i < n; ++i) {
        const double magnitude = n > 1 ? 1.0 + static_cast<double>(i) / static_cast<double>(n - 1) : 1.0;
        x[i] = (i % 2 == 0) ? magnitude : -magnitude;
    }
    if (!solve_plain(factors, x)) return INF;
    const double alternative = (2.0 * norm1(x)) / (3.0 * static_cast<double>(n));
    estimate = std::max(estimate, alternative);
    const double condition = norm1_of_a * estimate;
    return std::isnan(condition) ? INF : condition;
}

}  // namespace pymorvel
