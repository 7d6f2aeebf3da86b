"""Helpers shared by the Python tests: objects that exercise the conversions, sample data, child interpreters, heap measures."""
import ctypes
import json
import math
import os
import subprocess
import sys
import textwrap
import time

import pymorvel


def error_of(call):
    """The exception that call() raises, whatever its class."""
    try:
        call()
    except BaseException as e:  # noqa: B036
        return e
    raise AssertionError("the call succeeded")


def _is_error(obj):
    return isinstance(obj, BaseException) or (isinstance(obj, type) and issubclass(obj, BaseException))


class Seq:
    """A sequence by __len__ and __getitem__ only, whose length may lie and whose
    items may fail: `length` is what __len__ reports (an int, or an exception to
    raise), `fail_at` the index whose access raises `error`. An exception class
    raises a new instance each time, so that no traceback outlives the call."""

    def __init__(self, items, length=None, fail_at=None, error=None):
        self.items = list(items)
        self.length = len(self.items) if length is None else length
        self.fail_at = fail_at
        self.error = error
        self.iterations = 0

    def __len__(self):
        if _is_error(self.length):
            raise self.length
        return self.length

    def __getitem__(self, index):
        if index == 0:
            self.iterations += 1
        if index == self.fail_at:
            raise self.error
        return self.items[index]  # IndexError past the end ends iteration


class FailingIter(Seq):
    """A sequence whose __iter__ raises."""

    def __iter__(self):
        raise self.error


class Number:
    """A number only through __float__."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Index:
    """A number only through __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Raising:
    """An object whose float conversion raises the given exception (a class: a new instance each time)."""

    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


class Outer:
    class Inner:
        pass


class _NamelessMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("no name for you")
        return super().__getattribute__(name)


class Nameless(metaclass=_NamelessMeta):
    """Instances of a type whose __qualname__ cannot be read."""


def scattered(n, width, seed):
    """n points of `width` coordinates, spread without pattern, the same on every run."""
    return [[math.sin(seed + i * 0.37 + k) * 3.0 for k in range(width)] for i in range(n)]


def panic_type():
    """The PanicException class, reached the only way callers can: through a caught instance."""
    try:
        pymorvel.Rbf([0.0, 1.0, 2.0], [0.0, 1.0])
    except BaseException as e:  # noqa: B036 - PanicException is not an Exception
        return type(e)
    raise AssertionError("a length mismatch did not abort")


def forbid_thread_starts():
    """For a child process: from here on it cannot start a thread. Root is exempt
    from RLIMIT_NPROC, so root is given up after lowering it; where that is not
    allowed, the child prints a skip report and exits."""
    import resource
    resource.setrlimit(resource.RLIMIT_NPROC, (0, 0))
    if os.getuid() == 0:
        try:
            os.setuid(65534)
        except OSError as e:
            print(json.dumps({"skip": f"cannot drop root privileges: {e}"}))
            sys.exit(0)


class _MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")]


_libc = ctypes.CDLL(None)
_libc.mallinfo2.restype = _MallInfo2


# Under a sanitizer the allocator is not the C library's, and mallinfo2 sees nothing.
SANITIZED = bool(os.environ.get("PYMORVEL_SANITIZED"))
# The hardening stage sets PYMORVEL_FULL_TESTS; without it, checks that repeat
# a call many times repeat it fewer times, for the edit-build-test loop.
FULL = bool(os.environ.get("PYMORVEL_FULL_TESTS"))


def heap_in_use():
    """Bytes the C library's allocator has handed out and not had back (mmapped chunks included)."""
    info = _libc.mallinfo2()
    return info.uordblks + info.hblkhd


HERE = os.path.dirname(os.path.abspath(__file__))


def run_child(code, env=None, preexec_fn=None, timeout=300, rss_limit=None):
    """Runs code in a fresh interpreter and returns (returncode, the JSON it
    printed last or None, stderr). With rss_limit (bytes) the child is killed
    as soon as its resident memory passes it: returncode is then "rss"."""
    child_env = dict(os.environ, PYTHONPATH=HERE, **(env or {}))
    proc = subprocess.Popen([sys.executable, "-c", textwrap.dedent(code)], env=child_env, preexec_fn=preexec_fn,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if rss_limit is not None:
        # A watchdog, not a measurement: it keeps a child that fills memory
        # from taking the machine (and other processes on it) down.
        deadline = time.monotonic() + timeout
        while proc.poll() is None:
            if resident_bytes(proc.pid) > rss_limit or time.monotonic() > deadline:
                proc.kill()
                proc.communicate()
                return "rss" if time.monotonic() <= deadline else "timeout", None, ""
            time.sleep(0.02)
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        return "timeout", None, err
    lines = [line for line in out.splitlines() if line.startswith("{")]
    return proc.returncode, json.loads(lines[-1]) if lines else None, err


def resident_bytes(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0
