"""loo_residuals and select_epsilon: residuals against refits, the model's bits, the same bits on any worker count, the constructor's errors."""
import json
import math
import os
import pickle
import random
import struct
import subprocess
import sys

import pytest

import pymorvel
from support import error_of


def samples(n, dims, outputs=None, seed=3):
    rng = random.Random(seed)
    x = [rng.random() for _ in range(n)] if dims == 1 else [[rng.random() for _ in range(dims)] for _ in range(n)]
    def f(p):
        p = [p] if dims == 1 else p
        return math.sin(3 * p[0]) + sum(p) ** 2 / 4
    y = [f(p) if outputs is None else [f(p) * (k + 1) for k in range(outputs)] for p in x]
    return x, y


def bits(values):
    flat = []
    for v in values:
        flat.extend(v if isinstance(v, list) else [v])
    return struct.pack(f"{len(flat)}d", *flat)


@pytest.mark.parametrize("dims,outputs,kernel,epsilon,options", [
    (1, None, "gaussian", 0.05, {}),
    (2, None, "multiquadric", 0.3, {"smoothing": 1e-3}),
    (2, 2, "inverse_multiquadratic", 0.5, {"degree": 1}),
    (3, None, "thin_plate_spline", None, {"degree": 1}),
])
def test_residuals_equal_refits_without_each_sample(dims, outputs, kernel, epsilon, options):
    x, y = samples(20, dims, outputs)
    residuals = pymorvel.loo_residuals(x, y, kernel, epsilon, **options)
    assert len(residuals) == len(y) and type(residuals[0]) is type(y[0])
    for k in range(len(x)):
        rest = pymorvel.Rbf(x[:k] + x[k + 1:], y[:k] + y[k + 1:], kernel, epsilon, **options)
        at = rest.predict([x[k]])[0]
        for got, value, predicted in zip(*(v if outputs else [v] for v in (residuals[k], y[k], at))):
            assert got == pytest.approx(value - predicted, rel=1e-8, abs=1e-11)


@pytest.mark.parametrize("kernels,options", [
    ("multiquadric", {}),
    (["gaussian", "cubic"], {"degree": 1}),
    (("thin_plate_spline",), {"smoothing": 1e-6}),
])
def test_model_is_the_constructors_fit_at_the_choice(kernels, options):
    x, y = samples(40, 2)
    chosen = pymorvel.select_epsilon(x, y, kernels, **options)
    plain = pymorvel.Rbf(x, y, chosen.kernel_name, chosen.epsilon, **options)
    assert bits(chosen.model.weights) == bits(plain.weights)
    assert bits(chosen.model.predict(x[:5])) == bits(plain.predict(x[:5]))
    assert (chosen.epsilon, chosen.score) in [(e.epsilon, e.score) for e in chosen.curve]
    assert chosen.evaluations == len(chosen.curve) <= 16 * (1 if isinstance(kernels, str) else len(kernels))
    assert chosen.epsilon_searched == (chosen.kernel_name in ("gaussian", "multiquadric", "inverse_multiquadratic"))
    again = pickle.loads(pickle.dumps(chosen))
    assert again.curve == chosen.curve and bits(again.model.weights) == bits(plain.weights)


def test_kernels_that_ignore_epsilon_get_one_evaluation():
    x, y = samples(30, 2)
    chosen = pymorvel.select_epsilon(x, y, "linear")
    assert (chosen.evaluations, chosen.epsilon, chosen.epsilon_searched) == (1, 1.0, False)


SELECTION_JSON = """
import json, random, struct, pymorvel
rng = random.Random(9)
x = [[rng.random(), rng.random()] for _ in range(400)]
y = [p[0] * p[1] + rng.random() * 1e-3 for p in x]
s = pymorvel.select_epsilon(x, y, ["gaussian", "inverse_multiquadratic"])
print(json.dumps([[e.epsilon, e.score, e.condition] for e in s.curve] + [struct.pack("400d", *s.model.weights).hex()]))
"""


def test_selection_bits_equal_on_1_2_and_7_workers():
    outputs = set()
    for workers in ("1", "2", "7"):
        env = dict(os.environ, RAYON_NUM_THREADS=workers)
        done = subprocess.run([sys.executable, "-c", SELECTION_JSON], env=env, capture_output=True, text=True,
                              timeout=300)
        assert done.returncode == 0, done.stderr
        outputs.add(done.stdout)
    assert len(outputs) == 1


@pytest.mark.parametrize("args,kwargs", [
    (([], []), {}),
    (([1.0, 2.0], [1.0]), {}),
    (([1.0, 2.0], ["a", "b"]), {}),
    (([0.0, 1.0], [1.0, 2.0], "nope"), {}),
    (([0.0, 1.0], [1.0, 2.0], 3), {}),
    (([0.0, 1.0], [1.0, 2.0]), {"smoothing": -1.0}),
    (([0.0, 1.0], [1.0, 2.0]), {"smoothing": [0.0]}),
    (([0.0, 1.0], [1.0, 2.0]), {"degree": True}),
    (([0.0, 1.0], [1.0, 2.0]), {"degree": -1}),
    (([0.0, 1.0], [1.0, 2.0]), {"degree": 3}),
    (([[0.0, 0.0], [1.0, 1.0], [2.0, 2.0]], [1.0, 2.0, 3.0]), {"degree": 1}),
    (([0.0, 1.0],), {}),
])
def test_a_refused_input_gives_the_constructors_error(args, kwargs):
    def described(call, name):
        e = error_of(call)
        return type(e), str(e).replace(name, "NAME")
    expected = described(lambda: pymorvel.Rbf(*args, **kwargs), "Rbf.__new__")
    assert described(lambda: pymorvel.loo_residuals(*args, **kwargs), "pymorvel.loo_residuals") == expected
    assert described(lambda: pymorvel.select_epsilon(*args[:3], **kwargs), "pymorvel.select_epsilon") == expected


@pytest.mark.parametrize("kwargs,kind", [
    ({"kernel_name": []}, ValueError),
    ({"kernel_name": ["gaussian", 7]}, TypeError),
    ({"bounds": (0.0, 1.0)}, ValueError),
    ({"bounds": (2.0, 1.0)}, ValueError),
    ({"bounds": (1.0,)}, ValueError),
    ({"bounds": "ab"}, TypeError),
])
def test_selection_arguments_are_checked(kwargs, kind):
    with pytest.raises(kind):
        pymorvel.select_epsilon([0.0, 1.0, 2.0], [1.0, 2.0, 0.0], **kwargs)


def test_bounds_hold_every_evaluation():
    x, y = samples(30, 1)
    chosen = pymorvel.select_epsilon(x, y, "gaussian", bounds=(0.05, 0.4))
    assert all(0.05 <= e.epsilon <= 0.4 * (1 + 1e-12) for e in chosen.curve)
