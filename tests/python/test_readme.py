"""The README's promises: its examples run as shown and its error table matches what is raised."""
import ctypes
import doctest
import pathlib
import pickle
import re

import numpy as np
import pytest

import pymorvel
from pymorvel import Rbf
from support import run_child

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"


def readme_text():
    return README.read_text(encoding="utf-8")


def test_examples_print_what_the_readme_shows():
    pytest.importorskip("numpy")
    # Code fences would otherwise read as expected output of the example above them.
    text = re.sub(r"^```.*$", "", readme_text(), flags=re.MULTILINE)
    test = doctest.DocTestParser().get_doctest(text, {}, "README.md", str(README), 0)
    assert test.examples, "the README lost its examples"
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.summarize(verbose=False).failed == 0


def _error_rows():
    """(class name, message) of every row of the README's error table."""
    section = readme_text().split("## Errors", 1)[1].split("\n## ", 1)[0]
    rows = []
    for line in section.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) == 5 and cells[1].startswith("`") and cells[1] != "class":
            message = cells[2].split(", then")[0].split(" (and")[0].strip()
            rows.append((cells[1].strip("`"), message.strip("`").strip()))
    return rows


def _fit_without_worker_threads():
    """A fit that needs the pool, in a child process that cannot start a thread:
    the child's exception is raised here with its class name and message."""
    code, report, err = run_child("""
        import json
        from pymorvel import Rbf
        from support import forbid_thread_starts
        forbid_thread_starts()
        try:
            Rbf([i * 0.01 for i in range(600)], [float(i % 7) for i in range(600)], "multiquadric")
            print(json.dumps({"raised": None}))
        except BaseException as e:
            print(json.dumps({"raised": [type(e).__name__, str(e)]}))
    """, env={"RAYON_NUM_THREADS": "2"}, timeout=120)
    assert code == 0 and report is not None, err
    if "skip" in report:
        pytest.skip(report["skip"])
    assert report["raised"] is not None, "the fit succeeded"
    name, message = report["raised"]
    raise type(name, (BaseException,), {})(message)


def _list_without_memory():
    """A result list the interpreter cannot allocate, in a child process: its
    MemoryError is raised here with its class name and message."""
    code, report, err = run_child("""
        import json
        import _testcapi
        from pymorvel import Rbf
        model, queries = Rbf([0.0, 1.0], [0.0, 1.0]), [0.5] * 300
        raised = None
        for start in range(400):
            _testcapi.set_nomemory(start, start + 1)  # one allocation fails: the list, or a float
            try:
                model.predict(queries)
            except MemoryError as e:
                raised = raised or [type(e).__name__, str(e)]
            finally:
                _testcapi.remove_mem_hooks()
        print(json.dumps({"raised": raised}))
    """, timeout=60)
    assert code == 0 and report is not None and report["raised"] is not None, err
    name, message = report["raised"]
    raise type(name, (BaseException,), {})(message)


def _corners_model():
    return Rbf([[0.0, 0.0], [1.0, 1.0]], [0.0, 1.0])


def _number_model():
    return Rbf([0.0, 1.0], [0.0, 1.0], "linear")


def _plane_model():
    return Rbf([[0.0, 0.0], [1.0, 0.0], [0.0, 1.0]], [0.0, 1.0, 2.0], degree=1)


