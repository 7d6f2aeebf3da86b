"""Fuzz harness for pymorvel: byte strings become arbitrary Rbf/predict/gradient/repr calls, checked against a model of the allowed outcomes.

Usage:
  rbf_fuzz.py replay PATH...                 run every input file (or directory of them)
  rbf_fuzz.py random --runs N [--seed S]     a seeded campaign without atheris
  rbf_fuzz.py random --seconds T             the same, bounded by time instead
  rbf_fuzz.py atheris [--work DIR] -- ARGS   coverage-guided, ARGS go to libFuzzer
  rbf_fuzz.py show PATH                      print the calls an input decodes to
  rbf_fuzz.py select --out DIR [--keep DIR] PATH...
                                             keep a few inputs covering every outcome kind

The decoder is our own, not atheris's data provider, so that the corpus means
the same thing with or without atheris installed, on every Python version.
"""
import argparse
import ctypes
import decimal
import faulthandler
import hashlib
import math
import operator
import os
import pickle
import random
import re
import struct
import sys
import time
import warnings
from array import array
from fractions import Fraction
from pathlib import Path

try:
    import numpy as np
except ImportError:  # every NumPy choice then decodes to a plain list
    np = None

import mpmath
import pymorvel
from pymorvel import Rbf

RBF_TYPE = Rbf  # what instances must be, even where a test wraps the constructor


# --------------------------------------------------------------------------
# Decoding bytes into choices. Past the end every draw is 0, so any prefix of
# an input is itself a valid input (libFuzzer's minimiser relies on that).

class Draw:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def byte(self):
        if self.pos >= len(self.data):
            return 0
        b = self.data[self.pos]
        self.pos += 1
        return b

    def below(self, n):
        """Uniform-ish in [0, n)."""
        if n <= 1:
            return 0
        value = self.byte()
        if n > 256:
            value = value << 8 | self.byte()
        return value % n

    def chance(self, per256):
        """True with probability per256/256, and never once the input is used
        up: every chance() guards the unusual branch."""
        return self.byte() >= 256 - per256

    def pick(self, options):
        return options[self.below(len(options))]

    def raw_double(self):
        """Any bit pattern at all: subnormals, NaN payloads, huge exponents."""
        return ctypes.c_double.from_buffer_copy(bytes(self.byte() for _ in range(8))).value


# --------------------------------------------------------------------------
# User-defined objects whose protocols lie or raise. They are stateless: the
# oracle converts them once itself and the module converts them again (up to
# four times in the shape trials), and both must see the same behaviour.

class FuzzError(Exception):
    """An ordinary exception of user code: the shape trials discard it."""


class FuzzTypeError(TypeError):
    """A TypeError subclass: never rewrapped as an argument error."""


class FuzzBaseError(BaseException):
    """Not an Exception: like KeyboardInterrupt it must reach the caller."""


def _panic_class():
    try:
        Rbf([0.0, 1.0, 2.0], [0.0, 1.0])
    except BaseException as e:  # noqa: B036 - PanicException is not an Exception
        return type(e)
    raise AssertionError("a length mismatch did not abort")


PanicException = _panic_class()

USER_TEXT = "fuzz!"  # marks every message that user code makes up


class Thrower:
    def __init__(self, cls, text, chained):
        self.cls, self.text, self.chained = cls, text, chained

    def throw(self):
        # A fresh instance each time, and never bound to a local: a stored
        # instance would collect tracebacks, and a local would make a cycle
        # through this frame; either keeps the caller's objects alive.
        if self.chained:
            raise self.cls(self.text) from FuzzError(USER_TEXT + " cause")
        raise self.cls(self.text)

    def __repr__(self):
        return f"{self.cls.__name__}({self.text!r}{', chained' if self.chained else ''})"


class FloatOf:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value

    def __repr__(self):
        return f"FloatOf({self.value!r})"


class FloatThrows:
    def __init__(self, thrower):
        self.thrower = thrower

    def __float__(self):
        self.thrower.throw()

    def __repr__(self):
        return f"FloatThrows({self.thrower!r})"


class IndexOf:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value

    def __repr__(self):
        return f"IndexOf({self.value!r})"


class IndexThrows:
    def __init__(self, thrower):
        self.thrower = thrower

    def __index__(self):
        self.thrower.throw()

    def __repr__(self):
        return f"IndexThrows({self.thrower!r})"


class FloatSub(float):
    pass


class StrSub(str):
    pass


class TupleSub(tuple):
    pass


class LyingList(list):
    """A real list whose __len__ and __iter__ tell their own stories."""

    def __new__(cls, items, length, iterated):
        return super().__new__(cls)

    def __init__(self, items, length, iterated):
        super().__init__(items)
        self.length, self.iterated = length, iterated

    def __len__(self):
        return self.length

    def __iter__(self):
        return iter(self.iterated)

    def __repr__(self):
        return f"LyingList({list.__repr__(self)}, len={self.length!r}, iter={self.iterated!r})"


class ItemSeq:
    """A sequence by __len__ and __getitem__: `length` is what __len__ returns
    (anything, or a Thrower), item `fail_at` raises instead of being returned."""

    def __init__(self, items, length, fail_at=None, thrower=None):
        self.items, self.length, self.fail_at, self.thrower = items, length, fail_at, thrower

    def __len__(self):
        if isinstance(self.length, Thrower):
            self.length.throw()
        return self.length

    def __getitem__(self, index):
        if index == self.fail_at:
            self.thrower.throw()
        return self.items[index]  # IndexError past the end ends iteration

    def __repr__(self):
        tail = f", fail_at={self.fail_at}: {self.thrower!r}" if self.thrower else ""
        return f"ItemSeq({self.items!r}, len={self.length!r}{tail})"


class IterSeq(ItemSeq):
    """A sequence whose __iter__ disagrees with __getitem__: it yields other
    items, raises after some of them, or returns something that is no iterator."""

    def __init__(self, items, length, mode, iterated, thrower):
        super().__init__(items, length)
        self.mode, self.iterated, self.iter_thrower = mode, iterated, thrower

    def __iter__(self):
        if self.mode == "throw":
            self.iter_thrower.throw()
        if self.mode == "non-iterator":
            return self.iterated
        return self._generate()

    def _generate(self):
        yield from self.iterated
        if self.mode == "throw-late":
            self.iter_thrower.throw()

    def __repr__(self):
        return f"IterSeq({self.items!r}, len={self.length!r}, {self.mode}, {self.iterated!r}, {self.iter_thrower!r})"


class IterOnly:
    """Iterable with a length but no __getitem__: not a sequence."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __iter__(self):
        return iter(self.items)

    def __repr__(self):
        return f"IterOnly({self.items!r})"


class _NamelessMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise FuzzError(USER_TEXT + " no name")
        return super().__getattribute__(name)


class Nameless(metaclass=_NamelessMeta):
    """Its type's __qualname__ cannot be read."""

    def __repr__(self):
        return "Nameless()"


# --------------------------------------------------------------------------
# Building arguments from a Draw.

KERNELS = ("gaussian", "multiquadric", "inverse_multiquadratic", "thin_plate_spline", "linear", "cubic")
NEAR_MISSES = ("Gaussian", "gaussian ", " gaussian", "gaussian\x00", "multiquadratic", "inverse_multiquadric",
               "thin-plate-spline", "thin_plate_splin", "linea", "cubicc", "CUBIC", "", "gaußian", "lineaR",
               "inverse_multiquadratic\n", "\ud800", "gaussian\ud800")
SPECIAL_FLOATS = (0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 1e-300, 5e-324, 1.7976931348623157e308, 1e22, -3.25,
                  math.nan, -math.nan, math.inf, -math.inf, 2.220446049250313e-16, 1e-7, 1e21, 0.1)
SPECIAL_INTS = (0, 1, -1, 2, 7, 2**53 + 1, -(2**63), 2**64, 10**308, 2**1024, -(2**1024), 10**400, 255)
THROWN = (FuzzError, FuzzTypeError, TypeError, ValueError, OverflowError, IndexError, StopIteration,
          KeyboardInterrupt, SystemExit, MemoryError, FuzzBaseError, PanicException, GeneratorExit)
TEXTS = (USER_TEXT, USER_TEXT + " ✓ ünïcode", USER_TEXT + " \n two lines", USER_TEXT + " 12")
EXTRA_KEYWORDS = ("z", "X", "kernel", "eps", "x_new", "épsilon", "y ")
NUMPY_DTYPES = ("float64", "float32", "float16", "int64", "uint8", "int8", "bool", "complex128", "object", "<U3")


DAMAGES = ("truncate", "extend", "envelope", "version", "kernel", "epsilon", "container", "drop", "add", "item",
           "inner", "weights", "swap", "flip")
# Aimed at format version 2: its degree, its coefficients (through an older
# damage), points that all coincide, and a polynomial term given or taken away.
POLYNOMIAL_DAMAGES = ("degree", "coefficients", "collapse", "attach", "detach")


