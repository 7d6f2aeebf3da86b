// Evaluating a fitted model at new points.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

// Sequential on purpose: each output is a sum over the samples in sample order,
// which is what makes results reproducible bit for bit. Stops at the first
// output holding a NaN.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    // 1-2. Outputs start as zeros shaped like the first sample value.
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    // 3. One query after another; terms are added in sample order.
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        for (std::size_t j = 0; j < model.x.size(); ++j) {
            const double phi =
                model.kernel(floor_distance(squared_distance(x_new[i], model.x[j])), model.epsilon);
            add_scaled(out[i], model.weights[j], phi);
        }
        if (has_nan(out[i])) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    }
    return out;
}

}  // namespace pymorvel
