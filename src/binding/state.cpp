// A model's pickled state, dense or in patches: Rbf.__reduce__, the module's _restore that reads it back, and copying.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "binding/errors.hpp"
#include "binding/lists.hpp"
#include "binding/model_parts.hpp"
#include "binding/rbf_object.hpp"
#include "common/panic.hpp"
#include "rbf/patch_restore.hpp"
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
// A model fitted in patches (version 3) keeps (version, kernel name, epsilon,
// points, values, degree or None, patch size, the domain's lower and upper
// corners and count, each patch's lattice point and growth, and the weights
// and coefficients of all patches, patch after patch). Members are not kept:
// they follow from the rest, and are found again.
constexpr long PATCH_FORMAT = 3;
constexpr Py_ssize_t PATCH_ITEMS = 14;

// ----- Writing

PyRef checked(PyObject* object) {
    if (object == nullptr) raise_pending();
    return PyRef::steal(object);
}

PyRef list_of_ints(const std::vector<std::uint64_t>& numbers) {
    PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(numbers.size())));
    for (std::size_t i = 0; i < numbers.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), checked(PyLong_FromUnsignedLongLong(numbers[i])).release());
    return list;
}

template <class X, class Y>
PyRef patch_state(const PatchModel<X, Y>& model, const AnyModel& any) {
    std::vector<std::uint64_t> nodes, growths;
    std::vector<Y> weights, coefficients;
    for (const Patch<Y>& patch : model.patches) {
        nodes.push_back(patch.node);
        growths.push_back(patch.growth);
        weights.insert(weights.end(), patch.weights.begin(), patch.weights.end());
        coefficients.insert(coefficients.end(), patch.coefficients.begin(), patch.coefficients.end());
    }
    if (!finite_weights(weights) || !finite_weights(coefficients))
        raise_message(PyExc_ValueError, messages::UNPICKLABLE_WEIGHTS);
    const Lattice& lattice = model.lattice;
    const std::span<const double> lower(lattice.lower().data(), lattice.dimension());
    const std::span<const double> upper(lattice.upper().data(), lattice.dimension());
    PyRef items[PATCH_ITEMS] = {checked(PyLong_FromLong(PATCH_FORMAT)),
                                      kernel_name_of(any),
                                      epsilon_of_model(any),
                                      points_of(any),
                                      values_of(any),
                                      degree_of(any),
                                      patch_size_of(any),
                                      to_list(lower),
                                      to_list(upper),
                                      checked(PyLong_FromUnsignedLongLong(lattice.count())),
                                      list_of_ints(nodes),
                                      list_of_ints(growths),
                                      to_list(std::span<const Y>(weights)),
                                      to_list(std::span<const Y>(coefficients))};
    PyRef state = checked(PyTuple_New(PATCH_ITEMS));
    for (Py_ssize_t i = 0; i < PATCH_ITEMS; ++i) PyTuple_SET_ITEM(state.get(), i, items[i].release());
    return state;
}

PyRef dense_state(const AnyModel& model) {
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
    return state;
}

