"""A dense fit the machine cannot hold raises MemoryError saying what it needs and what there is."""
import json
import re

import pytest

from pymorvel import Rbf
from support import SANITIZED, run_child

np = pytest.importorskip("numpy")

MESSAGE = re.compile(r"fitting ([\d,]+) points needs (\d+\.\d) GB for the kernel matrix; "
                     r"(about \d+\.\d [GM]B is available|the allocation failed)")


def test_a_refused_fit_states_the_memory_it_needs_and_what_is_available():
    # 200,000 points: 320 GB of matrix, refused before anything is allocated.
    with pytest.raises(MemoryError) as refused:
        Rbf(np.arange(200000.0), np.zeros(200000), "linear")
    match = MESSAGE.fullmatch(str(refused.value))
    assert match and match.group(1, 2) == ("200,000", "320.0") and match.group(3).startswith("about")


def cap_address_space():
    import resource
    resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))


@pytest.mark.skipif(SANITIZED, reason="ASan reserves terabytes of address space itself")
def test_an_allocation_that_fails_states_the_memory_it_needed():
    # 25,000 points (5.0 GB) under a 3 GiB address space: refused by the probe
    # where the machine has less, else by the allocation itself.
    code, report, err = run_child("""
        import json
        from pymorvel import Rbf
        try:
            Rbf([float(i) for i in range(25000)], [0.0] * 25000, "linear")
            print(json.dumps({"message": None}))
        except MemoryError as e:
            print(json.dumps({"message": str(e)}))
    """, preexec_fn=cap_address_space, timeout=120)
    assert code == 0, err
    match = MESSAGE.fullmatch(report["message"] or "")
    assert match and match.group(1, 2) == ("25,000", "5.0"), report
