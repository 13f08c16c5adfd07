# SPDX-License-Identifier: MIT
import importlib.util
import subprocess
import sys

import pytest

pytest.importorskip("dask.array")
pytest.importorskip("distributed")
pytest.importorskip("zarr")


def test_the_cluster_example_writes_and_reads_back(tmp_path, source_dir):
    # In a child process with a hard time limit: a cluster that hangs fails
    # the test instead of holding up the suite.
    example = source_dir / "examples/python/dask_zarr.py"
    result = subprocess.run(
        [sys.executable, str(example), "--workers", "2", "--size-mib", "16", "--chunk-mib", "1",
         "--path", str(tmp_path / "array.zarr")],
        capture_output=True, text=True, timeout=180)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "workers: 2" in result.stdout
    assert "16 chunks" in result.stdout
    assert len(list((tmp_path / "array.zarr").iterdir())) == 16 + 1  # chunks and .zarray
