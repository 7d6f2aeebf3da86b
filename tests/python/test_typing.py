"""The shipped type stubs: they match the module, and they accept and reject what it does."""
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("mypy")

USAGE = Path(__file__).resolve().parent.parent / "typing" / "usage.py"
# mypy's cache outlives the run: it checks each file's hash, so a changed stub
# is read again, and NumPy's stubs, most of the work, are read once.
CACHE = Path(__file__).resolve().parents[2] / "build" / "mypy-cache"


def run(args, cwd):
    # A temporary working directory keeps the current directory's modules out
    # of the picture: pymorvel must come from the installed extension and its
    # installed stub package.
    return subprocess.run([sys.executable, *args], cwd=cwd, capture_output=True, text=True, timeout=600)


def test_stubs_match_the_runtime_module(tmp_path):
    result = run(["-m", "mypy.stubtest", "pymorvel"], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


# NumPy declares ndarray's buffer protocol only from Python 3.12 on, so arrays
# reach the stubs by a different route on either side of it.
@pytest.mark.parametrize("python_version", ["3.11", "3.12"])
def test_usage_type_checks(tmp_path, python_version):
    pytest.importorskip("numpy")
    result = run([
        "-m", "mypy", "--strict", "--warn-unused-ignores", "--python-version", python_version,
        "--config-file", "", "--cache-dir", str(CACHE), str(USAGE),
    ], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_usage_runs(tmp_path):
    pytest.importorskip("numpy")
    result = run([str(USAGE)], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
