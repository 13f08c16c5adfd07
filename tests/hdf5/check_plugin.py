#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks an installed HDF5 filter plugin as its users meet it: h5py writes
a dataset with the filter id of the installed header and reads it back,
h5dump prints it, and xarray (where it is installed) writes and reads a
netCDF-4 file with it, all finding the plugin through HDF5_PLUGIN_PATH alone.

    check_plugin.py PLUGIN_DIR HEADER
"""

import os
import re
import subprocess
import sys
import tempfile

plugin_dir, header = sys.argv[1:3]
os.environ["HDF5_PLUGIN_PATH"] = plugin_dir  # read when HDF5 starts
import h5py  # noqa: E402
import numpy as np  # noqa: E402

filter_id = int(re.search(r"#define HUFFCODEC_H5Z_FILTER (\d+)", open(header).read()).group(1))
values = (np.arange(60000) % 300).astype("int16").reshape(200, 300)
with tempfile.TemporaryDirectory() as work:
    path = os.path.join(work, "a.h5")
    with h5py.File(path, "w") as f:
        f.create_dataset("x", data=values, chunks=(50, 100), compression=filter_id,
                         fletcher32=True)
    with h5py.File(path, "r") as f:
        assert str(filter_id) in f["x"]._filters, f["x"]._filters
        assert f["x"].id.get_storage_size() < values.nbytes
        assert (f["x"][...] == values).all()
    dumped = subprocess.run(["h5dump", "-d", "x", "-s", "199,296", "-c", "1,3", path],
                            capture_output=True, text=True, check=True)
    expected = "(199,296): %d, %d, %d" % tuple(values[199, 296:299])
    assert expected in dumped.stdout, dumped.stdout + dumped.stderr
    users = "h5py and h5dump"
    try:
        import xarray
    except ImportError:
        xarray = None
    if xarray is not None:
        path = os.path.join(work, "a.nc")
        xarray.Dataset({"v": (("y", "x"), values)}).to_netcdf(
            path, engine="h5netcdf", encoding={"v": {"compression": filter_id}})
        with h5py.File(path, "r") as f:
            assert str(filter_id) in f["v"]._filters, f["v"]._filters
        with xarray.open_dataset(path, engine="h5netcdf") as back:
            assert (back["v"].values == values).all()
        users += " and xarray"
print("HDF5 filter %d from %s: %s round trip ok" % (filter_id, plugin_dir, users))
