# SPDX-License-Identifier: MIT
"""The HDF5 filter through h5py, h5dump, netCDF-4 and xarray: arrays round
trip, each stored chunk is a compressed file of the library, and a chunk that
is cut or damaged reads as an error."""

import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

h5py = pytest.importorskip("h5py")
import huffcodec  # noqa: E402
import huffcodec.hdf5  # noqa: E402

if not huffcodec.hdf5.register():
    pytest.skip("the HDF5 filter plugin was not built", allow_module_level=True)

rng = np.random.default_rng(37)
# An image-like field: smooth, so its bytes repeat; and noise, which does not
# shrink at all.
FIELD = np.cumsum(rng.integers(-3, 4, size=(120, 130)), axis=1).astype("int16")
NOISE = rng.integers(0, 256, size=50000, dtype=np.uint8)
# Mostly zeros among values across the int16 range: scale-offset cannot pack
# it, and it shrinks well after that.
SPARSE = rng.choice(np.array([-30000] + [0] * 7 + [30000], "int16"), size=(120, 130))


def write(path, data, chunks, **options):
    with h5py.File(path, "w") as f:
        f.create_dataset("x", data=data, chunks=chunks, **huffcodec.hdf5.filter(), **options)


def chunk_bytes(dataset, offset):
    mask, stored = dataset.id.read_direct_chunk(offset)
    return mask, bytes(stored)


@pytest.mark.parametrize("data, chunks, options", [
    (FIELD, (32, 40), {}),  # edge chunks are padded whole chunks
    (FIELD, (120, 130), {"shuffle": True}),
    (FIELD.astype("float64"), (16, 130), {"fletcher32": True}),
    (np.zeros(1000, "uint8"), (1000,), {}),  # one byte value
    (np.arange(7, dtype="uint8"), (3,), {}),  # chunks smaller than a header
    (SPARSE, (32, 40), {"scaleoffset": 0}),  # h5py puts it before the filter
], ids=["int16-edges", "shuffled", "float64-fletcher32", "one-value", "tiny-chunks",
        "after-scaleoffset"])
def test_round_trip(tmp_path, data, chunks, options):
    path = tmp_path / "a.h5"
    write(path, data, chunks, **options)
    with h5py.File(path, "r") as f:
        dataset = f["x"]
        assert str(huffcodec.hdf5.FILTER_ID) in dataset._filters
        np.testing.assert_array_equal(dataset[...], data)
        if data is FIELD or data is SPARSE:  # they shrink, so no filter declined them
            assert chunk_bytes(dataset, (0, 0))[0] == 0
        if not options:
            # Each compressed chunk is the library's own file of the chunk.
            mask, stored = chunk_bytes(dataset, (0,) * data.ndim)
            whole = np.ascontiguousarray(data[tuple(slice(0, c) for c in chunks)]).tobytes()
            if mask == 0:
                assert stored == huffcodec.compress(whole)
            else:
                assert stored == whole and len(huffcodec.compress(whole)) >= len(whole)


def test_chunks_that_do_not_shrink(tmp_path):
    # Optional (h5py's way): kept as they are and marked in the filter mask.
    path = tmp_path / "a.h5"
    write(path, NOISE, (10000,))
    with h5py.File(path, "r") as f:
        assert chunk_bytes(f["x"], (0,)) == (1, NOISE[:10000].tobytes())
        np.testing.assert_array_equal(f["x"][...], NOISE)
    # Mandatory: compressed all the same, and read back.
    with h5py.File(path, "w") as f:
        dcpl = h5py.h5p.create(h5py.h5p.DATASET_CREATE)
        dcpl.set_chunk((10000,))
        dcpl.set_filter(huffcodec.hdf5.FILTER_ID, h5py.h5z.FLAG_MANDATORY)
        space = h5py.h5s.create_simple(NOISE.shape)
        h5py.h5d.create(f.id, b"x", h5py.h5t.STD_U8LE, space, dcpl=dcpl).write(
            h5py.h5s.ALL, h5py.h5s.ALL, NOISE)
    with h5py.File(path, "r") as f:
        mask, stored = chunk_bytes(f["x"], (0,))
        assert mask == 0 and stored == huffcodec.compress(NOISE[:10000].tobytes())
        np.testing.assert_array_equal(f["x"][...], NOISE)


def test_datasets_without_a_chunk_size(tmp_path):
    # The filter set twice: HDF5 would let it record its values in one only.
    dcpl = h5py.h5p.create(h5py.h5p.DATASET_CREATE)
    dcpl.set_chunk((1000,))
    for _ in range(2):
        dcpl.set_filter(huffcodec.hdf5.FILTER_ID, h5py.h5z.FLAG_OPTIONAL)
    with h5py.File(tmp_path / "twice.h5", "w") as f:
        with pytest.raises(ValueError):
            h5py.h5d.create(f.id, b"x", h5py.h5t.STD_U8LE, h5py.h5s.create_simple((5000,)),
                            dcpl=dcpl)
    # Made where HDF5 did not find the plugin, so no chunk size is recorded:
    # chunks are left as they are, and one stored compressed is refused.
    path = tmp_path / "made-without.h5"
    empty = tmp_path / "no-plugins"
    empty.mkdir()
    script = ("import h5py, sys\n"
              "dcpl = h5py.h5p.create(h5py.h5p.DATASET_CREATE); dcpl.set_chunk((1000,))\n"
              "dcpl.set_filter(%d, h5py.h5z.FLAG_OPTIONAL)\n"
              "with h5py.File(sys.argv[1], 'w') as f:\n"
              "    h5py.h5d.create(f.id, b'x', h5py.h5t.STD_U8LE,"
              " h5py.h5s.create_simple((2000,)), dcpl=dcpl)\n" % huffcodec.hdf5.FILTER_ID)
    made = _run_where_the_plugin_is([sys.executable, "-c", script, str(path)], str(empty))
    assert made.returncode == 0, made.stderr
    values = np.zeros(2000, "uint8")
    with h5py.File(path, "r+") as f:
        f["x"][...] = values
        assert chunk_bytes(f["x"], (0,)) == (1, bytes(1000))
        f["x"].id.write_direct_chunk((1000,), huffcodec.compress(bytes(1000)), 0)
    with h5py.File(path, "r") as f:
        np.testing.assert_array_equal(f["x"][:1000], values[:1000])
        with pytest.raises(OSError, match="Can't read data"):
            f["x"][1000:]


