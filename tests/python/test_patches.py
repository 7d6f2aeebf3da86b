"""Models fitted in patches, from Python: their arguments and refusals, properties, pickles, sub-models and tiles, and their bits across inputs, processes and workers."""
import hashlib
import pickle

import numpy as np
import pytest

from pymorvel import Rbf
from support import run_child

SIZE_TEXT = "patch_size must be None or an int from 8 to 10000 (about that many samples per patch), not "


def samples(n, dimension=2, seed=3):
    rng = np.random.default_rng(seed)
    x = rng.random((n, dimension))
    return x, np.sin(2 * x[:, 0]) + np.cos(3 * x[:, -1])


X, Y = samples(3000)
MODEL = Rbf(X, Y, "multiquadric", 0.03, degree=1, patch_size=32)
QUERIES = np.random.default_rng(5).uniform(-0.2, 1.2, (500, 2))


def bits(values):
    return np.asarray(values, dtype=np.float64).tobytes()


def error_of(call):
    with pytest.raises(Exception) as info:
        call()
    return type(info.value), str(info.value)


# ---------------------------------------------------------------- arguments

@pytest.mark.parametrize("patch_size, error, text", [
    (True, TypeError, SIZE_TEXT + "a bool"),
    (32.0, TypeError, SIZE_TEXT + "a float"),
    ("32", TypeError, SIZE_TEXT + "a str"),
    (7, ValueError, SIZE_TEXT + "7"),
    (10001, ValueError, SIZE_TEXT + "10001"),
    (-32, ValueError, SIZE_TEXT + "-32"),
    (2 ** 70, ValueError, SIZE_TEXT + str(2 ** 70)),
])
def test_patch_size_must_be_an_int_in_range(patch_size, error, text):
    assert error_of(lambda: Rbf(X[:100], Y[:100], patch_size=patch_size)) == (error, text)


def test_patch_size_takes_any_index_and_none_is_the_dense_fit():
    model = Rbf(X[:500], Y[:500], "gaussian", 0.1, patch_size=np.int64(40))
    assert (model.patch_size, type(model.patch_size)) == (40, int)
    dense = Rbf(X[:200], Y[:200], "gaussian", 0.1, patch_size=None)
    assert (dense.patch_size, dense.patches) == (None, None)
    assert pickle.dumps(dense) == pickle.dumps(Rbf(X[:200], Y[:200], "gaussian", 0.1))


@pytest.mark.parametrize("kernel, degree, text", [
    ("linear", 2, "patch_size does not take the linear and cubic kernels"),
    ("cubic", None, "patch_size does not take the linear and cubic kernels"),
    ("thin_plate_spline", None, "patch_size with thin_plate_spline needs degree >= 2"),
    ("thin_plate_spline", 1, "patch_size with thin_plate_spline needs degree >= 2"),
])
def test_kernels_that_patches_cannot_fit_are_refused_before_the_data(kernel, degree, text):
    kind, message = error_of(lambda: Rbf("not points", "at all", kernel, degree=degree, patch_size=32))
    assert kind is ValueError and message.startswith(text)


@pytest.mark.parametrize("x, y, text", [
    (np.zeros((20, 4)), np.zeros(20), "patch_size needs points of 1, 2 or 3 coordinates (numbers, or vectors of 1 to 3 "
                                      "components): these have 4; fit other dimensions with patch_size=None"),
    ([[0.0, 1.0], [1.0]], [1.0, 2.0], "patch_size needs points of one length: point 0 has length 2, point 1 has length 1"),
    ([[0.0, 1.0], [1.0, float("nan")]], [1.0, 2.0],
     "patch_size needs finite coordinates: NaN or infinity in point 1"),
    ([0.0, 1.0], [[1.0, 2.0], [3.0]], "patch_size needs values of one length: value 0 has length 2, value 1 has length 1"),
])
def test_points_and_values_that_patches_cannot_take(x, y, text):
    assert error_of(lambda: Rbf(x, y, patch_size=32)) == (ValueError, text)


DOMAIN = (X.min(axis=0), X.max(axis=0), len(X))


