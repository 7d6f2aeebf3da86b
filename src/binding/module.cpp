// Module initialisation: the pymorvel module, its Rbf attribute, __all__ and the _restore function.
#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"
#include "binding/selection.hpp"

namespace pymorvel::binding {

namespace {

// _restore is private: pickles name it (by module and name) to rebuild a model
// from its state, and nothing else is meant to call it.
PyMethodDef module_methods[] = {
    {"_restore", module_restore, METH_O,
     "_restore($module, state, /)\n--\n\nRebuilds a pickled Rbf from its state, without fitting again."},
    {"loo_residuals", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_loo_residuals)),
     METH_FASTCALL | METH_KEYWORDS,
     "loo_residuals($module, /, x, y, kernel_name=None, epsilon=None, *, smoothing=0.0, degree=None)\n--\n\n"
     "The leave-one-out residuals of Rbf(x, y, ...), in the shape of y: sample k's value minus\n"
     "the prediction at x[k] of the fit to every other sample (Rippa's formula on the fit's own LU)."},
    {"select_epsilon", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_select_epsilon)),
     METH_FASTCALL | METH_KEYWORDS,
     "select_epsilon($module, /, x, y, kernel_name=None, *, smoothing=0.0, degree=None, bounds=None)\n--\n\n"
     "Chooses epsilon (and the kernel, given several names) by the mean absolute leave-one-out\n"
     "residual; returns an EpsilonSelection whose model is Rbf(x, y, kernel_name, epsilon, ...)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "pymorvel", "", 0, module_methods, nullptr, nullptr, nullptr, nullptr,
};

// The module of the first initialisation and its _restore; kept for the life
// of the process.
PyObject* the_module = nullptr;
PyObject* the_restore_function = nullptr;

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

// The thread state the module was made under. CPython 3.13 runs the
// initialisation that a subinterpreter asks for in the main interpreter, under
// a thread state of its own that it drops afterwards, and only then decides
// that an isolated subinterpreter may not have the module. That module never
// became the main interpreter's; when the main interpreter imports for itself,
// it is handed out again rather than refused.
PyThreadState* the_module_maker = nullptr;

bool made_for_a_refused_subinterpreter() {
#if PY_VERSION_HEX >= 0x030D0000
    for (PyThreadState* t = PyInterpreterState_ThreadHead(PyInterpreterState_Main()); t != nullptr;
         t = PyThreadState_Next(t))
        if (t == the_module_maker) return false;
    PyRef name = PyRef::steal(PyUnicode_FromString("pymorvel"));
    if (!name) raise_pending();
    PyRef imported = PyRef::steal(PyImport_GetModule(name.get()));
    if (!imported && PyErr_Occurred() != nullptr) raise_pending();
    return !imported;
#else
    return false;
#endif
}

PyObject* init_module() {
    // Once per process: a second interpreter (or a re-import after the
    // module was dropped from sys.modules) must not share native state.
    if (the_module != nullptr) {
        if (PyInterpreterState_Get() == PyInterpreterState_Main() && made_for_a_refused_subinterpreter()) {
            the_module_maker = PyThreadState_Get();
            return PyRef::borrow(the_module).release();
        }
        raise_message(PyExc_ImportError, messages::SECOND_INITIALISATION);
    }
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
    for (const char* name : {"loo_residuals", "select_epsilon", "EpsilonSelection", "Evaluation"}) add_to_all(module.get(), name);
    add_selection_types(module.get());
    PyRef restore = PyRef::steal(PyObject_GetAttrString(module.get(), "_restore"));
    if (!restore) raise_pending();
    // Keep one reference forever, hand one to the interpreter.
    the_restore_function = restore.release();
    the_module = PyRef::borrow(module.get()).release();
    the_module_maker = PyThreadState_Get();
    return module.release();
}

}  // namespace

PyObject* restore_function() noexcept { return the_restore_function; }

}  // namespace pymorvel::binding

PyMODINIT_FUNC PyInit_pymorvel() noexcept {
    return pymorvel::binding::entry_guard(pymorvel::binding::init_module);
}
