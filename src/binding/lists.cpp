// New Python lists of floats from native vectors.
#include "binding/lists.hpp"

namespace pymorvel::binding {

namespace {

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