@pytest.mark.parametrize("keywords, error, start", [
    (dict(domain=DOMAIN), ValueError, "domain and region need patch_size"),
    (dict(region=([0, 0], [1, 1])), ValueError, "domain and region need patch_size"),
    (dict(patch_size=32, domain=DOMAIN[:2]), TypeError, "domain must be None or (lower, upper, count)"),
    (dict(patch_size=32, domain=(DOMAIN[0], DOMAIN[1], True)), TypeError, "domain must be None or (lower, upper, count)"),
    (dict(patch_size=32, domain=(DOMAIN[0], DOMAIN[1], -1)), ValueError, "domain's count must be at least"),
    (dict(patch_size=32, domain=(DOMAIN[0], DOMAIN[1], 10)), ValueError, "domain's count must be at least"),
    (dict(patch_size=32, domain=([0, 0, 0], [1, 1, 1], len(X))), ValueError, "domain needs corners of 2 finite"),
    (dict(patch_size=32, domain=(["a", 0], [1, 1], len(X))), TypeError, "domain takes corners that are numbers"),
    (dict(patch_size=32, region="ab"), TypeError, "region must be None or (lower, upper)"),
    (dict(patch_size=32, region=([0.5, 0.5], [0.4, 0.6])), ValueError, "region needs corners of 2 finite"),
    (dict(patch_size=32, domain=([0.1, 0.1], [1, 1], len(X))), ValueError, "domain must hold every sample: point "),
])
def test_tile_arguments_are_checked(keywords, error, start):
    kind, message = error_of(lambda: Rbf(X, Y, "multiquadric", 0.03, **keywords))
    assert kind is error and message.startswith(start), message


# ---------------------------------------------------------------- the model

def test_properties_say_how_the_model_was_fitted():
    assert (MODEL.patch_size, MODEL.degree, MODEL.n_samples) == (32, 1, len(X))
    assert isinstance(MODEL.patches, int) and len(X) / 32 < MODEL.patches < len(X) / 4
    assert bits(MODEL.points) == bits(X) and bits(MODEL.values) == bits(Y)
    assert repr(MODEL) == "Rbf<Vec<f64>, f64>: epsilon = 0.03"
    for name in ("weights", "polynomial_coefficients"):
        with pytest.raises(AttributeError, match=f"^{name}: a model fitted in patches has them per patch"):
            getattr(MODEL, name)
    assert not hasattr(MODEL, "weights")


def test_passes_through_the_samples_and_extends_beyond_them():
    values = np.asarray(MODEL.predict(X))
    assert np.max(np.abs(values - Y)) < 1e-10
    far = MODEL.predict([[5.0, 5.0], [-9.0, 0.5]])
    assert np.all(np.isfinite(far))
    with pytest.raises(RuntimeError, match="^NaN values in output$"):
        MODEL.predict([[0.5, 0.5], [float("nan"), 0.5]])
    with pytest.raises(ValueError, match="^Patches need query points of length 2: query point 1 has length 3$"):
        MODEL.predict([[0.5, 0.5], [0.5, 0.5, 0.5]])


@pytest.mark.parametrize("dimension", [1, 2])
def test_lists_and_arrays_give_the_same_bits(dimension):
    x, y = samples(800, dimension)
    if dimension == 1:
        x = x[:, 0]
    epsilon = 0.004 if dimension == 1 else 0.05  # about three sample spacings
    from_arrays = Rbf(x, np.stack([y, -y], axis=1), "gaussian", epsilon, patch_size=24)
    from_lists = Rbf(x.tolist(), [[v, -v] for v in y], "gaussian", epsilon, patch_size=24)
    queries = QUERIES[:, 0] if dimension == 1 else QUERIES
    assert bits(from_arrays.predict(queries)) == bits(from_lists.predict(queries.tolist()))
    assert bits(from_arrays.gradient(queries)) == bits(from_lists.gradient(queries.tolist()))
    assert pickle.dumps(from_arrays) == pickle.dumps(from_lists)


# ---------------------------------------------------------------- pickles

def test_a_pickle_carries_the_patches_and_loads_without_solving():
    state = MODEL.__reduce__()[1][0]
    assert (state[0], len(state)) == (3, 14)
    again = pickle.loads(pickle.dumps(MODEL))
    assert (again.patch_size, again.patches, again.degree) == (MODEL.patch_size, MODEL.patches, MODEL.degree)
    assert bits(again.predict(QUERIES)) == bits(MODEL.predict(QUERIES))
    assert bits(again.gradient(QUERIES)) == bits(MODEL.gradient(QUERIES))
    assert pickle.dumps(again) == pickle.dumps(MODEL)


