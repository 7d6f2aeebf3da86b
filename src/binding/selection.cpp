// pymorvel.loo_residuals and pymorvel.select_epsilon: the constructor's arguments, its fit with the lock released, and the result records.
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/fit_arguments.hpp"
#include "binding/interpreter_lock.hpp"
#include "binding/lists.hpp"
#include "binding/rbf_object.hpp"
#include "binding/selection.hpp"
#include "rbf/epsilon_selection.hpp"

namespace pymorvel::binding {

namespace {

constexpr std::array<const char*, 6> LOO_PARAMETERS = {"x", "y", "kernel_name", "epsilon", "smoothing", "degree"};
constexpr Signature LOO_SIGNATURE = {"pymorvel", "loo_residuals", LOO_PARAMETERS, 2, 2};
constexpr std::array<const char*, 6> SELECT_PARAMETERS = {"x", "y", "kernel_name", "smoothing", "degree", "bounds"};
constexpr Signature SELECT_SIGNATURE = {"pymorvel", "select_epsilon", SELECT_PARAMETERS, 2, 3};

constexpr const char* NO_KERNEL_NAMES = "kernel_name must name at least one kernel";
constexpr const char* BAD_BOUNDS = "bounds must be two finite numbers low, high with 0 < low <= high";


template <class T>
T value_or_raise(Outcome<T> outcome) {
    if (auto* failure = std::get_if<Failure>(&outcome)) raise_message(PyExc_ValueError, failure->message);
    return std::get<T>(std::move(outcome));
}

Kernel kernel_of(const std::string& name) {
    const std::optional<Kernel> kernel = lookup_kernel(name);
    if (!kernel) raise_message(PyExc_ValueError, messages::UNSUPPORTED_KERNEL);
    return *kernel;
}

PyObject* loo_residuals(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyRef, LOO_PARAMETERS.size()> bound;
    bind_arguments(LOO_SIGNATURE, args, nargs, kwnames, bound);
    const std::string name = kernel_name_text(bound[2].get());
    const double epsilon = epsilon_value(bound[3].get());
    FitOptions options{smoothing_value(bound[4].get()), degree_value(bound[5].get())};
    const Kernel kernel = kernel_of(name);
    options.degree = kernel_degree_value(kernel, options.degree);
    return std::visit(
               [&](auto&& samples) {
                   const std::size_t points = samples.x.size();
                   auto loo = value_or_raise(run_released(points, [&](const Execution& execution) {
                       return leave_one_out(std::move(samples.x), std::move(samples.y), kernel, epsilon, options,
                                            execution);
                   }));
                   return to_list(std::span(std::as_const(loo.residuals)));
               },
               convert_samples(bound[0].get(), bound[1].get()))
        .release();
}

// One name, None (the constructor's default), or a sequence of names (not text).
std::vector<Kernel> kernels_value(PyObject* kernel_name) {
    if (kernel_name == nullptr || kernel_name == Py_None || PyUnicode_Check(kernel_name) ||
        !PySequence_Check(kernel_name))
        return {kernel_of(kernel_name_text(kernel_name))};
    PyRef items = PyRef::steal(PySequence_Fast(kernel_name, "kernel_name"));
    if (!items) raise_pending();
    std::vector<Kernel> kernels;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i)
        kernels.push_back(kernel_of(kernel_name_text(PySequence_Fast_GET_ITEM(items.get(), i))));
    if (kernels.empty()) raise_message(PyExc_ValueError, NO_KERNEL_NAMES);
    return kernels;
}

std::optional<std::pair<double, double>> bounds_value(PyObject* bounds) {
    if (bounds == nullptr || bounds == Py_None) return std::nullopt;
    const std::vector<double> pair = as_argument("bounds", [&] { return extract_number_vector(bounds); });
    if (pair.size() != 2 || !std::isfinite(pair[0]) || !std::isfinite(pair[1]) || !(pair[0] > 0.0) ||
        !(pair[0] <= pair[1]))
        raise_message(PyExc_ValueError, BAD_BOUNDS);
    return std::pair{pair[0], pair[1]};
}

// The result records: named, read-only, and pickled by name as tuples are.
PyStructSequence_Field EVALUATION_FIELDS[] = {
    {"kernel_name", "the kernel fitted"},
    {"epsilon", "the shape parameter fitted"},
    {"score", "the mean absolute leave-one-out residual (inf for a failed fit)"},
    {"condition", "an estimate of the solved system's 1-norm condition number (inf for a failed fit)"},
    {nullptr, nullptr}};
PyStructSequence_Desc EVALUATION_DESC = {"pymorvel.Evaluation", "One fit of an epsilon search.",
                                         EVALUATION_FIELDS, 4};
PyStructSequence_Field SELECTION_FIELDS[] = {
    {"kernel_name", "the kernel chosen"},
    {"epsilon", "the epsilon chosen (1.0 for a kernel that ignores it)"},
    {"score", "the mean absolute leave-one-out residual at the choice"},
    {"model", "the Rbf fitted at the choice"},
    {"curve", "every evaluation in the order made, as Evaluation records"},
    {"evaluations", "how many fits the search made"},
    {"epsilon_searched", "False when the chosen kernel ignores epsilon and was fitted once"},
    {nullptr, nullptr}};
PyStructSequence_Desc SELECTION_DESC = {"pymorvel.EpsilonSelection",
                                        "The result of select_epsilon: the choice, its model and the search's curve.",
                                        SELECTION_FIELDS, 7};

PyTypeObject* evaluation_type = nullptr;
PyTypeObject* selection_type = nullptr;

PyRef new_float(double v) {
    PyRef f = PyRef::steal(PyFloat_FromDouble(v));
    if (!f) raise_pending();
    return f;
}

PyRef new_text(Kernel kernel) {
    const std::string_view name = kernel_name(kernel);
    PyRef t = PyRef::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    if (!t) raise_pending();
    return t;
}

PyRef new_record(PyTypeObject* type, std::initializer_list<PyRef> items) {
    PyRef record = PyRef::steal(PyStructSequence_New(type));
    if (!record) raise_pending();
    Py_ssize_t i = 0;
    for (const PyRef& item : items) PyStructSequence_SetItem(record.get(), i++, PyRef::borrow(item.get()).release());
    return record;
}

template <class X, class Y>
PyRef selection_record(EpsilonSelection<X, Y> selection) {
    PyRef curve = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(selection.curve.size())));
    if (!curve) raise_pending();
    for (std::size_t i = 0; i < selection.curve.size(); ++i) {
        const EpsilonEvaluation& e = selection.curve[i];
        PyTuple_SET_ITEM(curve.get(), static_cast<Py_ssize_t>(i),
                         new_record(evaluation_type, {new_text(e.kernel), new_float(e.epsilon), new_float(e.score),
                                                      new_float(e.condition)})
                             .release());
    }
    PyRef evaluations = PyRef::steal(PyLong_FromSize_t(selection.curve.size()));
    if (!evaluations) raise_pending();
    PyRef model = new_instance(rbf_type(), AnyModel(std::in_place_type<RbfModel<X, Y>>, std::move(*selection.model)));
    return new_record(selection_type,
                      {new_text(selection.kernel), new_float(selection.epsilon), new_float(selection.score),
                       std::move(model), std::move(curve), std::move(evaluations),
                       PyRef::borrow(selection.epsilon_searched ? Py_True : Py_False)});
}

