// The fitted model in its four shapes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "numeric/kernels.hpp"
#include "numeric/point_set.hpp"
#include "numeric/polynomial.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

// The fitted polynomial part: its basis and one coefficient per monomial.
template <class Y>
struct PolynomialTerm {
    PolynomialBasis basis;
    std::vector<Y> coefficients;
};

// X and Y are each a number (double) or a vector of numbers (Vector).
template <class X, class Y>
struct RbfModel {
    typename PointStorage<X>::type x;  // vector points are stored contiguously
    // The sample values the model was fitted to; prediction reads only the
    // shape of the first, and the rest are what a model can show of itself.
    std::vector<Y> y;
    std::vector<Y> weights;
    Kernel kernel = gaussian;
    double epsilon = 1.0;
    // Only a fit asked for a degree has one.
    std::optional<PolynomialTerm<Y>> polynomial = std::nullopt;
};

using F64F64 = RbfModel<double, double>;
using F64Vec = RbfModel<double, Vector>;
using VecF64 = RbfModel<Vector, double>;
using VecVec = RbfModel<Vector, Vector>;

// The alternative's index is its tag; the order is fixed.
using RbfVariant = std::variant<F64F64, F64Vec, VecF64, VecVec>;

inline constexpr std::array<std::string_view, 4> SHAPE_LABELS = {
    "Rbf<f64, f64>", "Rbf<f64, Vec<f64>>", "Rbf<Vec<f64>, f64>", "Rbf<Vec<f64>, Vec<f64>>"};

inline std::size_t tag_of(const RbfVariant& v) noexcept { return v.index(); }

inline double epsilon_of(const RbfVariant& v) noexcept {
    return std::visit([](const auto& m) { return m.epsilon; }, v);
}

}  // namespace pymorvel