def changed(index, value):
    state = list(MODEL.__reduce__()[1][0])
    state[index] = value(state[index]) if callable(value) else value
    return tuple(state)


PLACES = "Rbf state: patches need ascending lattice points inside the lattice, growths from 0 to 4, and a sample each"


@pytest.mark.parametrize("state, error, start", [
    (changed(10, lambda nodes: nodes[::-1]), ValueError, PLACES),
    (changed(11, lambda growths: growths[:-1] + [5]), ValueError, PLACES),
    (changed(11, lambda growths: growths[:-1]), ValueError, PLACES),
    (changed(10, lambda nodes: nodes[:-1] + [10 ** 9]), ValueError, PLACES),
    (changed(12, lambda weights: weights[:-1]), ValueError, "Rbf state: the patches need one weight per sample"),
    (changed(12, lambda weights: weights[:-1] + [float("inf")]), ValueError, "Rbf state: every weight must be finite"),
    (changed(13, lambda c: c[:-1]), ValueError, "Rbf state: the patches need one coefficient per monomial"),
    (changed(6, 5), ValueError, "Rbf state: the patch size must lie between 8 and 10000"),
    (changed(6, "32"), TypeError, "Rbf state: the patch size, growths and lattice points must be ints"),
    (changed(10, lambda nodes: [float(n) for n in nodes]), TypeError, "Rbf state: the patch size, growths"),
    (changed(1, "linear"), ValueError, "Rbf state: patch_size does not take the linear and cubic kernels"),
    (changed(5, None), ValueError, "Rbf state: the patches need one coefficient per monomial"),
    (changed(7, [0.0, 0.0, 0.0]), ValueError, "Rbf state: domain needs corners of 2 finite coordinates"),
    (changed(9, 10), ValueError, "Rbf state: domain's count must be at least the number of samples"),
    (changed(8, [0.5, 0.5]), ValueError, "Rbf state: domain must hold every sample: point "),
    (changed(3, lambda points: [p + [0.0, 0.0] for p in points]), ValueError, "Rbf state: patch_size needs points of"),
    (changed(0, 3)[:13], ValueError, "Rbf state: unsupported format version"),
])
def test_a_damaged_state_is_refused(state, error, start):
    kind, message = error_of(lambda: type(MODEL).__reduce__(MODEL)[0](state))
    assert kind is error and message.startswith(start), message


# ---------------------------------------------------------------- sub-models and tiles

def test_restrict_keeps_the_bits_inside_its_box_and_pickles_small():
    lower, upper = [0.3, 0.1], [0.55, 0.4]
    part = MODEL.restrict(lower, upper)
    inside = QUERIES[np.all((QUERIES >= lower) & (QUERIES <= upper), axis=1)]
    assert len(inside) > 10
    assert bits(part.predict(inside)) == bits(MODEL.predict(inside))
    assert bits(part.gradient(inside)) == bits(MODEL.gradient(inside))
    assert len(pickle.dumps(part)) * 6 < len(pickle.dumps(MODEL))
    assert pickle.dumps(part.restrict(lower, upper)) == pickle.dumps(part)
    assert part.patches < MODEL.patches and part.n_samples < MODEL.n_samples


@pytest.mark.parametrize("call, error, text", [
    (lambda: Rbf(X[:50], Y[:50]).restrict([0, 0], [1, 1]), ValueError,
     "restrict needs a model fitted in patches (patch_size)"),
    (lambda: MODEL.restrict([5, 5], [6, 6]), ValueError, "No patch reaches into the box"),
    (lambda: MODEL.restrict([0, 0, 0], [1, 1, 1]), ValueError,
     "restrict needs corners of 2 finite coordinates, lower <= upper in each"),
    (lambda: MODEL.restrict("a", [1, 1]), TypeError, "restrict takes corners that are numbers or sequences of numbers"),
    (lambda: Rbf.tile_halo([0, 0], [1, 1], 100, 5), ValueError, SIZE_TEXT + "5"),
    (lambda: Rbf.tile_halo([0, 0], [1, 1], True, 32), TypeError, "domain must be None or (lower, upper, count)"),
])
def test_restrict_and_tile_halo_refusals(call, error, text):
    kind, message = error_of(call)
    assert (kind, message.split(": the corners")[0]) == (error, text.split(": the corners")[0])


