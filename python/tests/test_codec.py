# SPDX-License-Identifier: MIT
import json
import os
import subprocess
import sys

import pytest
from hypothesis import given
from hypothesis import strategies as st

np = pytest.importorskip("numpy")
numcodecs = pytest.importorskip("numcodecs")
from huffcodec.numcodecs import Huffman  # noqa: E402

import huffcodec  # noqa: E402
from strategies import any_data  # noqa: E402

dtypes = st.sampled_from(["u1", "i2", "<f4", ">f8", "i8"])


@given(any_data, dtypes, st.sampled_from([None, 1, 2]))
def test_codec_round_trip(data, dtype, threads):
    itemsize = np.dtype(dtype).itemsize
    array = np.frombuffer(data[: len(data) // itemsize * itemsize], dtype=dtype)
    codec = Huffman(threads=threads)
    encoded = codec.encode(array)
    assert bytes(codec.decode(encoded)) == array.tobytes()
    out = np.empty_like(array)
    assert codec.decode(encoded, out=out) is out
    np.testing.assert_array_equal(out, array)
    assert encoded == huffcodec.compress(array.tobytes())


def test_out_must_be_the_right_size():
    codec = Huffman()
    encoded = codec.encode(np.arange(10, dtype="i4"))
    with pytest.raises(ValueError):
        codec.decode(encoded, out=np.empty(9, dtype="i4"))
    with pytest.raises(huffcodec.Error):
        codec.decode(encoded[:-5] + b"")  # cut short


def test_config_round_trip():
    codec = Huffman(threads=3)
    config = codec.get_config()
    assert config == {"id": "huffcodec", "threads": 3}
    assert numcodecs.get_codec(json.loads(json.dumps(config))) == codec
    assert Huffman.from_config({"threads": None}).threads is None
    # numpy's ints are taken, and kept as plain ones, so the config is JSON.
    assert json.loads(json.dumps(Huffman(threads=np.int64(2)).get_config())) == {
        "id": "huffcodec", "threads": 2}
    with pytest.raises(ValueError):
        Huffman(threads=-1)


def test_a_fresh_process_finds_the_codec_and_opens_a_zarr_array(tmp_path):
    zarr = pytest.importorskip("zarr")
    path = str(tmp_path / "a.zarr")
    data = np.sin(np.linspace(0, 50, 100000)).astype("f4")
    array = zarr.open_array(path, mode="w", shape=data.shape, chunks=(30000,), dtype="f4",
                            compressor=Huffman(threads=1))
    array[:] = data
    check = (
        "import sys, numcodecs, zarr, numpy as np\n"
        "assert 'huffcodec' not in sys.modules\n"
        "array = zarr.open_array(sys.argv[1], mode='r')\n"
        "codec = numcodecs.get_codec({'id': 'huffcodec'})\n"
        "print(type(codec).__name__, array.compressor.codec_id, float(np.sum(array[:])))\n"
    )
    # The process imports huffcodec only through the entry point.
    result = subprocess.run([sys.executable, "-c", check, path], capture_output=True, text=True,
                            env=dict(os.environ), timeout=120)
    assert result.returncode == 0, result.stderr
    name, codec_id, total = result.stdout.split()
    assert (name, codec_id) == ("Huffman", "huffcodec")
    assert float(total) == pytest.approx(float(np.sum(data)), rel=1e-6)
