// Choosing epsilon (and optionally the kernel) by the leave-one-out score: a fixed grid scan, then a halving pattern refinement.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "rbf/leave_one_out.hpp"

namespace pymorvel {

// One fit of the search.
struct EpsilonEvaluation {
    Kernel kernel;
    double epsilon;
    double score;      // the mean absolute leave-one-out residual; +inf for a failed fit
    double condition;  // +inf for a failed fit
};

template <class X, class Y>
struct EpsilonSelection {
    Kernel kernel = gaussian;
    double epsilon = 1.0;
    double score = std::numeric_limits<double>::infinity();
    // Whether the chosen kernel depends on epsilon (the others get one evaluation).
    bool epsilon_searched = false;
    std::vector<EpsilonEvaluation> curve;  // every evaluation, in the order made
    std::optional<RbfModel<X, Y>> model;   // none when every fit failed
    std::optional<Failure> failure;        // the first failure, reported when every fit failed
};

struct SelectionLimits {
    // The search range; none: from the points' spacing and extent.
    std::optional<std::pair<double, double>> bounds;
    std::size_t max_evaluations = 16;  // per kernel
};

// Only these four shape kernels read epsilon.
inline bool reads_epsilon(Kernel kernel) noexcept {
    return kernel == gaussian || kernel == multiquadric || kernel == inverse_multiquadratic ||
           kernel == inverse_quadratic;
}

// The mean distance from each point to its nearest other point, and the
// diagonal of the points' bounding box; sums in index order.
template <class Points>
std::pair<double, double> spacing_and_extent(const Points& points) {
    const std::size_t n = points.size();
    double spacing = 0.0;
    std::size_t counted = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double nearest = std::numeric_limits<double>::infinity();
        for (std::size_t j = 0; j < n; ++j)
            if (j != i) nearest = std::min(nearest, squared_distance(numbers_of(points[i]), numbers_of(points[j])));
        if (std::isfinite(nearest)) spacing = spacing + std::sqrt(nearest), ++counted;
    }
    spacing = counted > 0 ? spacing / static_cast<double>(counted) : 0.0;
    const std::size_t dimension = n > 0 ? numbers_of(points[0]).size() : 0;
    double diagonal = 0.0;
    for (std::size_t d = 0; d < dimension; ++d) {
        double low = std::numeric_limits<double>::infinity(), high = -low;
        for (std::size_t i = 0; i < n; ++i) {
            const std::span<const double> p = numbers_of(points[i]);
            if (d < p.size() && std::isfinite(p[d])) low = std::min(low, p[d]), high = std::max(high, p[d]);
        }
        if (high >= low) diagonal = diagonal + (high - low) * (high - low);
    }
    return {spacing, std::sqrt(diagonal)};
}

// The grid starts at half the mean spacing and doubles up to this many times
// the diagonal: every shape kernel flattens as epsilon grows, so the scan
// runs from the sharp, well-conditioned end towards the flat, ill-conditioned one.
inline constexpr double GRID_END_DIAGONALS = 4.0;
// The scan stops once the system is this badly conditioned ...
inline constexpr double STOP_CONDITION = 1e12;
// ... and the score has risen this far above the best so far.
inline constexpr double STOP_RISE = 100.0;
// Evaluations kept back from the scan for the refinement.
inline constexpr std::size_t REFINEMENT_EVALUATIONS = 6;
// The refinement's first step, in log2(epsilon), and the step below which it stops.
inline constexpr double REFINEMENT_FIRST_STEP = 0.5;
inline constexpr double REFINEMENT_LAST_STEP = 0.02;
// Scores within this factor of the kernel's best count as a tie, which goes to
// the largest epsilon: the score sees only the samples themselves, and the
// error between and beyond them (extrapolation to the box's corners) falls
// further as the kernel flattens, so a near-tie at a smaller epsilon is
// usually the worse fit.
inline constexpr double TIE_FACTOR = 1.25;

namespace selection_detail {

// One kernel's search. `evaluate` fits at an epsilon and reports its score
// and condition estimate; it keeps the models itself.
//
// The score is rounding noise wherever the optimum lies past a condition of
// about 1e16, so no model of its shape (golden section's unimodality, Brent's
// parabola) holds there. The refinement instead probes both sides of the best
// point so far at a step that halves each round: it stays near the scan's
// minimum, never trusts one noisy comparison to discard a side, and its
// points are exact binary fractions of the grid's, so the sequence is fixed.
template <class Evaluate>
void search_kernel(Evaluate&& evaluate, double low, double high, std::size_t budget) {
    // log2 of epsilon, so that the grid's factor 2 is a step of one.
    std::vector<double> seen_t, seen_score;
    const double t_low = std::log2(low), t_high = std::log2(high);
    // exp2(log2(e)) may miss e by a rounding; the search stays within its range.
    auto at = [&](double t) {
        const std::pair<double, double> result = evaluate(std::clamp(std::exp2(t), low, high));
        seen_t.push_back(t);
        seen_score.push_back(result.first);
        return result;
    };
    const std::size_t scan_budget = budget > REFINEMENT_EVALUATIONS ? budget - REFINEMENT_EVALUATIONS : 1;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; seen_t.size() < scan_budget; ++i) {
        const double t = t_low + static_cast<double>(i);
        if (t > t_high + 1e-9) break;
        const auto [score, condition] = at(t);
        if (score < best) best = score;
        if (condition > STOP_CONDITION && score > STOP_RISE * best) break;
    }
    if (seen_t.size() < 2 || !std::isfinite(best)) return;
    const double first = seen_t.front(), last = seen_t.back();
    for (double step = REFINEMENT_FIRST_STEP; seen_t.size() < budget && step >= REFINEMENT_LAST_STEP; step /= 2) {
        // The best point so far, the first of equals.
        std::size_t b = 0;
        for (std::size_t i = 1; i < seen_t.size(); ++i)
            if (seen_score[i] < seen_score[b]) b = i;
        const double centre = seen_t[b];
        for (const double t : {centre - step, centre + step}) {
            if (seen_t.size() >= budget) break;
            if (t < first || t > last) continue;
            if (std::find(seen_t.begin(), seen_t.end(), t) != seen_t.end()) continue;
            at(t);
        }
    }
}

