// The radial kernels: their functions and derivatives, the table that names them, their minimum degrees, and static dispatch on them.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

#include "exact_math/exact_math.hpp"

namespace pymorvel {

// A kernel function takes the floored squared distance s and the shape parameter e.
using KernelFn = double (*)(double s, double epsilon);

// 2^-52: coinciding points (and every diagonal entry) are evaluated here, never at 0.
inline constexpr double DISTANCE_FLOOR = 2.220446049250313e-16;

// Written as a strict comparison so that a NaN distance falls to the floor too.
inline double floor_distance(double d) noexcept { return d > DISTANCE_FLOOR ? d : DISTANCE_FLOOR; }

namespace kernel_functions {

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

// SciPy's scale-free kernels in r = sqrt(s), with its signs: -r and -r^5 are
// negated so that, like r^3 and r^2 ln r, each is conditionally positive
// definite, and a smoothing added to the diagonal regularises it.
inline double inverse_quadratic(double s, double e) noexcept { return 1.0 / (1.0 + (s / (e * e))); }
inline double polyharmonic_1(double s, double) noexcept { return -std::sqrt(s); }
inline double polyharmonic_2(double s, double) noexcept {
    // r^2 ln r as (s ln s) / 2: ln(sqrt(s)) would add the square root's
    // rounding to a logarithm that is near zero around r = 1, where it is all
    // of the result; halving is exact. Ordered comparison as for the
    // thin-plate spline: the limit at 0, and NaN for NaN.
    if (s == 0.0) return 0.0;
    return (s * exact_log(s)) * 0.5;
}
inline double polyharmonic_3(double s, double) noexcept { return s * std::sqrt(s); }
inline double polyharmonic_5(double s, double) noexcept { return -((s * s) * std::sqrt(s)); }

}  // namespace kernel_functions

// d phi / ds of each kernel, in the same variable s = r^2 and with the same
// one-rounding-per-step discipline; a gradient multiplies it by 2 (x_k - p_k).
namespace kernel_derivatives {

// The kernel's own value times a factor that depends on e alone, so that a loop
// over samples computes the factor once.
inline double gaussian(double s, double e) noexcept { return exact_exp((s * -0.5) / (e * e)) * (-0.5 / (e * e)); }
inline double multiquadric(double s, double e) noexcept { return 0.5 / std::sqrt((e * e) + s); }
inline double inverse_multiquadratic(double s, double e) noexcept {
    const double t = (e * e) + s;
    return -0.5 / (t * std::sqrt(t));
}
inline double thin_plate_spline(double s, double) noexcept {
    // s^2 ln s has the derivative s (2 ln s + 1), which is 0 at s = 0 as well.
    if (s == 0.0) return 0.0;
    return ((exact_log(s) * 2.0) + 1.0) * s;
}
inline double linear(double, double) noexcept { return 1.0; }
inline double cubic(double s, double) noexcept { return s * 2.0; }
// e^2 / (e^2 + s) has the derivative -e^2 / (e^2 + s)^2, written with the
// kernel's own denominator t = 1 + s/e^2 as -1 / ((e^2 + s) t): at e = 0 it is
// -0, as the kernel is 0, where the squared form would give 0 * inf.
inline double inverse_quadratic(double s, double e) noexcept {
    const double t = 1.0 + (s / (e * e));
    return -1.0 / (((e * e) + s) * t);
}
// The derivatives of the polyharmonic splines are finite at the floor 2^-52 (for -r
// about -2^25): the model never asks for them at s = 0.
inline double polyharmonic_1(double s, double) noexcept { return -0.5 / std::sqrt(s); }
inline double polyharmonic_2(double s, double) noexcept { return (exact_log(s) + 1.0) * 0.5; }
inline double polyharmonic_3(double s, double) noexcept { return std::sqrt(s) * 1.5; }
inline double polyharmonic_5(double s, double) noexcept { return -((s * std::sqrt(s)) * 2.5); }

}  // namespace kernel_derivatives

enum class KernelId : unsigned char {
    Gaussian,
    Multiquadric,
    InverseMultiquadratic,
    ThinPlateSpline,
    Linear,
    Cubic,
    InverseQuadratic,
    Polyharmonic1,
    Polyharmonic2,
    Polyharmonic3,
    Polyharmonic5,
};

// One kernel function and its derivative, known at compile time: loops
// instantiated on them call them directly, so no term pays for an indirect call.
template <KernelFn F, KernelFn D>
struct StaticKernel {
    static constexpr KernelFn function = F;
    static constexpr KernelFn derivative = D;
    double operator()(double s, double e) const noexcept { return F(s, e); }
    static double slope(double s, double e) noexcept { return D(s, e); }
};

// Calls f with the StaticKernel of `id`. The switch has no default, so the
// compiler names any kernel added to KernelId and forgotten here.
template <class F>
decltype(auto) dispatch_kernel(KernelId id, F&& f) {
    switch (id) {
        case KernelId::Gaussian: return f(StaticKernel<kernel_functions::gaussian, kernel_derivatives::gaussian>{});
        case KernelId::Multiquadric: return f(StaticKernel<kernel_functions::multiquadric, kernel_derivatives::multiquadric>{});
        case KernelId::InverseMultiquadratic: return f(StaticKernel<kernel_functions::inverse_multiquadratic, kernel_derivatives::inverse_multiquadratic>{});
        case KernelId::ThinPlateSpline: return f(StaticKernel<kernel_functions::thin_plate_spline, kernel_derivatives::thin_plate_spline>{});
        case KernelId::Linear: return f(StaticKernel<kernel_functions::linear, kernel_derivatives::linear>{});
        case KernelId::Cubic: return f(StaticKernel<kernel_functions::cubic, kernel_derivatives::cubic>{});
        case KernelId::InverseQuadratic: return f(StaticKernel<kernel_functions::inverse_quadratic, kernel_derivatives::inverse_quadratic>{});
        case KernelId::Polyharmonic1: return f(StaticKernel<kernel_functions::polyharmonic_1, kernel_derivatives::polyharmonic_1>{});
        case KernelId::Polyharmonic2: return f(StaticKernel<kernel_functions::polyharmonic_2, kernel_derivatives::polyharmonic_2>{});
        case KernelId::Polyharmonic3: return f(StaticKernel<kernel_functions::polyharmonic_3, kernel_derivatives::polyharmonic_3>{});
        case KernelId::Polyharmonic5: return f(StaticKernel<kernel_functions::polyharmonic_5, kernel_derivatives::polyharmonic_5>{});
    }
    __builtin_unreachable();  // a KernelId is only ever one of the values above
}

// A kernel as a value: what a model stores and a fit is given. Loops reach
// its function through dispatch_kernel.
struct Kernel {
    KernelId id;
    friend constexpr bool operator==(Kernel, Kernel) = default;
};

inline constexpr Kernel gaussian{KernelId::Gaussian};
inline constexpr Kernel multiquadric{KernelId::Multiquadric};
inline constexpr Kernel inverse_multiquadratic{KernelId::InverseMultiquadratic};
inline constexpr Kernel thin_plate_spline{KernelId::ThinPlateSpline};
inline constexpr Kernel linear{KernelId::Linear};
inline constexpr Kernel cubic{KernelId::Cubic};
inline constexpr Kernel inverse_quadratic{KernelId::InverseQuadratic};
inline constexpr Kernel polyharmonic_1{KernelId::Polyharmonic1};
inline constexpr Kernel polyharmonic_2{KernelId::Polyharmonic2};
inline constexpr Kernel polyharmonic_3{KernelId::Polyharmonic3};
inline constexpr Kernel polyharmonic_5{KernelId::Polyharmonic5};

struct KernelEntry {
    std::string_view name;
    Kernel kernel;
};

// The names callers use; the first is the default.
inline constexpr std::array<KernelEntry, 11> KERNELS = {{
    {"gaussian", gaussian},
    {"multiquadric", multiquadric},
    {"inverse_multiquadratic", inverse_multiquadratic},
    {"thin_plate_spline", thin_plate_spline},
    {"linear", linear},
    {"cubic", cubic},
    {"inverse_quadratic", inverse_quadratic},
    {"polyharmonic_1", polyharmonic_1},
    {"polyharmonic_2", polyharmonic_2},
    {"polyharmonic_3", polyharmonic_3},
    {"polyharmonic_5", polyharmonic_5},
}};

// The lowest polynomial degree beside which a kernel's system is solvable for
// any distinct points that the monomials tell apart, for the kernels that are
// only conditionally positive definite (of order m: the degree is m - 1);
// none for the others, which take any degree, None included.
inline std::optional<std::size_t> minimum_degree(Kernel kernel) noexcept {
    switch (kernel.id) {
        case KernelId::Polyharmonic1: return 0;
        case KernelId::Polyharmonic2:
        case KernelId::Polyharmonic3: return 1;
        case KernelId::Polyharmonic5: return 2;
        case KernelId::Gaussian:
        case KernelId::Multiquadric:
        case KernelId::InverseMultiquadratic:
        case KernelId::ThinPlateSpline:
        case KernelId::Linear:
        case KernelId::Cubic:
        case KernelId::InverseQuadratic: return std::nullopt;
    }
    __builtin_unreachable();  // a KernelId is only ever one of the values above
}

// Exact, case-sensitive match on the bytes of the name.
inline std::optional<Kernel> lookup_kernel(std::string_view name) noexcept {
    for (const KernelEntry& entry : KERNELS)
        if (entry.name == name) return entry.kernel;
    return std::nullopt;
}

inline std::string_view kernel_name(Kernel kernel) noexcept {
    for (const KernelEntry& entry : KERNELS)
        if (entry.kernel == kernel) return entry.name;
    return {};
}

}  // namespace pymorvel