# Each documented failure, provoked the way the table says it happens.
PROVOKED = {
    "Rbf.__new__() missing 1 required positional argument: 'y'": lambda: Rbf([0.0]),
    "argument 'kernel_name': 'int' object cannot be converted to 'PyString'": lambda: Rbf([0.0], [0.0], 3),
    "argument 'epsilon': must be real number, not str": lambda: Rbf([0.0], [0.0], epsilon="wide"),
    "argument 'smoothing': must be real number, not str": lambda: Rbf([0.0], [0.0], smoothing="much"),
    "argument 'degree': 'float' object cannot be interpreted as an integer": lambda: Rbf([0.0], [0.0], degree=1.0),
    "Degree must be None or a non-negative integer": lambda: Rbf("not even a sequence", [0.0], "Gaussian", degree=-1),
    "kernel_name must name at least one kernel": lambda: pymorvel.select_epsilon([0.0, 1.0], [0.0, 1.0], []),
    "bounds must be two finite numbers low, high with 0 < low <= high":
        lambda: pymorvel.select_epsilon([0.0, 1.0], [0.0, 1.0], bounds=(2.0, 1.0)),
    "Unsupported kernel": lambda: Rbf("not even a sequence", [0.0], "Gaussian"),
    "Rbf state: kernel … needs a polynomial term of degree >= D":
        lambda: pymorvel._restore((1, "polyharmonic_3", 1.0, [0.0, 1.0], [1.0, 2.0], [1.0, -1.0])),
    "Kernel … needs degree >= D (or None, which means D): got G":
        lambda: Rbf("not even a sequence", [0.0], "polyharmonic_5", degree=1),
    "Unsupported input shapes for x and y": lambda: Rbf((v for v in [0.0]), [0.0]),
    "assertion `left == right` failed: x and y must have the same length": lambda: Rbf([0.0, 1.0, 2.0], [0.0, 1.0]),
    "The global thread pool has not been initialized.: ThreadPoolBuildError …": _fit_without_worker_threads,
    "Design matrix and RHS must be non-empty and the same length.": lambda: Rbf([], []),
    "Smoothing must be finite and non-negative": lambda: Rbf([0.0, 1.0], [0.0, 1.0], smoothing=-1.0),
    "Smoothing must be finite and non-negative, and is not at index K":
        lambda: Rbf([0.0, 1.0], [0.0, 1.0], smoothing=[0.0, float("nan")]),
    "Smoothing needs one value per sample: got G for N samples": lambda: Rbf([0.0, 1.0], [0.0, 1.0], smoothing=[1.0]),
    "Polynomial term needs points of one length: point 0 has length D, point K has length L":
        lambda: Rbf([[0.0, 0.0], [1.0]], [0.0, 1.0], degree=0),
    "Polynomial term needs finite coordinates: NaN or infinity in point K":
        lambda: Rbf([0.0, float("inf")], [0.0, 1.0], degree=0),
    "Polynomial term has Q monomials, more than the sample count N": lambda: Rbf([0.0, 1.0], [0.0, 1.0], degree=2),
    "Polynomial term has Q monomials but rank R on the samples":
        lambda: Rbf([[0.0, 0.0], [1.0, 1.0], [2.0, 2.0]], [0.0, 1.0, 2.0], degree=1),
    "Exact zero pivot encountered at column K": lambda: Rbf([0.0, 0.0, 0.0], [1.0, 2.0, 3.0]),
    "NaN detected in backward substitution at index K": lambda: Rbf([0.0, 0.0], [1.0, 1.0]),
    "fitting … points needs … for the kernel matrix; …": lambda: Rbf(range(3_000_000), range(3_000_000)),
    "—": lambda: _list_without_memory(),
    "Rbf.predict(): out must be a writable, row-major contiguous float64 buffer of shape …, or None; got …":
        lambda: _number_model().predict([0.5], out=[0.0]),
    "Rbf.gradient(): out must be a writable, row-major contiguous float64 buffer of shape …, or None; got …":
        lambda: _number_model().gradient([0.5], out=np.empty(2)),
    "Rbf.predict(): out needs a model whose value vectors have one length, and value K has N numbers where value 0 "
    "has M; call it without out to get lists":
        lambda: Rbf([0.0, 1.0], [[0.0], [1.0, 2.0]]).predict([0.5], out=np.empty((1, 1))),
    "Rbf.gradient(): out needs query points of one length, and they are not all of length D; pass them as a "
    "two-dimensional array, or call it without out":
        lambda: _corners_model().gradient([[0.5, 0.5], [0.5]], out=np.empty((2, 2))),
    "patch_size must be None or an int from 8 to 10000 (about that many samples per patch), not a float":
        lambda: Rbf([0.0], [0.0], patch_size=8.0),
    "patch_size must be None or an int from 8 to 10000 (about that many samples per patch), not N":
        lambda: Rbf([0.0], [0.0], patch_size=7),
    "patch_size does not take the linear and cubic kernels: …": lambda: Rbf([0.0], [0.0], "linear", patch_size=8),
    "patch_size with thin_plate_spline needs degree >= 2: …":
        lambda: Rbf([0.0], [0.0], "thin_plate_spline", patch_size=8),
    "patch_size needs points of 1, 2 or 3 coordinates (numbers, or vectors of 1 to 3 components): these have D; "
    "fit other dimensions with patch_size=None": lambda: Rbf([[0.0] * 4], [0.0], patch_size=8),
    "patch_size needs points of one length: point 0 has length D, point K has length L":
        lambda: Rbf([[0.0, 0.0], [1.0]], [0.0, 1.0], patch_size=8),
    "patch_size needs finite coordinates: NaN or infinity in point K":
        lambda: Rbf([0.0, float("nan")], [0.0, 1.0], patch_size=8),
    "patch_size needs values of one length: value 0 has length C, value K has length L":
        lambda: Rbf([0.0, 1.0], [[0.0, 1.0], [1.0]], patch_size=8),
    "In the patch at lattice point P: …": lambda: Rbf([0.0, 0.0, 0.0, 1.0], [1.0, 2.0, 3.0, 4.0], patch_size=8),
    "No patch could be fitted: …": lambda: Rbf([0.0, 1.0, 2.0], [1.0, 2.0, 3.0], degree=5, patch_size=8),
    "domain and region need patch_size": lambda: Rbf([0.0], [0.0], region=(0.0, 1.0)),
    "domain must be None or (lower, upper, count): …": lambda: Rbf([0.0], [0.0], patch_size=8, domain=(0.0, 1.0)),
    "region must be None or (lower, upper): …": lambda: Rbf([0.0], [0.0], patch_size=8, region=0.5),
    "domain takes corners that are numbers or sequences of numbers":
        lambda: Rbf([0.0], [0.0], patch_size=8, domain=("low", 1.0, 1)),
    "domain needs corners of D finite coordinates, lower <= upper in each":
        lambda: Rbf([0.0, 1.0], [0.0, 1.0], patch_size=8, domain=([0.0, 0.0], [1.0, 1.0], 2)),
    "domain's count must be at least the number of samples":
        lambda: Rbf([0.0, 1.0], [0.0, 1.0], patch_size=8, domain=(0.0, 1.0, 1)),
    "domain must hold every sample: point K lies outside it":
        lambda: Rbf([0.0, 2.0], [0.0, 1.0], patch_size=8, domain=(0.0, 1.0, 2)),
    "Patches need query points of length D: query point K has length L":
        lambda: _patch_model().predict([[0.5, 0.5], [0.5]]),
    "restrict needs a model fitted in patches (patch_size)": lambda: _number_model().restrict(0.0, 1.0),
    "No patch reaches into the box": lambda: _patch_model().restrict([5.0, 5.0], [6.0, 6.0]),
    "'float' object cannot be converted to 'Sequence'": lambda: _corners_model().predict([0.5, 0.5]),
    "Can't extract `str` to `Vec`": lambda: _number_model().predict("0.5"),
    "must be real number, not list": lambda: _number_model().predict([[0.5]]),
    "memoryview: unsupported format <d": lambda: _number_model().predict(memoryview((ctypes.c_double * 1)(0.5))),
    "Polynomial term needs points of length D: query point K has length L": lambda: _plane_model().gradient([[0.5]]),
    "NaN values in output": lambda: _number_model().predict([float("inf")]),
    "cannot pickle an Rbf whose weights are not all finite": lambda: pickle.dumps(Rbf([0.0, 0.0], [1.0, 2.0])),
    "Rbf state must be a tuple": lambda: _restore_changed(lambda state: list(state)),
    "Rbf state must hold 6 items: format version, kernel name, epsilon, points, values and weights":
        lambda: _restore_changed(lambda state: state[:5]),
    "Rbf state: the format version must be an int": lambda: _restore_changed(lambda state: ("1",) + state[1:]),
    "Rbf state: unsupported format version": lambda: _restore_changed(lambda state: (2,) + state[1:]),
    "Rbf state: the kernel name must be a str": lambda: _restore_changed(lambda state: state[:1] + (3,) + state[2:]),
    "Rbf state: unknown kernel name": lambda: _restore_changed(lambda state: state[:1] + ("lineal",) + state[2:]),
    "Rbf state: epsilon must be a float": lambda: _restore_changed(lambda state: state[:2] + (1,) + state[3:]),
    "Rbf state: points must be a list of floats or a list of lists of floats":
        lambda: _restore_changed(lambda state: state[:3] + ([0, 1],) + state[4:]),
    "Rbf state: values and weights must both be numbers or both be vectors":
        lambda: _restore_changed(lambda state: state[:4] + ([[0.0], [1.0]],) + state[5:]),
    "Rbf state: points, values and weights must be non-empty and equally many":
        lambda: _restore_changed(lambda state: state[:5] + (state[5][:1],)),
    "Rbf state: every weight must be finite":
        lambda: _restore_changed(lambda state: state[:5] + ([float("nan"), 1.0],)),
    "Rbf state: the degree must be an int":
        lambda: _restore_polynomial_changed(lambda state: state[:6] + (True,) + state[7:]),
    "Rbf state: the degree must lie between 0 and sys.maxsize":
        lambda: _restore_polynomial_changed(lambda state: state[:6] + (-1,) + state[7:]),
    "Rbf state: values and coefficients must both be numbers or both be vectors":
        lambda: _restore_polynomial_changed(lambda state: state[:7] + ([[c] for c in state[7]],)),
    "Rbf state: Polynomial term needs points of one length: point 0 has length D, point K has length L":
        lambda: _restore_polynomial_changed(lambda state: state[:3] + ([[0.0, 0.0], [1.0], [0.0, 1.0]],) + state[4:]),
    "Rbf state: the polynomial term needs one coefficient per monomial: got C for Q monomials":
        lambda: _restore_polynomial_changed(lambda state: state[:7] + (state[7][:2],)),
    "Rbf state: every coefficient must be finite":
        lambda: _restore_polynomial_changed(lambda state: state[:7] + (state[7][:2] + [float("inf")],)),
    "Rbf state: the patch size, growths and lattice points must be ints, the domain two lists of floats and an int":
        lambda: _restore_patch_changed(lambda state: state[:6] + ("8",) + state[7:]),
    "Rbf state: the patch size must lie between 8 and 10000, and the samples number at most 4294967295":
        lambda: _restore_patch_changed(lambda state: state[:6] + (5,) + state[7:]),
    "Rbf state: patches need ascending lattice points inside the lattice, growths from 0 to 4, and a sample each":
        lambda: _restore_patch_changed(lambda state: state[:10] + (state[10][::-1],) + state[11:]),
    "Rbf state: the patches need one weight per sample they hold: got W":
        lambda: _restore_patch_changed(lambda state: state[:12] + (state[12][:-1],) + state[13:]),
    "Rbf state: the patches need one coefficient per monomial: got C for Q":
        lambda: _restore_patch_changed(lambda state: state[:13] + (state[13][:-1],)),
    "Rbf state: patch_size needs points of one length: point 0 has length D, point K has length L":
        lambda: _restore_patch_changed(lambda state: state[:3] + ([state[3][0], [0.5]] + state[3][2:],) + state[4:]),
}


