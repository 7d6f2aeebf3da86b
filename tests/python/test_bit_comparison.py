"""The bit comparison (tools/compare_bits.py) passes identical outputs of the bit driver and fails on any difference."""
import pathlib
import subprocess
import sys

import pytest

TOOL = pathlib.Path(__file__).resolve().parents[2] / "tools" / "compare_bits.py"
if not TOOL.exists():
    pytest.skip("tools/compare_bits.py is not beside these tests", allow_module_level=True)

EXPECTED = """# gaussian number -> number plain n=3 workers=1
3ff0000000000000
bfe0000000000000
# cubic vector -> vector degree n=40 workers=7
fit failed: The matrix is singular.
# linear number -> vector smoothing n=40 workers=2
4000000000000000
"""

# (label, output compared with EXPECTED, passes)
CASES = [
    ("identical", EXPECTED, True),
    ("last_bit", EXPECTED.replace("bfe0000000000000", "bfe0000000000001"), False),
    ("failure_in_one_only", EXPECTED.replace("fit failed: The matrix is singular.", "3ff0000000000000"), False),
    ("case_missing", EXPECTED.rsplit("# linear", 1)[0], False),
    ("case_extra", EXPECTED + "# cubic number -> number plain n=3 workers=1\n3ff0000000000000\n", False),
    ("other_header", EXPECTED.replace("workers=7", "workers=2"), False),
]


def compare(tmp_path, expected, got):
    (tmp_path / "expected").write_text(expected)
    (tmp_path / "got").write_text(got)
    return subprocess.run([sys.executable, str(TOOL), str(tmp_path / "expected"), str(tmp_path / "got")],
                          capture_output=True, text=True, timeout=60)


@pytest.mark.parametrize("got, passes", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_any_difference_fails(tmp_path, got, passes):
    result = compare(tmp_path, EXPECTED, got)
    assert (result.returncode == 0) == passes, result.stdout
    if passes:
        assert "3 values in 3 cases compared" in result.stdout


def test_outputs_without_values_fail(tmp_path):
    assert compare(tmp_path, "", "").returncode == 1
