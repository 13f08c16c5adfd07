# SPDX-License-Identifier: MIT
import os
import shutil
from pathlib import Path

import pytest
from hypothesis import HealthCheck, settings

# Large generated inputs are wanted here, and a loaded machine makes them slow
# to generate: neither is a fault of the code under test.
RELAXED_CHECKS = [HealthCheck.data_too_large, HealthCheck.too_slow]
settings.register_profile("ci", deadline=None, max_examples=60,
                          suppress_health_check=RELAXED_CHECKS)
settings.load_profile("ci")

SOURCE_DIR = Path(os.environ.get("HUFFCODEC_SOURCE_DIR", Path(__file__).resolve().parents[2]))


def _command(variable, name):
    path = os.environ.get(variable) or shutil.which(name)
    return path if path and os.access(path, os.X_OK) else None


@pytest.fixture(scope="session")
def commands():
    """The C++ commands of the same build, to compare against."""
    compress = _command("HUFFCODEC_COMPRESS", "compress")
    uncompress = _command("HUFFCODEC_UNCOMPRESS", "uncompress")
    if not compress or not uncompress:
        pytest.skip("the compress and uncompress commands are not built")
    return compress, uncompress


@pytest.fixture(scope="session")
def source_dir():
    return SOURCE_DIR
