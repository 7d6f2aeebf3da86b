// A model fitted in patches: its record, the patches' local frames and models, and which patches may cover each cell.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/outcome.hpp"
#include "rbf/fitting.hpp"
#include "rbf/model.hpp"
#include "rbf/patch_lattice.hpp"

namespace pymorvel {

// One patch: the lattice node at its centre, how often its radius grew, its
// samples in ascending index, and what its local fit found for them.
template <class Y>
struct Patch {
    std::uint32_t node = 0;
    unsigned growth = 0;
    std::vector<std::uint32_t> members;
    std::vector<Y> weights;       // one per member
    std::vector<Y> coefficients;  // one per monomial; none without a polynomial term
};

// For every cell, outer cells included, the patches whose balls may reach into
// it, in lattice order (compressed rows: cell c's are patches[start[c] ..
// start[c + 1])). A superset: the distance test decides.
struct PatchCover {
    std::vector<std::size_t> start;
    std::vector<std::uint32_t> patches;
};

// A patch's local coordinates are u = (x - centre) / scale, where scale is the
// smallest power of two above the radius: dividing by it is exact, so a
// patch's epsilon (epsilon / scale) and smoothing keep their meaning to the
// bit wherever no result underflows or overflows.
struct PatchFrame {
    Coordinates centre{};
    double r2 = 0.0;  // the squared radius
    double scale = 1.0;
    int exponent = 0;  // scale = 2^exponent
};

// X and Y are each a number (double) or a vector of numbers (Vector), as in
// RbfModel. The samples are those of the whole fit, or of a restricted model
// the samples its patches hold, in their original order.
template <class X, class Y>
struct PatchModel {
    typename PointStorage<X>::type x;
    std::vector<Y> y;
    Kernel kernel = gaussian;
    double epsilon = 1.0;
    std::optional<std::size_t> degree = std::nullopt;
    Lattice lattice;
    std::vector<Patch<Y>> patches;  // lattice order
    PatchCover cover;
    std::vector<PatchFrame> frames;  // one per patch
};

// Kernels that make sense on a patch. linear (r^2) and cubic (r^4) are
// polynomials in the coordinates: their kernel matrices have a rank far below
// the patch's sample count. The thin-plate spline here is r^4 ln r^2, which
// needs the polynomials of degree 2 beside it to be solvable in general. The
// polyharmonic splines are solvable beside their minimum degree, which a fit
// has already made their default; a restored state is held to it here.
inline std::optional<std::string_view> patch_kernel_refusal(Kernel kernel, std::optional<std::size_t> degree) {
    if (kernel == linear || kernel == cubic) return messages::PATCH_SINGULAR_KERNEL;
    if (kernel == thin_plate_spline && (!degree || *degree < 2)) return messages::PATCH_SPLINE_DEGREE;
    if (const std::optional<std::size_t> minimum = minimum_degree(kernel); minimum && (!degree || *degree < *minimum))
        return messages::PATCH_POLYHARMONIC_DEGREE;
    return std::nullopt;
}

// How a kernel's values scale with the coordinates: with u = x / h and epsilon
// / h for epsilon, phi_u = h^-p phi_x (for the thin-plate spline and
// polyharmonic_2 up to a multiple of r^2, whose weighted sum is a constant
// once the weights are orthogonal to the polynomials of degree 1, and which
// the polynomial term takes up). A patch's smoothing is scaled by h^-p with
// it, so that its system is the one of the original coordinates times h^-p.
inline int kernel_scaling_power(Kernel kernel) noexcept {
    switch (kernel.id) {
        case KernelId::Gaussian:
        case KernelId::InverseQuadratic: return 0;
        case KernelId::Multiquadric:
        case KernelId::Polyharmonic1: return 1;
        case KernelId::InverseMultiquadratic: return -1;
        case KernelId::Polyharmonic2: return 2;
        case KernelId::Polyharmonic3: return 3;
        case KernelId::ThinPlateSpline: return 4;
        case KernelId::Polyharmonic5: return 5;
        case KernelId::Linear: return 2;  // refused above
        case KernelId::Cubic: return 4;   // refused above
    }
    __builtin_unreachable();  // a KernelId is only ever one of the values above
}

inline PatchFrame frame_of(const Lattice& lattice, std::uint32_t node, unsigned growth) noexcept {
    PatchFrame frame;
    frame.centre = lattice.centre(node);
    const double r = lattice.radius(growth);
    frame.r2 = r * r;
    std::frexp(r, &frame.exponent);
    frame.scale = std::ldexp(1.0, frame.exponent);
    return frame;
}

// The samples' numbers, for code that handles both kinds of points.
template <class Points>
std::span<const double> point_of(const Points& points, std::size_t i) noexcept {
    return numbers_of(points[i]);
}

// The same for points known to have `dimension` coordinates each, without
// looking up where each begins.
inline std::span<const double> point_of(const std::vector<double>& points, std::size_t i, std::size_t) noexcept {
    return {points.data() + i, 1};
}
inline std::span<const double> point_of(const PointSet& points, std::size_t i, std::size_t dimension) noexcept {
    return {points.coordinates() + i * dimension, dimension};
}

// How far past a ball the cells looked at for it reach, in cells: far more
// than any rounding of a coordinate's cell number.
inline constexpr double CELL_MARGIN = 0.125;

// The squared distance from a point to a patch's centre, by the project's own formula.
inline double squared_distance_to(std::span<const double> point, const PatchFrame& frame) noexcept {
    return squared_distance(point, std::span<const double>(frame.centre.data(), point.size()));
}

// The given samples of a patch in its local coordinates, laid out as a model keeps points.
template <class X, class Points>
typename PointStorage<X>::type local_points(const Points& x, std::span<const std::uint32_t> members,
                                            std::size_t dimension, const PatchFrame& frame) {
    std::vector<double> flat(members.size() * dimension);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::span<const double> p = point_of(x, members[i]);
        for (std::size_t k = 0; k < dimension; ++k) flat[i * dimension + k] = (p[k] - frame.centre[k]) / frame.scale;
    }
    if constexpr (std::is_same_v<X, double>) {
        return flat;
    } else {
        return PointSet(std::move(flat), dimension);
    }
}