class Builder:
    def __init__(self, draw):
        self.d = draw

    def thrower(self):
        d = self.d
        return Thrower(d.pick(THROWN), d.pick(TEXTS), d.chance(40))

    def float_value(self):
        d = self.d
        return d.pick(SPECIAL_FLOATS) if d.chance(160) else (d.raw_double() if d.chance(100) else d.below(2001) / 100 - 10)

    def int_value(self):
        d = self.d
        return d.pick(SPECIAL_INTS) if d.chance(100) else d.below(41) - 20

    def number(self):
        """Mostly convertible, sometimes something float() of the module refuses."""
        d = self.d
        k = d.below(100)
        if k < 45:
            return self.float_value()
        if k < 60:
            return self.int_value()
        if k < 63:
            return d.chance(128)
        if k < 70 and np is not None:
            dtype = d.pick(("float64", "float32", "float16", "int64", "uint8", "bool_"))
            try:
                return getattr(np, dtype)(self.float_value() if "float" in dtype else d.below(200))
            except (OverflowError, ValueError):
                return np.float64(0.5)
        if k < 72:
            return FloatSub(self.float_value())
        if k < 74:
            return Fraction(d.below(100) - 50, d.below(9) + 1)
        if k < 75:
            return decimal.Decimal(d.pick(("1.5", "NaN", "-Infinity", "1e400", "-0")))
        if k < 79:
            return FloatOf(d.pick((self.float_value(), d.below(5), "1.5", FloatSub(2.5), None)))
        if k < 82:
            return FloatThrows(self.thrower())
        if k < 85:
            return IndexOf(d.pick((self.int_value(), 1.5, "3", True)))
        if k < 88:
            return IndexThrows(self.thrower())
        if k < 90:
            return d.pick((None, "1.0", b"1", complex(1, 2), [], (), object(), Ellipsis, Nameless()))
        if k < 92:
            return self.text()
        return self.float_value()

    def text(self):
        d = self.d
        return d.pick(("", "a", "1.5", "abc", StrSub("xy"), "\ud800", "𝔵"))

    def sequence(self, items):
        """Some sequence (or pretend sequence) holding `items`."""
        d = self.d
        k = d.below(100)
        if k < 40:
            return list(items)
        if k < 52:
            return tuple(items)
        if k < 56:
            return TupleSub(items)
        if k < 72 and np is not None:
            return self.numpy_of(items)
        if k < 77:
            length = d.pick((len(items), 0, len(items) + 3, 2**62, -1, 10**30, 2.5, "3", self.thrower()))
            fail_at = d.below(len(items) + 1) if d.chance(60) else None
            return ItemSeq(list(items), length, fail_at, self.thrower() if fail_at is not None else None)
        if k < 81:
            mode = d.pick(("yield", "throw", "throw-late", "non-iterator"))
            other = list(items[: d.below(len(items) + 1)])
            return IterSeq(list(items), d.pick((len(items), 2**40, 0)), mode,
                           other if mode != "non-iterator" else d.pick((5, None, other)), self.thrower())
        if k < 84:
            return LyingList(items, d.pick((0, len(items) + 7, 2**50)), list(items[: d.below(len(items) + 1)]))
        if k < 86:
            return IterOnly(list(items))
        if k < 88:
            return iter(list(items))
        if k < 90:
            return set(i for i in items if _hashable(i))
        if k < 91:
            return {i: i for i in range(len(items))}
        if k < 92:
            return (i for i in items)
        if k < 93:
            return memoryview(bytes(d.below(256) for _ in items))
        if k < 95:
            return array("d", [self.float_value() for _ in items])
        if k < 97:
            return bytes(d.below(256) for _ in items)
        if k < 98:
            return bytearray(d.below(256) for _ in items)
        start, step = d.pick((0, -5, 2**70, 10**400)), d.pick((1, 2, -1))
        return range(start, start + len(items) * step, step)

    def numpy_of(self, items):
        d = self.d
        dtype = d.pick(NUMPY_DTYPES)
        try:
            if dtype == "object":
                arr = np.empty(len(items), dtype=object)
                for i, item in enumerate(items):
                    arr[i] = item
                return arr
            if dtype == "<U3":
                return np.array([d.pick(("1", "ab", "")) for _ in items], dtype=dtype)
            if all(type(i) in (float, int) for i in items):
                with np.errstate(all="ignore"):
                    return np.array([float(i) for i in items], dtype=float).astype(dtype)
        except (TypeError, ValueError, OverflowError):
            pass
        # Anything else would run user conversions while decoding.
        arr = np.empty(len(items), dtype=object)
        for i, item in enumerate(items):
            arr[i] = item
        return arr

    def numpy_shaped(self):
        d = self.d
        dims = tuple(d.below(4) for _ in range(d.below(4)))
        dtype = d.pick(("float64", "float32", "int64", "bool", "object"))
        size = math.prod(dims) if dims else 1
        flat = [self.float_value() for _ in range(min(size, 64))]
        with np.errstate(all="ignore"):
            return np.array(flat + [0.0] * (size - len(flat)), dtype=float).astype(dtype).reshape(dims)

    def points(self, n, vector):
        d = self.d
        if not vector:
            return self.sequence([self.number() if d.chance(20) else self.float_value() for _ in range(n)])
        width = d.below(4)
        rows = []
        for _ in range(n):
            w = d.below(5) if d.chance(20) else width
            row = [self.number() if d.chance(15) else self.float_value() for _ in range(w)]
            rows.append(self.junk(1) if d.chance(6) else self.sequence(row))
        return self.sequence(rows)

    def junk(self, depth):
        """Anything at all."""
        d = self.d
        k = d.below(10)
        if k < 4 or depth > 2:
            return self.number()
        if k < 5:
            return self.text()
        if k < 6 and np is not None:
            return self.numpy_shaped()
        return self.sequence([self.junk(depth + 1) for _ in range(d.below(4))])

    def size(self):
        d = self.d
        k = d.below(100)
        if k < 3:
            return 102 + d.below(30)  # large enough for the worker pool
        return d.below(9)

    def kernel_name(self):
        d = self.d
        k = d.below(100)
        if k < 70:
            return d.pick(KERNELS)
        if k < 75:
            return StrSub(d.pick(KERNELS))
        if k < 90:
            return d.pick(NEAR_MISSES)
        return d.pick((None, 3, b"gaussian", ["gaussian"], Nameless(), self.number()))

    def epsilon(self):
        d = self.d
        return d.pick((0.0, -2.0, 1e-7, math.nan)) if d.chance(56) else self.number()

    # Pickled states: made here, or taken from the fitted model, then damaged.

    def finite_value(self):
        d = self.d
        return d.pick((0.0, -0.0, 1e-300, 5e-324, -1.7976931348623157e308, 0.1)) if d.chance(30) \
            else d.below(2001) / 100 - 10

    def state_item(self, vector, value=None):
        value = value or self.float_value
        return [value() for _ in range(self.d.below(4))] if vector else value()

    def made_state(self):
        """(1, kernel, epsilon, points, values, weights) of numbers or vectors, mostly well formed."""
        d = self.d
        n = 1 + d.below(5) if not d.chance(10) else 0
        vector_points, vector_values = d.chance(128), d.chance(128)
        kernel, epsilon = d.pick(KERNELS), self.float_value()
        points = [self.state_item(vector_points) for _ in range(n)]
        values = [self.state_item(vector_values) for _ in range(n)]
        weights = [self.state_item(vector_values, self.finite_value) for _ in range(n)]
        return (1, kernel, epsilon, points, values, weights)

    def made_polynomial_state(self):
        """(2, kernel, epsilon, points, values, weights, degree, coefficients): points of one length,
        mostly at least as many as monomials, and mostly one coefficient per monomial."""
        d = self.d
        vector_points, vector_values = d.chance(128), d.chance(128)
        dimension, degree = (d.below(4) if vector_points else 1), d.below(3)
        monomials = math.comb(dimension + degree, degree)
        n = max(1, monomials + (d.below(4) if not d.chance(20) else -1 - d.below(2)))
        # Now and then any float at all: NaN and infinities among them.
        mostly_finite = lambda: self.float_value() if d.chance(8) else self.finite_value()  # noqa: E731
        points = [[mostly_finite() for _ in range(dimension)] if vector_points else mostly_finite()
                  for _ in range(n)]
        values = [self.state_item(vector_values) for _ in range(n)]
        weights = [self.state_item(vector_values, self.finite_value) for _ in range(n)]
        count = monomials + (d.pick((-1, 1)) if d.chance(12) else 0)
        coefficients = [self.state_item(vector_values, mostly_finite) for _ in range(count)]
        return (2, d.pick(KERNELS), self.float_value(), points, values, weights, degree, coefficients)

    def polynomial_damage(self):
        """One change aimed at format version 2, as (name, argument) for apply_damage."""
        d = self.d
        kind = d.pick(POLYNOMIAL_DAMAGES)
        if kind == "degree":
            return kind, (d.pick((True, 1.0, "1", None, IndexOf(1), -1, 2**63, 2**63 - 1, -(2**70), 2**64))
                          if d.chance(100) else d.below(5))
        if kind == "attach":
            vector = d.chance(128)
            return kind, (d.below(4), [self.state_item(vector, self.finite_value) for _ in range(d.below(11))])
        if kind == "coefficients":
            # An older damage of a list, moved onto the coefficients.
            older, arg = self.damage()
            if older == "flip":
                return older, 7
            if older in ("container", "drop", "swap", "add", "item", "inner"):
                return older, (7,) + arg[1:]
            return older, arg
        return kind, None  # "collapse", "detach"

    def state_junk(self):
        """Something that is not what a state holds where it is put."""
        d = self.d
        # Containers are made afresh (a tuple literal would be a constant
        # shared by every call, whose reference count other inputs change).
        return d.pick((0, 1, True, None, "1.0", b"", 1j, [], [1.0], tuple([0.5]), [[1.0]], {1.0}, Nameless(),
                       FloatSub(0.5), IndexOf(1), FloatOf(1.0), math.nan, math.inf, -math.inf,
                       LyingList([1.0], 1, [1.0]), TupleSub((1.0,)), 2**64)
                      + ((np.float64(0.5), np.array([1.0])) if np is not None else ()))

    def damage(self):
        """One change to a state, as (name, argument) for apply_damage."""
        d = self.d
        kind = d.pick(DAMAGES)
        field = 3 + d.below(3)
        if kind == "truncate":
            return kind, d.below(6)
        if kind == "version":
            return kind, d.pick(("1", 1.0, True, 2, 0, -1, 2**64, None, IndexOf(1)))
        if kind == "kernel":
            return kind, d.pick((3, b"gaussian", None, StrSub(d.pick(KERNELS)), d.pick(NEAR_MISSES), d.pick(KERNELS)))
        if kind == "epsilon":
            return kind, d.pick((1, "0.5", None, FloatSub(self.float_value()), Fraction(1, 2), self.float_value(),
                                 FloatOf(0.5)) + ((np.float64(self.float_value()),) if np is not None else ()))
        if kind == "container":
            return kind, (field, d.pick(("tuple", "set", "text", "none", "iterator", "lying", "itemseq", "empty",
                                         "numpy", "tuple-subclass")))
        if kind in ("drop", "swap"):
            return kind, (field, d.below(6), d.below(6))
        if kind in ("add", "item"):
            return kind, (field, d.below(6), self.state_junk() if d.chance(128) else self.state_item(d.chance(128)))
        if kind == "inner":
            return kind, (field, d.below(6), d.below(4), d.pick(("junk", "cut", "grow", "tuple")), self.state_junk()
                          if d.chance(100) else self.float_value())
        if kind == "weights":
            return kind, [self.float_value() if d.chance(20) else self.finite_value() for _ in range(8)]
        if kind == "flip":
            return kind, field
        return kind, self.state_junk()  # "extend", "envelope"

    def smoothing(self, n):
        """A number, a sequence of about one amount per sample, or junk."""
        d = self.d
        k = d.below(10)
        if k < 3:
            return d.pick((0.0, -0.0, 0, 1e-3, 0.5, -1.0, math.nan, math.inf, -math.inf))
        if k < 5:
            return self.number()
        if k < 9:
            count = max(0, n + d.pick((0, 0, 0, 0, 1, -1)))
            return self.sequence([d.pick((0.0, 1e-3, 0.1, -0.5, math.nan, math.inf)) if d.chance(200)
                                  else self.number() for _ in range(count)])
        return self.junk(0)

    def degree(self):
        d = self.d
        k = d.below(10)
        if k < 6:
            return d.below(4)
        if k < 8:
            return d.pick((None, -1, 2**70, -(2**70), True, 50, 2**62))
        return self.number()