// The evaluation to keep: the lowest score (the first of equals) picks the
// kernel; within that kernel the largest epsilon whose score ties with it
// wins (the first of equals). With no finite score, the first fit that
// succeeded. None when every fit failed.
template <class Succeeded>
std::optional<std::size_t> choice(const std::vector<EpsilonEvaluation>& curve, Succeeded&& succeeded) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < curve.size(); ++i)
        if (succeeded(i) && (!best || curve[i].score < curve[*best].score)) best = i;
    if (!best || !std::isfinite(curve[*best].score)) return best;
    const double tie = curve[*best].score * TIE_FACTOR;
    std::size_t chosen = *best;
    for (std::size_t i = 0; i < curve.size(); ++i)
        if (succeeded(i) && curve[i].kernel == curve[*best].kernel && curve[i].score <= tie &&
            curve[i].epsilon > curve[chosen].epsilon)
            chosen = i;
    return chosen;
}

}  // namespace selection_detail

// Searches epsilon for each kernel in turn (in the order given) and keeps the
// evaluation with the lowest score, the first of equals. A failed fit scores
// +inf and the search goes on. The model is the winning evaluation's own, the
// same bits as fit() at that kernel and epsilon. Every step is of a fixed
// sequence, so the result is the same bits on every run and thread count.
template <class X, class Y>
Outcome<EpsilonSelection<X, Y>> select_epsilon(const std::vector<X>& x, const std::vector<Y>& y,
                                                const std::vector<Kernel>& kernels, const FitOptions& options,
                                                const SelectionLimits& limits, const Execution& execution = {}) {
    if (x.size() != y.size()) panic(messages::length_mismatch(x.size(), y.size()));
    constexpr double INF = std::numeric_limits<double>::infinity();
    EpsilonSelection<X, Y> out;
    // Every successful evaluation's model, beside its curve entry: the choice
    // is known only at the end, and a model is small beside one fit's matrix.
    std::vector<std::optional<RbfModel<X, Y>>> models;
    FitOptions kernel_options = options;  // with the degree of the kernel searched
    auto evaluate = [&](Kernel kernel, double epsilon) -> std::pair<double, double> {
        Outcome<LeaveOneOut<X, Y>> result = leave_one_out(x, y, kernel, epsilon, kernel_options, execution);
        if (Failure* failure = std::get_if<Failure>(&result)) {
            if (!out.failure) out.failure = *failure;
            out.curve.push_back({kernel, epsilon, INF, INF});
            models.emplace_back();
            return {INF, INF};
        }
        LeaveOneOut<X, Y>& loo = std::get<LeaveOneOut<X, Y>>(result);
        const double score = mean_absolute(loo.residuals);
        out.curve.push_back({kernel, epsilon, score, loo.condition});
        models.emplace_back(std::move(loo.model));
        return {score, loo.condition};
    };
    const std::size_t n = x.size();
    if (n == 0) return Failure{std::string(messages::EMPTY_SYSTEM)};
    // The checks that refuse an input at every epsilon run once, first, in the
    // fit's order: no search can help them.
    for (Kernel kernel : kernels) {
        Outcome<std::optional<std::size_t>> degree = kernel_degree(kernel, options.degree);
        if (auto* failure = std::get_if<Failure>(&degree)) return std::move(*failure);
    }
    Outcome<std::vector<double>> smoothing = smoothing_amounts(options.smoothing, n);
    if (auto* failure = std::get_if<Failure>(&smoothing)) return std::move(*failure);
    const typename PointStorage<X>::type points = PointStorage<X>::from(std::vector<X>(x));
    if (options.degree) {
        Outcome<PolynomialSetup> setup = polynomial_setup(points, *options.degree);
        if (auto* failure = std::get_if<Failure>(&setup)) return std::move(*failure);
    }
    const auto [spacing, extent] = spacing_and_extent(points);
    {
        for (Kernel kernel : kernels) {
            kernel_options.degree = std::get<std::optional<std::size_t>>(kernel_degree(kernel, options.degree));
            if (!reads_epsilon(kernel)) {
                evaluate(kernel, 1.0);  // the constructor's default, which this kernel ignores
                continue;
            }
            double low, high;
            if (limits.bounds) {
                low = limits.bounds->first, high = limits.bounds->second;
            } else {
                const double unit = spacing > 0.0 ? spacing : (extent > 0.0 ? extent : 1.0);
                low = unit * 0.5;
                high = (extent > 0.0 ? extent : unit) * GRID_END_DIAGONALS;
            }
            selection_detail::search_kernel([&](double e) { return evaluate(kernel, e); }, low, high,
                                            limits.max_evaluations);
        }
    }
    const std::optional<std::size_t> chosen = selection_detail::choice(out.curve, [&](std::size_t i) {
        return models[i].has_value();
    });
    if (!chosen) return *out.failure;
    const EpsilonEvaluation& winner = out.curve[*chosen];
    out.kernel = winner.kernel, out.epsilon = winner.epsilon, out.score = winner.score;
    out.epsilon_searched = reads_epsilon(winner.kernel);
    out.model = std::move(models[*chosen]);
    return out;
}

}  // namespace pymorvel
