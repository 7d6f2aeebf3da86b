// The plain row-by-row solver, kept beside the tests as the reference every fast path must match.
#pragma once

#include <cmath>
#include <cstddef>
#include <numeric>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "numeric/kernels.hpp"
#include "common/outcome.hpp"
#include "numeric/values.hpp"
#include "row_matrix.hpp"
#include "rbf/model.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel::reference {

// The plain function behind a kernel, called through a pointer.
inline KernelFn function_of(Kernel kernel) {
    return dispatch_kernel(kernel.id, [](auto phi) { return decltype(phi)::function; });
}
inline KernelFn derivative_of(Kernel kernel) {
    return dispatch_kernel(kernel.id, [](auto phi) { return decltype(phi)::derivative; });
}

// Value operations of the plain algorithm: a product, then a sum, each rounded.
inline double scale(double v, double c) noexcept { return v * c; }
inline Vector scale(const Vector& v, double c) {
    Vector out(v.size());
    for (std::size_t k = 0; k < v.size(); ++k) out[k] = v[k] * c;
    return out;
}
inline void add_assign(double& a, double b) noexcept { a = b + a; }
// a keeps its length; elements beyond the shorter side are left alone.
inline void add_assign(Vector& a, const Vector& b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < n; ++k) a[k] = b[k] + a[k];
}

struct Factors {
    DesignMatrix lu;
    std::vector<std::size_t> perm;
};

inline Outcome<Factors> lu_decompose(MatrixView matrix) {
    const std::size_t n = matrix.size();
    Factors f{DesignMatrix(matrix.begin(), matrix.end()), std::vector<std::size_t>(n)};
    std::iota(f.perm.begin(), f.perm.end(), std::size_t{0});
    for (std::size_t k = 0; k + 1 < n; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (std::fabs(f.lu[i][k]) > std::fabs(f.lu[p][k])) p = i;
        if (f.lu[p][k] == 0.0) return Failure{"Exact zero pivot encountered at column " + std::to_string(k)};
        if (p != k) {
            std::swap(f.lu[k], f.lu[p]);
            std::swap(f.perm[k], f.perm[p]);
        }
        const double v = f.lu[k][k];
        for (std::size_t i = k + 1; i < n; ++i) {
            const double m = f.lu[i][k] / v;
            f.lu[i][k] = m;
            for (std::size_t j = k + 1; j < n; ++j) f.lu[i][j] = f.lu[i][j] - (f.lu[k][j] * m);
        }
    }
    return f;
}

template <class V>
Outcome<std::vector<V>> lu_solve(MatrixView matrix, std::span<const V> values) {
    Outcome<Factors> factored = lu_decompose(matrix);
    if (auto* failure = std::get_if<Failure>(&factored)) return *failure;
    const Factors& f = std::get<Factors>(factored);
    const std::size_t n = f.lu.size();
    std::vector<V> y;
    for (std::size_t i = 0; i < n; ++i) {
        V acc = zero_like(values[0]);
        for (std::size_t j = 0; j < i; ++j) add_assign(acc, scale(y[j], f.lu[i][j]));
        y.push_back(subtract(values[f.perm[i]], acc));
    }
    std::vector<V> x(n, zero_like(y[0]));
    for (std::size_t i = n; i-- > 0;) {
        V acc = zero_like(y[0]);
        for (std::size_t j = i + 1; j < n; ++j) add_assign(acc, scale(x[j], f.lu[i][j]));
        x[i] = divide(subtract(y[i], acc), f.lu[i][i]);
        if (has_nan(x[i])) return Failure{"NaN detected in backward substitution at index " + std::to_string(i)};
    }
    return x;
}

template <class V>
Outcome<std::vector<V>> solve(MatrixView matrix, std::span<const V> values) {
    if (matrix.empty() || matrix.size() != values.size())
        return Failure{"Design matrix and RHS must be non-empty and the same length."};
    const std::size_t n = matrix.size();
    std::vector<double> row_sums(n), column_sums(matrix[0].size(), 0.0);
    double row_norm = 0.0, column_norm = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double s = 0.0;
        for (std::size_t j = 0; j < matrix[i].size(); ++j) {
            s = s + std::fabs(matrix[i][j]);
            column_sums[j] = column_sums[j] + std::fabs(matrix[i][j]);
        }
        row_sums[i] = s;
        if (s > row_norm) row_norm = s;
    }
    for (double s : column_sums)
        if (s > column_norm) column_norm = s;
    if (row_norm * column_norm <= 100000.0) return lu_solve(matrix, values);
    DesignMatrix scaled;
    std::vector<V> scaled_values;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = row_sums[i] > 2.220446049250313e-16 ? row_sums[i] : 2.220446049250313e-16;
        Row row(matrix[i].size());
        for (std::size_t j = 0; j < row.size(); ++j) row[j] = matrix[i][j] / d;
        scaled.push_back(std::move(row));
        scaled_values.push_back(divide(values[i], d));
    }
    return lu_solve(MatrixView(scaled), std::span<const V>(scaled_values));
}

template <class X>
DesignMatrix design_matrix(const std::vector<X>& points, Kernel kernel, double epsilon) {
    const KernelFn phi = function_of(kernel);
    DesignMatrix m(points.size(), Row(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t j = 0; j < points.size(); ++j)
            m[i][j] = phi(floor_distance(squared_distance(points[i], points[j])), epsilon);
    return m;
}

// Each query in one loop: the kernel, then its weighted term, in sample order.
template <class X, class Y>
Outcome<std::vector<Y>> predict(const RbfModel<X, Y>& model, const std::vector<X>& queries) {
    const KernelFn phi = function_of(model.kernel);
    std::vector<Y> out;
    for (const X& q : queries) {
        Y sum = zero_like(model.y.front());
        for (std::size_t j = 0; j < model.x.size(); ++j)
            add_scaled(sum, model.weights[j],
                       phi(floor_distance(squared_distance(q, model.x[j])), model.epsilon));
        if (has_nan(sum)) return Failure{"NaN values in output"};
        out.push_back(std::move(sum));
    }
    return out;
}

// predict as one loop per query point, with the kernel given as phi (any
// callable): the plain algorithm the tiled, pooled predict must match.
template <class X, class Y, class Phi>
Outcome<std::vector<Y>> predict_with(const RbfModel<X, Y>& model, std::span<const X> x_new, Phi phi) {
    if (std::optional<Failure> refusal = refuse_queries(model, x_new)) return std::move(*refusal);
    std::vector<Y> out(x_new.size(), zero_like(model.y.front()));
    std::vector<double> monomials(model.polynomial ? model.polynomial->basis.size() : 0);
    for (std::size_t i = 0; i < x_new.size(); ++i) {
        for (std::size_t j = 0; j < model.x.size(); ++j)
            add_scaled(out[i], model.weights[j], phi(floor_distance(squared_distance(x_new[i], model.x[j])), model.epsilon));
        if (model.polynomial) {
            model.polynomial->basis.evaluate(numbers_of(x_new[i]), monomials);
            for (std::size_t q = 0; q < monomials.size(); ++q)
                add_scaled(out[i], model.polynomial->coefficients[q], monomials[q]);
        }
        if (has_nan(out[i])) return Failure{std::string(messages::NAN_IN_OUTPUT)};
    }
    return out;
}

}  // namespace pymorvel::reference
