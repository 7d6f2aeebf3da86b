// Argument binding, the boundary's TypeError texts, and the conversions between Python objects and native vectors.
#include "binding/convert.hpp"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#include "common/messages.hpp"

namespace pymorvel::binding {

namespace {

// A sequence's length is only its own claim: __len__ may say 2**60 and yield
// three items. Reserving more than this up front buys nothing that growth would
// not, and an honest large sequence only pays a few reallocations.
constexpr std::size_t RESERVATION_LIMIT_BYTES = std::size_t{1} << 20;

std::string function_text(const Signature& signature) {
    return std::string(signature.class_name) + "." + std::string(signature.function_name) + "()";
}

// Sets a TypeError whose message is `message` (or what failed while making it).
[[noreturn]] void raise_type_error(PyRef message) {
    if (!message) raise_pending();
    PyErr_SetObject(PyExc_TypeError, message.get());
    throw PythonError{};
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_names(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) out += ",";
            out += " ";
            if (i + 1 == names.size()) out += "and ";
        }
        out += "'";
        out += names[i];
        out += "'";
    }
    return out;
}

std::size_t parameter_index(const Signature& signature, PyObject* name) {
    // CompareWithASCIIString never raises, so even a name that has no UTF-8
    // form (a lone surrogate) is simply "not a parameter".
    for (std::size_t i = 0; i < signature.parameters.size(); ++i)
        if (PyUnicode_CompareWithASCIIString(name, signature.parameters[i]) == 0) return i;
    return signature.parameters.size();
}

// Anything that is not a sequence, and text (which is one), is refused before
// it is iterated.
void require_sequence(PyObject* obj) {
    if (PyUnicode_Check(obj)) raise_message(PyExc_TypeError, messages::STR_REFUSAL);
    if (!PySequence_Check(obj)) raise_wrong_kind(obj, "Sequence");
}

template <class T>
void reserve_for_length(std::vector<T>& out, PyObject* obj) {
    const Py_ssize_t length = PySequence_Size(obj);
    if (length < 0) {
        // The length is only a hint, so its failure is dropped -- but not an
        // interruption, which the caller must still see.
        if (pending_must_propagate()) raise_pending();
        PyErr_Clear();
        return;
    }
    const std::size_t limit = RESERVATION_LIMIT_BYTES / sizeof(T);
    try {
        out.reserve(std::min(static_cast<std::size_t>(length), limit));
    } catch (const std::bad_alloc&) {
        // Growth while iterating will try again with what is really needed.
    } catch (const std::length_error&) {
    }
}

// Iterates obj (already known to be a sequence) and converts every item in
// order. The first failure ends the loop; what was collected is released.
template <class T, class ConvertItem>
std::vector<T> collect(PyObject* obj, ConvertItem convert_item) {
    // 1. Reserve what the sequence says it holds, within reason.
    std::vector<T> out;
    reserve_for_length(out, obj);
    // 2. Take exactly what iteration yields. Exact lists and tuples are walked
    // by index, which is what their iterators do (the size is read again
    // before every item, and each item is held while it is converted, since
    // converting it may run Python code that changes the list).
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(obj); ++i) {
            PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(obj, i));
            out.push_back(convert_item(item.get()));
        }
    } else {
        PyRef iterator = PyRef::steal(PyObject_GetIter(obj));
        if (!iterator) raise_pending();
        for (;;) {
            PyRef item = PyRef::steal(PyIter_Next(iterator.get()));
            if (!item) break;
            out.push_back(convert_item(item.get()));
        }
        if (PyErr_Occurred() != nullptr) raise_pending();
    }
    // 3. A length that overstated the items must not leave its reservation in
    // the model for the model's lifetime.
    if (out.capacity() / 2 > out.size()) out.shrink_to_fit();
    return out;
}

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

// A C-contiguous buffer of native doubles (exact NumPy arrays, array('d'),
// one-dimensional memoryviews), held for as long as this lives.
class DoubleBuffer {
public:
    // Empty unless obj exports such a buffer with `dimensions` dimensions, and
    // iterating obj would yield its items.
    DoubleBuffer(PyObject* obj, int dimensions) {
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
    ~DoubleBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    DoubleBuffer(const DoubleBuffer&) = delete;
    DoubleBuffer& operator=(const DoubleBuffer&) = delete;

    explicit operator bool() const noexcept { return usable_; }
    const double* data() const noexcept { return static_cast<const double*>(view_.buf); }
    std::size_t count() const noexcept { return static_cast<std::size_t>(view_.len) / sizeof(double); }
    std::size_t extent(int d) const noexcept { return static_cast<std::size_t>(view_.shape[d]); }

private:
    Py_buffer view_{};
    bool held_ = false;
    bool usable_ = false;
};

// A list or float the interpreter cannot make means it ran out of memory: its
// MemoryError is raised, as everywhere else memory runs out, and whatever was
// built so far is released (a list drops the items it was given, and its
// unfilled slots are empty).
PyRef new_list(std::size_t size) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) raise_pending();
    return list;
}

}  // namespace