ABSENT = object()  # a parameter left out of the call


class Call:
    """One call: its positional arguments and its keywords, in order."""

    def __init__(self, positional, keywords):
        self.positional, self.keywords = positional, keywords

    def __repr__(self):
        parts = [_short(a) for a in self.positional] + [f"{k}={_short(v)}" for k, v in self.keywords]
        return "(" + ", ".join(parts) + ")"


def _short(obj):
    try:
        text = repr(obj)
    except BaseException as e:  # noqa: B036 - describing must never fail
        text = f"<repr failed: {type(e).__name__}>"
    return text if len(text) <= 300 else text[:300] + "..."


def _hashable(obj):
    try:
        hash(obj)
        return True
    except BaseException:  # noqa: B036
        return False


def make_call(d, names, values):
    """Binds `values` (one per name, ABSENT allowed) to a call: a positional
    prefix, keywords for the rest, and now and then a mistake."""
    last_given = max((i for i, v in enumerate(values) if v is not ABSENT), default=-1)
    npos = d.below(last_given + 2)
    positional = [v if v is not ABSENT else None for v in values[:npos]]
    keywords = [(name, v) for name, v in zip(names[npos:], values[npos:]) if v is not ABSENT]
    if d.chance(12):
        positional.append(1.0)  # one too many, or where a keyword follows
    if d.chance(12) and keywords:
        keywords.pop(d.below(len(keywords)))  # a missing argument
    if d.chance(10):
        keywords.insert(d.below(len(keywords) + 1), (d.pick(EXTRA_KEYWORDS), 0.5))
    if d.chance(10) and npos > 0:
        keywords.append((names[d.below(npos)], 0.5))  # given twice
    return Call(positional, list(dict(keywords).items()))


class Plan:
    """The constructor call, then (method name, call) for each evaluation, then a
    restore, and a second restore aimed at format version 2 (or None)."""

    def __init__(self, construct, evaluations, restore, polynomial_restore=None):
        self.construct, self.evaluations, self.restore = construct, evaluations, restore
        self.polynomial_restore = polynomial_restore

    def restores(self):
        return [self.restore] + ([self.polynomial_restore] if self.polynomial_restore else [])

    def __repr__(self):
        return "Rbf" + repr(self.construct) + "".join(f"\n  .{m}{c!r}" for m, c in self.evaluations) + \
            "".join(f"\n{r!r}" for r in self.restores())


class RestorePlan:
    """Restores a state: the fitted model's own (if there is one and `own`), or
    `made`; after `damages`; then predicts at `queries`."""

    def __init__(self, own, made, damages, queries):
        self.own, self.made, self.damages, self.queries = own, made, damages, queries

    def __repr__(self):
        base = "the fitted model's state, else " if self.own else ""
        return (f"_restore({base}{_short(self.made)}" + "".join(f"\n  damaged: {k} {_short(a)}" for k, a in self.damages)
                + f")\n  .predict({_short(self.queries)})")


def decode(data):
    d = Draw(data)
    b = Builder(d)
    n = b.size()
    vector_points, vector_values = d.chance(128), d.chance(128)
    x = b.junk(0) if d.chance(20) else b.points(n, vector_points)
    m = b.size() if d.chance(36) else n
    y = b.junk(0) if d.chance(20) else b.points(m, vector_values)
    kernel = ABSENT if d.chance(56) else b.kernel_name()
    epsilon = ABSENT if d.chance(86) else b.epsilon()
    construct = make_call(d, ("x", "y", "kernel_name", "epsilon"), [x, y, kernel, epsilon])

    def evaluation():
        q = b.size() if d.chance(56) else b.size() % 6
        vector = (not vector_points) if d.chance(36) else vector_points
        x_new = b.junk(0) if d.chance(26) else b.points(q, vector)
        return make_call(d, ("x_new",), [x_new])

    evaluations = [("predict", evaluation()) for _ in range(1 + d.below(3))]
    # Drawn last, so that inputs made before these existed decode as they did
    # (past the end every chance is refused and every count is 0).
    if d.chance(64):
        construct.keywords.append(("smoothing", b.smoothing(n)))
    if d.chance(64):
        construct.keywords.append(("degree", b.degree()))
    evaluations += [("gradient", evaluation()) for _ in range(d.below(3))]
    # A state to restore: the fitted model's own, or one made here, damaged.
    own = not d.chance(64)
    made = b.made_state()
    damages = [b.damage() for _ in range(d.below(4))]
    # Each query as a number and as a vector; the restored model's kind picks.
    queries = [(b.float_value(), [b.float_value() for _ in range(d.below(4))]) for _ in range(1 + d.below(3))]
    # A second restore, of format version 2 or damaged towards it. It is an
    # addition, not a change: the calls above stay as they were, so older
    # inputs keep their meaning even where bytes are left over for this.
    polynomial_restore = None
    if d.chance(160):
        own_state = not d.chance(128)
        polynomial_state = b.made_polynomial_state()
        polynomial_damages = [b.polynomial_damage() if d.chance(160) else b.damage() for _ in range(d.below(4))]
        polynomial_restore = RestorePlan(own_state, polynomial_state, polynomial_damages, queries)
    return Plan(construct, evaluations, RestorePlan(own, made, damages, queries), polynomial_restore)


# --------------------------------------------------------------------------
# The oracle. Conversions are modelled with the interpreter's own C-API
# calls (the module's documented behaviour is defined in their terms) on the
# same objects; fitting is only bounded (success or one of the solver's
# messages), since its numbers are not ours to recompute here.

_api = ctypes.pythonapi
_api.PyFloat_AsDouble.argtypes = [ctypes.py_object]
_api.PyFloat_AsDouble.restype = ctypes.c_double
_api.PySequence_Check.argtypes = [ctypes.py_object]
_api.PySequence_Check.restype = ctypes.c_int
_api.PySequence_Size.argtypes = [ctypes.py_object]
_api.PySequence_Size.restype = ctypes.c_ssize_t
_api.PyLong_AsSsize_t.argtypes = [ctypes.py_object]
_api.PyLong_AsSsize_t.restype = ctypes.c_ssize_t

STR_REFUSAL = "Can't extract `str` to `Vec`"
SHAPES = ("Rbf<f64, f64>", "Rbf<f64, Vec<f64>>", "Rbf<Vec<f64>, f64>", "Rbf<Vec<f64>, Vec<f64>>")


def must_propagate(error):
    """Failures that the shape trials and the length hint do not swallow."""
    return not isinstance(error, Exception) or isinstance(error, (MemoryError, PanicException))


class Raised(Exception):
    """What the module is expected to raise: a class and an exact text (and
    for wrapped TypeErrors, the class and text of the cause)."""

    def __init__(self, cls, text, cause=None):
        super().__init__(cls, text)
        self.cls, self.text, self.cause = cls, text, cause

    def __repr__(self):
        return f"{self.cls.__name__}({self.text!r})" + (f" from {self.cause!r}" if self.cause else "")


def settled(raised):
    """`raised` as a value, without its traceback. Kept, the traceback's frames
    would hold the caller that holds `raised` in a cycle, with every object the
    caller tracks, until a garbage collection in the middle of a later check
    changes those objects' reference counts."""
    return raised.with_traceback(None)


def expected_from(error):
    """The module's view of an exception raised by Python code it called: an
    aborted call let through by that code is resumed as a new PanicException."""
    if isinstance(error, PanicException):
        return Raised(PanicException, str(error))
    cause = error.__cause__
    return Raised(type(error), str(error), (type(cause), str(cause)) if cause is not None else None)


def qualified_type_name(obj):
    try:
        name = type(obj).__qualname__
    except BaseException as e:  # noqa: B036
        if must_propagate(e):
            raise
        return "<failed to extract type name>"
    return name if isinstance(name, str) else "<failed to extract type name>"


def wrong_kind(obj, target):
    return Raised(TypeError, f"'{qualified_type_name(obj)}' object cannot be converted to '{target}'")


def model_number(obj):
    if type(obj) is float:
        return obj
    return _api.PyFloat_AsDouble(obj)


def model_sequence(obj, item):
    if isinstance(obj, str):
        raise Raised(TypeError, STR_REFUSAL)
    if not _api.PySequence_Check(obj):
        raise wrong_kind(obj, "Sequence")
    try:
        _api.PySequence_Size(obj)
    except BaseException as e:  # noqa: B036 - only a hint, unless it must propagate
        if must_propagate(e):
            raise
    out = []
    for element in iter(obj):
        out.append(item(element))
    return out


def model_number_vector(obj):
    return model_sequence(obj, model_number)


def model_vector_vector(obj):
    def vector(element):
        if isinstance(element, str):
            raise Raised(TypeError, STR_REFUSAL)
        return model_number_vector(element)
    return model_sequence(obj, vector)


def convert(convert_fn, obj):
    """(True, value) or (False, Raised) for one conversion as the module runs it."""
    try:
        return True, convert_fn(obj)
    except Raised as r:
        return False, settled(r)
    except BaseException as e:  # noqa: B036
        return False, expected_from(e)


