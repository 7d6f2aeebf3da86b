// Python objects to native vectors: iteration in order, or a buffer read directly where iteration would yield the same numbers.
#include "binding/convert.hpp"

#include <algorithm>
#include <memory>
#include <type_traits>
#include <new>
#include <stdexcept>

#include "binding/buffers.hpp"
#include "common/messages.hpp"

namespace pymorvel::binding {

namespace {

// A sequence's length is only its own claim: __len__ may say 2**60 and yield
// three items. Reserving more than this up front buys nothing that growth would
// not, and an honest large sequence only pays a few reallocations.
constexpr std::size_t RESERVATION_LIMIT_BYTES = std::size_t{1} << 20;

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

}  // namespace

double extract_number(PyObject* obj) {
    if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred() != nullptr) raise_pending();
    return value;
}

namespace {

// Rows [begin, end) of a two-dimensional buffer, one vector per row, into
// out (whose vectors keep their memory from one block to the next).
void read_rows(const FloatBuffer& buffer, std::size_t begin, std::size_t end, std::vector<Vector>& out) {
    out.resize(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        out[i - begin].resize(buffer.extent(1));
        buffer.read_row(i, out[i - begin].data());
    }
}

void read_items(const FloatBuffer& buffer, std::size_t begin, std::size_t end, Vector& out) {
    out.resize(end - begin);
    buffer.read_items(begin, end, out.data());
}

Vector iterate_numbers(PyObject* obj) {
    return collect<double>(obj, [](PyObject* item) { return extract_number(item); });
}

std::vector<Vector> iterate_vectors(PyObject* obj) {
    // An item that is text meets the text refusal inside the inner conversion.
    return collect<Vector>(obj, [](PyObject* item) { return extract_number_vector(item); });
}

}  // namespace

Vector extract_number_vector(PyObject* obj) {
    require_sequence(obj);
    // A one-dimensional buffer of floats is read directly: iterating it would
    // give the same numbers, one Python object at a time.
    if (const FloatBuffer buffer(obj, 1); buffer) {
        Vector out;
        read_items(buffer, 0, buffer.extent(0), out);
        return out;
    }
    return iterate_numbers(obj);
}

std::vector<Vector> extract_vector_vector(PyObject* obj) {
    require_sequence(obj);
    // A two-dimensional buffer of floats: one vector per row.
    if (const FloatBuffer buffer(obj, 2); buffer) {
        std::vector<Vector> out;
        read_rows(buffer, 0, buffer.extent(0), out);
        return out;
    }
    return iterate_vectors(obj);
}

template <class T>
PointBlocks<T>::PointBlocks(PyObject* obj) {
    require_sequence(obj);
    constexpr int dimensions = std::is_same_v<T, double> ? 1 : 2;
    auto buffer = std::make_unique<FloatBuffer>(obj, dimensions);
    if (*buffer) {
        buffer_ = std::move(buffer);
        size_ = buffer_->extent(0);
        return;
    }
    // Released before iteration runs Python code, as extract_sequence does.
    buffer.reset();
    if constexpr (std::is_same_v<T, double>)
        whole_ = iterate_numbers(obj);
    else
        whole_ = iterate_vectors(obj);
    size_ = whole_.size();
}

template <class T>
PointBlocks<T>::~PointBlocks() = default;

template <class T>
std::span<const T> PointBlocks<T>::block(std::size_t begin, std::size_t end) {
    if (!buffer_) return std::span<const T>(whole_).subspan(begin, end - begin);
    if constexpr (std::is_same_v<T, double>)
        read_items(*buffer_, begin, end, block_);
    else
        read_rows(*buffer_, begin, end, block_);
    return block_;
}

template <class T>
std::optional<std::size_t> PointBlocks<T>::common_length() const {
    if (buffer_) return std::is_same_v<T, double> ? 1 : buffer_->extent(1);
    if constexpr (std::is_same_v<T, double>) {
        return 1;
    } else {
        if (whole_.empty()) return std::nullopt;
        for (const Vector& point : whole_)
            if (point.size() != whole_.front().size()) return std::nullopt;
        return whole_.front().size();
    }
}

template class PointBlocks<double>;
template class PointBlocks<Vector>;

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

}  // namespace pymorvel::binding
