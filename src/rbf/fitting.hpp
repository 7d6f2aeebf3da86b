// Fitting a model: the length assertion, the opt-in smoothing and polynomial term, the design matrix and the solve.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <variant>
#include <vector>

#include "common/panic.hpp"
#include "rbf/design_matrix.hpp"
#include "linear_algebra/rank.hpp"
#include "linear_algebra/solver.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

namespace fitting_detail {

// The plain fit of points already laid out as a model keeps them.
template <class X, class Y>
Outcome<RbfModel<X, Y>> fit_stored(typename PointStorage<X>::type points, std::vector<Y> y, Kernel kernel,
                                   double epsilon, const Execution& execution) {
    // One factorisation serves every value component, and the solver consumes
    // the design matrix, so a fit holds a single N x N block at a time.
    Outcome<std::vector<Y>> weights =
        solve(build_design_matrix(points, kernel, epsilon, execution), std::span<const Y>(y), execution);
    if (auto* failure = std::get_if<Failure>(&weights)) return std::move(*failure);
    return RbfModel<X, Y>{std::move(points), std::move(y), std::get<std::vector<Y>>(std::move(weights)), kernel,
                          epsilon};
}

}  // namespace fitting_detail

// Takes over x and y. A length mismatch panics; the solver's failures are
// returned unchanged. Under a Cancellation, a stop throws Cancelled.
template <class X, class Y>
Outcome<RbfModel<X, Y>> fit(std::vector<X> x, std::vector<Y> y, Kernel kernel, double epsilon,
                            const Execution& execution = {}) {
    if (x.size() != y.size()) panic(messages::length_mismatch(x.size(), y.size()));
    return fitting_detail::fit_stored<X, Y>(PointStorage<X>::from(std::move(x)), std::move(y), kernel, epsilon,
                                            execution);
}

// The opt-in parts of a fit; the defaults ask for neither.
struct FitOptions {
    // Added to the diagonal of the kernel matrix: one amount for every sample,
    // or one per sample.
    std::variant<double, std::vector<double>> smoothing = 0.0;
    // The total degree of the polynomial term; none without one.
    std::optional<std::size_t> degree = std::nullopt;
};

// The degree a fit with `kernel` runs with. A kernel with a minimum degree
// (minimum_degree) takes None as that minimum, as SciPy's default does, and
// refuses a lower one; every other kernel takes the degree as given, None
// being no polynomial term. Each entry point resolves its degree here before
// it fits, so the fit, leave-one-out and patches agree on it.
inline Outcome<std::optional<std::size_t>> kernel_degree(Kernel kernel, std::optional<std::size_t> degree) {
    const std::optional<std::size_t> minimum = minimum_degree(kernel);
    if (!minimum) return degree;
    if (!degree) return minimum;
    if (*degree < *minimum) return Failure{messages::degree_below_minimum(kernel_name(kernel), *minimum, *degree)};
    return degree;
}

// The amount for each sample, or none at all when every amount is zero (of
// either sign): such a fit is the plain one, bit for bit.
inline Outcome<std::vector<double>> smoothing_amounts(const std::variant<double, std::vector<double>>& smoothing,
                                                      std::size_t samples) {
    const auto allowed = [](double a) { return std::isfinite(a) && a >= 0.0; };
    std::vector<double> amounts;
    if (const double* amount = std::get_if<double>(&smoothing)) {
        if (!allowed(*amount)) return Failure{std::string(messages::SMOOTHING_NOT_ALLOWED)};
        if (*amount != 0.0) amounts.assign(samples, *amount);
        return amounts;
    }
    const std::vector<double>& per_sample = std::get<std::vector<double>>(smoothing);
    if (per_sample.size() != samples) return Failure{messages::smoothing_length(per_sample.size(), samples)};
    bool any = false;
    for (std::size_t i = 0; i < per_sample.size(); ++i) {
        if (!allowed(per_sample[i])) return Failure{messages::smoothing_not_allowed_at(i)};
        any = any || per_sample[i] != 0.0;
    }
    if (any) amounts = per_sample;
    return amounts;
}

// The polynomial term's basis on the samples, after the checks that make one:
// points of one length, finite coordinates, and at least as many samples as
// monomials (which also keeps the basis no larger than the samples). A fit and
// a restored model both build theirs here, so their shifts and scales, and with
// them every monomial value, are the same bits.
template <class Points>
Outcome<PolynomialBasis> polynomial_basis(const Points& points, std::size_t degree) {
    const std::size_t n = points.size();
    const std::size_t dimension = numbers_of(points[0]).size();
    std::vector<double> flat;
    flat.reserve(n * dimension);
    for (std::size_t i = 0; i < n; ++i) {
        const std::span<const double> p = numbers_of(points[i]);
        if (p.size() != dimension) return Failure{messages::ragged_polynomial_points(dimension, i, p.size())};
        for (double c : p)
            if (!std::isfinite(c)) return Failure{messages::nonfinite_polynomial_point(i)};
        flat.insert(flat.end(), p.begin(), p.end());
    }
    const std::size_t monomials = PolynomialBasis::monomial_count(dimension, degree);
    if (monomials > n) return Failure{messages::too_few_samples(monomials, n)};
    return PolynomialBasis(degree, dimension, flat, n);
}

// The basis and the samples' n x Q block of monomial values (row-major), after
// the checks above and the one that makes the design matrix solvable:
// monomials that are independent on the samples.
struct PolynomialSetup {
    PolynomialBasis basis;
    std::vector<double> block;
};