def bind(function, names, required, call, keyword_only=0):
    text = f"Rbf.{function}()"
    positional = len(names) - keyword_only
    if len(call.positional) > positional:
        k = len(call.positional)
        takes = f"{positional}" if required == positional else f"from {required} to {positional}"
        # As the interpreter words it, the keyword-only arguments given are counted too.
        extra = sum(1 for key, _ in call.keywords if key in names[positional:])
        given = (f"{k} {'was' if k == 1 else 'were'}" if not extra else
                 f"{k} positional argument{'' if k == 1 else 's'} (and {extra} keyword-only "
                 f"argument{'' if extra == 1 else 's'}) were")
        raise Raised(TypeError, f"{text} takes {takes} positional arguments but {given} given")
    bound = dict(zip(names, call.positional))
    for key, value in call.keywords:
        if key not in names:
            raise Raised(TypeError, f"{text} got an unexpected keyword argument '{key}'")
        if key in bound:
            raise Raised(TypeError, f"{text} got multiple values for argument '{key}'")
        bound[key] = value
    missing = [f"'{n}'" for n in names[:required] if n not in bound]
    if missing:
        listed = missing[0] if len(missing) == 1 else (
            " and ".join(missing) if len(missing) == 2 else ", ".join(missing[:-1]) + ", and " + missing[-1])
        raise Raised(TypeError, f"{text} missing {len(missing)} required positional "
                                f"{'argument' if len(missing) == 1 else 'arguments'}: {listed}")
    return [bound.get(n, ABSENT) for n in names]


