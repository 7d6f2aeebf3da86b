// A model's parts as new Python objects, and the read-only properties that show them.
#include "binding/model_parts.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "binding/lists.hpp"
#include "binding/errors.hpp"
#include "binding/rbf_object.hpp"

namespace pymorvel::binding {

namespace {

PyRef new_text(std::string_view text) {
    PyRef object = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!object) raise_pending();
    return object;
}

PyRef checked(PyObject* object) {
    if (object == nullptr) raise_pending();
    return PyRef::steal(object);
}

// Dense or in patches, vector points are kept as a PointSet and vector values as Vectors.
template <class M>
constexpr bool vector_points(const M&) noexcept { return std::is_same_v<decltype(M::x), PointSet>; }
template <class M>
constexpr bool vector_values(const M&) noexcept { return std::is_same_v<decltype(M::y), std::vector<Vector>>; }

std::string_view kind_text(bool vector) noexcept { return vector ? "vector" : "number"; }

template <class T>
PyRef list_of(const std::vector<T>& items) { return to_list(std::span<const T>(items)); }
PyRef list_of(const PointSet& points) { return to_list(points); }

// One getter per reader; every getter runs under the entry guard.
template <PyRef (*Read)(const AnyModel&)>
PyObject* get(PyObject* self, void*) noexcept {
    return entry_guard([&] { return Read(model_of(self)).release(); });
}

PyRef n_samples_of(const AnyModel& model) {
    return checked(PyLong_FromSize_t(std::visit([](const auto& m) { return m.y.size(); }, model)));
}

// A number read off a model in patches as an int, or None for a dense model.
template <class Read>
PyRef patch_number(const AnyModel& model, Read read) {
    return std::visit(
        [&](const auto& m) {
            if constexpr (is_patch_model<std::remove_cvref_t<decltype(m)>>)
                return checked(PyLong_FromSize_t(read(m)));
            else
                return PyRef::borrow(Py_None);
        },
        model);
}

PyRef patches_of(const AnyModel& model) {
    return patch_number(model, [](const auto& m) { return m.patches.size(); });
}

// What a model fitted in patches does not have: one set of weights for all.
[[noreturn]] void per_patch(std::string_view what) {
    raise_message(PyExc_AttributeError,
                  std::string(what) + ": a model fitted in patches has them per patch, not one per sample or monomial");
}

PyRef point_kind_of(const AnyModel& model) {
    return new_text(kind_text(std::visit([](const auto& m) { return vector_points(m); }, model)));
}

PyRef value_kind_of(const AnyModel& model) {
    return new_text(kind_text(std::visit([](const auto& m) { return vector_values(m); }, model)));
}

}  // namespace

PyRef kernel_name_of(const AnyModel& model) {
    return new_text(kernel_name(std::visit([](const auto& m) { return m.kernel; }, model)));
}

PyRef epsilon_of_model(const AnyModel& model) {
    return checked(PyFloat_FromDouble(std::visit([](const auto& m) { return m.epsilon; }, model)));
}

PyRef points_of(const AnyModel& model) {
    return std::visit([](const auto& m) { return list_of(m.x); }, model);
}

PyRef values_of(const AnyModel& model) {
    return std::visit([](const auto& m) { return list_of(m.y); }, model);
}

PyRef weights_of(const AnyModel& model) {
    return std::visit(
        [](const auto& m) -> PyRef {
            if constexpr (is_patch_model<std::remove_cvref_t<decltype(m)>>) per_patch("weights");
            else return list_of(m.weights);
        },
        model);
}

PyRef degree_of(const AnyModel& model) {
    return std::visit(
        [](const auto& m) {
            std::optional<std::size_t> degree;
            if constexpr (is_patch_model<std::remove_cvref_t<decltype(m)>>)
                degree = m.degree;
            else if (m.polynomial)
                degree = m.polynomial->basis.degree();
            return degree ? checked(PyLong_FromSize_t(*degree)) : PyRef::borrow(Py_None);
        },
        model);
}

PyRef polynomial_coefficients_of(const AnyModel& model) {
    return std::visit(
        [](const auto& m) -> PyRef {
            if constexpr (is_patch_model<std::remove_cvref_t<decltype(m)>>) per_patch("polynomial_coefficients");
            else return m.polynomial ? list_of(m.polynomial->coefficients) : PyRef::borrow(Py_None);
        },
        model);
}

PyRef patch_size_of(const AnyModel& model) {
    return patch_number(model, [](const auto& m) { return m.lattice.patch_size(); });
}

PyGetSetDef rbf_getset[] = {
    {"kernel_name", get<kernel_name_of>, nullptr, "The kernel's name, one of those the constructor takes.", nullptr},
    {"epsilon", get<epsilon_of_model>, nullptr, "epsilon as a float (1.0 where the constructor was given None).",
     nullptr},
    {"n_samples", get<n_samples_of>, nullptr, "The number of samples the model was fitted to.", nullptr},
    {"point_kind", get<point_kind_of>, nullptr,
     "'number' or 'vector': the form of the sample points and of the points predict takes.", nullptr},
    {"value_kind", get<value_kind_of>, nullptr,
     "'number' or 'vector': the form of the sample values and of what predict returns.", nullptr},
    {"points", get<points_of>, nullptr,
     "A new list of the sample points: floats, or lists of floats as long as each point.", nullptr},
    {"values", get<values_of>, nullptr, "A new list of the sample values: floats, or lists of floats.", nullptr},
    {"weights", get<weights_of>, nullptr, "A new list of the fitted weights, one per sample, in the values' form.",
     nullptr},
    {"degree", get<degree_of>, nullptr, "The polynomial term's degree as an int, or None for a model without one.",
     nullptr},
    {"polynomial_coefficients", get<polynomial_coefficients_of>, nullptr,
     "A new list of the polynomial term's coefficients, one per monomial in the values' form, or None for a model "
     "without one.",
     nullptr},
    {"patch_size", get<patch_size_of>, nullptr,
     "The patch_size a model fitted in patches was fitted with (an int), or None for a dense model.", nullptr},
    {"patches", get<patches_of>, nullptr, "The number of patches of a model fitted in patches, or None for a dense model.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace pymorvel::binding
