// The module functions that fit through the constructor's arguments to judge epsilon, and their result types.
#pragma once

#include "binding/py_ref.hpp"

namespace pymorvel::binding {

PyObject* module_loo_residuals(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
PyObject* module_select_epsilon(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;
// Makes the Evaluation and EpsilonSelection types and sets them on the module.
void add_selection_types(PyObject* module);

}  // namespace pymorvel::binding
