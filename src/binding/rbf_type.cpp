// The Rbf type: its specification, text form and deallocation.
#include <new>
#include <string>

#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"
#include "rbf/describe.hpp"

namespace pymorvel::binding {

namespace {

PyObject* rbf_repr(PyObject* self) noexcept {
    return entry_guard([&]() -> PyObject* {
        const std::string text = describe(reinterpret_cast<RbfObject*>(self)->model);
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

void rbf_dealloc(PyObject* self) noexcept {
    // Instances of heap types hold a reference to their type (3.8 and later).
    PyTypeObject* type = Py_TYPE(self);
    try {
        std::destroy_at(&reinterpret_cast<RbfObject*>(self)->model);
    } catch (...) {
        terminate_at_boundary();
    }
    freefunc free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    Py_DECREF(type);
}

PyMethodDef rbf_methods[] = {
    {"predict", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(rbf_predict)),
     METH_FASTCALL | METH_KEYWORDS, "predict($self, x_new)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot rbf_slots[] = {
    {Py_tp_doc, const_cast<char*>("Rbf(x, y, kernel_name=None, epsilon=None)\n--\n\n")},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(rbf_dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(rbf_new)},
    {Py_tp_repr, reinterpret_cast<void*>(rbf_repr)},
    {Py_tp_methods, rbf_methods},
    {0, nullptr},
};

// Default flags only: not a base type, not GC-tracked (an instance holds no
// Python references), no instance dict, no weak references.
PyType_Spec rbf_spec = {
    "Rbf",
    static_cast<int>(sizeof(RbfObject)),
    0,
    Py_TPFLAGS_DEFAULT,
    rbf_slots,
};

}  // namespace

PyTypeObject* rbf_type() {
    static PyTypeObject* type = nullptr;  // created under the interpreter lock
    if (type == nullptr) {
        type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&rbf_spec));
        if (type == nullptr) {
            PyErr_Print();
            abort_call("failed to create type object for Rbf");
        }
    }
    return type;
}

}  // namespace pymorvel::binding
