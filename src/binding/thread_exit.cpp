// Parking the threads that a shutting-down interpreter ends inside the module.
#include "binding/thread_exit.hpp"

#include <unistd.h>

#include <exception>

namespace pymorvel::binding {

namespace {

[[noreturn]] void park_forever() noexcept {
    for (;;) pause();
}

}  // namespace

// Both C++ runtimes the module is built with (libstdc++, and LLVM's in the
// wheels) hand every unwind that no C++ throw began to catch (...), and none
// of them to std::current_exception. No other such unwind can reach the
// module's frames: the interpreter's C code lies between them and Python.
bool caught_forced_unwind() noexcept { return !std::current_exception(); }

void stop_forced_unwind_at_entry() noexcept {
    if (interpreter_finalizing()) park_forever();
    std::terminate();
}

void restore_thread(PyThreadState* state) noexcept {
    try {
        PyEval_RestoreThread(state);
    } catch (...) {
        // The interpreter is shutting down and ends this thread instead of
        // handing it the lock; the thread waits for the process to exit, since
        // every frame above expects the lock. Nothing else leaves C code.
        if (!caught_forced_unwind()) std::terminate();
        park_forever();
    }
}

}  // namespace pymorvel::binding
