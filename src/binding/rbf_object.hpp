// The Rbf instance record, the type object and the entry points registered on it.
#pragma once

#include "binding/py_ref.hpp"

#include <cstddef>
#include <variant>

#include "rbf/model.hpp"
#include "rbf/patch_model.hpp"

namespace pymorvel::binding {

// The model an instance holds: a dense one in its four shapes, or one fitted
// in patches in the same four shapes, in this order.
using AnyModel = std::variant<F64F64, F64Vec, VecF64, VecVec, PatchModel<double, double>, PatchModel<double, Vector>,
                              PatchModel<Vector, double>, PatchModel<Vector, Vector>>;

// The index of the model's shape in SHAPE_LABELS.
inline std::size_t shape_of(const AnyModel& model) noexcept { return model.index() % SHAPE_LABELS.size(); }

template <class M>
inline constexpr bool is_patch_model = false;
template <class X, class Y>
inline constexpr bool is_patch_model<PatchModel<X, Y>> = true;

struct RbfObject {
    PyObject_HEAD
    AnyModel model;  // set once, before the instance is visible to Python
};

// The Rbf type object, created on first need and kept for the life of the
// process. Aborts the call if it cannot be created.
PyTypeObject* rbf_type();

// A new instance of `type` that owns `model`: an instance exists only with a
// model in it.
PyRef new_instance(PyTypeObject* type, AnyModel model);

// The model of self. The descriptors normally check the receiver already; a
// direct call of an entry point's C function must not read a foreign object
// as a model, so anything else raises TypeError.
const AnyModel& model_of(PyObject* self);

// The module's _restore function, which pickles name as the way back to a
// model; kept for the life of the process. Null before the module exists.
PyObject* restore_function() noexcept;

// Entry points (each runs its body under the entry guard).
PyObject* rbf_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;
PyObject* rbf_predict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* rbf_gradient(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* rbf_restrict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* rbf_tile_halo(PyObject* type, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* rbf_reduce(PyObject* self, PyObject* unused) noexcept;
PyObject* rbf_copy(PyObject* self, PyObject* unused) noexcept;
PyObject* rbf_deepcopy(PyObject* self, PyObject* memo) noexcept;
PyObject* module_restore(PyObject* module, PyObject* state) noexcept;

// The read-only properties of an instance.
extern PyGetSetDef rbf_getset[];

}  // namespace pymorvel::binding