void bind_arguments(const Signature& signature, std::span<PyObject* const> positional,
                    const KeywordArguments& keywords, std::span<PyRef> bound) {
    const std::size_t count = signature.parameters.size();
    const std::size_t positional_count = count - signature.keyword_only;
    // 1. No extra positional arguments. As the interpreter does, the message
    // also counts the keyword-only arguments that were given.
    if (positional.size() > positional_count) {
        std::size_t keyword_only_given = 0;
        for (PyObject* name : keywords.names)
            if (PyUnicode_Check(name) && parameter_index(signature, name) >= positional_count &&
                parameter_index(signature, name) < count)
                ++keyword_only_given;
        const std::string given =
            keyword_only_given == 0
                ? std::to_string(positional.size()) + (positional.size() == 1 ? " was" : " were")
                : std::to_string(positional.size()) + " positional argument" + (positional.size() == 1 ? "" : "s") +
                      " (and " + std::to_string(keyword_only_given) + " keyword-only argument" +
                      (keyword_only_given == 1 ? "" : "s") + ") were";
        const std::string takes = signature.required == positional_count
                                      ? std::to_string(positional_count)
                                      : "from " + std::to_string(signature.required) + " to " +
                                            std::to_string(positional_count);
        raise_message(PyExc_TypeError,
                      function_text(signature) + " takes " + takes + " positional arguments but " + given + " given");
    }
    // 2. Positional arguments fill the parameters from the first.
    for (std::size_t i = 0; i < positional.size(); ++i) bound[i] = PyRef::borrow(positional[i]);
    // 3. Keywords, in the order the caller gave them.
    for (std::size_t k = 0; k < keywords.names.size(); ++k) {
        PyObject* name = keywords.names[k];
        if (!PyUnicode_Check(name)) raise_message(PyExc_TypeError, messages::KEYWORDS_MUST_BE_STRINGS);
        const std::size_t index = parameter_index(signature, name);
        if (index == count) {
            raise_type_error(PyRef::steal(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'",
                                                               function_text(signature).c_str(), name)));
        }
        if (bound[index]) {
            raise_message(PyExc_TypeError, function_text(signature) + " got multiple values for argument '" +
                                               signature.parameters[index] + "'");
        }
        bound[index] = PyRef::borrow(keywords.values[k]);
    }
    // 4. Every required parameter has a value.
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < signature.required; ++i)
        if (!bound[i]) missing.push_back(signature.parameters[i]);
    if (!missing.empty()) {
        raise_message(PyExc_TypeError, function_text(signature) + " missing " + std::to_string(missing.size()) +
                                           " required positional " +
                                           (missing.size() == 1 ? "argument" : "arguments") + ": " +
                                           quoted_names(missing));
    }
}

void bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, std::span<PyRef> bound) {
    const std::span<PyObject* const> positional(PySequence_Fast_ITEMS(args),
                                                static_cast<std::size_t>(PyTuple_GET_SIZE(args)));
    // Borrowed from the dictionary: nothing below runs Python code that could
    // change it before the bound values are held by strong references.
    std::vector<PyObject*> names, values;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject *name, *value;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            names.push_back(name);
            values.push_back(value);
        }
    }
    bind_arguments(signature, positional, KeywordArguments{names, values}, bound);
}

void bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyRef> bound) {
    const std::size_t positional_count = static_cast<std::size_t>(nargs);
    const std::size_t keyword_count = kwnames != nullptr ? static_cast<std::size_t>(PyTuple_GET_SIZE(kwnames)) : 0;
    KeywordArguments keywords;
    if (keyword_count > 0) {
        keywords.names = std::span<PyObject* const>(PySequence_Fast_ITEMS(kwnames), keyword_count);
        keywords.values = std::span<PyObject* const>(args + positional_count, keyword_count);
    }
    bind_arguments(signature, std::span<PyObject* const>(args, positional_count), keywords, bound);
}

bool pending_must_propagate() noexcept {
    return pending_is_panic() || !PyErr_ExceptionMatches(PyExc_Exception) ||
           PyErr_ExceptionMatches(PyExc_MemoryError);
}

