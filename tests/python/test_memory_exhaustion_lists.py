"""Running out of memory while a result list is built raises MemoryError, in every call that builds one."""
import pytest

from support import run_child

_testcapi = pytest.importorskip("_testcapi")
if not hasattr(_testcapi, "set_nomemory"):
    pytest.skip("this interpreter's _testcapi cannot fail allocations", allow_module_level=True)

# Each call fails exactly one allocation, the start-th from the call's
# beginning, for every start up to well past the call's last allocation: the
# list, every float (more of them than the interpreter's free list holds),
# every inner list.
CHILD = """
    import json, pickle
    import _testcapi
    from pymorvel import Rbf

    numbers = Rbf([0.0, 1.0, 2.0], [0.0, 1.0, 4.0])
    vectors = Rbf([[0.0, 0.0], [1.0, 0.0], [0.0, 1.0], [1.0, 1.0]],
                  [[0.0, 1.0], [1.0, 2.0], [1.0, 0.0], [2.0, 1.0]], degree=1)
    wide = Rbf([0.0, 1.0], [[float(c) for c in range(200)], [float(-c) for c in range(200)]])
    queries = [0.5, 1.5, 2.5]
    calls = {
        "predict": lambda: numbers.predict(queries),
        "predict, vector values": lambda: vectors.predict([[0.5, 0.5], [0.25, 0.75]]),
        "predict, 200 components": lambda: wide.predict([0.5]),
        "gradient": lambda: vectors.gradient([[0.5, 0.5], [0.25, 0.75]]),
        "points": lambda: vectors.points,
        "values": lambda: vectors.values,
        "weights": lambda: wide.weights,
        "polynomial_coefficients": lambda: vectors.polynomial_coefficients,
        "pickle.dumps": lambda: pickle.dumps(vectors),
    }
    report = {}
    for name, call in calls.items():
        outcomes = set()
        for start in range(1500):
            _testcapi.set_nomemory(start, start + 1)
            try:
                call()
                outcomes.add("returned")
            except MemoryError:
                outcomes.add("MemoryError")
            except BaseException as e:
                outcomes.add(type(e).__name__)
            finally:
                _testcapi.remove_mem_hooks()
        report[name] = sorted(outcomes)
    print(json.dumps(report))
"""


def test_a_failed_allocation_in_a_result_list_raises_memory_error():
    code, report, err = run_child(CHILD, timeout=300)
    assert code == 0, err
    # Each call met a failure at least once, and none became a panic.
    assert report == {name: ["MemoryError", "returned"] for name in report}
    assert "panicked" not in err