def format_epsilon(v):
    if math.isnan(v):
        return "NaN"
    if math.isinf(v):
        return "-inf" if v < 0 else "inf"
    text = format(decimal.Decimal(repr(v)), "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return text


class FitExpected:
    """Conversion succeeded: the fit either aborts on the lengths, refuses the
    smoothing or the polynomial term, fails with one of the solver's
    messages, or gives an instance of `shape`."""

    def __init__(self, shape, xs, ys, epsilon, smoothing=0.0, degree=None):
        self.shape, self.xs, self.ys, self.epsilon = shape, xs, ys, epsilon
        self.smoothing, self.degree = smoothing, degree

    def __repr__(self):
        return (f"fit {SHAPES[self.shape]} n={len(self.xs)}/{len(self.ys)} epsilon={self.epsilon!r} "
                f"smoothing={_short(self.smoothing)} degree={self.degree!r}")

    def dimension(self):
        return len(self.xs[0]) if self.shape >= 2 else 1


def model_degree(obj):
    """A bool is refused first; then operator.index is PyNumber_Index, and the C
    ssize_t the module reads."""
    if type(obj) is bool:
        raise Raised(TypeError, "'bool' object cannot be interpreted as an integer")
    return _api.PyLong_AsSsize_t(operator.index(obj))


def converted_argument(name, convert_fn, obj):
    """The value, or the Raised of a failed conversion of argument `name`: an
    exact TypeError names the parameter, anything else passes unchanged."""
    ok, value = convert(convert_fn, obj)
    if ok:
        return value
    if value.cls is TypeError:
        raise Raised(TypeError, f"argument '{name}': {value.text}", value.cause)
    raise value


def expect_construct(call):
    """Raised, or FitExpected; exactly the order of the constructor's steps."""
    try:
        x, y, kernel_name, epsilon, smoothing, degree = bind(
            "__new__", ("x", "y", "kernel_name", "epsilon", "smoothing", "degree"), 2, call, keyword_only=2)
        if kernel_name is ABSENT or kernel_name is None:
            name = "gaussian"
        elif not isinstance(kernel_name, str):
            raise Raised(TypeError, "argument 'kernel_name': " + wrong_kind(kernel_name, "PyString").text)
        else:
            try:
                kernel_name.encode("utf-8")  # a lone surrogate has no UTF-8 form
            except UnicodeEncodeError as e:
                raise expected_from(e)
            name = kernel_name
        eps = 1.0 if epsilon is ABSENT or epsilon is None else converted_argument("epsilon", model_number, epsilon)
        if smoothing is ABSENT:
            amounts = 0.0
        elif isinstance(smoothing, str) or not _api.PySequence_Check(smoothing):
            amounts = converted_argument("smoothing", model_number, smoothing)
        else:
            amounts = converted_argument("smoothing", model_number_vector, smoothing)
        deg = None if degree is ABSENT or degree is None else converted_argument("degree", model_degree, degree)
        if deg is not None and deg < 0:
            raise Raised(ValueError, "Degree must be None or a non-negative integer")
        if name not in KERNELS:
            raise Raised(ValueError, "Unsupported kernel")
        trials = ((model_number_vector, model_number_vector), (model_number_vector, model_vector_vector),
                  (model_vector_vector, model_number_vector), (model_vector_vector, model_vector_vector))
        for shape, (for_x, for_y) in enumerate(trials):
            results = []
            for fn, obj in ((for_x, x), (for_y, y)):
                ok, value = convert(fn, obj)
                if not ok and must_propagate_raised(value):
                    raise value
                results.append((ok, value))
            if results[0][0] and results[1][0]:
                return FitExpected(shape, results[0][1], results[1][1], eps, amounts, deg)
        raise Raised(ValueError, "Unsupported input shapes for x and y")
    except Raised as r:
        return settled(r)


# --------------------------------------------------------------------------
# Pickled states: damage done to them, and what _restore must make of them.

def _field_list(state, field):
    """The list at `field` of a state, copied, or None where there is none."""
    if type(state) in (tuple, list) and len(state) > field and type(state[field]) in (list, tuple):
        return list(state[field])
    return None


def _with(state, field, value):
    out = list(state)
    out[field] = value
    return tuple(out) if type(state) is tuple else out


def _container(items, how):
    if how == "tuple":
        return tuple(items)
    if how == "set":
        return {i for i in items if _hashable(i)}
    if how == "text":
        return "0.5"
    if how == "none":
        return None
    if how == "iterator":
        return iter(items)
    if how == "lying":
        return LyingList(items, len(items), items)
    if how == "itemseq":
        return ItemSeq(items, len(items))
    if how == "empty":
        return []
    if how == "numpy" and np is not None:
        try:
            return np.array(items, dtype=float)
        except (TypeError, ValueError):
            return np.zeros(2)
    return TupleSub(items)


def apply_damage(state, damage):
    """`state` with one change made, or unchanged where the change does not apply."""
    kind, arg = damage
    if kind == "envelope":
        return list(state) if type(state) is tuple else arg
    if type(state) not in (tuple, list):  # junk in place of a state stays as it is
        return state
    if kind == "truncate":
        return state[:arg]
    if kind == "extend":
        return state + type(state)([arg])
    if kind in ("version", "kernel", "epsilon"):
        field = ("version", "kernel", "epsilon").index(kind)
        return _with(state, field, arg) if len(state) > field else state
    if kind == "weights":
        items = _field_list(state, 5)
        if items is None:
            return state
        new = [[arg[(i + k) % len(arg)] for k in range(len(w))] if type(w) in (list, tuple) else arg[i % len(arg)]
               for i, w in enumerate(items)]
        return _with(state, 5, new)
    if kind == "degree":
        return _with(state, 6, arg) if len(state) > 6 else state
    if kind == "attach":  # a polynomial term for the state, of (degree, coefficients)
        return _with(type(state)(list(state[:6]) + list(arg)), 0, 2) if len(state) >= 6 else state
    if kind == "detach":  # back to format version 1
        return _with(state[:6], 0, 1) if len(state) == 8 else state
    if kind == "collapse":  # every point the first, which no fit with a degree takes
        items = _field_list(state, 3)
        return _with(state, 3, [items[0]] * len(items)) if items else state
    field = arg if kind == "flip" else arg[0]
    items = _field_list(state, field)
    if items is None:
        return state
    if kind == "container":
        return _with(state, field, _container(items, arg[1]))
    if kind == "flip":
        return _with(state, field, [i[0] if type(i) in (list, tuple) and i else [i] for i in items])
    if kind == "swap":
        other = 3 + arg[2] % 3
        return _with(_with(state, field, state[other]), other, state[field]) if len(state) > other else state
    index = arg[1] % (len(items) + 1)
    if kind == "drop":
        del items[index:index + 1]
    elif kind == "add":
        items.insert(index, arg[2])
    elif kind == "item" and items:
        items[index % len(items)] = arg[2]
    elif kind == "inner" and items and type(items[index % len(items)]) in (list, tuple):
        inner = list(items[index % len(items)])
        at, how, junk = arg[2], arg[3], arg[4]
        if how == "junk" and inner:
            inner[at % len(inner)] = junk
        elif how == "cut":
            inner = inner[:at]
        elif how == "grow":
            inner += [junk] * at
        items[index % len(items)] = tuple(inner) if how == "tuple" else inner
    return _with(state, field, items)


STATE_FIELDS = ("points", "values", "weights")
STATE_LENGTH = "Rbf state must hold 6 items: format version, kernel name, epsilon, points, values and weights"


class RestoreExpected:
    """The model a state must give: its parts as floats, its shape, and its
    polynomial term (degree, coefficients, Basis) or None."""

    def __init__(self, kernel, epsilon, lists, shape, polynomial=None):
        self.kernel, self.epsilon, self.shape, self.polynomial = kernel, epsilon, shape, polynomial
        self.points, self.values, self.weights = lists

    def __repr__(self):
        term = f" degree={self.polynomial[0]}" if self.polynomial else ""
        return f"restore {SHAPES[self.shape]} n={len(self.points)} {self.kernel} epsilon={self.epsilon!r}{term}"

    def parts(self):
        """What the state holds after the kernel name: epsilon, the lists, then degree and coefficients."""
        return [self.epsilon, self.points, self.values, self.weights] + list(self.polynomial[:2] if self.polynomial
                                                                             else [])


def _state_kind(items, otherwise, field):
    if type(items) not in (list, tuple):
        raise Raised(TypeError, not_floats(field))
    if not items:
        return otherwise
    if isinstance(items[0], float):
        return "number"
    if type(items[0]) in (list, tuple):
        return "vector"
    raise Raised(TypeError, not_floats(field))


def not_floats(field):
    return f"Rbf state: {field} must be a list of floats or a list of lists of floats"


def _state_floats(items, kind, field):
    def number(item):
        if not isinstance(item, float):
            raise Raised(TypeError, not_floats(field))
        return float.__float__(item)

    def vector(item):
        if type(item) not in (list, tuple):
            raise Raised(TypeError, not_floats(field))
        return [number(c) for c in item]
    return [(vector if kind == "vector" else number)(item) for item in items]


def expect_restore(state):
    """Raised, or RestoreExpected: the checks of _restore in their order."""
    try:
        if not isinstance(state, tuple):
            raise Raised(TypeError, "Rbf state must be a tuple")
        if not state:
            raise Raised(ValueError, STATE_LENGTH)
        if type(state[0]) is not int:
            raise Raised(TypeError, "Rbf state: the format version must be an int")
        if state[0] == 1:
            if len(state) != 6:
                raise Raised(ValueError, STATE_LENGTH)
        elif state[0] != 2 or len(state) != 8:
            raise Raised(ValueError, "Rbf state: unsupported format version")
        kernel, epsilon, points, values, weights = state[1:6]
        if not isinstance(kernel, str):
            raise Raised(TypeError, "Rbf state: the kernel name must be a str")
        if str.__str__(kernel) not in KERNELS:
            raise Raised(ValueError, "Rbf state: unknown kernel name")
        if not isinstance(epsilon, float):
            raise Raised(TypeError, "Rbf state: epsilon must be a float")
        point_kind = _state_kind(points, "number", "points")
        weight_kind = _state_kind(weights, "number", "weights")
        value_kind = _state_kind(values, weight_kind, "values")
        if weights and weight_kind != value_kind:
            raise Raised(ValueError, "Rbf state: values and weights must both be numbers or both be vectors")
        degree, coefficients = state[6:] if len(state) == 8 else (None, None)
        if len(state) == 8:
            if type(degree) is not int:
                raise Raised(TypeError, "Rbf state: the degree must be an int")
            if not 0 <= degree <= sys.maxsize:
                raise Raised(ValueError, "Rbf state: the degree must lie between 0 and sys.maxsize")
            if _state_kind(coefficients, value_kind, "coefficients") != value_kind:
                raise Raised(ValueError, "Rbf state: values and coefficients must both be numbers or both be vectors")
        lists = [_state_floats(items, kind, field) for items, kind, field
                 in zip((points, values, weights), (point_kind, value_kind, value_kind), STATE_FIELDS)]
        if coefficients is not None:
            coefficients = _state_floats(coefficients, value_kind, "coefficients")
        if not lists[0] or not len(lists[0]) == len(lists[1]) == len(lists[2]):
            raise Raised(ValueError, "Rbf state: points, values and weights must be non-empty and equally many")
        if not _all_finite(lists[2]):
            raise Raised(ValueError, "Rbf state: every weight must be finite")
        polynomial = None
        if coefficients is not None:
            coordinates = [_numbers(p) for p in lists[0]]
            refusal = polynomial_refusal(coordinates, degree)
            if refusal is not None:
                raise Raised(ValueError, "Rbf state: " + refusal.text)
            basis = Basis(coordinates, degree)
            if len(coefficients) != len(basis.monomials):
                raise Raised(ValueError, "Rbf state: the polynomial term needs one coefficient per monomial: "
                                         f"got {len(coefficients)} for {len(basis.monomials)} monomials")
            if not _all_finite(coefficients):
                raise Raised(ValueError, "Rbf state: every coefficient must be finite")
            polynomial = (degree, coefficients, basis)
        shape = 2 * (point_kind == "vector") + (value_kind == "vector")
        return RestoreExpected(str.__str__(kernel), float.__float__(epsilon), lists, shape, polynomial)
    except Raised as r:
        return settled(r)


def _numbers(item):
    """A point or value as its list of numbers: a number is a vector of one."""
    return item if isinstance(item, list) else [item]


def _all_finite(items):
    return all(math.isfinite(c) for item in items for c in _numbers(item))


# The polynomial term as the module builds and evaluates it, one rounding per
# operation, in the same order.

def monomial_factors(dimension, degree):
    """Every monomial of total degree <= degree as its (coordinate, exponent)
    factors, coordinates ascending, in basis order: by total degree, then by
    exponent tuple, largest first."""
    out = []

    def add(first, remaining, current):
        if remaining == 0:
            out.append(list(current))
            return
        for k in range(first, dimension):
            lowest = remaining if k + 1 == dimension else 1  # the last coordinate takes all that remains
            for e in range(remaining, lowest - 1, -1):
                current.append((k, e))
                add(k + 1, remaining - e, current)
                current.pop()

    for total in range(degree + 1):
        if total > 0 and dimension == 0:
            break
        add(0, total, [])
    return out


class Basis:
    """The shifted and scaled monomials of the samples `points` (lists of one length)."""

    def __init__(self, points, degree):
        self.degree = degree
        self.shift, self.scale = [], []
        for k in range(len(points[0])):
            low = high = points[0][k]
            for p in points[1:]:
                low = p[k] if p[k] < low else low
                high = p[k] if high < p[k] else high
            self.shift.append((low * 0.5) + (high * 0.5))
            half_range = (high * 0.5) - (low * 0.5)
            self.scale.append(half_range if half_range > 0.0 else 1.0)
        self.monomials = monomial_factors(len(points[0]), degree)

    def powers(self, p):
        """powers[k][e] = u_k ** e as a chain of products, for e >= 1."""
        out = []
        for k in range(len(self.shift)):
            u = (p[k] - self.shift[k]) / self.scale[k]
            chain = [1.0, u]
            for _ in range(2, self.degree + 1):
                chain.append(chain[-1] * u)
            out.append(chain)
        return out

    def evaluate(self, p):
        powers = self.powers(p)
        out = []
        for factors in self.monomials:
            value = 1.0
            for i, (k, e) in enumerate(factors):
                value = powers[k][e] if i == 0 else value * powers[k][e]
            out.append(value)
        return out

    def derivatives(self, p):
        """(monomial, coordinate, d m / d x_k) for every monomial that holds x_k, in the module's order."""
        powers = self.powers(p)
        out = []
        for q, factors in enumerate(self.monomials):
            for f, (k, exponent) in enumerate(factors):
                value = float(exponent)
                for g, (kg, eg) in enumerate(factors):
                    e = eg - (1 if g == f else 0)
                    if e > 0:
                        value = value * powers[kg][e]
                out.append((q, k, value / self.scale[k]))
        return out


# The kernels as the module evaluates them, one rounding per operation, with
# the C library's own exp and log; Python's float division raises where IEEE
# division gives an infinity or NaN, so it is done here.
_libm = ctypes.CDLL("libm.so.6")
for _name in ("exp", "log", "sqrt"):
    getattr(_libm, _name).restype = ctypes.c_double
    getattr(_libm, _name).argtypes = [ctypes.c_double]
DISTANCE_FLOOR = 2.220446049250313e-16


def _divide(a, b):
    try:
        return a / b
    except ZeroDivisionError:
        if math.isnan(a) or a == 0.0:
            return math.nan
        return math.copysign(math.inf, a) * math.copysign(1.0, b)


def _nearest_double(y):
    """The double nearest to the mpmath number y (ties cannot occur for exp and log)."""
    if abs(y) < mpmath.mpf(2) ** -1022:  # subnormal: round on the fixed 2**-1074 grid, once
        return math.ldexp(int(mpmath.nint(y * mpmath.mpf(2) ** 1074)), -1074)
    with mpmath.workprec(53):
        z = +y
    return float(z)


def _exact_exp(x):
    """exp correctly rounded, as the module's own is (and not the C library's)."""
    if math.isnan(x):
        return math.nan
    if x > 709.79:
        return math.inf
    if x <= -745.1332191019412:  # at or below log 2**-1075 the result rounds to +0
        return 0.0
    with mpmath.workprec(200):
        y = mpmath.exp(mpmath.mpf(x))
        if y > mpmath.mpf(sys.float_info.max) * (1 + mpmath.mpf(2) ** -54):
            return math.inf
        return _nearest_double(y)


def _exact_log(x):
    """log correctly rounded, as the module's own is."""
    if math.isnan(x) or x < 0:
        return math.nan
    if x == 0:
        return -math.inf
    if math.isinf(x):
        return math.inf
    with mpmath.workprec(200):
        return _nearest_double(mpmath.log(mpmath.mpf(x)))


KERNEL_FUNCTIONS = {
    "gaussian": lambda s, e: _exact_exp(_divide(s * -0.5, e * e)),
    "multiquadric": lambda s, e: _libm.sqrt((e * e) + s),
    "inverse_multiquadratic": lambda s, e: _divide(1.0, _libm.sqrt((e * e) + s)),
    "thin_plate_spline": lambda s, e: 0.0 if s == 0.0 else _exact_log(s) * (s * s),
    "linear": lambda s, e: s,
    "cubic": lambda s, e: s * s,
}


def _squared_distance(a, b):
    if not isinstance(a, list):
        t = a - b
        return t * t
    acc = -0.0
    for k in range(min(len(a), len(b))):
        t = a[k] - b[k]
        acc = (t * t) + acc
    return acc


KERNEL_SLOPES = {
    "gaussian": lambda s, e: _exact_exp(_divide(s * -0.5, e * e)) * _divide(-0.5, e * e),
    "multiquadric": lambda s, e: _divide(0.5, _libm.sqrt((e * e) + s)),
    "inverse_multiquadratic": lambda s, e: _divide(-0.5, ((e * e) + s) * _libm.sqrt((e * e) + s)),
    "thin_plate_spline": lambda s, e: 0.0 if s == 0.0 else ((_exact_log(s) * 2.0) + 1.0) * s,
    "linear": lambda s, e: 1.0,
    "cubic": lambda s, e: s * 2.0,
}
NAN_OUTPUT = (RuntimeError, "NaN values in output")


def _query_refusal(expected, queries):
    """A polynomial term needs queries of its samples' length (number points always have it)."""
    if expected.polynomial is None or expected.shape < 2:
        return None
    dimension = len(expected.points[0])
    for i, q in enumerate(queries):
        if len(q) != dimension:
            return ValueError, (f"Polynomial term needs points of length {dimension}: "
                                f"query point {i} has length {len(q)}")
    return None


def reference_predict(expected, queries):
    """What predict must give at `queries`, as outcome_bits has it."""
    refusal = _query_refusal(expected, queries)
    if refusal is not None:
        return refusal
    phi = KERNEL_FUNCTIONS[expected.kernel]
    vector = isinstance(expected.values[0], list)
    out = []
    for q in queries:
        acc = [0.0] * len(expected.values[0]) if vector else 0.0
        terms = [(w, phi(d if d > DISTANCE_FLOOR else DISTANCE_FLOOR, expected.epsilon))
                 for x, w in zip(expected.points, expected.weights) for d in [_squared_distance(q, x)]]
        if expected.polynomial is not None:
            _, coefficients, basis = expected.polynomial
            terms += zip(coefficients, basis.evaluate(_numbers(q)))
        for w, k in terms:
            if vector:
                for c in range(min(len(acc), len(w))):
                    acc[c] = (w[c] * k) + acc[c]
            else:
                acc = (w * k) + acc
        if any(math.isnan(c) for c in _numbers(acc)):
            return NAN_OUTPUT
        out.append(acc)
    return float_bits(out)


def reference_gradient(expected, queries):
    """What gradient must give at `queries`, as outcome_bits has it."""
    refusal = _query_refusal(expected, queries)
    if refusal is not None:
        return refusal
    slope_of = KERNEL_SLOPES[expected.kernel]
    components = len(_numbers(expected.values[0]))
    out = []
    for q in queries:
        x = _numbers(q)
        coordinates = len(x)
        table = [0.0] * (components * coordinates)
        for p, w in zip(expected.points, expected.weights):
            s = _squared_distance(q, p)
            if not s > DISTANCE_FLOOR:
                continue
            slope = slope_of(s, expected.epsilon)
            common = min(coordinates, len(_numbers(p)))
            twice = [(x[k] - _numbers(p)[k]) * 2.0 for k in range(common)]
            for c in range(min(components, len(_numbers(w)))):
                scaled = _numbers(w)[c] * slope
                for k in range(common):
                    table[c * coordinates + k] = (scaled * twice[k]) + table[c * coordinates + k]
        if expected.polynomial is not None:
            _, coefficients, basis = expected.polynomial
            for m, k, derivative in basis.derivatives(x):
                a = _numbers(coefficients[m])
                for c in range(min(components, len(a))):
                    table[c * coordinates + k] = (a[c] * derivative) + table[c * coordinates + k]
        if any(math.isnan(v) for v in table):
            return NAN_OUTPUT
        if expected.shape == 0:
            out.append(table[0])
        elif expected.shape == 3:
            out.append([table[c * coordinates:(c + 1) * coordinates] for c in range(components)])
        else:
            out.append(table)
    return float_bits(out)


def float_bits(value):
    """Nested floats as their exact bit patterns."""
    if isinstance(value, (list, tuple)):
        return [float_bits(v) for v in value]
    return struct.unpack("<Q", struct.pack("<d", value))[0] if type(value) is float else ("not a float", value)


def must_propagate_raised(raised):
    return not issubclass(raised.cls, Exception) or issubclass(raised.cls, (MemoryError, PanicException))


ZERO_PIVOT = re.compile(r"Exact zero pivot encountered at column (0|[1-9][0-9]*)")
RANK = re.compile(r"Polynomial term has ([1-9][0-9]*) monomials but rank (0|[1-9][0-9]*) on the samples")
NAN_BACKWARD = re.compile(r"NaN detected in backward substitution at index (0|[1-9][0-9]*)")
# What a fit with a degree refuses of its samples, and a restore of a polynomial term too.
POINT_REFUSALS = (r"Polynomial term needs points of one length: point 0 has length \d+, point \d+ has length \d+|"
                  r"Polynomial term needs finite coordinates: NaN or infinity in point \d+|"
                  r"Polynomial term has (over )?\d+ monomials, more than the sample count \d+")


# The contract's exception table: every outcome, expected or not, must fit one
# of these (class, text) pairs. The model above says which one applies; this
# table catches the model and the module agreeing on something not allowed.
ALLOWED = (
    (TypeError, re.compile(r"Rbf\.(__new__|predict|gradient)\(\) (takes .*|got an unexpected keyword argument '.*'|"
                           r"got multiple values for argument '.*'|missing \d+ required positional arguments?: .*)",
                           re.S)),
    (TypeError, re.compile(re.escape(STR_REFUSAL))),
    (TypeError, re.compile(r"'.+' object cannot be converted to 'Sequence'", re.S)),
    (TypeError, re.compile(r"argument 'kernel_name': '.+' object cannot be converted to 'PyString'", re.S)),
    (TypeError, re.compile(r"argument '(epsilon|smoothing|degree)': .*", re.S)),
    (TypeError, re.compile(r".*", re.S)),  # the interpreter's own conversion errors
    (ValueError, re.compile(r"Unsupported kernel|Unsupported input shapes for x and y|"
                            r"Design matrix and RHS must be non-empty and the same length\.|"
                            + ZERO_PIVOT.pattern + "|" + NAN_BACKWARD.pattern)),
    (ValueError, re.compile(r"Rbf state must hold 6 items: .*|Rbf state: (unsupported format version|"
                            r"unknown kernel name|values and weights must both be numbers or both be vectors|"
                            r"points, values and weights must be non-empty and equally many|"
                            r"every weight must be finite|the degree must lie between 0 and sys\.maxsize|"
                            r"values and coefficients must both be numbers or both be vectors|"
                            r"the polynomial term needs one coefficient per monomial: got \d+ for \d+ monomials|"
                            r"every coefficient must be finite|" + POINT_REFUSALS + ")|"
                            r"cannot pickle an Rbf whose weights are not all finite")),
    (ValueError, re.compile(r"Smoothing must be finite and non-negative(, and is not at index \d+)?|"
                            r"Smoothing needs one value per sample: got \d+ for \d+ samples|"
                            r"Degree must be None or a non-negative integer|"
                            r"Polynomial term needs points of length \d+: query point \d+ has length \d+|"
                            + POINT_REFUSALS + "|" + RANK.pattern)),
    (RuntimeError, re.compile(r"NaN values in output")),
    (RuntimeError, re.compile(r"generator raised StopIteration")),  # a user __iter__, passed through
    (PanicException, re.compile(r"assertion `left == right` failed: x and y must have the same length\n"
                                r"  left: \d+\n right: \d+")),
    (OverflowError, re.compile(r".*", re.S)),
    (UnicodeEncodeError, re.compile(r".*surrogates not allowed")),
)


class Violation(AssertionError):
    pass


def allowed(error):
    text = str(error)
    if USER_TEXT in text and type(error) in THROWN + (FuzzTypeError,):
        return True  # raised by user code, passed through (or resumed)
    if type(error) is TypeError and USER_TEXT in text:
        return True
    return any(type(error) is cls and pattern.fullmatch(text) for cls, pattern in ALLOWED)


def check_raised(what, expected, error):
    if type(error) is not expected.cls or str(error) != expected.text:
        raise Violation(f"{what}: expected {expected!r}, got {type(error).__name__}({str(error)!r})")
    if expected.cause is not None:
        cause = error.__cause__
        if cause is None or (type(cause), str(cause)) != expected.cause:
            raise Violation(f"{what}: cause {expected.cause!r} was not kept: {cause!r}")
    if not allowed(error):
        raise Violation(f"{what}: {type(error).__name__}({str(error)!r}) is not an outcome the module may have")


LAST_EXCEPTION = ("last_type", "last_value", "last_traceback", "last_exc")
TOLERATED = set()  # names of known findings to step over while exploring (--tolerate)


def run_call(fn, call):
    for name in LAST_EXCEPTION:
        if hasattr(sys, name):
            setattr(sys, name, None)
    try:
        return True, fn(*call.positional, **dict(call.keywords))
    except BaseException as e:  # noqa: B036 - every outcome is judged below
        return False, e
    finally:
        check_last_exception(call)


def check_last_exception(call):
    # PyErr_Print stores what it printed in sys.last_*: that exception's
    # traceback then keeps the caller's objects alive until the next one.
    if getattr(sys, "last_value", None) is None and getattr(sys, "last_exc", None) is None:
        return
    kept = getattr(sys, "last_value", None) or getattr(sys, "last_exc", None)
    for name in LAST_EXCEPTION:
        if hasattr(sys, name):
            setattr(sys, name, None)
    if "sys-last" not in TOLERATED:
        raise Violation(f"{call!r}: the call left {_short(kept)} in sys.last_value, holding the caller's objects")


def snapshot(objects):
    return [sys.getrefcount(o) for o in objects]


def tracked(call):
    """The caller's objects whose reference counts must come back: every
    container and user object inside the arguments, made fresh for this input.
    Numbers, text, NumPy scalars and singletons are left out: the interpreter
    shares them, and a garbage collection during the call may drop unrelated
    references to them."""
    owned = (list, dict, set, bytearray, array, memoryview, ItemSeq, IterOnly, FloatOf, FloatThrows, IndexOf,
             IndexThrows, Nameless) + ((np.ndarray,) if np is not None else ())
    out, seen = [], set()
    stack = list(call.positional) + [v for _, v in call.keywords]
    while stack:
        value = stack.pop()
        if id(value) in seen or not (isinstance(value, owned) or (isinstance(value, tuple) and value)):
            continue
        seen.add(id(value))
        out.append(value)
        if isinstance(value, list):
            stack += [item for item in list.__iter__(value)]  # not a lying __len__ or __iter__
        elif isinstance(value, tuple):
            stack += [item for item in tuple.__iter__(value)]
        elif np is not None and isinstance(value, np.ndarray) and value.dtype == object:
            stack.extend(value.ravel().tolist())
        elif isinstance(value, ItemSeq):
            stack.append(value.items)
        elif isinstance(value, LyingList):
            stack.append(value.iterated)
    return out


def check_refcounts(what, objects, before):
    after = snapshot(objects)
    # Two entries differ by the list holding them and the call's own frame.
    if after != before:
        changed = [(_short(o), b, a) for o, b, a in zip(objects, before, after) if a != b]
        raise Violation(f"{what}: reference counts changed (object, before, after): {changed}")


def check_construct(call):
    expected = expect_construct(call)
    objects = tracked(call)
    before = snapshot(objects)
    ok, result = run_call(Rbf, call)
    if not ok:
        error = result
        result = None
        if isinstance(expected, Raised):
            check_raised("Rbf" + repr(call), expected, error)
        else:
            check_fit_failure(call, expected, error)
        del error
        check_refcounts("Rbf" + repr(call), objects, before)
        return None, expected
    if isinstance(expected, Raised):
        raise Violation(f"Rbf{call!r}: expected {expected!r}, got an instance")
    if fit_refusal(expected) is not None:
        raise Violation(f"Rbf{call!r}: {expected!r} must not give an instance")
    want = SHAPES[expected.shape] + ": epsilon = " + format_epsilon(expected.epsilon)
    if type(result) is not RBF_TYPE or repr(result) != want or str(result) != want:
        raise Violation(f"Rbf{call!r}: expected text {want!r}, got {repr(result)!r}")
    check_refcounts("Rbf" + repr(call), objects, before)
    return result, expected


SATURATED = 2**64 - 1  # a monomial count past the native size type is only known to be larger


def fit_refusal(expected):
    """What a fit whose conversions succeeded must raise before any solving,
    in the order the fit checks; None when it goes on to the solver."""
    nx, ny = len(expected.xs), len(expected.ys)
    if nx != ny:
        return Raised(PanicException, "assertion `left == right` failed: x and y must have the same length\n"
                                      f"  left: {nx}\n right: {ny}")
    if nx == 0:
        return Raised(ValueError, "Design matrix and RHS must be non-empty and the same length.")
    smoothing = expected.smoothing
    if isinstance(smoothing, list):
        if len(smoothing) != nx:
            return Raised(ValueError, f"Smoothing needs one value per sample: got {len(smoothing)} for {nx} samples")
        for i, amount in enumerate(smoothing):
            if not (math.isfinite(amount) and amount >= 0):
                return Raised(ValueError, f"Smoothing must be finite and non-negative, and is not at index {i}")
    elif not (math.isfinite(smoothing) and smoothing >= 0):
        return Raised(ValueError, "Smoothing must be finite and non-negative")
    if expected.degree is None:
        return None
    return polynomial_refusal(expected.xs if expected.shape >= 2 else [[p] for p in expected.xs], expected.degree)


def polynomial_refusal(points, degree):
    """What a fit with `degree` refuses of the sample points (lists of coordinates),
    in its order, or None; a restored polynomial term is refused the same."""
    for i, p in enumerate(points):
        if len(p) != len(points[0]):
            return Raised(ValueError, "Polynomial term needs points of one length: "
                                      f"point 0 has length {len(points[0])}, point {i} has length {len(p)}")
        if not all(math.isfinite(c) for c in p):
            return Raised(ValueError, f"Polynomial term needs finite coordinates: NaN or infinity in point {i}")
    count = math.comb(len(points[0]) + degree, degree)
    if count > len(points):
        text = str(count) if count < SATURATED else f"over {SATURATED}"
        return Raised(ValueError, f"Polynomial term has {text} monomials, more than the sample count {len(points)}")
    return None


def monomial_count(expected):
    return 0 if expected.degree is None else math.comb(expected.dimension() + expected.degree, expected.degree)


def check_fit_failure(call, expected, error):
    what = f"Rbf{call!r} ({expected!r})"
    refusal = fit_refusal(expected)
    if refusal is not None:
        return check_raised(what, refusal, error)
    # The design matrix has a row per sample and per monomial.
    monomials = monomial_count(expected)
    size = len(expected.xs) + monomials
    text = str(error)
    pivot, nan, rank = ZERO_PIVOT.fullmatch(text), NAN_BACKWARD.fullmatch(text), RANK.fullmatch(text)
    if type(error) is ValueError and pivot and int(pivot.group(1)) <= size - 2:
        return None
    if type(error) is ValueError and nan and int(nan.group(1)) <= size - 1:
        return None
    if type(error) is ValueError and rank and int(rank.group(1)) == monomials and int(rank.group(2)) < monomials:
        return None
    raise Violation(f"{what}: the fit may only fail with a solver message, got {type(error).__name__}({text!r})")


def expect_evaluation(method, fitted, call):
    """The converted query points, or what the call must raise."""
    try:
        (x_new,) = bind(method, ("x_new",), 1, call)
        ok, value = convert(model_vector_vector if fitted.shape >= 2 else model_number_vector, x_new)
        if not ok:
            raise value
        if fitted.degree is not None and fitted.shape >= 2:
            dimension = fitted.dimension()
            for i, q in enumerate(value):
                if len(q) != dimension:
                    raise Raised(ValueError, f"Polynomial term needs points of length {dimension}: "
                                             f"query point {i} has length {len(q)}")
        return value
    except Raised as r:
        return settled(r)


def entry_form(method, fitted, query):
    """None for a float, n for a list of n floats, (c, n) for c lists of n floats."""
    components = len(fitted.ys[0]) if fitted.shape in (1, 3) else None
    coordinates = len(query) if method == "gradient" and fitted.shape >= 2 else None
    if components is not None and coordinates is not None:
        return (components, coordinates)
    return components if coordinates is None else coordinates


def numbers_in(entry, form):
    """The floats of an entry of that form, or None when it has another form."""
    if form is None:
        return [entry] if type(entry) is float else None
    count, inner = (form, None) if isinstance(form, int) else form
    if type(entry) is not list or len(entry) != count:
        return None
    parts = [numbers_in(e, inner) for e in entry]
    return None if any(p is None for p in parts) else [v for p in parts for v in p]


def check_evaluation(model, fitted, method, call):
    what = f"{method}{call!r} on {fitted!r}"
    expected = expect_evaluation(method, fitted, call)
    objects = tracked(call)
    before = snapshot(objects)
    ok, result = run_call(getattr(model, method), call)
    if not ok:
        error = result
        del result
        if isinstance(expected, Raised):
            check_raised(what, expected, error)
        elif type(error) is not RuntimeError or str(error) != "NaN values in output" or not expected:
            raise Violation(f"{what}: expected {len(expected)} results or the NaN message, "
                            f"got {type(error).__name__}({str(error)!r})")
        del error
        check_refcounts(what, objects, before)
        return
    if isinstance(expected, Raised):
        raise Violation(f"{what}: expected {expected!r}, got {_short(result)}")
    if type(result) is not list or len(result) != len(expected):
        raise Violation(f"{what}: expected a list of {len(expected)}, got {_short(result)}")
    for query, entry in zip(expected, result):
        form = entry_form(method, fitted, query)
        numbers = numbers_in(entry, form)
        if numbers is None:
            raise Violation(f"{what}: every entry must have the form {form!r} of floats, got {_short(entry)}")
        if any(math.isnan(v) for v in numbers):
            raise Violation(f"{what}: entries must never be NaN, got {_short(entry)}")
    del result
    check_refcounts(what, objects, before)


# One small model whose prediction is known bit for bit: after any failure the
# module must still give exactly this.
_SENTINEL = Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0], "multiquadric", 0.5)
_SENTINEL_BITS = [v.hex() for v in _SENTINEL.predict([0.25, 1.5])]