void raise_wrong_kind(PyObject* obj, const char* target) {
    PyRef name = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__"));
    if (!name) {
        if (pending_must_propagate()) raise_pending();
        PyErr_Clear();
    } else if (!PyUnicode_Check(name.get())) {
        name = PyRef();
    }
    if (name) {
        raise_type_error(PyRef::steal(
            PyUnicode_FromFormat("'%U' object cannot be converted to '%s'", name.get(), target)));
    }
    raise_type_error(PyRef::steal(
        PyUnicode_FromFormat("'%s' object cannot be converted to '%s'", messages::UNKNOWN_TYPE_NAME.data(), target)));
}

void raise_argument_error(const char* parameter) {
    PendingError pending;
    pending.normalize();
    PyObject* const value = pending.value();
    // A subclass of TypeError, or any other class, passes unchanged.
    if (value == nullptr || Py_TYPE(value) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        pending.restore();
        raise_pending();
    }
    // A new TypeError that names the parameter and keeps the original's cause;
    // the original is dropped once it has served.
    PyRef original = PyRef::borrow(value);
    pending.drop();
    PyRef text = PyRef::steal(PyObject_Str(original.get()));
    if (!text) raise_pending();
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", parameter, text.get()));
    if (!message) raise_pending();
    PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) raise_pending();
    PyRef cause = PyRef::steal(PyException_GetCause(original.get()));
    if (cause) PyException_SetCause(replacement.get(), cause.release());
    PyErr_SetObject(PyExc_TypeError, replacement.get());
    throw PythonError{};
}

double extract_number(PyObject* obj) {
    if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred() != nullptr) raise_pending();
    return value;
}

Vector extract_number_vector(PyObject* obj) {
    require_sequence(obj);
    // A one-dimensional buffer of doubles is read directly: iterating it would
    // give the same numbers, one Python object at a time.
    if (const DoubleBuffer buffer(obj, 1); buffer) return Vector(buffer.data(), buffer.data() + buffer.count());
    return collect<double>(obj, [](PyObject* item) { return extract_number(item); });
}

std::vector<Vector> extract_vector_vector(PyObject* obj) {
    require_sequence(obj);
    // A two-dimensional buffer of doubles: one vector per row.
    if (const DoubleBuffer buffer(obj, 2); buffer) {
        const std::size_t rows = buffer.extent(0), columns = buffer.extent(1);
        std::vector<Vector> out;
        out.reserve(rows);
        for (std::size_t i = 0; i < rows; ++i)
            out.emplace_back(buffer.data() + i * columns, buffer.data() + (i + 1) * columns);
        return out;
    }
    // An item that is text meets the text refusal inside the inner conversion.
    return collect<Vector>(obj, [](PyObject* item) { return extract_number_vector(item); });
}

namespace {

PyObject* first_item_of_exact_sequence(PyObject* obj) noexcept {
    if (!PyList_CheckExact(obj) && !PyTuple_CheckExact(obj)) return nullptr;
    return PySequence_Fast_GET_SIZE(obj) > 0 ? PySequence_Fast_GET_ITEM(obj, 0) : nullptr;
}

}  // namespace

template <>
bool fails_at_first_item<double>(PyObject* obj) noexcept {
    PyObject* const first = first_item_of_exact_sequence(obj);
    return first != nullptr && (PyList_CheckExact(first) || PyTuple_CheckExact(first));
}

template <>
bool fails_at_first_item<Vector>(PyObject* obj) noexcept {
    PyObject* const first = first_item_of_exact_sequence(obj);
    return first != nullptr && (PyFloat_CheckExact(first) || PyLong_CheckExact(first));
}

PyRef number_vector_to_list(std::span<const double> values) {
    PyRef list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) raise_pending();
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // steals item
    }
    return list;
}

namespace {

// A list of lists of floats from anything that has size() and whose items
// convert to spans of doubles.
template <class Rows>
PyRef rows_to_list(const Rows& rows) {
    PyRef list = new_list(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), number_vector_to_list(rows[i]).release());
    return list;
}

template <class T>
PyRef list_of_lists(std::span<const std::vector<T>> values) {
    PyRef list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_list(std::span<const T>(values[i])).release());
    return list;
}

}  // namespace

PyRef vector_vector_to_list(std::span<const Vector> values) { return rows_to_list(values); }

PyRef point_set_to_list(const PointSet& points) { return rows_to_list(points); }

PyRef nested_vector_to_list(std::span<const std::vector<Vector>> values) { return list_of_lists<Vector>(values); }

}  // namespace pymorvel::binding