PyObject* reduce(PyObject* self) {
    const AnyModel& model = model_of(self);
    PyObject* const restore = restore_function();
    // Instances exist only once the module does, and with it the function.
    if (restore == nullptr) panic(std::string(messages::PYTHON_API_CALL_FAILED));
    const PyRef state = std::visit(
        [&](const auto& m) {
            if constexpr (is_patch_model<std::remove_cvref_t<decltype(m)>>) {
                return patch_state(m, model);
            } else {
                if (!can_travel(m)) raise_message(PyExc_ValueError, messages::UNPICKLABLE_WEIGHTS);
                return dense_state(model);
            }
        },
        model);
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
// names version 1's six items. A state that says 2 (or 3) with another length
// than its version's was refused as of an unknown version before that version
// existed, and still is: no release wrote one.
void check_layout(PyObject* version, Py_ssize_t items) {
    if (!PyLong_CheckExact(version)) raise_message(PyExc_TypeError, messages::STATE_VERSION_NOT_INT);
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(version, &overflow);
    if (overflow == 0 && value == PLAIN_FORMAT) {
        if (items != PLAIN_ITEMS) raise_message(PyExc_ValueError, messages::STATE_LENGTH);
    } else if (overflow != 0 || !((value == POLYNOMIAL_FORMAT && items == POLYNOMIAL_ITEMS) ||
                                  (value == PATCH_FORMAT && items == PATCH_ITEMS))) {
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
AnyModel restore_shape(const StateLists& lists, Kernel kernel, double epsilon) {
    std::vector<X> x = read_list<X>(lists.points, "points");
    std::vector<Y> y = read_list<Y>(lists.values, "values");
    std::vector<Y> weights = read_list<Y>(lists.weights, "weights");
    std::optional<PolynomialState<Y>> polynomial;
    if (lists.coefficients != nullptr)
        polynomial = PolynomialState<Y>{lists.degree, read_list<Y>(lists.coefficients, "coefficients")};
    Outcome<RbfModel<X, Y>> outcome =
        restore(std::move(x), std::move(y), std::move(weights), kernel, epsilon, std::move(polynomial));
    if (auto* failure = std::get_if<Failure>(&outcome)) raise_message(PyExc_ValueError, failure->message);
    return AnyModel(std::in_place_type<RbfModel<X, Y>>, std::get<RbfModel<X, Y>>(std::move(outcome)));
}

// A non-negative exact int (not a bool) of at most 64 bits.
std::uint64_t read_count(PyObject* number) {
    if (!PyLong_CheckExact(number)) raise_message(PyExc_TypeError, messages::STATE_PATCH_LAYOUT);
    const unsigned long long value = PyLong_AsUnsignedLongLong(number);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        raise_message(PyExc_ValueError, messages::STATE_PATCH_LAYOUT);
    }
    return value;
}

std::vector<std::uint64_t> read_counts(PyObject* list) {
    if (!is_list(list)) raise_message(PyExc_TypeError, messages::STATE_PATCH_LAYOUT);
    std::vector<std::uint64_t> out;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(list); ++i)
        out.push_back(read_count(PySequence_Fast_GET_ITEM(list, i)));
    return out;
}

template <class X, class Y>
AnyModel restore_patch_shape(PyObject* state, Kernel kernel, double epsilon, std::optional<std::size_t> degree) {
    std::vector<X> x = read_list<X>(PyTuple_GET_ITEM(state, 3), "points");
    std::vector<Y> y = read_list<Y>(PyTuple_GET_ITEM(state, 4), "values");
    const std::uint64_t patch_size = read_count(PyTuple_GET_ITEM(state, 6));
    PatchDomain domain{{read_list<double>(PyTuple_GET_ITEM(state, 7), "the domain"),
                        read_list<double>(PyTuple_GET_ITEM(state, 8), "the domain")},
                       read_count(PyTuple_GET_ITEM(state, 9))};
    const std::vector<std::uint64_t> nodes = read_counts(PyTuple_GET_ITEM(state, 10));
    const std::vector<std::uint64_t> growths = read_counts(PyTuple_GET_ITEM(state, 11));
    if (nodes.size() != growths.size()) raise_message(PyExc_ValueError, messages::STATE_PATCH_PLACES);
    std::vector<PatchPlace> places;
    for (std::size_t p = 0; p < nodes.size(); ++p) places.push_back({nodes[p], growths[p]});
    std::vector<Y> weights = read_list<Y>(PyTuple_GET_ITEM(state, 12), "weights");
    std::vector<Y> coefficients = read_list<Y>(PyTuple_GET_ITEM(state, 13), "coefficients");
    Outcome<PatchModel<X, Y>> outcome =
        restore_patches(std::move(x), std::move(y), kernel, epsilon, degree,
                        patch_size > MAX_PATCH_SIZE ? 0 : static_cast<std::size_t>(patch_size), domain, places,
                        std::move(weights), std::move(coefficients));
    if (auto* failure = std::get_if<Failure>(&outcome)) raise_message(PyExc_ValueError, failure->message);
    return AnyModel(std::in_place_type<PatchModel<X, Y>>, std::get<PatchModel<X, Y>>(std::move(outcome)));
}

// The shape follows the lists' first items, as for the other versions.
AnyModel restore_patch_state(PyObject* state, Kernel kernel, double epsilon) {
    PyObject* const points = PyTuple_GET_ITEM(state, 3);
    PyObject* const values = PyTuple_GET_ITEM(state, 4);
    PyObject* const degree_item = PyTuple_GET_ITEM(state, 5);
    const std::optional<std::size_t> degree =
        degree_item == Py_None ? std::nullopt : std::optional<std::size_t>(read_degree(degree_item));
    const Kind point_kind = kind_of(points, Kind::Number, "points");
    const Kind value_kind = kind_of(values, Kind::Number, "values");
    const Kind weight_kind = kind_of(PyTuple_GET_ITEM(state, 12), value_kind, "weights");
    const Kind coefficient_kind = kind_of(PyTuple_GET_ITEM(state, 13), value_kind, "coefficients");
    if (weight_kind != value_kind) raise_message(PyExc_ValueError, messages::STATE_VALUE_KINDS);
    if (coefficient_kind != value_kind) raise_message(PyExc_ValueError, messages::STATE_COEFFICIENT_KINDS);
    const bool vector_points = point_kind == Kind::Vector, vector_values = value_kind == Kind::Vector;
    return !vector_points ? (!vector_values ? restore_patch_shape<double, double>(state, kernel, epsilon, degree)
                                            : restore_patch_shape<double, Vector>(state, kernel, epsilon, degree))
                          : (!vector_values ? restore_patch_shape<Vector, double>(state, kernel, epsilon, degree)
                                            : restore_patch_shape<Vector, Vector>(state, kernel, epsilon, degree));
}

// Every check runs before a model is built; none of them solves anything.
PyObject* restore_state(PyObject* state) {
    if (!PyTuple_Check(state)) raise_message(PyExc_TypeError, messages::STATE_NOT_TUPLE);
    const Py_ssize_t items = PyTuple_GET_SIZE(state);
    if (items == 0) raise_message(PyExc_ValueError, messages::STATE_LENGTH);
    check_layout(PyTuple_GET_ITEM(state, 0), items);
    const Kernel kernel = read_kernel(PyTuple_GET_ITEM(state, 1));
    const double epsilon = read_epsilon(PyTuple_GET_ITEM(state, 2));
    if (items == PATCH_ITEMS) return new_instance(rbf_type(), restore_patch_state(state, kernel, epsilon)).release();
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
    AnyModel model = !vector_points ? (!vector_values ? restore_shape<double, double>(lists, kernel, epsilon)
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
