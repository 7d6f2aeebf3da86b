// Rbf.predict: binding, conversion of the query points by the model's shape, the evaluation without the interpreter lock, and the result lists.
#include <array>
#include <span>
#include <variant>
#include <vector>

#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/rbf_object.hpp"
#include "rbf/prediction.hpp"

namespace pymorvel::binding {

namespace {

constexpr std::array<const char*, 1> PARAMETERS = {"x_new"};
constexpr Signature SIGNATURE = {"Rbf", "predict", PARAMETERS, 1};

// Below this many kernel evaluations (query points x samples) the lock is
// kept: giving it up and taking it back, possibly after another thread's turn,
// would cost more than the evaluation.
constexpr std::size_t UNLOCKED_PREDICT_THRESHOLD = std::size_t{1} << 14;

// The query is converted under the interpreter lock; the evaluation reads
// only native copies and the model, which the caller keeps alive and nobody
// changes, so it runs with the lock released.
template <class X, class Y>
PyRef predict_shape(const RbfModel<X, Y>& model, PyObject* x_new) {
    const std::vector<X> points = extract_sequence<X>(x_new);
    Outcome<std::vector<Y>> outcome = [&] {
        if (points.size() * model.x.size() < UNLOCKED_PREDICT_THRESHOLD)
            return predict(model, std::span<const X>(points));
        UnlockedInterpreter unlocked;
        return predict(model, std::span<const X>(points));
    }();
    if (auto* failure = std::get_if<Failure>(&outcome)) raise_message(PyExc_RuntimeError, failure->message);
    return to_list(std::span<const Y>(std::get<std::vector<Y>>(outcome)));
}

PyObject* run_predict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyRef, PARAMETERS.size()> bound;
    bind_arguments(SIGNATURE, args, nargs, kwnames, bound);
    const RbfVariant& model = model_of(self);
    // Converting x_new runs Python code, which must not be able to free the
    // instance whose model is read below.
    const PyRef keep_alive = PyRef::borrow(self);
    // One dispatch on the shape.
    return std::visit([&](const auto& shaped) { return predict_shape(shaped, bound[0].get()); }, model).release();
}

}  // namespace

PyObject* rbf_predict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] { return run_predict(self, args, nargs, kwnames); });
}

}  // namespace pymorvel::binding
