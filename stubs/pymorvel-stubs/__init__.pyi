"""Type information and user documentation for the pymorvel extension module."""

from collections.abc import Sequence
from _typeshed import structseq
from typing import Any, Final, final, Callable, Generic, Literal, Protocol, SupportsFloat, SupportsIndex, TypeVar, overload, type_check_only

from typing_extensions import Buffer, TypeAlias, final

__all__ = ["Rbf", "loo_residuals", "select_epsilon", "EpsilonSelection", "Evaluation"]

# Stub-only names stay private (typeshed's convention): a public name here would
# type-check in `from pymorvel import ...` and then fail at run time.
_KernelName: TypeAlias = Literal[
    "gaussian", "multiquadric", "inverse_multiquadratic", "thin_plate_spline", "linear", "cubic",
    "inverse_quadratic", "polyharmonic_1", "polyharmonic_2", "polyharmonic_3", "polyharmonic_5",
]
# The form of a model's points or values.
_Kind: TypeAlias = Literal["number", "vector"]
# Whatever float() takes: float, int, bool, Fraction, NumPy scalars.
_Number: TypeAlias = SupportsFloat | SupportsIndex

# NumPy declares ndarray.__buffer__ only for Python 3.12 and later, so before
# that an array is not a Buffer to a type checker; this covers it everywhere.
# Requiring __len__ and __getitem__ keeps out what the run time refuses anyway
# (bare NumPy scalars, objects that only convert to arrays).
@type_check_only
class _ArrayLike(Protocol):
    def __array__(self) -> Any: ...
    def __len__(self) -> int: ...
    def __getitem__(self, key: int, /) -> Any: ...

# An array's dimensionality is not known statically, so arrays and buffers are
# accepted wherever either form is, and a model built from them is Rbf[Any, Any].
_Array: TypeAlias = Buffer | _ArrayLike
_Numbers: TypeAlias = Sequence[_Number]
_Vectors: TypeAlias = Sequence[Sequence[_Number] | _Array]
_Input: TypeAlias = _Numbers | _Vectors | _Array
# One amount for every sample, or one per sample.
_Smoothing: TypeAlias = _Number | _Numbers | _Array
# A corner of a box: a number for number points, else a sequence of numbers.
_Corner: TypeAlias = _Number | _Numbers | _Array
# memoryview is a Sequence to type checkers whatever its shape and format, so
# a multi-dimensional one, or one of format "<d", types as numbers; the run
# time refuses both, as Python's own iteration does.

# What predict and gradient write into and return: any buffer, or a NumPy
# array (not a Buffer to type checkers before Python 3.12). That it is
# writable float64 of the result's shape is checked at run time.
_Out = TypeVar("_Out", bound=Buffer | _ArrayLike)

_P = TypeVar("_P", float, list[float])  # a point: a number or a vector
_V = TypeVar("_V", float, list[float])  # a value: a number or a vector

