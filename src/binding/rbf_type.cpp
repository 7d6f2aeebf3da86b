// The Rbf type: its slots, text form, creation of instances and deallocation.
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "binding/arguments.hpp"
#include "binding/errors.hpp"
#include "binding/model_parts.hpp"
#include "binding/rbf_object.hpp"
#include "rbf/describe.hpp"

namespace pymorvel::binding {

namespace {

// The model is moved into memory the interpreter already owns; a throwing move
// would leave an instance whose deallocation destroys a model never built.
static_assert(std::is_nothrow_move_constructible_v<AnyModel>);

PyObject* rbf_repr(PyObject* self) noexcept {
    return entry_guard([&]() -> PyObject* {
        const AnyModel& model = reinterpret_cast<RbfObject*>(self)->model;
        const std::string text = describe(shape_of(model), std::visit([](const auto& m) { return m.epsilon; }, model));
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
     METH_FASTCALL | METH_KEYWORDS, "predict($self, x_new, *, out=None)\n--\n\n"},
    {"gradient", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(rbf_gradient)),
     METH_FASTCALL | METH_KEYWORDS, "gradient($self, x_new, *, out=None)\n--\n\n"},
    {"restrict", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(rbf_restrict)),
     METH_FASTCALL | METH_KEYWORDS,
     "restrict($self, lower, upper)\n--\n\nThe sub-model of the patches that reach into the box [lower, upper]."},
    {"tile_halo", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(rbf_tile_halo)),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "tile_halo(lower, upper, count, patch_size)\n--\n\nHow far around a tile's region its samples must reach."},
    {"__reduce__", rbf_reduce, METH_NOARGS,
     "__reduce__($self, /)\n--\n\nThe model's state for pickle: restored without fitting again."},
    {"__copy__", rbf_copy, METH_NOARGS, "__copy__($self, /)\n--\n\nThe model itself: a model never changes."},
    {"__deepcopy__", rbf_deepcopy, METH_O,
     "__deepcopy__($self, memo, /)\n--\n\nThe model itself: a model never changes."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char RBF_DOC[] =
    "Rbf(x, y, kernel_name=None, epsilon=None, *, smoothing=0.0, degree=None, patch_size=None, domain=None, "
    "region=None)\n--\n\n";

PyType_Slot rbf_slots[] = {
    {Py_tp_doc, const_cast<char*>(RBF_DOC)},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_dealloc, reinterpret_cast<void*>(rbf_dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(rbf_new)},
    {Py_tp_repr, reinterpret_cast<void*>(rbf_repr)},
    {Py_tp_methods, rbf_methods},
    {Py_tp_getset, rbf_getset},
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

// The type's name is bare on purpose, and recent interpreters warn about a
// bare name with a DeprecationWarning. Under "-W error" that warning would make
// the import itself fail, so it is silenced around the creation only.
PyObject* create_type_quietly() {
    PyRef warnings = PyRef::steal(PyImport_ImportModule("warnings"));
    PyRef context = PyRef::steal(warnings ? PyObject_CallMethod(warnings.get(), "catch_warnings", nullptr) : nullptr);
    PyRef entered = PyRef::steal(context ? PyObject_CallMethod(context.get(), "__enter__", nullptr) : nullptr);
    if (!entered) return nullptr;
    PyRef ignored = PyRef::steal(
        PyObject_CallMethod(warnings.get(), "simplefilter", "sO", "ignore", PyExc_DeprecationWarning));
    PyRef type = PyRef::steal(ignored ? PyType_FromSpec(&rbf_spec) : nullptr);
    // Leave the filters as they were, also when creation failed.
    PendingError creation_error;
    PyRef exited = PyRef::steal(PyObject_CallMethod(context.get(), "__exit__", "OOO", Py_None, Py_None, Py_None));
    if (!exited) {
        creation_error.drop();
        return nullptr;
    }
    return type.release();
}

}  // namespace

PyRef new_instance(PyTypeObject* type, AnyModel model) {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    if (alloc == nullptr) alloc = PyType_GenericAlloc;
    PyRef self = PyRef::steal(alloc(type, 0));
    if (!self) raise_pending();
    ::new (&reinterpret_cast<RbfObject*>(self.get())->model) AnyModel(std::move(model));
    return self;
}

const AnyModel& model_of(PyObject* self) {
    if (!PyObject_TypeCheck(self, rbf_type())) raise_wrong_kind(self, "Rbf");
    return reinterpret_cast<RbfObject*>(self)->model;
}

PyTypeObject* rbf_type() {
    static PyTypeObject* type = nullptr;  // created under the interpreter lock
    if (type == nullptr) {
        type = reinterpret_cast<PyTypeObject*>(create_type_quietly());
        if (type == nullptr) {
            print_pending_exception();
            panic(std::string(messages::TYPE_CREATION_FAILED));
        }
#if PY_VERSION_HEX < 0x030A0000
        // Before 3.10 the signature line is cut from the doc when the type is
        // made, and with it the constructor's reported signature. The type
        // lives for the whole process, so the full text simply replaces it.
        char* doc = static_cast<char*>(PyObject_Malloc(sizeof RBF_DOC));
        if (doc != nullptr) {
            std::memcpy(doc, RBF_DOC, sizeof RBF_DOC);
            PyObject_Free(const_cast<char*>(type->tp_doc));
            type->tp_doc = doc;
        }
#endif
    }
    return type;
}

}  // namespace pymorvel::binding