PyObject* select(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyRef, SELECT_PARAMETERS.size()> bound;
    bind_arguments(SELECT_SIGNATURE, args, nargs, kwnames, bound);
    const std::vector<Kernel> kernels = kernels_value(bound[2].get());
    const FitOptions options{smoothing_value(bound[3].get()), degree_value(bound[4].get())};
    // Refused as the constructor refuses it; the search gives each kernel its own default.
    for (Kernel kernel : kernels) kernel_degree_value(kernel, options.degree);
    const SelectionLimits limits{bounds_value(bound[5].get())};
    return std::visit(
               [&](auto&& samples) {
                   // A search is many fits: worth watching for signals sooner than one fit.
                   const std::size_t points = samples.x.size() * limits.max_evaluations;
                   return selection_record(value_or_raise(run_released(points, [&](const Execution& execution) {
                       return select_epsilon(samples.x, samples.y, kernels, options, limits, execution);
                   })));
               },
               convert_samples(bound[0].get(), bound[1].get()))
        .release();
}

}  // namespace

PyObject* module_loo_residuals(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] { return loo_residuals(args, nargs, kwnames); });
}

PyObject* module_select_epsilon(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return entry_guard([&] { return select(args, nargs, kwnames); });
}

void add_selection_types(PyObject* module) {
    for (auto [type, desc] : {std::pair{&evaluation_type, &EVALUATION_DESC}, std::pair{&selection_type, &SELECTION_DESC}}) {
        if (*type == nullptr) *type = PyStructSequence_NewType(desc);
        if (*type == nullptr) raise_pending();
        const char* name = desc->name + sizeof("pymorvel.") - 1;
        if (PyObject_SetAttrString(module, name, reinterpret_cast<PyObject*>(*type)) < 0) raise_pending();
    }
}

}  // namespace pymorvel::binding
