// Every fixed text a caller can see: exception messages and panic reports.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pymorvel::messages {

// Refusals and failures raised as ordinary Python exceptions.
inline constexpr std::string_view UNSUPPORTED_KERNEL = "Unsupported kernel";
inline constexpr std::string_view UNSUPPORTED_SHAPES = "Unsupported input shapes for x and y";
inline constexpr std::string_view STR_REFUSAL = "Can't extract `str` to `Vec`";
inline constexpr std::string_view KEYWORDS_MUST_BE_STRINGS = "keywords must be strings";
inline constexpr std::string_view UNKNOWN_TYPE_NAME = "<failed to extract type name>";
inline constexpr std::string_view SECOND_INITIALISATION =
    "pymorvel may only be initialized once per interpreter process";
inline constexpr std::string_view SUBINTERPRETER_REFUSED = "pymorvel can only be imported in the main interpreter";

// Refusals of a pickled model's state (the argument of pymorvel._restore) and
// of pickling a model that could not be restored.
inline constexpr std::string_view STATE_NOT_TUPLE = "Rbf state must be a tuple";
inline constexpr std::string_view STATE_LENGTH =
    "Rbf state must hold 6 items: format version, kernel name, epsilon, points, values and weights";
inline constexpr std::string_view STATE_VERSION_NOT_INT = "Rbf state: the format version must be an int";
inline constexpr std::string_view STATE_UNSUPPORTED_VERSION = "Rbf state: unsupported format version";
inline constexpr std::string_view STATE_KERNEL_NOT_STR = "Rbf state: the kernel name must be a str";
inline constexpr std::string_view STATE_UNKNOWN_KERNEL = "Rbf state: unknown kernel name";
inline constexpr std::string_view STATE_EPSILON_NOT_FLOAT = "Rbf state: epsilon must be a float";
inline std::string state_not_floats(std::string_view field) {
    return "Rbf state: " + std::string(field) + " must be a list of floats or a list of lists of floats";
}
inline constexpr std::string_view STATE_VALUE_KINDS =
    "Rbf state: values and weights must both be numbers or both be vectors";
inline constexpr std::string_view STATE_COUNTS =
    "Rbf state: points, values and weights must be non-empty and equally many";
inline constexpr std::string_view STATE_WEIGHTS_NOT_FINITE = "Rbf state: every weight must be finite";
// Format version 2 adds the polynomial term: its degree and coefficients.
inline constexpr std::string_view STATE_DEGREE_NOT_INT = "Rbf state: the degree must be an int";
inline constexpr std::string_view STATE_DEGREE_RANGE = "Rbf state: the degree must lie between 0 and sys.maxsize";
inline constexpr std::string_view STATE_COEFFICIENT_KINDS =
    "Rbf state: values and coefficients must both be numbers or both be vectors";
// A refusal of the sample points that a fit with this degree would make too.
inline std::string state_polynomial(std::string_view refusal) { return "Rbf state: " + std::string(refusal); }
inline std::string state_coefficient_count(std::size_t given, std::size_t monomials) {
    return "Rbf state: the polynomial term needs one coefficient per monomial: got " + std::to_string(given) +
           " for " + std::to_string(monomials) + " monomials";
}
inline constexpr std::string_view STATE_COEFFICIENTS_NOT_FINITE = "Rbf state: every coefficient must be finite";
// A polyharmonic kernel's model always has its polynomial term of at least the
// kernel's minimum degree: a fit makes that its default.
inline std::string state_degree_below_minimum(std::string_view kernel, std::size_t minimum) {
    return "Rbf state: kernel " + std::string(kernel) + " needs a polynomial term of degree >= " +
           std::to_string(minimum);
}
// Format version 3 is a model fitted in patches.
inline constexpr std::string_view STATE_PATCH_SIZE =
    "Rbf state: the patch size must lie between 8 and 10000, and the samples number at most 4294967295";
inline constexpr std::string_view STATE_PATCH_PLACES =
    "Rbf state: patches need ascending lattice points inside the lattice, growths from 0 to 4, and a sample each";
inline constexpr std::string_view STATE_PATCH_LAYOUT =
    "Rbf state: the patch size, growths and lattice points must be ints, the domain two lists of floats and an int";
inline std::string state_patch_weight_count(std::size_t given) {
    return "Rbf state: the patches need one weight per sample they hold: got " + std::to_string(given);
}
inline std::string state_patch_coefficient_count(std::size_t given, std::size_t needed) {
    return "Rbf state: the patches need one coefficient per monomial: got " + std::to_string(given) + " for " +
           std::to_string(needed);
}
inline constexpr std::string_view UNPICKLABLE_WEIGHTS = "cannot pickle an Rbf whose weights are not all finite";

