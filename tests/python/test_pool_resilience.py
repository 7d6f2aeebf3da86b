"""The worker pool under what a Python program can do to it: signal handlers that
use the module while a pooled fit waits, a pool that cannot be started, and a
worker that runs out of memory. Every case runs in a child interpreter with a
timeout; a timeout is a hang and fails the test."""
import json
import resource
import textwrap

import pytest

from support import SANITIZED, run_child

# A pooled fit whose wait runs a signal handler that fits, predicts or takes a
# gradient on the same pool, every few milliseconds through the fill and the
# elimination. Both the outer fit and the handler's calls must give the bits of
# undisturbed calls.
HANDLER_CHILD = """
    import json, signal
    from pymorvel import Rbf

    def points(n, a, b):
        return [[(i * a) % 1.0, (i * b) % 1.0] for i in range(n)]

    x, y = points(2000, 0.6180339887, 0.7548776662), [float(i % 5) for i in range(2000)]
    small_x, small_y = points(400, 0.4142135624, 0.7320508076), [(i * 7 % 11) / 11 for i in range(400)]
    model = Rbf(points(100, 0.3819660113, 0.5698402910), [float(i % 3) for i in range(100)], "multiquadric", 0.3)
    queries = points(2000, 0.123, 0.456)  # 2000 x 100 evaluations: on the pool

    def job():
        if KIND == "fit":
            return Rbf(small_x, small_y, "multiquadric", 0.3).predict(small_x[:5])
        if KIND == "predict":
            return model.predict(queries)
        return model.gradient(queries)

    def hexes(values):
        return repr([[v.hex() for v in r] if isinstance(r, list) else r.hex() for r in values])

    if POOL == "existing":
        Rbf(small_x, small_y, "multiquadric", 0.3)
    results, busy = [], []
    def handler(*_):
        # Signals that arrive while the handler runs are its own business.
        if busy or len(results) >= 12:
            return
        busy.append(True)
        results.append(job())
        busy.pop()
    signal.signal(signal.SIGALRM, handler)
    signal.setitimer(signal.ITIMER_REAL, 0.004, 0.004)
    outer = Rbf(x, y, "multiquadric", 0.3)
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, signal.SIG_DFL)
    print(json.dumps({
        "handler calls": len(results),
        "outer bits": hexes(outer.predict(x[:9])) == hexes(Rbf(x, y, "multiquadric", 0.3).predict(x[:9])),
        "handler bits": sorted(set(map(hexes, results))) == [hexes(job())],
    }))
"""


@pytest.mark.parametrize("pool", ["fresh", "existing"])
@pytest.mark.parametrize("kind", ["fit", "predict", "gradient"])
def test_a_signal_handler_may_use_the_pool_while_a_fit_waits_on_it(kind, pool):
    code, report, err = run_child(f"KIND, POOL = {kind!r}, {pool!r}\n" + textwrap.dedent(HANDLER_CHILD),
                                  timeout=300)
    assert code == 0, f"the child did not finish ({code}); stderr: {err[-2000:]}"
    assert report == {"handler calls": report["handler calls"], "outer bits": True, "handler bits": True}
    assert report["handler calls"] > 0


# A thousand workers do not fit in 1 GiB of address space, so the pool cannot
# be started: predictions and gradients run on the calling thread, every time,
# and a fit still reports the pool's fault.
NO_POOL_CHILD = """
    import json
    from pymorvel import Rbf
    samples = [[i * 0.01, (i * 0.37) % 1.0] for i in range(100)]
    model = Rbf(samples, [float(i % 4) for i in range(100)], "multiquadric", 0.5)
    queries = [[(i * 0.013) % 1.0, (i * 0.029) % 1.0] for i in range(1400)]
    outcomes = []
    for call in (model.predict, model.gradient, model.predict):
        try:
            outcomes.append(repr(call(queries)[-1]))
        except BaseException as e:
            outcomes.append(type(e).__name__ + ": " + str(e)[:60])
    try:
        Rbf([[i * 0.01, (i * 0.37) % 1.0] for i in range(400)], [0.0] * 400, "linear")
        fit = "fitted"
    except BaseException as e:
        fit = type(e).__name__ + ": " + str(e)
    print(json.dumps({"outcomes": outcomes, "fit": fit}))
"""


def cap_address_space_at_1_gib():
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


@pytest.mark.skipif(SANITIZED, reason="ASan reserves terabytes of address space itself")
def test_predictions_run_on_the_calling_thread_when_the_pool_cannot_start():
    from pymorvel import Rbf

    code, report, err = run_child(NO_POOL_CHILD, env={"RAYON_NUM_THREADS": "1000"},
                                  preexec_fn=cap_address_space_at_1_gib, timeout=120)
    assert code == 0, err[-2000:]
    samples = [[i * 0.01, (i * 0.37) % 1.0] for i in range(100)]
    model = Rbf(samples, [float(i % 4) for i in range(100)], "multiquadric", 0.5)
    queries = [[(i * 0.013) % 1.0, (i * 0.029) % 1.0] for i in range(1400)]
    expected = [repr(model.predict(queries)[-1]), repr(model.gradient(queries)[-1])]
    assert report["outcomes"] == expected + expected[:1]
    assert report["fit"].startswith("PanicException: The global thread pool has not been initialized.: ")


# A worker's first bad_alloc needs the C++ runtime's per-thread exception state;
# under a tight address-space limit that must already exist, or the process ends.
MEMORY_CHILD = """
    import json, resource
    from pymorvel import Rbf
    n = 60
    x = [[i * 0.05, (i * 0.37) % 1.0] for i in range(n)]
    y = [[float((i + c) % 7) for c in range(200)] for i in range(n)]
    model = Rbf(x, y, "gaussian", 0.5)
    queries = [[(i * 0.013) % 1.0, (i * 0.029) % 1.0] for i in range(20000)]
    model.gradient(queries[:3000])  # the pool exists and its workers have run
    def vm_bytes():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmSize:"):
                    return int(line.split()[1]) * 1024
    outcomes = []
    for extra in (2 << 20, 4 << 20, 8 << 20):
        limit = vm_bytes() + extra
        resource.setrlimit(resource.RLIMIT_AS, (limit, resource.RLIM_INFINITY))
        try:
            model.gradient(queries)
            outcomes.append("ok")
        except MemoryError:
            outcomes.append("MemoryError")
        resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
    print(json.dumps({"outcomes": outcomes}))
"""


@pytest.mark.skipif(SANITIZED, reason="ASan reserves terabytes of address space itself")
def test_a_gradient_out_of_memory_on_the_workers_raises_memory_error():
    for _ in range(4):
        code, report, err = run_child(MEMORY_CHILD, timeout=120)
        assert code == 0, f"the process ended ({code}): {err[-2000:]}"
        assert set(report["outcomes"]) <= {"ok", "MemoryError"}
