"""Models travel to real process engines (multiprocessing, concurrent.futures, joblib, Dask) and predict the same bits there as here."""
import math
import multiprocessing
from concurrent.futures import ProcessPoolExecutor

import pytest

from pymorvel import Rbf

# Fewer than 102 points, so that no fit here or in a worker starts the worker
# pool: these tests are about models travelling, not about forking a process
# whose pool threads are running (only spawn and forkserver children are used).
X = [[0.1 * i, math.sin(0.7 * i)] for i in range(60)]
Y = [[math.cos(a) * b, a - b] for a, b in X]
KERNEL, EPSILON = "multiquadric", 0.5
QUERIES = [[0.05 * i, 0.3 - 0.01 * i] for i in range(40)]
CHUNKS = [QUERIES[i:i + 10] for i in range(0, len(QUERIES), 10)]


def bits(chunks):
    return [[[v.hex() for v in p] for p in chunk] for chunk in chunks]


@pytest.fixture(scope="module")
def model():
    return Rbf(X, Y, KERNEL, EPSILON)


@pytest.fixture(scope="module")
def local(model):
    return bits([model.predict(chunk) for chunk in CHUNKS])


def same_fit(other):
    """A model fitted elsewhere predicts the same bits as one fitted here."""
    return bits([other.predict(chunk) for chunk in CHUNKS]) == bits([Rbf(X, Y, KERNEL, EPSILON).predict(c)
                                                                      for c in CHUNKS])


@pytest.mark.parametrize("method", ["spawn", "forkserver"])
def test_multiprocessing_pool(model, local, method):
    with multiprocessing.get_context(method).Pool(2) as pool:
        assert bits(pool.map(model.predict, CHUNKS)) == local
        # And back: a model fitted in a worker.
        assert same_fit(pool.apply(Rbf, (X, Y, KERNEL, EPSILON)))


@pytest.mark.parametrize("method", ["spawn", "forkserver"])
def test_process_pool_executor(model, local, method):
    with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context(method)) as executor:
        assert bits(executor.map(model.predict, CHUNKS)) == local
        assert same_fit(executor.submit(Rbf, X, Y, KERNEL, EPSILON).result())


def test_joblib_parallel_with_loky(model, local):
    joblib = pytest.importorskip("joblib")
    parallel = joblib.Parallel(n_jobs=2, backend="loky")
    assert bits(parallel(joblib.delayed(model.predict)(chunk) for chunk in CHUNKS)) == local
    assert same_fit(parallel([joblib.delayed(Rbf)(X, Y, KERNEL, EPSILON)])[0])


@pytest.mark.parametrize("compress", [0, 3])
def test_joblib_dump_and_load(model, local, tmp_path, compress):
    joblib = pytest.importorskip("joblib")
    path = tmp_path / "model.pkl"
    joblib.dump(model, path, compress=compress)
    loaded = joblib.load(path)
    assert bits([loaded.predict(chunk) for chunk in CHUNKS]) == local


@pytest.fixture(scope="module")
def dask_client():
    """One two-process cluster for the module: starting one takes seconds."""
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) \
            as cluster, distributed.Client(cluster) as client:
        yield client


def test_dask_distributed_over_a_chunked_array(model, local, dask_client):
    np = pytest.importorskip("numpy")
    da = pytest.importorskip("dask.array")
    assert len(dask_client.scheduler_info()["workers"]) == 2
    queries = da.from_array(np.array(QUERIES), chunks=(10, 2))
    # predict returns lists; each block goes back as the array Dask expects.
    predicted = queries.map_blocks(lambda block: np.array(model.predict(block)), dtype=float)
    result = predicted.compute()
    assert bits(np.split(result, len(CHUNKS))) == local
    assert same_fit(dask_client.submit(Rbf, X, Y, KERNEL, EPSILON, pure=False).result())
