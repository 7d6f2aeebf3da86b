// Which buffers of floats and doubles iteration would yield item for item, and reading them in their strides.
#include "binding/buffers.hpp"

#include <cstring>
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

FloatBuffer::FloatBuffer(PyObject* obj, int dimensions) {
    if (!PyObject_CheckBuffer(obj)) return;
    const BufferIteration iteration = buffer_iteration(obj);
    if (iteration == BufferIteration::None) return;
    if (iteration == BufferIteration::OneDimensionalNative && dimensions != 1) return;
    // NumPy arrays and array.array are read in whatever strides they have; a
    // memoryview only when contiguous, as before.
    const int flags = iteration == BufferIteration::AnyShape ? PyBUF_RECORDS_RO : PyBUF_C_CONTIGUOUS | PyBUF_FORMAT;
    if (PyObject_GetBuffer(obj, &view_, flags) < 0) {
        // Not exportable this way: the generic road decides.
        if (pending_must_propagate()) raise_pending();
        PyErr_Clear();
        return;
    }
    held_ = true;
    if (view_.ndim != dimensions || view_.shape == nullptr) return;
    const std::string_view format = view_.format != nullptr ? view_.format : "B";
    // "=" and "<" are the native layout on this little-endian platform.
    const auto native = [&](char item) {
        const char bare[] = {item, '\0'}, at[] = {'@', item, '\0'}, equal[] = {'=', item, '\0'},
                   little[] = {'<', item, '\0'};
        return format == bare || format == at ||
               (iteration == BufferIteration::AnyShape && (format == equal || format == little));
    };
    if (view_.itemsize == sizeof(double) && native('d')) {
        single_ = false;
    } else if (iteration == BufferIteration::AnyShape && view_.itemsize == sizeof(float) && native('f')) {
        single_ = true;
    } else {
        return;
    }
    // An exporter that gives no strides is C-contiguous.
    for (int d = dimensions - 1; d >= 0; --d)
        strides_[d] = view_.strides != nullptr ? view_.strides[d]
                      : d == dimensions - 1    ? view_.itemsize
                                               : strides_[d + 1] * view_.shape[d + 1];
    usable_ = true;
}

void FloatBuffer::read(const char* first, Py_ssize_t stride, std::size_t count, double* out) const noexcept {
    if (count == 0) return;
    // Items may be unaligned (a view into packed records), so each is copied
    // out bytewise before it is widened.
    if (single_) {
        for (std::size_t k = 0; k < count; ++k) {
            float item;
            std::memcpy(&item, first + static_cast<Py_ssize_t>(k) * stride, sizeof item);
            out[k] = static_cast<double>(item);
        }
    } else if (stride == static_cast<Py_ssize_t>(sizeof(double))) {
        std::memcpy(out, first, count * sizeof(double));
    } else {
        for (std::size_t k = 0; k < count; ++k)
            std::memcpy(out + k, first + static_cast<Py_ssize_t>(k) * stride, sizeof(double));
    }
}

void FloatBuffer::read_items(std::size_t begin, std::size_t end, double* out) const noexcept {
    const char* base = static_cast<const char*>(view_.buf);
    read(base + static_cast<Py_ssize_t>(begin) * strides_[0], strides_[0], end - begin, out);
}

void FloatBuffer::read_row(std::size_t row, double* out) const noexcept {
    const char* base = static_cast<const char*>(view_.buf);
    read(base + static_cast<Py_ssize_t>(row) * strides_[0], strides_[1], extent(1), out);
}

}  // namespace pymorvel::binding
