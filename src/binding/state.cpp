// A model's pickled state: Rbf.__reduce__, the module's _restore that reads it back, and copying.
#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "binding/errors.hpp"
#include "binding/model_parts.hpp"
#include "binding/rbf_object.hpp"
#include "common/panic.hpp"
#include "rbf/restore.hpp"

namespace pymorvel::binding {

namespace {

// The state is (version, kernel name, epsilon, points, values, weights), and
// for a model with a polynomial term (version 2) its degree and coefficients
// after them. The version comes first, so that a layout is told apart before
// anything else about it is read. A model without a polynomial term writes
// version 1, so its pickles are the bytes they always were.
constexpr long PLAIN_FORMAT = 1, POLYNOMIAL_FORMAT = 2;
constexpr Py_ssize_t PLAIN_ITEMS = 6, POLYNOMIAL_ITEMS = 8;

// ----- Writing

PyObject* reduce(PyObject* self) {
    const RbfVariant& model = model_of(self);
    if (!std::visit([](const auto& m) { return can_travel(m); }, model))
        raise_message(PyExc_ValueError, messages::UNPICKLABLE_WEIGHTS);
    PyObject* const restore = restore_function();
    // Instances exist only once the module does, and with it the function.
    if (restore == nullptr) panic(std::string(messages::PYTHON_API_CALL_FAILED));
    const PyRef degree = degree_of(model), coefficients = polynomial_coefficients_of(model);
    const bool polynomial = degree.get() != Py_None;
    const PyRef version = PyRef::steal(PyLong_FromLong(polynomial ? POLYNOMIAL_FORMAT : PLAIN_FORMAT));
    if (!version) raise_pending();
    const PyRef kernel = kernel_name_of(model), epsilon = epsilon_of_model(model);
    const PyRef points = points_of(model), values = values_of(model), weights = weights_of(model);
    PyRef state = PyRef::steal(
        polynomial ? PyTuple_Pack(POLYNOMIAL_ITEMS, version.get(), kernel.get(), epsilon.get(), points.get(),
                                  values.get(), weights.get(), degree.get(), coefficients.get())
                   : PyTuple_Pack(PLAIN_ITEMS, version.get(), kernel.get(), epsilon.get(), points.get(), values.get(),
                                  weights.get()));
    if (!state) raise_pending();
    PyRef reduced = PyRef::steal(Py_BuildValue("(O(O))", restore, state.get()));
    if (!reduced) raise_pending();
    return reduced.release();
}

// ----- Reading. Nothing here runs Python code: only exact lists and tuples,
// floats and ints are read, in place, so no list can change while it is read
// and borrowed items stay alive.

enum class Kind { Number, Vector };

bool is_list(PyObject* object) noexcept { return PyList_CheckExact(object) || PyTuple_CheckExact(object); }

[[noreturn]] void refuse_field(std::string_view field) {
    raise_message(PyExc_TypeError, messages::state_not_floats(field));
}

Py_ssize_t length_of(PyObject* list, std::string_view field) {
    if (!is_list(list)) refuse_field(field);
    return PySequence_Fast_GET_SIZE(list);
}

// A list's kind is that of its first item; an empty list takes `otherwise`.
Kind kind_of(PyObject* list, Kind otherwise, std::string_view field) {
    if (length_of(list, field) == 0) return otherwise;
    PyObject* const first = PySequence_Fast_GET_ITEM(list, 0);
    if (PyFloat_Check(first)) return Kind::Number;
    if (is_list(first)) return Kind::Vector;
    refuse_field(field);
}

double read_float(PyObject* item, std::string_view field) {
    if (!PyFloat_Check(item)) refuse_field(field);
    return PyFloat_AS_DOUBLE(item);
}

template <class T>
T read_item(PyObject* item, std::string_view field);

template <>
double read_item<double>(PyObject* item, std::string_view field) {
    return read_float(item, field);
}

template <>
Vector read_item<Vector>(PyObject* item, std::string_view field) {
    const Py_ssize_t length = length_of(item, field);
    Vector out;
    out.reserve(static_cast<std::size_t>(length));
    for (Py_ssize_t k = 0; k < length; ++k) out.push_back(read_float(PySequence_Fast_GET_ITEM(item, k), field));
    return out;
}

template <class T>
std::vector<T> read_list(PyObject* list, std::string_view field) {
    const Py_ssize_t length = length_of(list, field);
    std::vector<T> out;
    out.reserve(static_cast<std::size_t>(length));
    for (Py_ssize_t i = 0; i < length; ++i) out.push_back(read_item<T>(PySequence_Fast_GET_ITEM(list, i), field));
    return out;
}

// Checks the version and the length that goes with it. The length message
// names version 1's six items. A state that says 2 with another length than
// version 2's was refused as of an unknown version before version 2 existed,
// and still is: no release wrote one.
void check_layout(PyObject* version, Py_ssize_t items) {
    if (!PyLong_CheckExact(version)) raise_message(PyExc_TypeError, messages::STATE_VERSION_NOT_INT);
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(version, &overflow);
    if (overflow == 0 && value == PLAIN_FORMAT) {
        if (items != PLAIN_ITEMS) raise_message(PyExc_ValueError, messages::STATE_LENGTH);
    } else if (overflow != 0 || value != POLYNOMIAL_FORMAT || items != POLYNOMIAL_ITEMS) {
        raise_message(PyExc_ValueError, messages::STATE_UNSUPPORTED_VERSION);
    }
}

Kernel read_kernel(PyObject* name) {
    if (!PyUnicode_Check(name)) raise_message(PyExc_TypeError, messages::STATE_KERNEL_NOT_STR);
    // The comparison never raises, so a name with no UTF-8 form is just unknown.
    for (const KernelEntry& entry : KERNELS)
        if (PyUnicode_CompareWithASCIIString(name, std::string(entry.name).c_str()) == 0) return entry.kernel;
    raise_message(PyExc_ValueError, messages::STATE_UNKNOWN_KERNEL);
}

double read_epsilon(PyObject* epsilon) {
    if (!PyFloat_Check(epsilon)) raise_message(PyExc_TypeError, messages::STATE_EPSILON_NOT_FLOAT);
    return PyFloat_AS_DOUBLE(epsilon);
}

// Exact ints only, as for the version: a bool or an int subclass is refused.
std::size_t read_degree(PyObject* degree) {
    if (!PyLong_CheckExact(degree)) raise_message(PyExc_TypeError, messages::STATE_DEGREE_NOT_INT);
    static_assert(LONG_MAX == PY_SSIZE_T_MAX, "a degree is read as a long and bounded like a fit's");
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(degree, &overflow);
    if (overflow != 0 || value < 0) raise_message(PyExc_ValueError, messages::STATE_DEGREE_RANGE);
    return static_cast<std::size_t>(value);
}

// The lists of a state, borrowed from it; coefficients only with a polynomial term.
struct StateLists {
    PyObject* points = nullptr;
    PyObject* values = nullptr;
    PyObject* weights = nullptr;
    PyObject* coefficients = nullptr;
    std::size_t degree = 0;
};

template <class X, class Y>
RbfVariant restore_shape(const StateLists& lists, Kernel kernel, double epsilon) {
    std::vector<X> x = read_list<X>(lists.points, "points");
    std::vector<Y> y = read_list<Y>(lists.values, "values");
    std::vector<Y> weights = read_list<Y>(lists.weights, "weights");
    std::optional<PolynomialState<Y>> polynomial;
    if (lists.coefficients != nullptr)
        polynomial = PolynomialState<Y>{lists.degree, read_list<Y>(lists.coefficients, "coefficients")};
    Outcome<RbfModel<X, Y>> outcome =
        restore(std::move(x), std::move(y), std::move(weights), kernel, epsilon, std::move(polynomial));
    if (auto* failure = std::get_if<Failure>(&outcome)) raise_message(PyExc_ValueError, failure->message);
    return RbfVariant(std::in_place_type<RbfModel<X, Y>>, std::get<RbfModel<X, Y>>(std::move(outcome)));
}

// Every check runs before a model is built; none of them solves anything.
PyObject* restore_state(PyObject* state) {
    if (!PyTuple_Check(state)) raise_message(PyExc_TypeError, messages::STATE_NOT_TUPLE);
    const Py_ssize_t items = PyTuple_GET_SIZE(state);
    if (items == 0) raise_message(PyExc_ValueError, messages::STATE_LENGTH);
    check_layout(PyTuple_GET_ITEM(state, 0), items);
    const Kernel kernel = read_kernel(PyTuple_GET_ITEM(state, 1));
    const double epsilon = read_epsilon(PyTuple_GET_ITEM(state, 2));
    StateLists lists{PyTuple_GET_ITEM(state, 3), PyTuple_GET_ITEM(state, 4), PyTuple_GET_ITEM(state, 5)};

    // The shape follows the lists' first items; an empty list takes its
    // partner's kind and then fails the count check.
    const Kind point_kind = kind_of(lists.points, Kind::Number, "points");
    const Kind weight_kind = kind_of(lists.weights, Kind::Number, "weights");
    const Kind value_kind = kind_of(lists.values, weight_kind, "values");
    if (PySequence_Fast_GET_SIZE(lists.weights) > 0 && weight_kind != value_kind)
        raise_message(PyExc_ValueError, messages::STATE_VALUE_KINDS);
    if (items == POLYNOMIAL_ITEMS) {
        lists.degree = read_degree(PyTuple_GET_ITEM(state, 6));
        lists.coefficients = PyTuple_GET_ITEM(state, 7);
        const Kind coefficient_kind = kind_of(lists.coefficients, value_kind, "coefficients");
        if (coefficient_kind != value_kind) raise_message(PyExc_ValueError, messages::STATE_COEFFICIENT_KINDS);
    }

    const bool vector_points = point_kind == Kind::Vector, vector_values = value_kind == Kind::Vector;
    RbfVariant model = !vector_points ? (!vector_values ? restore_shape<double, double>(lists, kernel, epsilon)
                                                        : restore_shape<double, Vector>(lists, kernel, epsilon))
                                      : (!vector_values ? restore_shape<Vector, double>(lists, kernel, epsilon)
                                                        : restore_shape<Vector, Vector>(lists, kernel, epsilon));
    return new_instance(rbf_type(), std::move(model)).release();
}

// A model never changes, so a copy, deep or not, may be the model itself.
PyObject* same_model(PyObject* self) {
    model_of(self);
    return PyRef::borrow(self).release();
}

}  // namespace

PyObject* rbf_reduce(PyObject* self, PyObject*) noexcept {
    return entry_guard([&] { return reduce(self); });
}

PyObject* rbf_copy(PyObject* self, PyObject*) noexcept {
    return entry_guard([&] { return same_model(self); });
}

PyObject* rbf_deepcopy(PyObject* self, PyObject*) noexcept {
    return entry_guard([&] { return same_model(self); });
}

PyObject* module_restore(PyObject*, PyObject* state) noexcept {
    return entry_guard([&] { return restore_state(state); });
}

}  // namespace pymorvel::binding
