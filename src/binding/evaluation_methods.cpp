// Rbf.predict and Rbf.gradient, dense or in patches: binding, conversion of the query points by the model's shape, the evaluation without the interpreter lock, and the results as lists or written into out.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "binding/convert.hpp"
#include "common/messages.hpp"
#include "binding/lists.hpp"
#include "binding/errors.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/rbf_object.hpp"
#include "rbf/gradient.hpp"
#include "rbf/patch_evaluation.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel::binding {

namespace {

// out is keyword-only, as NumPy's is.
constexpr std::array<const char*, 2> PARAMETERS = {"x_new", "out"};
constexpr Signature PREDICT_SIGNATURE = {"Rbf", "predict", PARAMETERS, 1, 1};
constexpr Signature GRADIENT_SIGNATURE = {"Rbf", "gradient", PARAMETERS, 1, 1};

// Below this many kernel evaluations (query points x samples) the lock is
// kept: giving it up and taking it back, possibly after another thread's turn,
// would cost more than the evaluation.
constexpr std::size_t UNLOCKED_EVALUATION_THRESHOLD = std::size_t{1} << 14;

// The query is converted under the interpreter lock; the evaluation reads
// only native copies and the model, which the caller keeps alive and nobody
// changes, so it runs with the lock released. Query points the model cannot
// take are a ValueError; a NaN result is a RuntimeError. An evaluation of a
// model in patches on the main thread looks at signals, as a long fit does:
// it can take minutes, where a dense one is bounded by its fit.
template <template <class, class> class Model, class X, class Y, class Compute>
PyRef evaluate_shape(const Model<X, Y>& model, PyObject* x_new, Compute compute) {
    const std::vector<X> points = extract_sequence<X>(x_new);
    const std::span<const X> queries(points);
    // Asked with the lock held: the answer needs the interpreter.
    const bool interruptible = is_patch_model<Model<X, Y>> && on_main_thread();
    const auto outcome =
        run_without_lock(queries.size() * model.x.size() >= UNLOCKED_EVALUATION_THRESHOLD, interruptible,
                         [&](const Execution& execution) { return compute(model, queries, execution); });
    if (auto* failure = std::get_if<Failure>(&outcome))
        raise_message(failure->refused_input ? PyExc_ValueError : PyExc_RuntimeError, failure->message);
    const auto& values = std::get<0>(outcome);
    return to_list(std::span(values.data(), values.size()));
}

// An extent of an expected shape that any size satisfies: the query points'
// length when there are no query points to tell it.
constexpr std::size_t ANY_EXTENT = static_cast<std::size_t>(-1);

std::string shape_text(std::span<const std::size_t> shape) {
    std::string text = "(";
    for (std::size_t k = 0; k < shape.size(); ++k) {
        if (k > 0) text += ", ";
        text += shape[k] == ANY_EXTENT ? "d" : std::to_string(shape[k]);
    }
    return text + (shape.size() == 1 ? ",)" : ")");
}

// The out= argument, held as a writable buffer of native doubles of exactly
// the expected shape; every refusal is raised before anything is written.
class OutBuffer {
public:
    OutBuffer(PyObject* out, std::string_view method, std::vector<std::size_t>& shape) {
        const auto refuse = [&](PyObject* type, const std::string& problem) {
            raise_message(type, messages::out_refused(method, shape_text(shape), problem));
        };
        const std::string type_name = Py_TYPE(out)->tp_name;
        if (!PyObject_CheckBuffer(out)) refuse(PyExc_TypeError, "got '" + type_name + "', which is not a buffer");
        if (PyObject_GetBuffer(out, &view_, PyBUF_RECORDS_RO) < 0) {
            if (pending_must_propagate()) raise_pending();
            PyErr_Clear();
            refuse(PyExc_TypeError, "got a '" + type_name + "' whose buffer cannot be exported with its strides");
        }
        held_ = true;
        const std::string_view format = view_.format != nullptr ? view_.format : "B";
        // "=" and "<" are the native layout on this little-endian platform.
        if (view_.itemsize != sizeof(double) ||
            (format != "d" && format != "@d" && format != "=d" && format != "<d"))
            refuse(PyExc_TypeError, "got items of format '" + std::string(format) + "'");
        if (view_.readonly) refuse(PyExc_ValueError, "got a read-only buffer");
        bool same = static_cast<std::size_t>(view_.ndim) == shape.size() && view_.shape != nullptr;
        for (std::size_t k = 0; same && k < shape.size(); ++k)
            same = shape[k] == ANY_EXTENT || static_cast<std::size_t>(view_.shape[k]) == shape[k];
        if (!same) {
            std::vector<std::size_t> given;
            for (int k = 0; k < view_.ndim && view_.shape != nullptr; ++k)
                given.push_back(static_cast<std::size_t>(view_.shape[k]));
            refuse(PyExc_ValueError, "got shape " + shape_text(given));
        }
        if (!PyBuffer_IsContiguous(&view_, 'C')) refuse(PyExc_ValueError, "got a buffer that is not row-major contiguous");
        for (std::size_t k = 0; k < shape.size(); ++k) shape[k] = static_cast<std::size_t>(view_.shape[k]);
    }
    ~OutBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;