// Message results of the numerical core.
inline constexpr std::string_view EMPTY_SYSTEM = "Design matrix and RHS must be non-empty and the same length.";
inline constexpr std::string_view NAN_IN_OUTPUT = "NaN values in output";
inline std::string zero_pivot(std::size_t column) {
    return "Exact zero pivot encountered at column " + std::to_string(column);
}
inline std::string nan_in_back_substitution(std::size_t index) {
    return "NaN detected in backward substitution at index " + std::to_string(index);
}

// Refusals of the opt-in smoothing and polynomial term, raised as ValueError.
inline constexpr std::string_view SMOOTHING_NOT_ALLOWED = "Smoothing must be finite and non-negative";
inline std::string smoothing_not_allowed_at(std::size_t index) {
    return "Smoothing must be finite and non-negative, and is not at index " + std::to_string(index);
}
inline std::string smoothing_length(std::size_t given, std::size_t samples) {
    return "Smoothing needs one value per sample: got " + std::to_string(given) + " for " + std::to_string(samples) +
           " samples";
}
inline constexpr std::string_view NEGATIVE_DEGREE = "Degree must be None or a non-negative integer";
// Worded as the interpreter words its refusal of any other degree that is not an integer (a float, say).
inline constexpr std::string_view BOOL_DEGREE = "'bool' object cannot be interpreted as an integer";
// A kernel that needs a polynomial term, given a lower degree than it needs to be solvable.
inline std::string degree_below_minimum(std::string_view kernel, std::size_t minimum, std::size_t given) {
    return "Kernel " + std::string(kernel) + " needs degree >= " + std::to_string(minimum) +
           " (or None, which means " + std::to_string(minimum) + "): got " + std::to_string(given);
}
inline std::string ragged_polynomial_points(std::size_t first_length, std::size_t index, std::size_t length) {
    return "Polynomial term needs points of one length: point 0 has length " + std::to_string(first_length) +
           ", point " + std::to_string(index) + " has length " + std::to_string(length);
}
inline std::string nonfinite_polynomial_point(std::size_t index) {
    return "Polynomial term needs finite coordinates: NaN or infinity in point " + std::to_string(index);
}
// A count that saturated at the largest std::size_t is only known to be larger.
inline std::string count_text(std::size_t count) {
    return count == static_cast<std::size_t>(-1) ? "over " + std::to_string(count) : std::to_string(count);
}
inline std::string too_few_samples(std::size_t monomials, std::size_t samples) {
    return "Polynomial term has " + count_text(monomials) + " monomials, more than the sample count " +
           std::to_string(samples);
}
inline std::string rank_deficient(std::size_t monomials, std::size_t rank) {
    return "Polynomial term has " + std::to_string(monomials) + " monomials but rank " + std::to_string(rank) +
           " on the samples";
}
inline std::string query_dimension(std::size_t dimension, std::size_t index, std::size_t length) {
    return "Polynomial term needs points of length " + std::to_string(dimension) + ": query point " +
           std::to_string(index) + " has length " + std::to_string(length);
}

// Refusals and failures of a fit in patches (patch_size), raised as ValueError.
inline std::string patch_size_range(std::string_view given) {
    return "patch_size must be None or an int from 8 to 10000 (about that many samples per patch), not " +
           std::string(given);
}
inline constexpr std::string_view PATCH_SINGULAR_KERNEL =
    "patch_size does not take the linear and cubic kernels: here they are r**2 and r**4, whose local systems are "
    "singular; use gaussian, multiquadric, inverse_multiquadratic, inverse_quadratic, a polyharmonic kernel, or "
    "thin_plate_spline with degree >= 2";
inline constexpr std::string_view PATCH_SPLINE_DEGREE =
    "patch_size with thin_plate_spline needs degree >= 2: r**4 ln r**2 is solvable on a patch only beside a "
    "polynomial term of degree 2 or more";
inline constexpr std::string_view PATCH_POLYHARMONIC_DEGREE =
    "patch_size with a polyharmonic kernel needs at least its minimum degree: polyharmonic_1 0, polyharmonic_2 "
    "and polyharmonic_3 1, polyharmonic_5 2";
