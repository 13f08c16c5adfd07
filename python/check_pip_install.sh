#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Python package as a user would, offline with Debian's Python
# and build tools, into a scratch venv under build/, and checks that it
# imports there and that numcodecs finds its codec through the entry point.
set -euo pipefail
cd "$(dirname "$0")/.."
venv="$PWD/build/pip-venv"
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --quiet --no-build-isolation --no-index .
cd "$venv"
"$venv/bin/python" - <<'PY'
import numcodecs

import huffcodec

data = b"installed with pip " * 1000
assert huffcodec.decompress(huffcodec.compress(data)) == data
codec = numcodecs.get_codec({"id": "huffcodec"})
assert type(codec).__module__ == "huffcodec.numcodecs"
print("huffcodec", huffcodec.__version__, "from", huffcodec.__file__)
PY

# The HDF5 filter came with the package: h5py finds it with no setting.
if /usr/bin/python3 -c "import h5py" 2>/dev/null; then
    env -u HDF5_PLUGIN_PATH "$venv/bin/python" - <<'PY'
import os
import tempfile

import h5py
import numpy as np

import huffcodec.hdf5

assert huffcodec.hdf5.plugin_dir() is not None
values = np.arange(100000, dtype="int32") % 1000
with tempfile.TemporaryDirectory() as folder:
    path = os.path.join(folder, "a.h5")
    with h5py.File(path, "w") as f:
        f.create_dataset("x", data=values, chunks=(8192,), **huffcodec.hdf5.filter())
    with h5py.File(path, "r") as f:
        assert str(huffcodec.hdf5.FILTER_ID) in f["x"]._filters
        assert (f["x"][...] == values).all()
print("HDF5 filter from", huffcodec.hdf5.plugin_dir())
PY
fi
