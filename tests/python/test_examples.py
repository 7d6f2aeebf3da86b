"""The scripts in examples/ run to the end and leave what they promise."""
import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


@pytest.mark.parametrize("script, arguments, printed, pictures, needs", [
    ("franke_demo.py", [], ["RMS error", "max error"], [], []),
    ("franke_pictures.py", ["--samples", "40", "--grid", "12"],
     ["multiquadric", "gaussian", "RMS error"], ["franke.png", "epsilon_gaussian_1d.png"], []),
    ("smoothing_and_gradient.py", ["--noisy-samples", "20", "--samples", "40", "--arrows", "5", "--grid", "12"],
     ["smoothing", "RMS relative error"], ["smoothing_1d.png", "franke_gradient.png"], []),
    ("dask_grid.py", ["--samples", "150", "--grid", "30", "--chunk", "200"],
     ["same bits as a local predict at 100 grid points: yes", "in 5 blocks of up to 200", "RMS error"],
     ["dask_grid.png"], ["dask.array", "distributed"]),
    ("dask_large.py", ["--samples", "20000", "--grid", "200", "--tiles", "2", "--checks", "50"],
     ["same bits as a model fitted here at 50 grid points: yes", "4 blocks", "RMS error"],
     ["dask_large.png"], ["dask.array", "distributed"]),
], ids=["franke_demo", "franke_pictures", "smoothing_and_gradient", "dask_grid", "dask_large"])
def test_example_runs(tmp_path, script, arguments, printed, pictures, needs):
    for module in needs:
        pytest.importorskip(module)
    if pictures:
        image = pytest.importorskip("matplotlib.image")
        arguments = arguments + ["--out", str(tmp_path / "figures")]
    result = subprocess.run([sys.executable, str(EXAMPLES / script), *arguments], cwd=tmp_path,
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    for text in printed:
        assert text in result.stdout
    for name in pictures:
        path = tmp_path / "figures" / name
        assert str(path) in result.stdout
        assert path.read_bytes().startswith(PNG_SIGNATURE)
        height, width, _ = image.imread(path).shape
        assert height > 100 and width > 100
