// Threads that a shutting-down interpreter ends while they are inside the module: told apart, parked, never unwound through it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace pymorvel::binding {

inline bool interpreter_finalizing() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

// False only on a thread that a shutting-down interpreter is ending: CPython
// (3.9 to 3.13) ends a daemon thread from inside the call that would hand it
// the interpreter lock back, and the thread then unwinds without the lock,
// possibly after the interpreter is gone. Whatever it still holds is left to
// the process's exit rather than released unlocked. The finalisation test
// comes first: it is a plain read, and almost always ends the question. After
// that, the thread may touch objects only if it is the one that holds the lock.
// (PyGILState_Check cannot tell: once the interpreter is gone it answers yes
// to every thread.)
inline bool may_touch_objects() noexcept {
    if (!interpreter_finalizing()) return true;
#if PY_VERSION_HEX >= 0x030D0000
    const PyThreadState* holder = PyThreadState_GetUnchecked();
#else
    const PyThreadState* holder = _PyThreadState_UncheckedGet();
#endif
    return holder != nullptr && holder->thread_id == PyThread_get_thread_ident();
}

// Inside a catch (...) handler: true when what was caught is no C++ exception
// but the forced unwind that ends the thread (pthread_exit, as CPython calls
// it). Only catch (...) may take one: naming its type binds a reference to an
// object that does not exist.
bool caught_forced_unwind() noexcept;

// Ends the forced unwind caught at an entry point, which must not unwind into
// the C code that called it: during shutdown the thread is parked for good,
// as CPython 3.14 parks such threads itself; otherwise (a cancelled thread)
// the process ends, as at any frame that cannot be unwound.
[[noreturn]] void stop_forced_unwind_at_entry() noexcept;

// Takes the interpreter lock back after PyEval_SaveThread. Never unwinds: a
// thread that the shutting-down interpreter refuses is parked here.
void restore_thread(PyThreadState* state) noexcept;

}  // namespace pymorvel::binding
