// The Rbf instance record, the type object and the entry points registered on it.
#pragma once

#include "binding/py_ref.hpp"

#include "rbf/model.hpp"

namespace pymorvel::binding {

struct RbfObject {
    PyObject_HEAD
    RbfVariant model;  // set once, before the instance is visible to Python
};

// The Rbf type object, created on first need and kept for the life of the
// process. Aborts the call if it cannot be created.
PyTypeObject* rbf_type();

// Entry points (each runs its body under the entry guard).
PyObject* rbf_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;
PyObject* rbf_predict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* rbf_gradient(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace pymorvel::binding
