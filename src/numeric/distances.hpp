// The floored squared distances from one point to every sample point from some index on, in one pass.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "numeric/kernels.hpp"
#include "numeric/point_set.hpp"
#include "numeric/values.hpp"

namespace pymorvel {

namespace detail {

// Point j starts at coordinates + j * stride; the first `length` components
// count (Length, when not 0, is that number known at compile time). Each
// distance has exactly the roundings of squared_distance: from -0.0, adding
// the squares in component order.
template <std::size_t Length>
void floored_distances_strided(std::span<const double> q, const double* coordinates, std::size_t stride,
                               std::size_t length, std::size_t first, std::size_t count, double* out) noexcept {
    const std::size_t n = Length ? Length : length;
    std::array<double, Length ? Length : 1> fixed{};
    const double* query = q.data();
    if constexpr (Length != 0) {
        // A local copy: out cannot alias it, so it stays in registers.
        for (std::size_t k = 0; k < Length; ++k) fixed[k] = q[k];
        query = fixed.data();
    }
    for (std::size_t j = first; j < count; ++j) {
        const double* p = coordinates + j * stride;
        double acc = -0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double t = query[k] - p[k];
            acc = (t * t) + acc;
        }
        out[j] = floor_distance(acc);
    }
}

}  // namespace detail

// out[j] = floor_distance(squared_distance(q, points[j])) for every j from
// first on; out[0 .. first) is left alone.
inline void floored_distances(double q, const std::vector<double>& points, std::size_t first, double* out) noexcept {
    for (std::size_t j = first; j < points.size(); ++j) out[j] = floor_distance(squared_distance(q, points[j]));
}

// The same for vectors kept one by one.
inline void floored_distances(std::span<const double> q, const std::vector<Vector>& points, std::size_t first,
                              double* out) noexcept {
    for (std::size_t j = first; j < points.size(); ++j) out[j] = floor_distance(squared_distance(q, points[j]));
}

// The same for vectors. When every sample point has one length, the common
// prefix is the same for all of them and the loop needs no extents; the usual
// short lengths get a loop of known trip count.
inline void floored_distances(std::span<const double> q, const PointSet& points, std::size_t first,
                              double* out) noexcept {
    const std::size_t count = points.size();
    const std::size_t stride = points.common_length();
    if (stride == PointSet::RAGGED) {
        for (std::size_t j = first; j < count; ++j) out[j] = floor_distance(squared_distance(q, points[j]));
        return;
    }
    const std::size_t n = std::min(q.size(), stride);
    const double* c = points.coordinates();
    switch (n) {
        case 1: return detail::floored_distances_strided<1>(q, c, stride, n, first, count, out);
        case 2: return detail::floored_distances_strided<2>(q, c, stride, n, first, count, out);
        case 3: return detail::floored_distances_strided<3>(q, c, stride, n, first, count, out);
        default: return detail::floored_distances_strided<0>(q, c, stride, n, first, count, out);
    }
}

}  // namespace pymorvel