// One query point in a patch's local coordinates.
template <class X>
X local_query(std::span<const double> q, const PatchFrame& frame) {
    if constexpr (std::is_same_v<X, double>) {
        return (q[0] - frame.centre[0]) / frame.scale;
    } else {
        Vector u(q.size());
        for (std::size_t k = 0; k < q.size(); ++k) u[k] = (q[k] - frame.centre[k]) / frame.scale;
        return u;
    }
}

// An execution for the work of one patch inside a loop over patches: never on
// the pool, and never asking the owner to stop (only the loop's own thread
// may); the loop looks at the stop between patches.
inline Execution patch_execution(const Execution& execution) noexcept {
    Execution local = execution;
    local.cancellation = nullptr;
    constexpr std::size_t never = static_cast<std::size_t>(-1);
    local.thresholds = ParallelThresholds{never, never, never, never, never};
    return local;
}

// Whether a loop over patches or queries should stop. The loop's own thread
// asks the owner (at most once per the cancellation's interval), as it would
// between the loop's blocks; the pool's workers only read the decision. One
// loop over many pieces is thus as quick to stop as many short loops.
class StopCheck {
public:
    explicit StopCheck(const Execution& execution) noexcept
        : cancellation_(execution.cancellation), owner_(std::this_thread::get_id()) {}
    bool operator()() const noexcept {
        if (cancellation_ == nullptr) return false;
        if (std::this_thread::get_id() == owner_) cancellation_->poll();
        return cancellation_->requested();
    }

private:
    Cancellation* cancellation_;
    std::thread::id owner_;
};

// A patch as a dense model of its own, in its local coordinates, for
// evaluation: the points are laid out again from the samples, and the
// polynomial basis is rebuilt from them as its fit built it, so every value is
// the local fit's to the bit. Only the first member's value is kept of the
// values: it gives the outputs their shape.
template <class X, class Y>
RbfModel<X, Y> local_model(const PatchModel<X, Y>& model, const Patch<Y>& patch, const PatchFrame& frame) {
    RbfModel<X, Y> local{local_points<X>(model.x, patch.members, model.lattice.dimension(), frame),
                         {model.y[patch.members.front()]}, patch.weights, model.kernel,
                         model.epsilon / frame.scale};
    if (model.degree) {
        Outcome<PolynomialBasis> basis = polynomial_basis(local.x, *model.degree);
        // Checked when the patch was fitted or restored.
        local.polynomial = PolynomialTerm<Y>{std::get<PolynomialBasis>(std::move(basis)), patch.coefficients};
    }
    return local;
}

}  // namespace pymorvel
