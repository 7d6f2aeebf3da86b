// Rebuilding a fitted model from its parts, without solving again.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

template <class Y>
bool finite_weights(const std::vector<Y>& weights) noexcept {
    return std::all_of(weights.begin(), weights.end(), [](const Y& w) { return all_finite(w); });
}

// Only models with finite weights travel: a fit can end with infinite weights
// (two coinciding points), but such a model predicts nothing but failures, and
// refusing it when it is sent beats refusing its state when it arrives.
template <class X, class Y>
bool can_travel(const RbfModel<X, Y>& model) noexcept {
    return finite_weights(model.weights);
}

// Takes over the parts and checks, before building anything, what prediction
// relies on: one value and one weight per point, at least one point (its value
// gives every output its shape), and finite weights. Vector lengths need no
// check: prediction combines vectors over their common prefix, so any lengths
// stay in bounds.
template <class X, class Y>
Outcome<RbfModel<X, Y>> restore(std::vector<X> x, std::vector<Y> y, std::vector<Y> weights, Kernel kernel,
                                double epsilon) {
    if (x.empty() || x.size() != y.size() || x.size() != weights.size())
        return Failure{std::string(messages::STATE_COUNTS)};
    if (!finite_weights(weights)) return Failure{std::string(messages::STATE_WEIGHTS_NOT_FINITE)};
    return RbfModel<X, Y>{PointStorage<X>::from(std::move(x)), std::move(y), std::move(weights), kernel, epsilon};
}

}  // namespace pymorvel
