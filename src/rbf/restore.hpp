// Rebuilding a fitted model from its parts, without solving again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/fitting.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

template <class Y>
bool finite_weights(const std::vector<Y>& weights) noexcept {
    return std::all_of(weights.begin(), weights.end(), [](const Y& w) { return all_finite(w); });
}

// Only models with finite weights and polynomial coefficients travel: a fit
// can end with infinite ones (two coinciding points), but such a model
// predicts nothing but failures, and refusing it when it is sent beats
// refusing its state when it arrives.
template <class X, class Y>
bool can_travel(const RbfModel<X, Y>& model) noexcept {
    return finite_weights(model.weights) && (!model.polynomial || finite_weights(model.polynomial->coefficients));
}

// What a state keeps of a polynomial term: its degree and coefficients. The
// basis is not kept but rebuilt from the sample points.
template <class Y>
struct PolynomialState {
    std::size_t degree = 0;
    std::vector<Y> coefficients;
};

// Takes over the parts and checks, before a model is handed out, what
// prediction relies on: one value and one weight per point, at least one point (its value
// gives every output its shape), and finite weights. Vector lengths need no
// check: prediction combines vectors over their common prefix, so any lengths
// stay in bounds.
//
// A polynomial term's basis is built by the fit's own polynomial_basis, so it
// is the fitted model's to the bit, after the fit's checks of the points (one
// length, which evaluation relies on, finite coordinates, no more monomials
// than samples); then one finite coefficient per monomial is required. The
// fit's rank test is not run: it is there to make the design matrix
// solvable, and nothing is solved here. The coefficients are taken as given,
// as the weights are, and prediction needs of the points only what is checked.
template <class X, class Y>
Outcome<RbfModel<X, Y>> restore(std::vector<X> x, std::vector<Y> y, std::vector<Y> weights, Kernel kernel,
                                double epsilon, std::optional<PolynomialState<Y>> polynomial = std::nullopt) {
    if (x.empty() || x.size() != y.size() || x.size() != weights.size())
        return Failure{std::string(messages::STATE_COUNTS)};
    if (!finite_weights(weights)) return Failure{std::string(messages::STATE_WEIGHTS_NOT_FINITE)};
    if (const std::optional<std::size_t> minimum = minimum_degree(kernel);
        minimum && (!polynomial || polynomial->degree < *minimum))
        return Failure{messages::state_degree_below_minimum(kernel_name(kernel), *minimum)};
    RbfModel<X, Y> model{PointStorage<X>::from(std::move(x)), std::move(y), std::move(weights), kernel, epsilon};
    if (polynomial) {
        Outcome<PolynomialBasis> basis = polynomial_basis(model.x, polynomial->degree);
        if (auto* failure = std::get_if<Failure>(&basis)) return Failure{messages::state_polynomial(failure->message)};
        const std::size_t monomials = std::get<PolynomialBasis>(basis).size();
        if (polynomial->coefficients.size() != monomials)
            return Failure{messages::state_coefficient_count(polynomial->coefficients.size(), monomials)};
        if (!finite_weights(polynomial->coefficients))
            return Failure{std::string(messages::STATE_COEFFICIENTS_NOT_FINITE)};
        model.polynomial =
            PolynomialTerm<Y>{std::get<PolynomialBasis>(std::move(basis)), std::move(polynomial->coefficients)};
    }
    return model;
}

}  // namespace pymorvel