def _cut(chunk):
    return chunk[:-1]


def _bad_header(chunk):
    return b"\xff\xff\xff\xff" + chunk[4:]  # a negative count


def _other_size(chunk):
    # A whole, valid file, of one byte more than a chunk holds.
    return huffcodec.compress(huffcodec.decompress(chunk) + b"\0")


def _bytes_after(chunk):
    return chunk + b"\0"


@pytest.mark.parametrize("damage", [_cut, _bad_header, _other_size, _bytes_after],
                         ids=["cut", "bad-header", "other-size", "bytes-after"])
def test_damaged_chunks_are_errors(tmp_path, damage):
    path = tmp_path / "a.h5"
    write(path, FIELD, (60, 130))
    with h5py.File(path, "r+") as f:
        mask, stored = chunk_bytes(f["x"], (0, 0))
        f["x"].id.write_direct_chunk((0, 0), damage(stored), mask)
    with h5py.File(path, "r") as f:
        np.testing.assert_array_equal(f["x"][60:], FIELD[60:])  # the other chunk reads
        with pytest.raises(OSError, match="Can't read data"):
            f["x"][:60]


@pytest.mark.parametrize("fletcher32", [False, True], ids=["alone", "fletcher32"])
def test_a_flipped_bit_in_a_body(tmp_path, fletcher32):
    # The format has no checksum: alone, the chunk reads as other values;
    # with fletcher32 after the filter, as an error.
    path = tmp_path / "a.h5"
    write(path, FIELD, (60, 130), fletcher32=fletcher32)
    with h5py.File(path, "r+") as f:
        mask, stored = chunk_bytes(f["x"], (0, 0))
        damaged = bytearray(stored)
        damaged[1024 + 100] ^= 0x10  # in the body, before any checksum
        f["x"].id.write_direct_chunk((0, 0), bytes(damaged), mask)
    with h5py.File(path, "r") as f:
        if fletcher32:
            with pytest.raises(OSError, match="Can't read data"):
                f["x"][...]
        else:
            assert (f["x"][...] != FIELD).any()


def _run_where_the_plugin_is(args, plugin_dir, **kwargs):
    env = dict(os.environ, HDF5_PLUGIN_PATH=plugin_dir)
    return subprocess.run(args, env=env, capture_output=True, text=True, **kwargs)


def test_h5dump_and_a_process_without_the_plugin(tmp_path):
    path = tmp_path / "a.h5"
    write(path, FIELD, (32, 40))
    if shutil.which("h5dump"):
        dumped = _run_where_the_plugin_is(["h5dump", "-d", "x", "-s", "100,120", "-c", "1,3",
                                           str(path)], huffcodec.hdf5.plugin_dir())
        assert dumped.returncode == 0, dumped.stderr
        assert "(100,120): %d, %d, %d" % tuple(FIELD[100, 120:123]) in dumped.stdout
    # An empty plugin folder: HDF5 names the filter it lacks.
    empty = tmp_path / "no-plugins"
    empty.mkdir()
    script = "import h5py, sys; h5py.File(sys.argv[1], 'r')['x'][...]"
    missing = _run_where_the_plugin_is([sys.executable, "-c", script, str(path)], str(empty))
    assert missing.returncode != 0
    assert "required filter 'huffcodec" in missing.stderr and "is not registered" in missing.stderr


def test_netcdf4_and_xarray(tmp_path):
    xr = pytest.importorskip("xarray")
    pytest.importorskip("h5netcdf")
    path = tmp_path / "a.nc"
    data = xr.Dataset({"t": (("y", "x"), FIELD.astype("float32"))})
    data.to_netcdf(path, engine="h5netcdf",
                   encoding={"t": {**huffcodec.hdf5.filter(), "chunksizes": (40, 65)}})
    with xr.open_dataset(path, engine="h5netcdf") as back:
        np.testing.assert_array_equal(back["t"].values, FIELD)
    # The netCDF-C library reads it through HDF5's plugin path, and nccopy
    # writes with the filter through nc_def_var_filter.
    plugin_dir = huffcodec.hdf5.plugin_dir()
    if shutil.which("nccopy"):
        copy = tmp_path / "copy.nc"
        copied = _run_where_the_plugin_is(
            ["nccopy", "-F", "t,%d" % huffcodec.hdf5.FILTER_ID, str(path), str(copy)], plugin_dir)
        assert copied.returncode == 0, copied.stderr
        header = _run_where_the_plugin_is(["ncdump", "-hs", str(copy)], plugin_dir)
        assert 't:_Filter = "%d,1,' % huffcodec.hdf5.FILTER_ID in header.stdout
        path = copy
    pytest.importorskip("netCDF4")
    script = ("import sys, xarray; print(float(xarray.open_dataset(sys.argv[1], "
              "engine='netcdf4')['t'].sum()))")
    summed = _run_where_the_plugin_is([sys.executable, "-c", script, str(path)], plugin_dir)
    assert summed.returncode == 0, summed.stderr
    assert float(summed.stdout) == float(FIELD.astype("float64").sum())
