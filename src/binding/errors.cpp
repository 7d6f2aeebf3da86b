// Pending exceptions, PanicException and the entry guard's translation of failures.
#include "binding/errors.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

namespace pymorvel::binding {

namespace {

constexpr const char* PANIC_DOC =
    "Raised when native code called from Python aborts.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that\n"
    "it usually propagates all the way up the stack and makes the interpreter exit.";

// The text of an exception value, or a stand-in when even str() fails.
std::string text_of(PyObject* value) {
    if (value != nullptr) {
        PyRef text = PyRef::steal(PyObject_Str(value));
        if (text) {
            Py_ssize_t size = 0;
            const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
            if (utf8 != nullptr) return std::string(utf8, static_cast<std::size_t>(size));
        }
        PyErr_Clear();
    }
    return "<exception str() failed>";
}

void set_panic(const std::string& message) {
    PyObject* type = panic_exception_type();
    PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (text) PyErr_SetObject(type, text.get());  // else MemoryError is pending
}

PyObject* panic_class = nullptr;  // made once, under the interpreter lock, kept forever

}  // namespace

void create_panic_exception_type() {
    if (panic_class != nullptr) return;
    panic_class = PyErr_NewExceptionWithDoc("pymorvel.PanicException", PANIC_DOC, PyExc_BaseException, nullptr);
    if (panic_class == nullptr) raise_pending();
}

PyObject* panic_exception_type() noexcept { return panic_class; }

bool pending_is_panic() noexcept {
    return panic_class != nullptr && PyErr_Occurred() != nullptr && PyErr_ExceptionMatches(panic_class);
}

void print_pending_exception() noexcept {
    PendingError pending;
    pending.normalize();
    if (pending.empty()) return;
    // Displayed directly: sys.excepthook is the program's, and may do anything
    // (exit, for one), where all that is wanted here is the traceback.
    PyErr_Display(pending.type(), pending.value(), pending.traceback());
    pending.drop();
}

void raise_pending() {
    if (pending_is_panic()) {
        std::string message;
        {
            PendingError pending;
            pending.normalize();
            message = text_of(pending.value());
        }
        std::fputs(messages::PANIC_RESUMED_BANNER.data(), stderr);
        print_pending_exception();
        panic(std::move(message));
    }
    throw PythonError{};
}

void raise_message(PyObject* exception_class, std::string_view message) {
    PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (text) PyErr_SetObject(exception_class, text.get());
    throw PythonError{};
}

void terminate_at_boundary() noexcept {
    write_panic_report(messages::UNCAUGHT_PANIC, std::source_location::current());
    std::abort();
}

void prepare_thread_for_failures() noexcept {
    thread_local bool prepared = false;
    if (prepared) return;
    prepared = true;
    // A first throw also sets up whatever the unwinder keeps per thread.
    try {
        throw prepared;
    } catch (bool) {
    }
}

PyObject* translate_current_exception() noexcept {
    try {
        try {
            throw;
        } catch (const PythonError&) {
            // Already pending.
        } catch (const Panic& e) {
            set_panic(e.message());
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::length_error&) {
            // An impossible reservation: the same as running out of memory.
            PyErr_NoMemory();
        } catch (const std::exception& e) {
            // Any other C++ failure is an internal fault, reported like an abort.
            write_panic_report(e.what(), std::source_location::current());
            set_panic(e.what());
        } catch (...) {
            set_panic(std::string(messages::PANIC_WITHOUT_MESSAGE));
        }
    } catch (...) {
        // Raising the exception failed in turn: nothing safe is left to do.
        terminate_at_boundary();
    }
    if (PyErr_Occurred() == nullptr) terminate_at_boundary();
    return nullptr;
}

}  // namespace pymorvel::binding