    double* data() const noexcept { return static_cast<double*>(view_.buf); }

private:
    Py_buffer view_{};
    bool held_ = false;
};

// One query point's result, its numbers in row-major order, at `to`; a
// result of another size than its row in out is an internal fault.
double* put_numbers(double value, double* to, std::size_t count) {
    if (count != 1) throw std::logic_error("a result does not fill its row of out");
    *to = value;
    return to + 1;
}
double* put_numbers(const Vector& value, double* to, std::size_t count) {
    if (value.size() != count) throw std::logic_error("a result does not fill its row of out");
    return value.empty() ? to : static_cast<double*>(std::memcpy(to, value.data(), count * sizeof(double))) + count;
}
double* put_numbers(const std::vector<Vector>& value, double* to, std::size_t count) {
    const std::size_t row = value.empty() ? 0 : count / value.size();
    if (row * value.size() != count) throw std::logic_error("a result does not fill its row of out");
    for (const Vector& part : value) to = put_numbers(part, to, row);
    return to;
}

// Query points per evaluation when writing into out: the native copies of the
// points and of their results then take a block's memory, not the query's.
constexpr std::size_t OUT_BLOCK_POINTS = 8192;

// The result's shape: (M,), then D for vector values, then the query length d
// for the gradient at vector points.
template <template <class, class> class Model, class X, class Y>
std::vector<std::size_t> result_shape(const Model<X, Y>& model, std::string_view method, bool gradient,
                                      std::size_t m, PointBlocks<X>& points) {
    std::vector<std::size_t> shape{m};
    if constexpr (std::is_same_v<Y, Vector>) {
        const std::size_t components = model.y.front().size();
        for (std::size_t j = 0; j < model.y.size(); ++j)
            if (model.y[j].size() != components)
                raise_message(PyExc_ValueError, messages::out_ragged_values(method, j, model.y[j].size(), components));
        shape.push_back(components);
    }
    if constexpr (std::is_same_v<X, Vector>) {
        if (gradient) {
            const std::optional<std::size_t> length = points.common_length();
            if (!length && m > 0)
                raise_message(PyExc_ValueError, messages::out_ragged_queries(method, points.block(0, 1)[0].size()));
            shape.push_back(length.value_or(ANY_EXTENT));
        }
    }
    return shape;
}

// The same evaluation as evaluate_shape, written into the buffer out instead
// of new lists. The results are staged natively and copied into out only once
// every block has succeeded, so a refusal, a NaN or a stop by a signal
// leaves out as it was.
template <template <class, class> class Model, class X, class Y, class Compute>
PyRef evaluate_into(const Model<X, Y>& model, PyObject* x_new, PyObject* out, const Signature& signature,
                    Compute compute) {
    const std::string method = std::string(signature.class_name) + "." + std::string(signature.function_name) + "()";
    const bool gradient = signature.function_name == "gradient";
    PointBlocks<X> points(x_new);
    const std::size_t m = points.size();
    // Every point of a buffer has the same length, so its first speaks for all.
    if (m > 0) {
        const std::span<const X> checked = points.common_length() ? points.block(0, 1) : points.block(0, m);
        if (std::optional<Failure> refusal = refuse_queries(model, checked))
            raise_message(PyExc_ValueError, refusal->message);
    }
    std::vector<std::size_t> shape = result_shape(model, method, gradient, m, points);
    const OutBuffer target(out, method, shape);
    std::size_t per_point = 1;
    for (std::size_t k = 1; k < shape.size(); ++k) per_point *= shape[k];
    std::vector<double> staged(m * per_point);
    const auto run = [&](const Execution& execution) -> std::optional<Failure> {
        for (std::size_t begin = 0; begin < m; begin += OUT_BLOCK_POINTS) {
            const std::size_t end = std::min(begin + OUT_BLOCK_POINTS, m);
            auto outcome = compute(model, points.block(begin, end), execution);
            if (auto* refused = std::get_if<Failure>(&outcome)) return std::move(*refused);
            double* to = staged.data() + begin * per_point;
            for (const auto& result : std::get<0>(outcome)) to = put_numbers(result, to, per_point);
        }
        if (!staged.empty()) std::memcpy(target.data(), staged.data(), staged.size() * sizeof(double));
        return std::nullopt;
    };
    const std::optional<Failure> failure = run_without_lock(m * model.x.size() >= UNLOCKED_EVALUATION_THRESHOLD,
                                                            is_patch_model<Model<X, Y>> && on_main_thread(), run);
    if (failure) raise_message(failure->refused_input ? PyExc_ValueError : PyExc_RuntimeError, failure->message);
    return PyRef::borrow(out);
}

template <class Compute>
PyObject* run_method(const Signature& signature, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, Compute compute) {
    std::array<PyRef, PARAMETERS.size()> bound;
    bind_arguments(signature, args, nargs, kwnames, bound);
    const AnyModel& model = model_of(self);
    // Converting x_new runs Python code, which must not be able to free the
    // instance whose model is read below.
    const PyRef keep_alive = PyRef::borrow(self);
    // One dispatch on the shape. out=None is no out, as in NumPy.
    PyObject* const out = bound[1] && bound[1].get() != Py_None ? bound[1].get() : nullptr;
    return std::visit(
               [&](const auto& shaped) {
                   return out != nullptr ? evaluate_into(shaped, bound[0].get(), out, signature, compute)
                                         : evaluate_shape(shaped, bound[0].get(), compute);
               },
               model)
        .release();
}

}  // namespace

PyObject* rbf_predict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] {
        return run_method(PREDICT_SIGNATURE, self, args, nargs, kwnames,
                          [](const auto& model, const auto& queries, const Execution& execution) {
                              return predict(model, queries, execution);
                          });
    });
}

PyObject* rbf_gradient(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] {
        return run_method(GRADIENT_SIGNATURE, self, args, nargs, kwnames,
                          [](const auto& model, const auto& queries, const Execution& execution) {
                              return gradient(model, queries, execution);
                          });
    });
}

}  // namespace pymorvel::binding