inline std::string patch_dimension(std::size_t length) {
    return "patch_size needs points of 1, 2 or 3 coordinates (numbers, or vectors of 1 to 3 components): these "
           "have " + std::to_string(length) + "; fit other dimensions with patch_size=None";
}
inline std::string patch_ragged_points(std::size_t first_length, std::size_t index, std::size_t length) {
    return "patch_size needs points of one length: point 0 has length " + std::to_string(first_length) +
           ", point " + std::to_string(index) + " has length " + std::to_string(length);
}
inline std::string patch_nonfinite_point(std::size_t index) {
    return "patch_size needs finite coordinates: NaN or infinity in point " + std::to_string(index);
}
inline std::string patch_ragged_values(std::size_t first_length, std::size_t index, std::size_t length) {
    return "patch_size needs values of one length: value 0 has length " + std::to_string(first_length) +
           ", value " + std::to_string(index) + " has length " + std::to_string(length);
}
inline std::string patch_too_many_samples(std::size_t limit) {
    return "patch_size takes at most " + std::to_string(limit) + " samples";
}
inline constexpr std::string_view PATCH_BOX_OVERFLOW =
    "patch_size needs a bounding box whose extent is a finite float in every coordinate";
inline std::string patch_failed(std::size_t node, std::string_view failure) {
    return "In the patch at lattice point " + std::to_string(node) + ": " + std::string(failure);
}
inline constexpr std::string_view PATCH_NONE_FITTED =
    "No patch could be fitted: on every patch the polynomial term has more monomials than samples, or rank "
    "below its monomial count";
inline std::string patch_query_dimension(std::size_t dimension, std::size_t index, std::size_t length) {
    return "Patches need query points of length " + std::to_string(dimension) + ": query point " +
           std::to_string(index) + " has length " + std::to_string(length);
}
inline std::string patch_corner(std::string_view what, std::size_t dimension) {
    return std::string(what) + " needs corners of " + std::to_string(dimension) +
           " finite coordinates, lower <= upper in each";
}
inline constexpr std::string_view PATCH_DOMAIN_COUNT = "domain's count must be at least the number of samples";
inline std::string patch_outside_domain(std::size_t index) {
    return "domain must hold every sample: point " + std::to_string(index) + " lies outside it";
}
inline constexpr std::string_view PATCH_RESTRICT_EMPTY = "No patch reaches into the box";
inline constexpr std::string_view PATCH_RESTRICT_DENSE = "restrict needs a model fitted in patches (patch_size)";
inline constexpr std::string_view PATCH_TILE_WITHOUT_SIZE = "domain and region need patch_size";
// Refusals of predict's and gradient's out= argument. `method` is
// "Rbf.predict()" or "Rbf.gradient()", `shape` a tuple's text such as "(3, 2)".
inline std::string out_refused(std::string_view method, std::string_view shape, std::string_view problem) {
    return std::string(method) + ": out must be a writable, row-major contiguous float64 buffer of shape " +
           std::string(shape) + ", or None; " + std::string(problem);
}
inline std::string out_ragged_values(std::string_view method, std::size_t index, std::size_t length,
                                     std::size_t first_length) {
    return std::string(method) + ": out needs a model whose value vectors have one length, and value " +
           std::to_string(index) + " has " + std::to_string(length) + " numbers where value 0 has " +
           std::to_string(first_length) + "; call it without out to get lists";
}
inline std::string out_ragged_queries(std::string_view method, std::size_t first_length) {
    return std::string(method) + ": out needs query points of one length, and they are not all of length " +
           std::to_string(first_length) + "; pass them as a two-dimensional array, or call it without out";
}
// A dense fit refused because the machine cannot hold its matrix.
inline std::string fit_memory(std::string_view points, std::string_view needed, std::string_view available) {
    return "fitting " + std::string(points) + " points needs " + std::string(needed) +
           " for the kernel matrix; " + (available.empty() ? "the allocation failed" :
                                         "about " + std::string(available) + " is available");
}

// Panic messages.
inline std::string length_mismatch(std::size_t left, std::size_t right) {
    return "assertion `left == right` failed: x and y must have the same length\n  left: " +
           std::to_string(left) + "\n right: " + std::to_string(right);
}
inline std::string index_out_of_bounds(std::size_t len, std::size_t index) {
    return "index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index);
}
inline constexpr std::string_view PYTHON_API_CALL_FAILED = "Python API call failed";
inline constexpr std::string_view TYPE_CREATION_FAILED = "failed to create type object for Rbf";
inline constexpr std::string_view ALL_APPEND_FAILED = "could not append __name__ to __all__: ";
inline constexpr std::string_view POOL_NOT_INITIALIZED = "The global thread pool has not been initialized.: ";
inline constexpr std::string_view UNCAUGHT_PANIC = "uncaught panic at ffi boundary";
inline constexpr std::string_view PANIC_WITHOUT_MESSAGE = "native code aborted without a message";
inline constexpr std::string_view PANIC_RESUMED_BANNER =
    "--- an aborted native call passed through Python code and resumes here ---\n";
inline constexpr std::string_view REPORT_UNFORMATTABLE = "thread panicked (report could not be formatted)\n";

}  // namespace pymorvel::messages
