// Evaluating a fitted model at new points.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// Each output is a sum over the samples in sample order, which is what makes
// results reproducible bit for bit. Stops at the first output holding a NaN.
// phi is the model's kernel function.
template <class X, class Y, class Phi>
Outcome<std::vector<Y>> predict_with(const RbfModel<X, Y>& model, std::span<const X> x_new, Phi phi) {
    // Outputs start as zeros shaped like the first sample value.
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        for (std::size_t j = 0; j < model.x.size(); ++j)
            add_scaled(out[i], model.weights[j], phi(floor_distance(squared_distance(x_new[i], model.x[j])), model.epsilon));
        if (has_nan(out[i])) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    }
    return out;
}

template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    return dispatch_kernel(model.kernel.id, [&](auto phi) { return predict_with(model, x_new, phi); });
}

}  // namespace pymorvel
