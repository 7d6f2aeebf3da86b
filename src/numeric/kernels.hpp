// The six radial kernels: their functions and derivatives, the table that names them, and static dispatch on them.
// Folder src/numeric: arithmetic on points and values (kernels, distances, value operations, point storage), the
// vectorised tiles and exp lanes, and the processor context that picks them.
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <string_view>

#include "numeric/exact_math.hpp"

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

}  // namespace kernel_derivatives

enum class KernelId : unsigned char { Gaussian, Multiquadric, InverseMultiquadratic, ThinPlateSpline, Linear, Cubic };

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

struct KernelEntry {
    std::string_view name;
    Kernel kernel;
};

// The names callers use; the first is the default.
inline constexpr std::array<KernelEntry, 6> KERNELS = {{
    {"gaussian", gaussian},
    {"multiquadric", multiquadric},
    {"inverse_multiquadratic", inverse_multiquadratic},
    {"thin_plate_spline", thin_plate_spline},
    {"linear", linear},
    {"cubic", cubic},
}};

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
