// Binding arguments to parameters, and the TypeErrors that name them.
#include "binding/arguments.hpp"

#include <string>
#include <vector>

#include "common/messages.hpp"

namespace pymorvel::binding {

namespace {

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

}  // namespace pymorvel::binding
