import pytest

import support


@pytest.fixture(scope="session")
def panic_exception():
    return support.panic_type()
