// The derivative of a fitted model with respect to the query point's coordinates.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/model.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel {

// What one query point's derivative looks like: number points give one
// number per value component (a number for number values), vector points one
// number per query coordinate, or one such vector per value component.
template <class X, class Y>
struct GradientShape;
template <>
struct GradientShape<double, double> {
    using type = double;
};
template <>
struct GradientShape<double, Vector> {
    using type = Vector;
};
template <>
struct GradientShape<Vector, double> {
    using type = Vector;
};
template <>
struct GradientShape<Vector, Vector> {
    using type = std::vector<Vector>;
};
template <class X, class Y>
using GradientOf = typename GradientShape<X, Y>::type;

namespace detail {

// `table` holds components x coordinates, component-major.
template <class X, class Y>
GradientOf<X, Y> shaped(std::vector<double> table, std::size_t components, std::size_t coordinates) {
    if constexpr (std::is_same_v<X, double> && std::is_same_v<Y, double>) {
        return table[0];
    } else if constexpr (std::is_same_v<X, Vector> && std::is_same_v<Y, Vector>) {
        std::vector<Vector> out(components);
        for (std::size_t c = 0; c < components; ++c)
            out[c].assign(table.begin() + static_cast<std::ptrdiff_t>(c * coordinates),
                          table.begin() + static_cast<std::ptrdiff_t>((c + 1) * coordinates));
        return out;
    } else {
        return table;  // one of the two extents is 1
    }
}

}  // namespace detail

// For query point x and value component c, entry k is d out_c / d x_k: the
// sum over the samples j in sample order of
//
//   (w_jc * phi'(s_j)) * (2 * (x_k - p_jk)),   s_j = |x - p_j|^2,
//
// then over the monomials in basis order of coefficient_qc * d m_q / d x_k
// (see PolynomialBasis::differentiate), each product and sum rounded on its
// own, starting from +0.0.
//
// This is the derivative of exactly what predict computes:
// - a sample whose squared distance is not above the floor 2^-52 (a
//   coinciding point, one closer than about 1.5e-8, or a NaN distance) is
//   evaluated at the constant kernel(2^-52) by predict and so contributes
//   nothing here; in particular a query on a sample point gets no term from
//   that sample;
// - vectors of different lengths: the query's own coordinates are
//   differentiated, and a sample without coordinate k (its distance does not
//   depend on x_k) contributes nothing to entry k.
//
// Fails when a query point's derivative holds a NaN. slope is the kernel's
// derivative in s, through phi.slope(s, e). Each query point's derivative is
// its own, so large queries are spread over the pool (by the prediction's
// rule) without changing a bit.
template <class X, class Y, class Phi>
Outcome<std::vector<GradientOf<X, Y>>> gradient_with(const RbfModel<X, Y>& model, std::span<const X> x_new,
                                                     Phi phi, const Execution& execution = {}) {
    if (std::optional<Failure> refusal = refuse_queries(model, x_new)) return std::move(*refusal);
    const std::size_t components = numbers_of(model.y.front()).size();
    // A local copy: the table written below could otherwise alias it, and
    // every term would read it again.
    const double epsilon = model.epsilon;
    const std::size_t m = x_new.size(), n = model.x.size();
    std::vector<GradientOf<X, Y>> out(m);
    std::atomic<bool> nan_found{false};
    auto run = [&](std::size_t begin, std::size_t end) {
        std::vector<double> twice_difference;
        for (std::size_t i = begin; i < end && !nan_found.load(std::memory_order_relaxed); ++i) {
            const std::span<const double> x = numbers_of(x_new[i]);
            const std::size_t coordinates = x.size();
            std::vector<double> table(components * coordinates, 0.0);
            for (std::size_t j = 0; j < n; ++j) {
                const double s = squared_distance(x_new[i], model.x[j]);
                if (!(s > DISTANCE_FLOOR)) continue;
                const double slope = phi.slope(s, epsilon);
                const std::span<const double> p = numbers_of(model.x[j]);
                const std::size_t common = std::min(coordinates, p.size());
                twice_difference.resize(common);
                for (std::size_t k = 0; k < common; ++k) twice_difference[k] = (x[k] - p[k]) * 2.0;
                const std::span<const double> w = numbers_of(model.weights[j]);
                for (std::size_t c = 0; c < std::min(components, w.size()); ++c) {
                    const double scaled = w[c] * slope;
                    double* row = table.data() + c * coordinates;
                    for (std::size_t k = 0; k < common; ++k) row[k] = (scaled * twice_difference[k]) + row[k];
                }
            }
            if (model.polynomial) {
                model.polynomial->basis.differentiate(x, [&](std::size_t q, std::size_t k, double derivative) {
                    const std::span<const double> a = numbers_of(model.polynomial->coefficients[q]);
                    for (std::size_t c = 0; c < std::min(components, a.size()); ++c)
                        table[c * coordinates + k] = (a[c] * derivative) + table[c * coordinates + k];
                });
            }
            if (std::any_of(table.begin(), table.end(), [](double v) { return std::isnan(v); }))
                nan_found.store(true, std::memory_order_relaxed);
            out[i] = detail::shaped<X, Y>(std::move(table), components, coordinates);
        }
    };
    constexpr std::size_t POINTS_PER_BLOCK = 16;
    run_queries(execution, m, n, POINTS_PER_BLOCK, run);
    if (nan_found.load()) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    return out;
}

template <class X, class Y>
Outcome<std::vector<GradientOf<X, Y>>> gradient(const RbfModel<X, Y>& model, std::span<const X> x_new,
                                                const Execution& execution = {}) {
    return dispatch_kernel(model.kernel.id, [&](auto phi) { return gradient_with(model, x_new, phi, execution); });
}

}  // namespace pymorvel