def check_still_usable():
    if [v.hex() for v in _SENTINEL.predict([0.25, 1.5])] != _SENTINEL_BITS:
        raise Violation("an earlier call changed an unrelated instance")
    if [v.hex() for v in Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0], "multiquadric", 0.5).predict([0.25, 1.5])] \
            != _SENTINEL_BITS:
        raise Violation("an earlier call changed what a fresh fit gives")


UNPICKLABLE = "cannot pickle an Rbf whose weights are not all finite"


def outcome_bits(call):
    """The bits a call returns, or the class and text of what it raises."""
    try:
        return float_bits(call())
    except Exception as e:
        return type(e), str(e)


def queries_for(model, queries):
    """The queries in the model's point form; for vector points with a
    polynomial term also cut or padded to the samples' length, so that the
    term is evaluated and not only refused."""
    if model.point_kind != "vector":
        return [[n for n, _ in queries]]
    drawn = [v for _, v in queries]
    if model.degree is None:
        return [drawn]
    dimension = len(model.points[0])
    return [drawn, [(v + [0.5] * dimension)[:dimension] for v in drawn]]


def check_fitted_parts(model, fitted, queries):
    """A fitted model shows the samples it was given and travels exactly; its
    state is then the one a restore plan starts from (None if it cannot travel)."""
    what = f"the parts of {fitted!r}"
    if float_bits([model.points, model.values]) != float_bits([fitted.xs, fitted.ys]) \
            or model.n_samples != len(fitted.xs) or model.epsilon.hex() != fitted.epsilon.hex() \
            or model.degree != fitted.degree or (model.polynomial_coefficients is None) != (fitted.degree is None):
        raise Violation(f"{what}: they are not the samples and the degree given")
    ok, result = run_call(pickle.dumps, Call([model], []))
    if not ok:
        if type(result) is not ValueError or str(result) != UNPICKLABLE or \
                _all_finite(model.weights + (model.polynomial_coefficients or [])):
            raise Violation(f"{what}: pickling failed with {type(result).__name__}({str(result)!r})")
        del result  # its traceback holds this frame
        return None
    restored = pickle.loads(result)
    state = model.__reduce__()[1][0]
    layout = (1, 6) if fitted.degree is None else (2, 8)
    if (state[0], len(state)) != layout or float_bits(state[6:]) != float_bits(
            [model.degree, model.polynomial_coefficients][:len(state) - 6]):
        raise Violation(f"{what}: the state is not of format version {layout[0]}: {_short(state)}")
    for method in ("predict", "gradient"):
        for points in queries_for(model, queries):
            if outcome_bits(lambda: getattr(restored, method)(points)) != \
                    outcome_bits(lambda: getattr(model, method)(points)):
                raise Violation(f"{what}: the unpickled model's {method} is not the same bits at {points!r}")
    if repr(restored) != repr(model) or float_bits(restored.__reduce__()[1][0]) != float_bits(state):
        raise Violation(f"{what}: the unpickled model is another model")
    return state


