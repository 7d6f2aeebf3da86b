// Module initialisation: the pymorvel module, its Rbf attribute and __all__.
#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"

namespace pymorvel::binding {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "pymorvel", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The module of the first initialisation; kept for the life of the process.
PyObject* the_module = nullptr;

void add_to_all(PyObject* module, const char* name) {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) raise_pending();
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) raise_pending();
    }
    PyRef text = PyRef::steal(PyUnicode_FromString(name));
    if (!text || !PyList_Check(all.get()) || PyList_Append(all.get(), text.get()) < 0) {
        std::string why = "__all__ is not a list";
        if (PyErr_Occurred() != nullptr) {
            PendingError pending;
            PyRef description = PyRef::steal(pending.value() ? PyObject_Repr(pending.value()) : nullptr);
            const char* utf8 = description ? PyUnicode_AsUTF8(description.get()) : nullptr;
            why = utf8 != nullptr ? utf8 : "unknown error";
            PyErr_Clear();
            pending.drop();
        }
        panic(std::string(messages::ALL_APPEND_FAILED) + why);
    }
}

PyObject* init_module() {
    // Once per process: a second interpreter (or a re-import after the
    // module was dropped from sys.modules) must not share native state.
    if (the_module != nullptr)
        raise_message(PyExc_ImportError, messages::SECOND_INITIALISATION);
    // A subinterpreter is refused before anything is made: the interpreter
    // may still reject the module after this function returns (isolated
    // subinterpreters do), and that must not use up the one initialisation.
    if (PyInterpreterState_Get() != PyInterpreterState_Main())
        raise_message(PyExc_ImportError, messages::SUBINTERPRETER_REFUSED);
    create_panic_exception_type();
    // Module, type, __all__ and the Rbf attribute.
    PyRef module = PyRef::steal(PyModule_Create(&module_def));
    if (!module) raise_pending();
    PyTypeObject* type = rbf_type();
    add_to_all(module.get(), "Rbf");
    if (PyObject_SetAttrString(module.get(), "Rbf", reinterpret_cast<PyObject*>(type)) < 0) raise_pending();
    // Keep one reference forever, hand one to the interpreter.
    the_module = PyRef::borrow(module.get()).release();
    return module.release();
}

}  // namespace

}  // namespace pymorvel::binding

PyMODINIT_FUNC PyInit_pymorvel() noexcept {
    return pymorvel::binding::entry_guard(pymorvel::binding::init_module);
}
