"""The processor class does not reach the bits: fits and predictions with the C library's FMA code paths masked."""
import os
import shutil
import subprocess
import sys

import pytest

import pymorvel

# glibc picks its exp and log by processor features, and this tunable hides
# AVX2 and FMA from it (and from the module, which honours the same setting:
# every path then is the portable one).
MASKED = "glibc.cpu.hwcaps=-AVX2,-FMA"

# An input on which glibc's FMA and plain exp disagree in the last bit: the
# run proves that the mask took effect.
PROBE = float.fromhex("-0x1.ea721c71926p-3")

# Before the kernels had their own exp and log, these samples gave different
# bits in 149 of the 150 Gaussian and all 150 thin-plate predictions.
SCRIPT = f"""
import math, random
from pymorvel import Rbf
rng = random.Random(1)
points = [[rng.uniform(0, 3), rng.uniform(0, 3)] for _ in range(150)]
values = [math.sin(p[0]) * math.cos(p[1]) for p in points]
queries = [[rng.uniform(0, 3), rng.uniform(0, 3)] for _ in range(150)]
for kernel, epsilon in (("gaussian", 0.5), ("thin_plate_spline", 1.0)):
    print(kernel, *(v.hex() for v in Rbf(points, values, kernel, epsilon).predict(queries)))
print("probe", math.exp({PROBE!r}).hex())
"""


def run(glibc_tunables):
    env = dict(os.environ)
    env.pop("GLIBC_TUNABLES", None)
    if glibc_tunables:
        env["GLIBC_TUNABLES"] = glibc_tunables
    out = subprocess.run([sys.executable, "-c", SCRIPT], env=env, capture_output=True, text=True,
                         timeout=300, check=True).stdout
    return dict(line.split(" ", 1) for line in out.splitlines())


@pytest.fixture(scope="module")
def runs():
    return run(None), run(MASKED)


@pytest.mark.parametrize("kernel", ["gaussian", "thin_plate_spline"])
def test_fit_and_predict_bits_do_not_depend_on_fma(runs, kernel):
    plain, masked = runs
    if plain["probe"] == masked["probe"]:
        pytest.skip("this processor has no FMA for the tunable to hide")
    assert plain[kernel] == masked[kernel]


def dynamic_symbols(which):
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm (binutils) is not installed")
    listing = subprocess.run([nm, "-D", which, pymorvel.__file__], capture_output=True, text=True, check=True).stdout
    return [line.split()[-1].split("@")[0] for line in listing.splitlines()]


def test_module_exports_its_init_function_alone():
    assert dynamic_symbols("--defined-only") == ["PyInit_pymorvel"]
    # The kernels' exp and log are the module's own: the C library's are not used.
    assert not {"exp", "log"} & set(dynamic_symbols("--undefined-only"))


# The module asks the processor itself, the same way in a wheel as in a source
# build: the C library's feature report exists from glibc 2.33 on only, and a
# wheel for older ones that imported it would not load there.
def test_module_imports_no_processor_report():
    assert "__x86_get_cpuid_feature_leaf" not in dynamic_symbols("--undefined-only")
