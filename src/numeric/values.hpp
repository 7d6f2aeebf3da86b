// Point and value operations that let one algorithm serve numbers and vectors.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace pymorvel {

using Vector = std::vector<double>;

// The numbers of a point or a value of either type: a number is a vector of one.
inline std::span<const double> numbers_of(const double& v) noexcept { return {&v, 1}; }
inline std::span<const double> numbers_of(std::span<const double> v) noexcept { return v; }

inline double squared_distance(double a, double b) noexcept {
    const double t = a - b;
    return t * t;
}

// Vectors of different lengths are compared over their common prefix; the sum
// starts at -0.0 so that two empty points keep the sign of an empty sum.
inline double squared_distance(std::span<const double> a, std::span<const double> b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    double acc = -0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double t = a[k] - b[k];
        acc = (t * t) + acc;
    }
    return acc;
}

inline double zero_like(double) noexcept { return 0.0; }
inline Vector zero_like(const Vector& v) { return Vector(v.size(), 0.0); }

// a = (b * c) + a, one rounding per operation; a keeps its length and
// elements beyond the shorter side are left alone.
inline void add_scaled(double& a, double b, double c) noexcept { a = (b * c) + a; }
inline void add_scaled(Vector& a, const Vector& b, double c) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < n; ++k) a[k] = (b[k] * c) + a[k];
}

inline double subtract(double a, double b) noexcept { return a - b; }
inline Vector subtract(const Vector& a, const Vector& b) {
    const std::size_t n = std::min(a.size(), b.size());
    Vector out(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = a[k] - b[k];
    return out;
}

inline double divide(double v, double c) noexcept { return v / c; }
inline Vector divide(const Vector& v, double c) {
    Vector out(v.size());
    for (std::size_t k = 0; k < v.size(); ++k) out[k] = v[k] / c;
    return out;
}

inline bool all_finite(double v) noexcept { return std::isfinite(v); }
inline bool all_finite(const Vector& v) noexcept {
    return std::all_of(v.begin(), v.end(), [](double e) { return std::isfinite(e); });
}

inline bool has_nan(double v) noexcept { return std::isnan(v); }
inline bool has_nan(const Vector& v) noexcept {
    return std::any_of(v.begin(), v.end(), [](double e) { return std::isnan(e); });
}

}  // namespace pymorvel
