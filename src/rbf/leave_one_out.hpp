// Leave-one-out residuals by Rippa's formula, read from the fit's own equilibrated factorisation.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "linear_algebra/inverse_diagonal.hpp"
#include "linear_algebra/kept_factors.hpp"
#include "rbf/fitting.hpp"

namespace pymorvel {

// A fit together with what its factors say about it.
template <class X, class Y>
struct LeaveOneOut {
    RbfModel<X, Y> model;
    // y_k minus the value at x_k of the fit to every sample but k.
    std::vector<Y> residuals;
    // The condition estimate of the factorised system (after equilibration).
    double condition = 0.0;
};

// The fit of fitting.hpp step for step (the same checks in the same order,
// the same design matrix, the same equilibration decision and division, the
// same factorisation on the same execution), so the model is the same bits as
// fit()'s; then, from those factors, Rippa's residuals e_k = c_k / (A^-1)_kk.
//
// The weights c come from the substitution, as the fit's do. Equilibration
// factorises A_s = D^-1 A, so A^-1 = A_s^-1 D^-1 and (A^-1)_kk = (A_s^-1)_kk / d_k:
// one true division of the factors' diagonal by the row's divisor, and none
// without equilibration. With a polynomial term A is the whole design matrix and
// only its first N diagonal entries are read. Vector values share the diagonal.
template <class X, class Y>
Outcome<LeaveOneOut<X, Y>> leave_one_out(std::vector<X> x, std::vector<Y> y, Kernel kernel, double epsilon,
                                         const FitOptions& options, const Execution& execution = {}) {
    if (x.size() != y.size()) panic(messages::length_mismatch(x.size(), y.size()));
    const std::size_t n = x.size();
    if (n == 0) return Failure{std::string(messages::EMPTY_SYSTEM)};
    Outcome<std::vector<double>> smoothing = smoothing_amounts(options.smoothing, n);
    if (auto* failure = std::get_if<Failure>(&smoothing)) return std::move(*failure);
    const std::vector<double>& amounts = std::get<std::vector<double>>(smoothing);
    const bool plain = amounts.empty() && !options.degree;

    typename PointStorage<X>::type points = PointStorage<X>::from(std::move(x));
    Outcome<std::optional<PolynomialSetup>> setup = optional_polynomial_setup(points, options.degree);
    if (auto* failure = std::get_if<Failure>(&setup)) return std::move(*failure);
    std::optional<PolynomialSetup> polynomial = std::get<std::optional<PolynomialSetup>>(std::move(setup));
    const std::size_t monomials = polynomial ? polynomial->basis.size() : 0;
    SquareMatrix system = plain ? build_design_matrix(points, kernel, epsilon, execution)
                                : build_design_matrix(points, kernel, epsilon, amounts,
                                                      polynomial ? std::span<const double>(polynomial->block)
                                                                 : std::span<const double>(),
                                                      monomials, execution);
    if (polynomial) std::vector<double>().swap(polynomial->block);
    const std::vector<Y> values = with_side_conditions(y, monomials);
    Outcome<FactoredSolution<Y>> solved =
        solve_keeping_factors(std::move(system), std::span<const Y>(monomials > 0 ? values : y), execution);
    if (auto* failure = std::get_if<Failure>(&solved)) return std::move(*failure);
    FactoredSolution<Y>& solution = std::get<FactoredSolution<Y>>(solved);

    InverseSummary inverse = inverse_summary(solution.factors, n, solution.norm1, execution);
    std::vector<double>& diagonal = inverse.diagonal;
    if (!solution.row_divisors.empty())
        for (std::size_t k = 0; k < n; ++k) diagonal[k] = diagonal[k] / solution.row_divisors[k];
    LeaveOneOut<X, Y> out{RbfModel<X, Y>{std::move(points), std::move(y), {}, kernel, epsilon}, {}, 0.0};
    out.residuals.reserve(n);
    for (std::size_t k = 0; k < n; ++k) out.residuals.push_back(divide(solution.solution[k], diagonal[k]));
    out.condition = inverse.condition;

    std::vector<Y> weights = std::move(solution.solution);
    if (polynomial) {
        out.model.polynomial = PolynomialTerm<Y>{
            std::move(polynomial->basis),
            std::vector<Y>(weights.begin() + static_cast<std::ptrdiff_t>(n), weights.end())};
        weights.resize(n);
    }
    out.model.weights = std::move(weights);
    return out;
}

// The mean absolute residual over every sample and component, summed in
// order; +inf when any residual is not finite, so that a broken fit never wins.
template <class Y>
double mean_absolute(const std::vector<Y>& residuals) {
    double sum = 0.0;
    std::size_t terms = 0;
    for (const Y& r : residuals) {
        for (double v : numbers_of(r)) {
            if (!std::isfinite(v)) return std::numeric_limits<double>::infinity();
            sum = sum + std::fabs(v);
            ++terms;
        }
    }
    return terms == 0 ? std::numeric_limits<double>::infinity() : sum / static_cast<double>(terms);
}

}  // namespace pymorvel
