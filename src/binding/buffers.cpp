// Which buffers of doubles iteration would yield item for item, and holding them while they are read.
#include "binding/buffers.hpp"

#include <string_view>

#include "binding/arguments.hpp"

namespace pymorvel::binding {

namespace {

// The type `attribute` of the module `module_name`, if that module has been
// imported; looked up once it is, and kept.
PyTypeObject* imported_type(const char* module_name, const char* attribute, PyObject*& cache) {
    if (cache != nullptr) return reinterpret_cast<PyTypeObject*>(cache);
    PyRef module = PyRef::steal(PyImport_GetModule(PyRef::steal(PyUnicode_FromString(module_name)).get()));
    if (!module) {
        PyErr_Clear();
        return nullptr;
    }
    PyRef type = PyRef::steal(PyObject_GetAttrString(module.get(), attribute));
    if (!type || !PyType_Check(type.get())) {
        PyErr_Clear();
        return nullptr;
    }
    cache = type.release();
    return reinterpret_cast<PyTypeObject*>(cache);
}

// How far iterating obj is known to yield exactly the items of its buffer, so
// that reading the buffer gives what iteration would. Subclasses are left to
// iteration: a masked array, np.matrix or a class with its own __iter__ may
// yield something else than the memory behind them.
enum class BufferIteration {
    None,
    // NumPy arrays and array.array iterate their first dimension, whatever the
    // spelling of the item format.
    AnyShape,
    // A memoryview iterates one dimension only, and unpacks only a bare native
    // format ("d" or "@d"); every other view makes iteration itself raise
    // (NotImplementedError), which the generic road then raises too.
    OneDimensionalNative,
};

BufferIteration buffer_iteration(PyObject* obj) {
    static PyObject* ndarray_type = nullptr;
    static PyObject* array_type = nullptr;
    PyTypeObject* const type = Py_TYPE(obj);
    if (type == &PyMemoryView_Type) return BufferIteration::OneDimensionalNative;
    // Named first: the module lookups below are only for likely candidates.
    const std::string_view name = type->tp_name;
    if (name == "numpy.ndarray" && type == imported_type("numpy", "ndarray", ndarray_type))
        return BufferIteration::AnyShape;
    if ((name == "array.array" || name == "array") && type == imported_type("array", "array", array_type))
        return BufferIteration::AnyShape;
    return BufferIteration::None;
}

}  // namespace

DoubleBuffer::DoubleBuffer(PyObject* obj, int dimensions) {
    if (!PyObject_CheckBuffer(obj)) return;
    const BufferIteration iteration = buffer_iteration(obj);
    if (iteration == BufferIteration::None) return;
    if (iteration == BufferIteration::OneDimensionalNative && dimensions != 1) return;
    if (PyObject_GetBuffer(obj, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
        // Not exportable this way (a strided view, say): the generic road decides.
        if (pending_must_propagate()) raise_pending();
        PyErr_Clear();
        return;
    }
    held_ = true;
    const std::string_view format = view_.format != nullptr ? view_.format : "B";
    // "=d" and "<d" are the native layout on this little-endian platform.
    const bool native = format == "d" || format == "@d";
    const bool doubles = view_.itemsize == sizeof(double) &&
                         (native || (iteration == BufferIteration::AnyShape && (format == "=d" || format == "<d")));
    usable_ = doubles && view_.ndim == dimensions && (dimensions == 1 || view_.shape != nullptr);
}

}  // namespace pymorvel::binding
