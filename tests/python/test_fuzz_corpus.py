"""Replays the fuzz corpus (tests/fuzz/corpus): every kept input must still end in an outcome the module may have."""
import sys
from pathlib import Path

import pytest

FUZZ = Path(__file__).resolve().parents[1] / "fuzz"
sys.path.insert(0, str(FUZZ))
import rbf_fuzz  # noqa: E402 - lives next to the corpus, outside this directory

CORPUS = sorted((FUZZ / "corpus").iterdir())


@pytest.mark.parametrize("path", CORPUS, ids=[p.name for p in CORPUS])
def test_corpus_input(path, capfd):
    try:
        rbf_fuzz.one_input(path.read_bytes())
    except rbf_fuzz.Violation as v:
        pytest.fail(f"{v}\n\ninput decodes to:\n{rbf_fuzz.decode(path.read_bytes())}")
    finally:
        capfd.readouterr()  # expected abort reports
