// Evaluating a fitted model at new points.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numeric/distances.hpp"
#include "numeric/outcome.hpp"
#include "rbf/model.hpp"

namespace pymorvel {

namespace detail {

// sum += weight x kernel(distance) for every sample, in sample order. The
// kernel is fixed at compile time, so its exp or log call sits in the loop
// directly: exp and log are long chains of dependent operations, which the
// processor overlaps only when little else comes between the calls.
template <KernelFn Kernel, class Y>
void add_terms(Y& sum, const std::vector<Y>& weights, const std::vector<double>& distances, double epsilon) {
    const double* d = distances.data();
    const Y* w = weights.data();
    const std::size_t n = distances.size();
    Y local = std::move(sum);
    for (std::size_t j = 0; j < n; ++j) add_scaled(local, w[j], Kernel(d[j], epsilon));
    sum = std::move(local);
}

}  // namespace detail

// Sequential on purpose: each output is a sum over the samples in sample order,
// which is what makes results reproducible bit for bit. Stops at the first
// output holding a NaN.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, std::span<const X> x_new) {
    // 1-2. Outputs start as zeros shaped like the first sample value.
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    // 3. One query after another; terms are added in sample order. For the
    // Gaussian and the thin-plate spline the distances to all samples come
    // first, in a pass of their own, with the same roundings as in one loop.
    const std::size_t n = model.x.size();
    const bool exp_or_log = model.kernel == &gaussian || model.kernel == &thin_plate_spline;
    std::vector<double> distances(exp_or_log ? n : 0);
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        // A local sum stays in registers; the output is not re-read per term.
        Y sum = std::move(out[i]);
        if (!exp_or_log) {
            for (std::size_t j = 0; j < n; ++j)
                add_scaled(sum, model.weights[j],
                           model.kernel(floor_distance(squared_distance(x_new[i], model.x[j])), model.epsilon));
        } else {
            floored_distances(x_new[i], model.x, 0, distances.data());
            if (model.kernel == &gaussian) detail::add_terms<gaussian>(sum, model.weights, distances, model.epsilon);
            else detail::add_terms<thin_plate_spline>(sum, model.weights, distances, model.epsilon);
        }
        out[i] = std::move(sum);
        if (has_nan(out[i])) return Failure{"NaN values in output"};
    }
    return out;
}

}  // namespace pymorvel
