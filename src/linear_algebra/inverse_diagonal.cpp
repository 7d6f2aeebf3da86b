// The diagonal of a factorised matrix's inverse, column by column on the pool, and the condition estimate.
#include "linear_algebra/inverse_diagonal.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numeric/values.hpp"

namespace pymorvel {

namespace {

// Columns solved side by side: each row of the factors is read once for all
// of them, and their sums are independent chains the processor overlaps.
constexpr std::size_t LANES = 8;

// The columns whose right-hand sides are e_p for p in [first, first + lanes),
// positions after pivoting. Their forward solutions are zero above p, so the
// forward pass starts at `first`; the backward pass stops at the highest row
// any of them still needs. w holds n rows of LANES values.
void solve_lanes(const LuFactors& factors, std::size_t first, std::size_t lanes, std::size_t count,
                 std::vector<double>& w, double* diagonal) {
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    std::fill(w.begin(), w.end(), 0.0);
    const std::size_t end = first + lanes;

    // Forward, L y = e_p. Row i of lane c adds l[j] y[j] for j from p_c up to
    // i - 1, in that order: the substitution's own sum without its leading
    // zero terms, which leave an accumulator at +0.
    for (std::size_t i = first; i < n; ++i) {
        const double* l = lu.row(i);
        double acc[LANES] = {};
        for (std::size_t c = 0; c < lanes; ++c) {
            const std::size_t p = first + c;
            const std::size_t stop = std::min(i, end);
            for (std::size_t j = p; j < stop; ++j) acc[c] = (w[j * LANES + c] * l[j]) + acc[c];
        }
        for (std::size_t j = end; j < i; ++j) {
            const double lj = l[j];
            const double* y = &w[j * LANES];
            for (std::size_t c = 0; c < LANES; ++c) acc[c] = (y[c] * lj) + acc[c];
        }
        for (std::size_t c = 0; c < lanes; ++c) {
            const std::size_t p = first + c;
            if (i < p) continue;  // still above this lane's 1: its y stays 0
            w[i * LANES + c] = (i == p ? 1.0 : 0.0) - acc[c];
        }
    }

    // Backward, U z = y, from the last row up to the highest needed one.
    // Lanes run in step over the same terms; a lane computed past its own row
    // only does work nobody reads.
    std::size_t lowest = n;
    for (std::size_t c = 0; c < lanes; ++c) {
        const std::size_t k = factors.perm[first + c];
        if (k < count) lowest = std::min(lowest, k);
    }
    if (lowest == n) return;
    for (std::size_t i = n; i-- > lowest;) {
        const double* u = lu.row(i);
        double acc[LANES] = {};
        for (std::size_t j = i + 1; j < n; ++j) {
            const double uj = u[j];
            const double* z = &w[j * LANES];
            for (std::size_t c = 0; c < LANES; ++c) acc[c] = (z[c] * uj) + acc[c];
        }
        double* row = &w[i * LANES];
        for (std::size_t c = 0; c < LANES; ++c) row[c] = (row[c] - acc[c]) / u[i];
    }
    for (std::size_t c = 0; c < lanes; ++c) {
        const std::size_t k = factors.perm[first + c];
        if (k < count) diagonal[k] = w[k * LANES + c];
    }
}

// x <- A^-1 x and x <- A^-T x through the factors, each sum in increasing
// index order. Used only by the estimate, whose result is a norm.
void solve_plain(const LuFactors& factors, std::vector<double>& x) {
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    std::vector<double> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double* l = lu.row(i);
        double acc = 0.0;
        for (std::size_t j = 0; j < i; ++j) acc = (y[j] * l[j]) + acc;
        y[i] = x[factors.perm[i]] - acc;
    }
    for (std::size_t i = n; i-- > 0;) {
        const double* u = lu.row(i);
        double acc = 0.0;
        for (std::size_t j = i + 1; j < n; ++j) acc = (x[j] * u[j]) + acc;
        x[i] = (y[i] - acc) / u[i];
    }
}

// A^T = U^T L^T P: U^T w = b forward, L^T v = w backward, then x = P^T v.
void solve_transposed(const LuFactors& factors, std::vector<double>& x) {
    const SquareMatrix& lu = factors.lu;
    const std::size_t n = lu.size();
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        double acc = 0.0;
        for (std::size_t j = 0; j < i; ++j) acc = (w[j] * lu(j, i)) + acc;
        w[i] = (x[i] - acc) / lu(i, i);
    }
    for (std::size_t i = n; i-- > 0;) {
        double acc = 0.0;
        for (std::size_t j = i + 1; j < n; ++j) acc = (w[j] * lu(j, i)) + acc;
        w[i] = w[i] - acc;
    }
    for (std::size_t i = 0; i < n; ++i) x[factors.perm[i]] = w[i];
}

double norm1(const std::vector<double>& x) {
    double s = 0.0;
    for (double v : x) s = s + std::fabs(v);
    return s;
}

}  // namespace

std::vector<double> inverse_diagonal(const LuFactors& factors, std::size_t count, const Execution& execution) {
    const std::size_t n = factors.lu.size();
    count = std::min(count, n);
    std::vector<double> diagonal(count, 0.0);
    const std::size_t groups = (n + LANES - 1) / LANES;
    auto solve_groups = [&](std::size_t begin, std::size_t end) {
        std::vector<double> w(n * LANES);
        for (std::size_t g = begin; g < end && !stop_requested(execution); ++g) {
            const std::size_t first = g * LANES;
            solve_lanes(factors, first, std::min(LANES, n - first), count, w, diagonal.data());
        }
    };
    if (n >= execution.thresholds.min_rows) {
        parallel_for(execution, groups, 1, solve_groups);
    } else {
        for (std::size_t g = 0; g < groups; ++g) {
            check_cancellation(execution.cancellation);
            solve_groups(g, g + 1);
        }
    }
    check_cancellation(execution.cancellation);
    return diagonal;
}

double condition_estimate(const LuFactors& factors, double norm1_of_a) {
    const std::size_t n = factors.lu.size();
    if (n == 0) return 0.0;
    constexpr double INF = std::numeric_limits<double>::infinity();
    std::vector<double> x(n, 1.0 / static_cast<double>(n));
    double estimate = 0.0;
    constexpr int ITERATIONS = 5;
    for (int iteration = 0; iteration < ITERATIONS; ++iteration) {
        solve_plain(factors, x);
        const double size = norm1(x);
        if (std::isnan(size)) return INF;
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
    solve_plain(factors, x);
    const double alternative = (2.0 * norm1(x)) / (3.0 * static_cast<double>(n));
    if (std::isnan(alternative)) return INF;
    estimate = std::max(estimate, alternative);
    const double condition = norm1_of_a * estimate;
    return std::isnan(condition) ? INF : condition;
}

}  // namespace pymorvel
