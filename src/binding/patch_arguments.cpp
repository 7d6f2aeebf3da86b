// Reading the arguments of fits in patches, and Rbf.restrict and Rbf.tile_halo, which take them too.
#include "binding/patch_arguments.hpp"

#include <array>
#include <string>
#include <utility>
#include <variant>

#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"

namespace pymorvel::binding {

namespace {

constexpr std::string_view DOMAIN_FORM =
    "domain must be None or (lower, upper, count): the corners of the whole data set's bounding box (numbers, or "
    "sequences of numbers) and its number of samples (an int)";
constexpr std::string_view REGION_FORM =
    "region must be None or (lower, upper): the corners of a box (numbers, or sequences of numbers)";

// The text of an int, for a message.
std::string int_text(PyObject* value) {
    PyRef text = PyRef::steal(PyObject_Str(value));
    if (!text) raise_pending();
    const char* utf8 = PyUnicode_AsUTF8(text.get());
    if (utf8 == nullptr) raise_pending();
    return utf8;
}

// The items of a tuple or list of `count` items, held: converting one runs
// Python code, which may change the list. Anything else is a TypeError with
// `form` as its message.
std::vector<PyRef> items_of(PyObject* object, Py_ssize_t count, std::string_view form) {
    if (!(PyTuple_Check(object) || PyList_Check(object)) || PySequence_Fast_GET_SIZE(object) != count)
        raise_message(PyExc_TypeError, form);
    std::vector<PyRef> items;
    for (Py_ssize_t i = 0; i < count; ++i) items.push_back(PyRef::borrow(PySequence_Fast_GET_ITEM(object, i)));
    return items;
}

// A non-negative int that fits in 64 bits, not a bool.
std::uint64_t count_value(PyObject* count) {
    if (PyBool_Check(count)) raise_message(PyExc_TypeError, DOMAIN_FORM);
    PyRef index = PyRef::steal(PyNumber_Index(count));
    if (!index) {
        if (pending_must_propagate()) raise_pending();
        PyErr_Clear();
        raise_message(PyExc_TypeError, DOMAIN_FORM);
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        raise_message(PyExc_ValueError, messages::PATCH_DOMAIN_COUNT);
    }
    return value;
}

PatchBox box_of(PyObject* lower, PyObject* upper, const char* what) {
    return PatchBox{corner_value(lower, what), corner_value(upper, what)};
}

// The positional-or-keyword corners of restrict and tile_halo.
constexpr std::array<const char*, 2> RESTRICT_PARAMETERS = {"lower", "upper"};
constexpr Signature RESTRICT_SIGNATURE = {"Rbf", "restrict", RESTRICT_PARAMETERS, 2};
constexpr std::array<const char*, 4> HALO_PARAMETERS = {"lower", "upper", "count", "patch_size"};
constexpr Signature HALO_SIGNATURE = {"Rbf", "tile_halo", HALO_PARAMETERS, 4};

PyObject* restrict_model(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyRef, RESTRICT_PARAMETERS.size()> bound;
    bind_arguments(RESTRICT_SIGNATURE, args, nargs, kwnames, bound);
    const AnyModel& model = model_of(self);
    // Reading the corners runs Python code, which must not free the model.
    const PyRef keep_alive = PyRef::borrow(self);
    const PatchBox box = box_of(bound[0].get(), bound[1].get(), "restrict");
    return std::visit(
               [&](const auto& m) -> PyRef {
                   if constexpr (is_patch_model<std::remove_cvref_t<decltype(m)>>) {
                       auto outcome = restrict_patches(m, box);
                       if (auto* failure = std::get_if<Failure>(&outcome))
                           raise_message(PyExc_ValueError, failure->message);
                       return new_instance(rbf_type(), AnyModel(std::get<0>(std::move(outcome))));
                   } else {
                       raise_message(PyExc_ValueError, messages::PATCH_RESTRICT_DENSE);
                   }
               },
               model)
        .release();
}

PyObject* halo(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyRef, HALO_PARAMETERS.size()> bound;
    bind_arguments(HALO_SIGNATURE, args, nargs, kwnames, bound);
    const PatchBox box = box_of(bound[0].get(), bound[1].get(), "tile_halo");
    const std::uint64_t count = count_value(bound[2].get());
    const std::optional<std::size_t> patch_size = patch_size_value(bound[3].get());
    if (!patch_size) raise_message(PyExc_ValueError, messages::patch_size_range("None"));
    const std::size_t d = box.lower.size();
    if (d < 1 || d > MAX_PATCH_DIMENSION) raise_message(PyExc_ValueError, messages::patch_dimension(d));
    if (!patch_detail::valid_box(box, d) || count == 0)
        raise_message(PyExc_ValueError, messages::patch_corner("tile_halo", d) + ", and a positive count");
    Outcome<Lattice> lattice =
        Lattice::make(d, patch_detail::corner(box.lower), patch_detail::corner(box.upper), count, *patch_size);
    if (auto* failure = std::get_if<Failure>(&lattice)) raise_message(PyExc_ValueError, failure->message);
    PyRef out = PyRef::steal(PyFloat_FromDouble(tile_halo(std::get<Lattice>(lattice))));
    if (!out) raise_pending();
    return out.release();
}

}  // namespace

std::optional<std::size_t> patch_size_value(PyObject* patch_size) {
    if (patch_size == nullptr || patch_size == Py_None) return std::nullopt;
    if (PyBool_Check(patch_size)) raise_message(PyExc_TypeError, messages::patch_size_range("a bool"));
    PyRef index = PyRef::steal(PyNumber_Index(patch_size));
    if (!index) {
        if (pending_must_propagate()) raise_pending();
        PyErr_Clear();
        raise_message(PyExc_TypeError, messages::patch_size_range(std::string("a ") + Py_TYPE(patch_size)->tp_name));
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (overflow != 0 || value < static_cast<long long>(MIN_PATCH_SIZE) || value > static_cast<long long>(MAX_PATCH_SIZE))
        raise_message(PyExc_ValueError, messages::patch_size_range(int_text(index.get())));
    return static_cast<std::size_t>(value);
}

std::vector<double> corner_value(PyObject* corner, const char* what) {
    const std::string form = std::string(what) + " takes corners that are numbers or sequences of numbers";
    try {
        if (PySequence_Check(corner) && !PyUnicode_Check(corner)) return extract_number_vector(corner);
        return {extract_number(corner)};
    } catch (const PythonError&) {
        if (pending_must_propagate()) throw;
        PyErr_Clear();
        raise_message(PyExc_TypeError, form);
    }
}

std::optional<PatchDomain> domain_value(PyObject* domain) {
    if (domain == nullptr || domain == Py_None) return std::nullopt;
    const std::vector<PyRef> items = items_of(domain, 3, DOMAIN_FORM);
    PatchDomain out{box_of(items[0].get(), items[1].get(), "domain"), 0};
    out.count = count_value(items[2].get());
    return out;
}

std::optional<PatchBox> region_value(PyObject* region) {
    if (region == nullptr || region == Py_None) return std::nullopt;
    const std::vector<PyRef> items = items_of(region, 2, REGION_FORM);
    return box_of(items[0].get(), items[1].get(), "region");
}

PyObject* rbf_restrict(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] { return restrict_model(self, args, nargs, kwnames); });
}

PyObject* rbf_tile_halo(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] { return halo(args, nargs, kwnames); });
}

}  // namespace pymorvel::binding