def _patch_model():
    return Rbf([[i / 5.0, j / 5.0] for i in range(6) for j in range(6)], [float(i % 4) for i in range(36)],
               "multiquadric", 0.3, degree=1, patch_size=8)


def _restore_patch_changed(change):
    """Restores the model in patches' pickled state after `change`."""
    _, (state,) = _patch_model().__reduce__()
    return pymorvel._restore(change(state))


def _restore_changed(change):
    """Restores the number model's pickled state after `change`."""
    _, (state,) = _number_model().__reduce__()
    return pymorvel._restore(change(state))


def _restore_polynomial_changed(change):
    """Restores the plane model's pickled state, which holds a polynomial term, after `change`."""
    _, (state,) = _plane_model().__reduce__()
    return pymorvel._restore(change(state))


@pytest.mark.parametrize("class_name, message", _error_rows(), ids=lambda v: v[:40])
def test_error_table_matches_what_is_raised(class_name, message):
    assert message in PROVOKED, f"no way to provoke the documented error {message!r}"
    with pytest.raises(BaseException) as caught:
        PROVOKED[message]()
    if isinstance(caught.value, pytest.skip.Exception):
        raise caught.value
    assert type(caught.value).__name__ == class_name
    raised = str(caught.value).splitlines()[0] if str(caught.value) else "—"
    # A K at the end is the index 1 in every provoked case; the other single
    # capital letters stand for any count, and an ellipsis for any text.
    pattern = re.sub(r"\b[A-Z]\b", r"\\d+", re.escape(re.sub(r"\bK$", "1", message))).replace("…", ".*")
    assert re.fullmatch(pattern, raised), (raised, message)


def test_error_table_covers_every_documented_failure():
    assert {message for _, message in _error_rows()} == set(PROVOKED)
