// Argument binding and the boundary's TypeError texts for arguments of the wrong kind.
#pragma once

#include "binding/errors.hpp"
#include "binding/py_ref.hpp"

#include <cstddef>
#include <span>
#include <string_view>

namespace pymorvel::binding {

// What bind_arguments needs to know about a function's parameters. None is
// positional-only; the first `required` must be given, and the last
// `keyword_only` can only be given by keyword (they are never required).
struct Signature {
    std::string_view class_name;
    std::string_view function_name;
    std::span<const char* const> parameters;
    std::size_t required;
    std::size_t keyword_only = 0;
};

// Keyword arguments as parallel name and value arrays, borrowed for the
// duration of the binding: a vectorcall keyword tuple or a dictionary's items.
struct KeywordArguments {
    std::span<PyObject* const> names;
    std::span<PyObject* const> values;
};

// Binds the arguments to the parameters; `bound` has one slot per parameter and
// receives a strong reference for each given one (absent ones stay null; an
// explicit None is a value). Throws PythonError with the binding's TypeError.
void bind_arguments(const Signature& signature, std::span<PyObject* const> positional,
                    const KeywordArguments& keywords, std::span<PyRef> bound);
// The same for a tuple of positional arguments and a keyword dictionary (or null).
void bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, std::span<PyRef> bound);
// The same for vectorcall arguments with a keyword-name tuple (or null).
void bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyRef> bound);

// Raises TypeError "'<qualified type name of obj>' object cannot be converted to '<target>'".
[[noreturn]] void raise_wrong_kind(PyObject* obj, const char* target);

// Called with a pending exception raised while converting the argument
// `parameter`: an exact TypeError is replaced by "argument '<parameter>': <text>"
// carrying the original's cause; anything else stays pending. Always throws.
[[noreturn]] void raise_argument_error(const char* parameter);

// Runs convert(); a failure is re-raised as an argument error for `parameter`.
template <class Convert>
auto as_argument(const char* parameter, Convert&& convert) -> decltype(convert()) {
    try {
        return convert();
    } catch (const PythonError&) {
        raise_argument_error(parameter);
    }
}

// True when the pending exception must reach the caller even where conversion
// failures are otherwise discarded: anything that is not an ordinary Exception
// (KeyboardInterrupt, SystemExit, PanicException) and MemoryError.
bool pending_must_propagate() noexcept;

}  // namespace pymorvel::binding