def check_restore(state, queries):
    what = f"_restore({_short(state)})"
    expected = expect_restore(state)
    call = Call([state], [])
    objects = tracked(call)
    before = snapshot(objects)
    ok, result = run_call(pymorvel._restore, call)
    if not ok:
        error = result
        del result
        if not isinstance(expected, Raised):
            raise Violation(f"{what}: expected {expected!r}, got {type(error).__name__}({str(error)!r})")
        check_raised(what, expected, error)
        del error
        check_refcounts(what, objects, before)
        return
    if isinstance(expected, Raised):
        raise Violation(f"{what}: expected {expected!r}, got a model")
    want = SHAPES[expected.shape] + ": epsilon = " + format_epsilon(expected.epsilon)
    if type(result) is not RBF_TYPE or repr(result) != want:
        raise Violation(f"{what}: expected text {want!r}, got {_short(result)}")
    shown = [result.epsilon, result.points, result.values, result.weights]
    if result.polynomial_coefficients is not None or result.degree is not None:
        shown += [result.degree, result.polynomial_coefficients]
    if float_bits(shown) != float_bits(expected.parts()) or result.kernel_name != expected.kernel \
            or result.n_samples != len(expected.points):
        raise Violation(f"{what}: the model shows other parts than it was given: {_short(shown)}")
    # Predictions and gradients follow the given weights and coefficients, term by term.
    for method, reference in (("predict", reference_predict), ("gradient", reference_gradient)):
        for points in queries_for(result, queries):
            got, want_bits = outcome_bits(lambda: getattr(result, method)(points)), reference(expected, points)
            if got != want_bits:
                raise Violation(f"{what}: {method}({points!r}) gave {got!r}, the state gives {want_bits!r}")
    # And the model travels on unchanged.
    again = pickle.loads(pickle.dumps(result)).__reduce__()[1][0]
    if again[0] != (2 if expected.polynomial else 1) or float_bits(list(again[2:])) != float_bits(expected.parts()):
        raise Violation(f"{what}: pickled again, it is another state: {_short(again)}")
    del result
    check_refcounts(what, objects, before)


