// Rbf.__new__ (placeholder until the constructor lands).
#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"

namespace pymorvel::binding {

PyObject* rbf_new(PyTypeObject*, PyObject*, PyObject*) noexcept {
    return entry_guard([]() -> PyObject* { raise_message(PyExc_NotImplementedError, "Rbf() is not implemented yet"); });
}

}  // namespace pymorvel::binding