def test_a_tile_fitted_with_its_halo_is_the_whole_model_restricted():
    lower, upper, count = DOMAIN
    halo = Rbf.tile_halo(lower, upper, count, 32)
    assert 0 < halo < 0.5
    assert Rbf.tile_halo(list(lower), list(upper), count * 4, patch_size=32) < halo
    for tile_lower, tile_upper in (([0.0, 0.0], [0.5, 0.5]), ([0.5, 0.25], [1.0, 0.75])):
        near = np.all((X >= np.subtract(tile_lower, halo)) & (X <= np.add(tile_upper, halo)), axis=1)
        assert near.sum() < len(X)
        tile = Rbf(X[near], Y[near], "multiquadric", 0.03, degree=1, patch_size=32,
                   domain=(lower, upper, count), region=(tile_lower, tile_upper))
        assert pickle.dumps(tile) == pickle.dumps(MODEL.restrict(tile_lower, tile_upper))


# ---------------------------------------------------------------- processes and workers

WORKERS_CHILD = """
    import hashlib, json, pickle
    import numpy as np
    from pymorvel import Rbf
    rng = np.random.default_rng(3)
    x = rng.random((20000, 2))
    y = np.sin(2 * x[:, 0]) + np.cos(3 * x[:, 1])
    model = Rbf(x, y, "gaussian", 0.02, degree=1, patch_size=40)
    q = np.random.default_rng(5).uniform(-0.2, 1.2, (20000, 2))
    digest = hashlib.sha256(pickle.dumps(model))
    digest.update(np.asarray(model.predict(q)).tobytes())
    digest.update(np.asarray(model.gradient(q[:3000])).tobytes())
    print(json.dumps({"digest": digest.hexdigest()}))
"""


def test_the_same_bits_on_one_two_and_seven_workers():
    digests = set()
    for workers in ("1", "2", "7"):
        code, report, err = run_child(WORKERS_CHILD, env={"RAYON_NUM_THREADS": workers}, timeout=600)
        assert code == 0, err
        digests.add(report["digest"])
    assert len(digests) == 1


INTERRUPT_CHILD = """
    import json, signal
    import numpy as np
    from pymorvel import Rbf

    def raise_timeout(*_):
        raise TimeoutError("took too long")

    signal.signal(signal.SIGALRM, raise_timeout)
    rng = np.random.default_rng(3)
    x = rng.random((400000, 2))
    y = np.sin(2 * x[:, 0])
    outcomes = []
    signal.setitimer(signal.ITIMER_REAL, 0.05)
    try:
        Rbf(x, y, "multiquadric", 0.005, patch_size=64)
        outcomes.append("fitted")
    except TimeoutError:
        outcomes.append("TimeoutError")
    model = Rbf(x[:20000], y[:20000], "multiquadric", 0.01, patch_size=32)
    q = rng.random((1000000, 2))
    signal.setitimer(signal.ITIMER_REAL, 0.05)
    try:
        model.predict(q)
        outcomes.append("predicted")
    except TimeoutError:
        outcomes.append("TimeoutError")
    out = np.full(len(q), 7.0)
    signal.setitimer(signal.ITIMER_REAL, 0.05)
    try:
        model.predict(q, out=out)
        outcomes.append("predicted into out")
    except TimeoutError:
        outcomes.append("TimeoutError")
    print(json.dumps({"outcomes": outcomes, "out untouched": bool((out == 7.0).all()),
                      "after": model.predict([[0.5, 0.5]])}))
"""


def test_a_signal_stops_a_long_fit_or_prediction_in_patches():
    code, report, err = run_child(INTERRUPT_CHILD, timeout=600)
    assert code == 0, err
    assert report["outcomes"] == ["TimeoutError"] * 3
    assert report["out untouched"]
    rng = np.random.default_rng(3)
    x = rng.random((400000, 2))[:20000]
    assert report["after"] == Rbf(x, np.sin(2 * x[:, 0]), "multiquadric", 0.01, patch_size=32).predict([[0.5, 0.5]])


def test_out_takes_the_same_bits_as_the_lists():
    values, slopes = np.empty(len(QUERIES)), np.empty((len(QUERIES), 2))
    assert MODEL.predict(QUERIES, out=values) is values
    assert MODEL.gradient(QUERIES, out=slopes) is slopes
    assert values.tobytes() == bits(MODEL.predict(QUERIES))
    assert slopes.tobytes() == bits(MODEL.gradient(QUERIES))
