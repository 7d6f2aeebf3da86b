// Rbf.__new__: binding, kernel lookup, the opt-in arguments, the shape trials and the fit (dense or in patches) with the interpreter lock released.
#include <array>
#include <cstdio>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/fit_arguments.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/patch_arguments.hpp"
#include "binding/rbf_object.hpp"
#include "linear_algebra/square_matrix.hpp"
#include "rbf/fitting.hpp"
#include "rbf/patch_fitting.hpp"

namespace pymorvel::binding {

namespace {

constexpr std::array<const char*, 9> PARAMETERS = {"x",         "y",          "kernel_name", "epsilon", "smoothing",
                                                   "degree",    "patch_size", "domain",      "region"};
constexpr Signature SIGNATURE = {"Rbf", "__new__", PARAMETERS, 2, 5};


}  // namespace

std::string kernel_name_text(PyObject* kernel_name) {
    if (kernel_name == nullptr || kernel_name == Py_None) return "gaussian";
    if (!PyUnicode_Check(kernel_name)) {
        as_argument("kernel_name", [&] { raise_wrong_kind(kernel_name, "PyString"); });
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(kernel_name, &size);
    if (utf8 == nullptr) raise_pending();  // e.g. a lone surrogate: UnicodeEncodeError as it is
    return std::string(utf8, static_cast<std::size_t>(size));
}

double epsilon_value(PyObject* epsilon) {
    if (epsilon == nullptr || epsilon == Py_None) return 1.0;
    return as_argument("epsilon", [&] { return extract_number(epsilon); });
}

// A number, or a sequence of numbers with one amount per sample. Text is a
// sequence too, but never one of amounts: it meets the number conversion.
std::variant<double, std::vector<double>> smoothing_value(PyObject* smoothing) {
    if (smoothing == nullptr) return 0.0;
    return as_argument("smoothing", [&]() -> std::variant<double, std::vector<double>> {
        if (PySequence_Check(smoothing) && !PyUnicode_Check(smoothing)) return extract_number_vector(smoothing);
        return extract_number(smoothing);
    });
}

// None, or an integer (anything with __index__) that is not negative. A bool
// is a truth value, not a degree: it is refused as NumPy's own bool is, and
// as a pickled state's is.
std::optional<std::size_t> degree_value(PyObject* degree) {
    if (degree == nullptr || degree == Py_None) return std::nullopt;
    const Py_ssize_t value = as_argument("degree", [&] {
        if (PyBool_Check(degree)) raise_message(PyExc_TypeError, messages::BOOL_DEGREE);
        PyRef index = PyRef::steal(PyNumber_Index(degree));
        if (!index) raise_pending();
        const Py_ssize_t v = PyLong_AsSsize_t(index.get());
        if (v == -1 && PyErr_Occurred() != nullptr) raise_pending();  // OverflowError, as the interpreter raises it
        return v;
    });
    if (value < 0) raise_message(PyExc_ValueError, messages::NEGATIVE_DEGREE);
    return static_cast<std::size_t>(value);
}

std::optional<std::size_t> kernel_degree_value(Kernel kernel, std::optional<std::size_t> degree) {
    Outcome<std::optional<std::size_t>> resolved = kernel_degree(kernel, degree);
    if (auto* failure = std::get_if<Failure>(&resolved)) raise_message(PyExc_ValueError, failure->message);
    return std::get<std::optional<std::size_t>>(resolved);
}

namespace {

// One conversion of a shape trial. Its failure only means "not this shape" and
// is dropped -- except an interruption (Ctrl-C during a long conversion must
// stop the call, not turn into a shape error), a MemoryError, or an aborted
// call resumed from Python code, which all reach the caller.
template <class T>
std::optional<std::vector<T>> attempt(PyObject* obj) {
    // Raising and dropping that failure would cost more than a small fit.
    if (fails_at_first_item<T>(obj)) return std::nullopt;
    try {
        return extract_sequence<T>(obj);
    } catch (const PythonError&) {
        if (pending_must_propagate()) throw;
        PyErr_Clear();
        return std::nullopt;
    }
}

// Both conversions always run, even when the first has failed: which of them
// fails must not change how often user sequences are iterated.
template <class X, class Y>
std::optional<Samples<X, Y>> try_shape(PyObject* x, PyObject* y) {
    std::optional<std::vector<X>> xs = attempt<X>(x);
    std::optional<std::vector<Y>> ys = attempt<Y>(y);
    if (!xs || !ys) return std::nullopt;
    return Samples<X, Y>{std::move(*xs), std::move(*ys)};
}

}  // namespace

SampleShapes convert_samples(PyObject* x, PyObject* y) {
    if (auto s = try_shape<double, double>(x, y)) return std::move(*s);
    if (auto s = try_shape<double, Vector>(x, y)) return std::move(*s);
    if (auto s = try_shape<Vector, double>(x, y)) return std::move(*s);
    if (auto s = try_shape<Vector, Vector>(x, y)) return std::move(*s);
    raise_message(PyExc_ValueError, messages::UNSUPPORTED_SHAPES);
}

namespace {

// 50000 as "50,000".
std::string grouped(std::size_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// Decimal units, one decimal place: "20.0 GB", "640.0 MB".
std::string byte_text(double bytes) {
    char text[64];
    if (bytes >= 1e9)
        std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    else
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

// Runs fit(execution) once, with the interpreter lock released unless the
// fit is tiny. Signals are looked at only where their handlers run, and only
// for fits long enough for a wait on Ctrl-C to be felt.
template <class Model, class Fit>
AnyModel fit_unlocked(std::size_t points, Fit fit) {
    std::optional<Outcome<Model>> outcome;
    try {
        outcome.emplace(run_released(points, fit));
    } catch (const MatrixRefused& refused) {
        // A MemoryError still, which says what the fit needs and what is there.
        const std::size_t available = refused.available_bytes();
        raise_message(PyExc_MemoryError,
                      messages::fit_memory(grouped(points), byte_text(refused.needed_bytes()),
                                           available == 0 || available == std::numeric_limits<std::size_t>::max()
                                               ? std::string() : byte_text(static_cast<double>(available))));
    }
    if (auto* failure = std::get_if<Failure>(&*outcome)) raise_message(PyExc_ValueError, failure->message);
    return AnyModel(std::in_place_type<Model>, std::get<Model>(std::move(*outcome)));
}

template <class X, class Y>
AnyModel run_fit(Samples<X, Y> samples, Kernel kernel, double epsilon, const FitOptions& options,
                 const std::optional<PatchOptions>& patches) {
    const std::size_t n = samples.x.size();
    if (patches)
        return fit_unlocked<PatchModel<X, Y>>(n, [&](const Execution& execution) {
            return fit_patches(std::move(samples.x), std::move(samples.y), kernel, epsilon, options, *patches,
                               execution);
        });
    return fit_unlocked<RbfModel<X, Y>>(n, [&](const Execution& execution) {
        return fit(std::move(samples.x), std::move(samples.y), kernel, epsilon, options, execution);
    });
}

AnyModel fit_first_shape(PyObject* x, PyObject* y, Kernel kernel, double epsilon, const FitOptions& options,
                         const std::optional<PatchOptions>& patches) {
    return std::visit([&](auto&& s) { return run_fit(std::move(s), kernel, epsilon, options, patches); },
                      convert_samples(x, y));
}

// patch_size, then a tile's domain and region, which need it; then the
// kernels that patches refuse, all before x and y are looked at.
std::optional<PatchOptions> patch_options(PyObject* patch_size, PyObject* domain, PyObject* region, Kernel kernel,
                                          const FitOptions& options) {
    const std::optional<std::size_t> size = patch_size_value(patch_size);
    std::optional<PatchDomain> whole = domain_value(domain);
    std::optional<PatchBox> box = region_value(region);
    if (!size) {
        if (whole || box) raise_message(PyExc_ValueError, messages::PATCH_TILE_WITHOUT_SIZE);
        return std::nullopt;
    }
    if (std::optional<std::string_view> refusal = patch_kernel_refusal(kernel, options.degree))
        raise_message(PyExc_ValueError, *refusal);
    return PatchOptions{*size, std::move(whole), std::move(box)};
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    std::array<PyRef, PARAMETERS.size()> bound;
    bind_arguments(SIGNATURE, args, kwargs, bound);
    PyObject* const x = bound[0].get();
    PyObject* const y = bound[1].get();

    // Kernel, epsilon and the opt-in arguments, before x and y are looked at.
    const std::string name = kernel_name_text(bound[2].get());
    const double epsilon = epsilon_value(bound[3].get());
    FitOptions options{smoothing_value(bound[4].get()), degree_value(bound[5].get())};
    const std::optional<Kernel> kernel = lookup_kernel(name);
    if (!kernel) raise_message(PyExc_ValueError, messages::UNSUPPORTED_KERNEL);
    options.degree = kernel_degree_value(*kernel, options.degree);
    const std::optional<PatchOptions> patches =
        patch_options(bound[6].get(), bound[7].get(), bound[8].get(), *kernel, options);

    // The first shape whose conversions both succeed is fitted.
    AnyModel model = fit_first_shape(x, y, *kernel, epsilon, options, patches);

    return new_instance(type, std::move(model)).release();
}

}  // namespace

PyObject* rbf_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_guard([&] { return construct(type, args, kwargs); });
}

}  // namespace pymorvel::binding