@final
class Rbf(Generic[_P, _V]):
    """Radial-basis-function interpolator.

    Rbf(x, y, kernel_name=None, epsilon=None) solves the N x N design matrix
    once for the weights w that make the interpolant pass through the N
    samples (x_i, y_i); predict() then evaluates sum_j w_j * phi(q, x_j) at
    query points q, and gradient() its derivative in q. Results are the same
    bits on every run and with any number of threads. A model never changes
    once built, and its inputs are copied, so they may be changed afterwards.
    The keyword-only smoothing and degree are opt-in; left at their defaults
    the model is exactly the plain interpolant.

    Shapes
        Points x are numbers (a sequence of numbers) or vectors (a sequence of
        sequences of numbers); values y likewise, one per point. The form is
        decided at run time by trying (numbers, numbers), (numbers, vectors),
        (vectors, numbers) and (vectors, vectors) in that order; the first
        where both x and y convert wins. Any sequence works (list, tuple,
        range, bytes, NumPy arrays, array.array, memoryview, a class of your
        own with __len__ and __getitem__); str, sets, dicts, iterators and
        generators do not, nor do mixed items such as [1.0, [2.0]].
        float64 and float32 NumPy arrays in any order or strides, array.array
        of "d" or "f" and contiguous memoryviews of "d" are read without
        conversion: 1-D as numbers, 2-D NumPy arrays as vectors. A memoryview that Python cannot
        iterate (more than one dimension, or a format such as ctypes' "<d")
        is refused as iteration refuses it.

        To a type checker the model is Rbf[point, value], each of float or
        list[float]: Rbf([0.0, 1.0], [[1.0, 2.0], [3.0, 4.0]]) is
        Rbf[float, list[float]]. Arrays and buffers give Rbf[Any, Any], as
        their dimensionality is not known statically, and a sequence class of
        your own type-checks when it derives from collections.abc.Sequence.
        Rbf is not subscriptable at run time: write Rbf[float, float] only in
        annotations that are not evaluated (quoted, or under
        `from __future__ import annotations`).

    Kernels, in s = r**2, the squared Euclidean distance (floored at 2**-52)
        "gaussian" (default)        exp(-s / (2 * e**2))
        "multiquadric"              sqrt(e**2 + s)
        "inverse_multiquadratic"    1 / sqrt(e**2 + s)
        "inverse_quadratic"         1 / (1 + s / e**2)
        "thin_plate_spline"         s**2 * ln(s)   (r**4 * ln(r**2))
        "linear"                    s              (r**2, not r)
        "cubic"                     s**2           (r**4, not r**3)
        SciPy's scale-free kernels, in r, each with a minimum degree:
        "polyharmonic_1"            -r             degree >= 0
        "polyharmonic_2"            r**2 * ln(r)   degree >= 1
        "polyharmonic_3"            r**3           degree >= 1
        "polyharmonic_5"            -r**5          degree >= 2

    epsilon
        e, the length over which a sample's influence spreads; only e**2 is
        used, so its sign does not matter. Anything float() takes; None means
        1.0. thin_plate_spline, linear, cubic and the polyharmonic kernels
        ignore it.

    smoothing (keyword-only)
        lambda >= 0, added to the diagonal of the kernel matrix: a number for
        every sample, or a sequence with one per sample. The model then no
        longer passes through the samples but trades closeness for
        smoothness; larger means smoother. 0.0 (the default) is the plain
        interpolant, bit for bit.

    degree (keyword-only)
        None (the default): no polynomial term, except for the polyharmonic
        kernels, for which None means their minimum degree (as in SciPy) and
        a lower degree is refused. An integer d >= 0 adds the
        monomials of total degree <= d in the point coordinates (numbers are
        1-D points), with the side conditions that the weights are orthogonal
        to them, so polynomials of degree <= d are reproduced exactly. Needs
        vector points of one length, finite coordinates, and samples on which
        the monomials are independent (at least as many samples as
        monomials). Queries must then have the samples' length.

    patch_size (keyword-only)
        None (the default): the dense fit above, bit for bit. An int n from 8
        to 10000 fits a partition-of-unity model, for 10**4 to 10**8 samples:
        a regular lattice over the samples' bounding box whose spacing H makes
        a ball of radius H around each node hold about n samples where the
        samples fill the box. Each ball that holds samples is a patch, fitted
        on its own with the same kernel, epsilon, smoothing and degree, in
        coordinates centred on its node and divided by a power of two, with
        epsilon and smoothing scaled alike, so both mean what they mean in a
        dense fit. predict blends the patches that cover a query with the
        weights (1 - t)**4 * (4 t + 1), t = distance / radius, divided by
        their sum: the model passes through the samples and is continuous
        everywhere (C2 with a smooth kernel). It keeps the samples and about
        pi (1-D: 2, 3-D: 4.2) weights per sample; the fit solves one system
        of about n samples per patch, spread over the worker pool.
        Points are numbers, or vectors of 1 to 3 components of one length,
        all finite (other dimensions: patch_size=None). Kernels: gaussian,
        multiquadric, inverse_multiquadratic, inverse_quadratic, the
        polyharmonic ones, and thin_plate_spline with degree >= 2; linear and
        cubic (r**2 and r**4 here, singular on a patch) are refused. A patch with fewer than n / 4 samples, or whose
        monomials are not independent on them, grows its radius by 1.25, up
        to 4 times. A query that no patch covers (beyond the samples' reach)
        takes the value of the patch nearest its lattice cell, extended; one
        with a NaN or infinite coordinate raises RuntimeError "NaN values in
        output". The lattice follows the samples' bounding box: samples that
        fill only part of it (a curve in the plane) make patches far larger
        than n.

    domain, region (keyword-only, with patch_size)
        Fitting a tile of a larger data set: domain = (lower, upper, count) is
        the whole data set's bounding box (its corners) and sample count,
        region = (lower, upper) the tile's box. The model holds the patches
        that reach into the region and is, bit for bit, the whole data set's
        model restricted to it (see restrict), provided x and y hold, in the
        data set's order, every sample within
        Rbf.tile_halo(lower, upper, count, patch_size) of the region. A list
        may stand for each tuple.

    Raises
        TypeError: wrong arguments, kernel_name is not a str, epsilon or
            smoothing is not a number (or a sequence of them for smoothing),
            or degree or patch_size is not an integer (a bool is not one), or
            domain or region is not a tuple of corners (and a count).
        ValueError: "Unsupported kernel" for any other kernel name;
            "Unsupported input shapes for x and y" when no form fits;
            "Design matrix and RHS must be non-empty and the same length."
            for empty data; "Exact zero pivot encountered at column K" for a
            singular system (typically three or more coinciding points);
            "NaN detected in backward substitution at index K" when a weight
            comes out NaN (two coinciding points, a NaN or infinite value, a
            hopelessly ill-conditioned system); "Smoothing ..." for a NaN,
            infinite or negative amount or a sequence of another length than
            x; "Degree must be None or a non-negative integer"; "Kernel K
            needs degree >= D ..." for a polyharmonic kernel given a lower
            degree; "Polynomial term ..." for points of several lengths, non-finite coordinates,
            fewer samples than monomials, or a rank-deficient polynomial block;
            "patch_size must be None or an int from 8 to 10000 ..." for
            another int; "patch_size ..." for a kernel, points or values that
            patches do not take; "In the patch at lattice point K: ..." when
            a patch's system fails as a dense one would.
        PanicException: x and y differ in length, or a fit needs the worker
            pool and its threads cannot be started. It derives from
            BaseException, so `except Exception` does not catch it, and it
            cannot be imported from pymorvel.
        MemoryError: the N x N matrix (N + monomials with a polynomial term)
            does not fit in memory; the message says how much it needs and
            how much is available.

    Reading a model back
        kernel_name, epsilon, n_samples, point_kind, value_kind, points,
        values, weights, degree and polynomial_coefficients are read-only
        properties; points, values, weights and polynomial_coefficients
        return new lists of floats (or of lists of floats) on every read,
        never views of the model, so changing them changes nothing.
        patch_size and patches say how a model was fitted (None for a dense
        one); a model fitted in patches has weights and coefficients per
        patch, so its weights and polynomial_coefficients raise
        AttributeError.

    Pickling and copying
        A model pickles to its kernel, epsilon, points, values and weights
        (format version 1), and a model with a polynomial term to its degree
        and coefficients too (format version 2). Unpickling rebuilds it
        without fitting again, the polynomial basis from the sample points as
        the fit builds it: it predicts and differentiates to the same bits as
        the original, in any process, so it can be sent to multiprocessing,
        concurrent.futures, joblib or Dask workers. Unpickling checks the
        state first and refuses a damaged one with TypeError or ValueError
        ("Rbf state: ..."). A model whose fit ended with infinite weights or
        polynomial coefficients (it predicts nothing but "NaN values in
        output") refuses to pickle with ValueError. copy.copy and
        copy.deepcopy return the model itself, as it never changes.
        A model fitted in patches pickles to format version 3: its samples,
        lattice and each patch's lattice point, growth, weights and
        coefficients; unpickling finds each patch's samples again and never
        solves.
    """

    # NumPy types every array as SupportsFloat, so a list of arrays would pass
    # for numbers, while the run time reads rows longer than one as vectors.
    @overload
    def __new__(
        cls,
        x: Sequence[_ArrayLike],
        y: _Input,
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[Any, Any]: ...
    @overload
    def __new__(
        cls,
        x: _Input,
        y: Sequence[_ArrayLike],
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[Any, Any]: ...
    @overload
    def __new__(
        cls,
        x: _Numbers,
        y: _Numbers,
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[float, float]: ...
    @overload
    def __new__(
        cls,
        x: _Numbers,
        y: _Vectors,
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[float, list[float]]: ...
    @overload
    def __new__(
        cls,
        x: _Vectors,
        y: _Numbers,
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[list[float], float]: ...
    @overload
    def __new__(
        cls,
        x: _Vectors,
        y: _Vectors,
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[list[float], list[float]]: ...
    @overload
    def __new__(
        cls,
        x: _Input,
        y: _Input,
        kernel_name: _KernelName | None = None,
        epsilon: _Number | None = None,
        *,
        smoothing: _Smoothing = 0.0,
        degree: SupportsIndex | None = None,
        patch_size: SupportsIndex | None = None,
        domain: tuple[_Corner, _Corner, SupportsIndex] | None = None,
        region: tuple[_Corner, _Corner] | None = None,
    ) -> Rbf[Any, Any]: ...
    @overload
    def predict(self: Rbf[float, _V], x_new: _Numbers | _Array, *, out: None = None) -> list[_V]:
        """Interpolated values at the points x_new, one per point, in order.

        x_new takes the form of the model's points: numbers for a model built
        on numbers, vectors for one built on vectors. A single point is a
        one-element sequence; a bare number raises TypeError. Values are
        floats or lists of floats, as the model's y were.

        Raises RuntimeError "NaN values in output" when a result is NaN,
        TypeError when x_new is not in the model's point form, and, for a
        model with a polynomial term, ValueError when a query vector's length
        is not that of the sample points.

        Once x_new has been read, the evaluation runs without the interpreter
        lock (unless it is tiny: fewer than 16384 kernel evaluations), spread
        over the worker pool when it is large; the results are the same bits.

        out (keyword-only): a writable, row-major contiguous float64 buffer
        (np.empty(shape)) of exactly the result's shape, (M,) for number
        values and (M, D) for vector values. The results are written into it
        and out itself is returned; no Python float is made, and the numbers
        are the bits the lists would hold. Any other out, or a model whose
        value vectors differ in length, raises TypeError or ValueError naming
        the expected shape; no refusal, nor the NaN RuntimeError, writes
        anything into out.
        """
    @overload
    def predict(self: Rbf[list[float], _V], x_new: _Vectors | _Array, *, out: None = None) -> list[_V]: ...
    @overload
    def predict(self, x_new: _Input, *, out: _Out) -> _Out: ...
    @property
    def kernel_name(self) -> _KernelName:
        """The kernel's name, one of those the constructor takes."""
    @property
    def epsilon(self) -> float:
        """epsilon as a float (1.0 where the constructor was given None)."""
    @property
    def n_samples(self) -> int:
        """The number of samples the model was fitted to."""
    @property
    def point_kind(self) -> _Kind:
        """"number" or "vector": the form of the sample points and of the points predict takes."""
    @property
    def value_kind(self) -> _Kind:
        """"number" or "vector": the form of the sample values and of what predict returns."""
    @property
    def points(self) -> list[_P]:
        """A new list of the sample points: floats, or lists of floats as long as each point."""
    @property
    def values(self) -> list[_V]:
        """A new list of the sample values: floats, or lists of floats."""
    @property
    def weights(self) -> list[_V]:
        """A new list of the fitted weights, one per sample, in the values' form.

        Vector weights need not all be as long as the values: a fit over
        values of different lengths combines them over common prefixes. A
        model fitted in patches has weights per patch: it raises
        AttributeError here, as for polynomial_coefficients.
        """
    @property
    def degree(self) -> int | None:
        """The polynomial term's degree as an int, or None for a model without one."""
    @property
    def polynomial_coefficients(self) -> list[_V] | None:
        """A new list of the polynomial term's coefficients, one per monomial in the values' form, or None for a model without one.

        They belong to the monomials in the shifted and scaled coordinates
        u_k = (x_k - shift_k) / scale_k that map the samples' range onto
        [-1, 1], in basis order 1, u0, u1, u0**2, u0*u1, u1**2, ... (by total
        degree), not to powers of the raw coordinates.
        """
    @property
    def patch_size(self) -> int | None:
        """The patch_size a model fitted in patches was fitted with, or None for a dense model."""
    @property
    def patches(self) -> int | None:
        """The number of patches of a model fitted in patches, or None for a dense model."""
    def restrict(self, lower: _Corner, upper: _Corner) -> Rbf[_P, _V]:
        """The sub-model of the patches that reach into the box [lower, upper].

        It keeps those patches unchanged and only the samples they hold, so
        it pickles small, and it predicts and differentiates to the same bits
        as this model at every query in the box that a patch covers (a query
        beyond every patch takes the nearest patch the sub-model holds).
        lower and upper are corners in the form of the points.

        Raises ValueError for a dense model, for corners of another length or
        with lower > upper, and when no patch reaches into the box.
        """
    @staticmethod
    def tile_halo(lower: _Corner, upper: _Corner, count: SupportsIndex, patch_size: SupportsIndex) -> float:
        """How far beyond a tile's region its samples must reach.

        For a data set of `count` samples with bounding box [lower, upper]:
        twice the largest radius a patch can grow to. A tile fit (domain,
        region) needs every sample within this distance of its region.
        """
    def __reduce__(self) -> tuple[Callable[[tuple[Any, ...]], Rbf[_P, _V]], tuple[tuple[Any, ...]]]:
        """The model's state for pickle: (pymorvel._restore, (state,)).

        Raises ValueError when a weight is not finite.
        """
    def __copy__(self) -> Rbf[_P, _V]:
        """The model itself: a model never changes."""
    def __deepcopy__(self, memo: Any, /) -> Rbf[_P, _V]:
        """The model itself: a model never changes."""
    # Typed through the value's TypeVar, as predict is, so that a model of
    # unknown shape gets list[Any]. For vector points and vector values the
    # type reads list[list[list[float]]] either way round; the nesting is
    # entry[c][k] as documented.
    @overload
    def gradient(self: Rbf[float, _V], x_new: _Numbers | _Array, *, out: None = None) -> list[_V]:
        """The derivative of the interpolant at the points x_new with respect
        to the query point's coordinates, one entry per point, in order.

        Entry shapes: number points and number values give a float; number
        points and vector values a list with one float per value component;
        vector points a list with one float per coordinate of the query
        point, and for vector values one such list per value component
        (entry[c][k] = d value_c / d x_k).

        Each sample contributes w * phi'(s) * 2 * (x_k - p_k), s = |x - p|**2,
        and the polynomial term, if any, its monomials' derivatives. It is the
        derivative of exactly what predict computes: a sample within squared
        distance 2**-52 of the query (a coinciding point), where predict sees
        the constant kernel(2**-52), contributes nothing, and a sample vector
        shorter than the query contributes nothing to the coordinates it
        lacks.

        Raises as predict does: RuntimeError "NaN values in output",
        TypeError for points of the wrong form, ValueError for a query vector
        of another length than the samples' when the model has a polynomial
        term.

        out (keyword-only): as for predict, of shape (M,) for number points
        and values, (M, D) for number points and vector values, (M, d) for
        vector points of d coordinates and number values, (M, D, d) for both
        vectors; vector query points must then all have d coordinates.
        """
    @overload
    def gradient(self: Rbf[list[float], _V], x_new: _Vectors | _Array, *, out: None = None) -> list[list[_V]]: ...
    @overload
    def gradient(self, x_new: _Input, *, out: _Out) -> _Out: ...

@final
class Evaluation(structseq[Any], tuple[str, float, float, float]):
    """One fit of an epsilon search (read-only)."""
    __match_args__: Final = ("kernel_name", "epsilon", "score", "condition")
    @property
    def kernel_name(self) -> str: ...
    @property
    def epsilon(self) -> float: ...
    @property
    def score(self) -> float: ...
    @property
    def condition(self) -> float: ...

@final
class EpsilonSelection(structseq[Any], tuple[str, float, float, Rbf[Any, Any], tuple[Evaluation, ...], int, bool]):
    """The result of select_epsilon (read-only)."""
    __match_args__: Final = ("kernel_name", "epsilon", "score", "model", "curve", "evaluations", "epsilon_searched")
    @property
    def kernel_name(self) -> str: ...
    @property
    def epsilon(self) -> float: ...
    @property
    def score(self) -> float: ...
    @property
    def model(self) -> Rbf[Any, Any]: ...
    @property
    def curve(self) -> tuple[Evaluation, ...]: ...
    @property
    def evaluations(self) -> int: ...
    @property
    def epsilon_searched(self) -> bool: ...

def loo_residuals(
    x: _Input,
    y: _Input,
    kernel_name: _KernelName | None = None,
    epsilon: _Number | None = None,
    *,
    smoothing: _Smoothing = 0.0,
    degree: SupportsIndex | None = None,
) -> list[float] | list[list[float]]: ...
def select_epsilon(
    x: _Input,
    y: _Input,
    kernel_name: _KernelName | Sequence[_KernelName] | None = None,
    *,
    smoothing: _Smoothing = 0.0,
    degree: SupportsIndex | None = None,
    bounds: tuple[_Number, _Number] | None = None,
) -> EpsilonSelection: ...
