// Rbf.predict and Rbf.gradient, dense or in patches: binding, conversion of the query points by the model's shape, the evaluation without the interpreter lock, and the result lists.
#include <array>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/rbf_object.hpp"
#include "rbf/gradient.hpp"
#include "rbf/patch_evaluation.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel::binding {

namespace {

constexpr std::array<const char*, 1> PARAMETERS = {"x_new"};
constexpr Signature PREDICT_SIGNATURE = {"Rbf", "predict", PARAMETERS, 1};
constexpr Signature GRADIENT_SIGNATURE = {"Rbf", "gradient", PARAMETERS, 1};

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
    if (std::optional<Failure> refusal = refuse_queries(model, queries))
        raise_message(PyExc_ValueError, refusal->message);
    // Asked with the lock held: the answer needs the interpreter.
    const bool interruptible = is_patch_model<Model<X, Y>> && on_main_thread();
    SignalWatch should_stop;
    std::optional<decltype(compute(model, queries, Execution{}))> outcome;
    try {
        if (queries.size() * model.x.size() < UNLOCKED_EVALUATION_THRESHOLD) {
            outcome.emplace(compute(model, queries, Execution{}));
        } else {
            UnlockedInterpreter unlocked;
            if (!interruptible) {
                outcome.emplace(compute(model, queries, Execution{}));
            } else {
                should_stop.watch(unlocked);
                Cancellation cancellation(should_stop);
                Execution execution;
                execution.cancellation = &cancellation;
                outcome.emplace(compute(model, queries, execution));
            }
        }
    } catch (const Cancelled&) {
        should_stop.raise();
    }
    if (auto* failure = std::get_if<Failure>(&*outcome)) raise_message(PyExc_RuntimeError, failure->message);
    const auto& values = std::get<0>(*outcome);
    return to_list(std::span(values.data(), values.size()));
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
    // One dispatch on the shape.
    return std::visit([&](const auto& shaped) { return evaluate_shape(shaped, bound[0].get(), compute); }, model)
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
