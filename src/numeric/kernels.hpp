// The radial kernels, their function-pointer type and the squared-distance floor.
#pragma once

#include <cmath>

#include "numeric/exact_math.hpp"

namespace pymorvel {

// A kernel takes the floored squared distance s and the shape parameter e.
using KernelFn = double (*)(double s, double epsilon);

// 2^-52: coinciding points (and every diagonal entry) are evaluated here, never at 0.
inline constexpr double DISTANCE_FLOOR = 2.220446049250313e-16;

// Written as a strict comparison so that a NaN distance falls to the floor too.
inline double floor_distance(double d) noexcept { return d > DISTANCE_FLOOR ? d : DISTANCE_FLOOR; }

// The operation order below is part of the contract: every step rounds on its
// own, and epsilon only ever enters through e * e.
inline double gaussian(double s, double e) noexcept { return exact_exp((s * -0.5) / (e * e)); }
inline double multiquadric(double s, double e) noexcept { return std::sqrt((e * e) + s); }
inline double inverse_multiquadratic(double s, double e) noexcept { return 1.0 / std::sqrt((e * e) + s); }
inline double thin_plate_spline(double s, double) noexcept {
    // Ordered comparison: both zeros take this branch, NaN does not.
    if (s == 0.0) return 0.0;
    return exact_log(s) * (s * s);
}
inline double linear(double s, double) noexcept { return s; }
inline double cubic(double s, double) noexcept { return s * s; }

}  // namespace pymorvel