template <class Points>
Outcome<PolynomialSetup> polynomial_setup(const Points& points, std::size_t degree) {
    Outcome<PolynomialBasis> basis = polynomial_basis(points, degree);
    if (auto* failure = std::get_if<Failure>(&basis)) return std::move(*failure);
    const std::size_t n = points.size();
    const std::size_t monomials = std::get<PolynomialBasis>(basis).size();
    PolynomialSetup setup{std::get<PolynomialBasis>(std::move(basis)), std::vector<double>(n * monomials)};
    for (std::size_t i = 0; i < n; ++i)
        setup.basis.evaluate(numbers_of(points[i]), std::span<double>(setup.block).subspan(i * monomials, monomials));
    if (const std::size_t rank = numerical_rank(setup.block, n, monomials); rank < monomials)
        return Failure{messages::rank_deficient(monomials, rank)};
    return setup;
}

// The polynomial term's setup for a degree; none without one.
template <class Points>
Outcome<std::optional<PolynomialSetup>> optional_polynomial_setup(const Points& points,
                                                                  std::optional<std::size_t> degree) {
    if (!degree) return std::optional<PolynomialSetup>();
    Outcome<PolynomialSetup> setup = polynomial_setup(points, *degree);
    if (auto* failure = std::get_if<Failure>(&setup)) return std::move(*failure);
    return std::optional<PolynomialSetup>(std::get<PolynomialSetup>(std::move(setup)));
}

// The values a design matrix with `monomials` side conditions is solved for:
// y, then zeros shaped like its first value. Empty without side conditions,
// where y itself is solved for.
template <class Y>
std::vector<Y> with_side_conditions(const std::vector<Y>& y, std::size_t monomials) {
    std::vector<Y> values;
    if (monomials > 0) {
        values.reserve(y.size() + monomials);
        values.insert(values.end(), y.begin(), y.end());
        values.resize(y.size() + monomials, zero_like(y.front()));
    }
    return values;
}

// The fit with its opt-in parts. Checks run in this order: the lengths of x
// and y (a panic), empty data (the solver's message), the smoothing, then the
// polynomial term. Without smoothing or degree it is the plain fit above.
//
// A polynomial term adds the monomials' rows and columns (their side
// conditions) to the design matrix, which goes through the same solve: its
// norms are measured on the whole (n + Q)-square matrix and, past the
// threshold, every row is equilibrated, the side conditions' rows too (their
// values are zero, so only the matrix changes). Partial pivoting takes care of
// the zero corner.
//
// fit_points takes points already laid out as the model keeps them, as many
// as the values (the caller has checked); fit takes them as given.
template <class X, class Y>
Outcome<RbfModel<X, Y>> fit_points(typename PointStorage<X>::type points, std::vector<Y> y, Kernel kernel,
                                   double epsilon, const FitOptions& options, const Execution& execution = {}) {
    const std::size_t n = points.size();
    if (n == 0) return Failure{std::string(messages::EMPTY_SYSTEM)};
    Outcome<std::vector<double>> smoothing = smoothing_amounts(options.smoothing, n);
    if (auto* failure = std::get_if<Failure>(&smoothing)) return std::move(*failure);
    const std::vector<double>& amounts = std::get<std::vector<double>>(smoothing);
    if (amounts.empty() && !options.degree)
        return fitting_detail::fit_stored<X, Y>(std::move(points), std::move(y), kernel, epsilon, execution);

    Outcome<std::optional<PolynomialSetup>> setup = optional_polynomial_setup(points, options.degree);
    if (auto* failure = std::get_if<Failure>(&setup)) return std::move(*failure);
    std::optional<PolynomialSetup> polynomial = std::get<std::optional<PolynomialSetup>>(std::move(setup));
    const std::size_t monomials = polynomial ? polynomial->basis.size() : 0;
    SquareMatrix system = build_design_matrix(points, kernel, epsilon, amounts,
                                              polynomial ? std::span<const double>(polynomial->block)
                                                         : std::span<const double>(),
                                              monomials, execution);
    if (polynomial) std::vector<double>().swap(polynomial->block);  // only the basis is kept
    const std::vector<Y> values = with_side_conditions(y, monomials);
    Outcome<std::vector<Y>> solution =
        solve(std::move(system), std::span<const Y>(monomials > 0 ? values : y), execution);
    if (auto* failure = std::get_if<Failure>(&solution)) return std::move(*failure);
    std::vector<Y> weights = std::get<std::vector<Y>>(std::move(solution));
    RbfModel<X, Y> model{std::move(points), std::move(y), {}, kernel, epsilon};
    if (polynomial) {
        model.polynomial = PolynomialTerm<Y>{std::move(polynomial->basis),
                                             std::vector<Y>(weights.begin() + static_cast<std::ptrdiff_t>(n), weights.end())};
        weights.resize(n);
    }
    model.weights = std::move(weights);
    return model;
}

template <class X, class Y>
Outcome<RbfModel<X, Y>> fit(std::vector<X> x, std::vector<Y> y, Kernel kernel, double epsilon,
                            const FitOptions& options, const Execution& execution = {}) {
    if (x.size() != y.size()) panic(messages::length_mismatch(x.size(), y.size()));
    return fit_points<X, Y>(PointStorage<X>::from(std::move(x)), std::move(y), kernel, epsilon, options, execution);
}

}  // namespace pymorvel