def restore_state(plan, fitted_state):
    state = fitted_state if plan.own and fitted_state is not None else plan.made
    for damage in plan.damages:
        state = apply_damage(state, damage)
    return state


def one_input(data):
    """Runs every call that `data` decodes to; raises Violation on any outcome the module may not have."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        plan = decode(data)
        model, fitted = check_construct(plan.construct)
        fitted_state = None
        if model is not None:
            for method, call in plan.evaluations:
                check_evaluation(model, fitted, method, call)
            fitted_state = check_fitted_parts(model, fitted, plan.restore.queries)
        del model
        for restore in plan.restores():
            check_restore(restore_state(restore, fitted_state), restore.queries)
        check_still_usable()
    return plan


def outcome_signature(data):
    """A coarse label of what an input exercised, to keep one input per kind."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        plan = decode(data)
        expected = expect_construct(plan.construct)
        labels = [_label(expected)]
        if isinstance(expected, FitExpected):
            labels.append(f"n={'0' if not expected.xs else '1' if len(expected.xs) == 1 else 'big' if len(expected.xs) > 101 else 'few'}")
            if expected.degree is not None:
                labels.append("degree")
            labels += [f"{m} " + _label(expect_evaluation(m, expected, c)) for m, c in plan.evaluations]
        # Which state is restored depends on whether the fit succeeds, which
        # only the module can say.
        try:
            fitted_state = Rbf(*plan.construct.positional, **dict(plan.construct.keywords)).__reduce__()[1][0]
        except BaseException:  # noqa: B036 - any failure means "no fitted state"
            fitted_state = None
        # The first restore's labels read as they did before the second existed.
        for restore, prefix in zip(plan.restores(), ("", "polynomial ")):
            state = restore_state(restore, fitted_state)
            labels.append(f"{prefix}restore " + ("fitted " if state is fitted_state else "")
                          + _label(expect_restore(state)))
            labels += [f"{prefix}damage {kind}" for kind, _ in restore.damages]
    return tuple(labels)


def _label(expected):
    if isinstance(expected, Raised):
        # Type names, keywords and numbers vary without changing the path.
        text = re.sub(r"'[^']*'", "'_'", expected.text.split(USER_TEXT)[0])
        text = re.sub(r"\d+", "N", text)[:50]
        return f"{expected.cls.__name__}:{text}"
    if isinstance(expected, FitExpected):
        refusal = fit_refusal(expected)
        if refusal is not None and refusal.cls is not PanicException:
            return SHAPES[expected.shape] + " " + _label(refusal)
        return SHAPES[expected.shape] + (" mismatch" if len(expected.xs) != len(expected.ys) else "")
    if isinstance(expected, RestoreExpected):
        return SHAPES[expected.shape] + (" polynomial" if expected.polynomial else "")
    return "no points" if not expected else "points"


def select(paths, out, keep=()):
    """Keeps a small set of inputs that still shows every outcome kind of
    `paths`: greedy cover, shortest inputs first. Kinds that the inputs in
    `keep` already show are not wanted again, so a corpus can grow without
    being rebuilt."""
    labelled = []
    for path in sorted(_inputs(paths), key=lambda p: (p.stat().st_size, p.name)):
        labelled.append((path, set(outcome_signature(path.read_bytes()))))
    wanted = set().union(*(labels for _, labels in labelled))
    for path in _inputs(keep):
        wanted -= set(outcome_signature(path.read_bytes()))
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    kept = 0
    while wanted:
        path, labels = max(labelled, key=lambda item: len(item[1] & wanted))
        data = path.read_bytes()
        (out / hashlib.sha1(data).hexdigest()[:16]).write_bytes(data)
        wanted -= labels
        kept += 1
    print(f"kept {kept} of {len(labelled)} inputs")
    return 0


# --------------------------------------------------------------------------
# Drivers.

def _inputs(paths):
    for path in map(Path, paths):
        files = sorted(p for p in path.iterdir() if p.is_file()) if path.is_dir() else [path]
        yield from files


def replay(paths):
    count = 0
    for path in _inputs(paths):
        try:
            one_input(path.read_bytes())
        except Violation as v:
            print(f"{path}: {v}", file=sys.stderr)
            return 1
        count += 1
    print(f"replayed {count} input(s): all outcomes allowed")
    return 0


class QuietStderr:
    """Sends the module's expected abort reports to a log file while keeping a
    handle on the real standard error for crash reports."""

    def __init__(self, log):
        self.log = log

    def __enter__(self):
        sys.stderr.flush()
        self.saved = os.dup(2)
        self.real = os.fdopen(os.dup(self.saved), "w")
        faulthandler.enable(file=self.real)
        fd = os.open(self.log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        os.dup2(fd, 2)
        os.close(fd)
        return self.real

    def __exit__(self, *exc):
        sys.stderr.flush()
        os.dup2(self.saved, 2)
        os.close(self.saved)
        faulthandler.enable()
        self.real.close()


def random_campaign(args):
    work = Path(args.work)
    (work / "artifacts").mkdir(parents=True, exist_ok=True)
    save = Path(args.save_new) if args.save_new else None
    if save:
        save.mkdir(parents=True, exist_ok=True)
    seen = set()
    current = os.open(work / "current.bin", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    deadline = time.monotonic() + args.seconds if args.seconds else None
    runs = 0
    with QuietStderr(work / "stderr.log") as real:
        print(f"random fuzzing, seed {args.seed}; the input in flight is kept in {work / 'current.bin'}",
              file=real, flush=True)
        while (args.runs is None or runs < args.runs) and (deadline is None or time.monotonic() < deadline):
            rng = random.Random(f"{args.seed}:{runs}")
            data = bytes(rng.getrandbits(8) for _ in range(rng.randrange(8, args.max_len)))
            os.ftruncate(current, 0)
            os.pwrite(current, data, 0)
            try:
                one_input(data)
            except Violation as v:
                name = work / "artifacts" / ("violation-" + hashlib.sha1(data).hexdigest()[:16])
                name.write_bytes(data)
                print(f"run {runs}: {v}\ninput kept in {name}; replay with: {sys.argv[0]} replay {name}",
                      file=real, flush=True)
                return 1
            if save:
                for label in outcome_signature(data):
                    if label not in seen:
                        seen.add(label)
                        (save / hashlib.sha1(data).hexdigest()[:16]).write_bytes(data)
            runs += 1
            if runs % 1000 == 0:
                print(f"  {runs} runs", file=real, flush=True)
        print(f"{runs} runs: all outcomes allowed", file=real, flush=True)
    return 0


def atheris_campaign(argv, work):
    import atheris
    Path(work).mkdir(parents=True, exist_ok=True)

    # The module's C++ is not instrumented; the coverage libFuzzer steers by is
    # this file's decoder and oracle, whose branches follow the module's paths.
    # Only they are instrumented (all of NumPy would take a minute), so this
    # file is imported a second time, as a module.
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    with atheris.instrument_imports(include=["rbf_fuzz"]):
        import rbf_fuzz as instrumented
    instrumented.TOLERATED.update(TOLERATED)

    def test_one_input(data):
        instrumented.one_input(bytes(data))

    atheris.Setup([sys.argv[0]] + argv, test_one_input)
    atheris.Fuzz()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("replay")
    p.add_argument("paths", nargs="+")
    p = sub.add_parser("show")
    p.add_argument("path")
    p = sub.add_parser("select")
    p.add_argument("--out", required=True)
    p.add_argument("--keep", action="append", default=[], help="inputs whose outcome kinds are covered already")
    p.add_argument("paths", nargs="+")
    p = sub.add_parser("random")
    p.add_argument("--runs", type=int)
    p.add_argument("--seconds", type=float)
    p.add_argument("--seed", default="1")
    p.add_argument("--max-len", type=int, default=600)
    p.add_argument("--work", default="build/fuzz")
    p.add_argument("--save-new", help="keep the first input of every new outcome kind here")
    p = sub.add_parser("atheris")
    p.add_argument("--work", default="build/fuzz")
    p.add_argument("libfuzzer", nargs=argparse.REMAINDER)
    for p in sub.choices.values():
        p.add_argument("--tolerate", action="append", default=[], choices=["sys-last"],
                       help="step over a known finding to look for others")
    args = parser.parse_args(argv)
    TOLERATED.update(args.tolerate)
    if args.mode == "replay":
        return replay(args.paths)
    if args.mode == "select":
        return select(args.paths, args.out, args.keep)
    if args.mode == "show":
        print(decode(Path(args.path).read_bytes()))
        return 0
    if args.mode == "random":
        if args.runs is None and args.seconds is None:
            parser.error("give --runs or --seconds")
        return random_campaign(args)
    rest = args.libfuzzer[1:] if args.libfuzzer[:1] == ["--"] else args.libfuzzer
    return atheris_campaign(rest, args.work)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
