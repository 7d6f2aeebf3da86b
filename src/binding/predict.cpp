// Rbf.predict (placeholder until prediction lands).
#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"

namespace pymorvel::binding {

PyObject* rbf_predict(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept {
    return entry_guard([]() -> PyObject* { raise_message(PyExc_NotImplementedError, "Rbf.predict() is not implemented yet"); });
}

}  // namespace pymorvel::binding
