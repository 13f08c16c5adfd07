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
from huffcodec.numcodecs import Huffman, get_threads, set_threads  # noqa: E402

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
    in_place = np.frombuffer(huffcodec.compress(b"abc" * 1000).ljust(3000, b"\0"), "u1").copy()
    with pytest.raises(huffcodec.Error, match="invalidArgument"):
        codec.decode(in_place, out=in_place)
    with pytest.raises(huffcodec.Error):
        codec.decode(encoded[:-5] + b"")  # cut short


def test_config_holds_no_threads_and_takes_the_threads_0_4_wrote():
    assert Huffman().get_config() == {"id": "huffcodec"} and repr(Huffman()) == "Huffman()"
    for threads in (None, 0, 3, np.int64(2)):
        codec = numcodecs.get_codec({"id": "huffcodec", "threads": threads})
        assert codec == Huffman() and codec.get_config() == {"id": "huffcodec"}
    for bad, error in ((-1, ValueError), (1.5, TypeError), (True, TypeError)):
        with pytest.raises(error):
            Huffman(threads=bad)


def test_set_threads_returns_the_previous_setting_and_checks_the_new():
    assert set_threads(np.int64(3)) == 1
    try:
        assert type(get_threads()) is int and set_threads(0) == 3 and get_threads() == 0
        for bad, error in ((-1, ValueError), (1.5, TypeError), ("2", TypeError), (True, TypeError)):
            with pytest.raises(error):
                set_threads(bad)
        assert set_threads(None) == 0 and get_threads() == 1
    finally:
        set_threads(1)


def test_a_fresh_process_finds_the_codec_and_opens_a_zarr_array(tmp_path):
    zarr = pytest.importorskip("zarr")
    path = str(tmp_path / "a.zarr")
    data = np.sin(np.linspace(0, 50, 100000)).astype("f4")
    array = zarr.open_array(path, mode="w", shape=data.shape, chunks=(30000,), dtype="f4",
                            compressor=Huffman(threads=1))
    array[:] = data
    # As huffcodec 0.4 wrote it: threads in the codec's config.
    meta = json.loads((tmp_path / "a.zarr" / ".zarray").read_text())
    assert meta["compressor"] == {"id": "huffcodec"}
    meta["compressor"]["threads"] = 4
    (tmp_path / "a.zarr" / ".zarray").write_text(json.dumps(meta))
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


@pytest.mark.parametrize("checksum", [False, True], ids=["alone", "crc32"])
def test_a_flipped_bit_in_a_zarr_chunk(checksum):
    # The format has no checksum: alone, the chunk reads as other values;
    # with numcodecs' CRC32 as a filter, as an error.
    zarr = pytest.importorskip("zarr")
    from numcodecs import CRC32

    data = np.cumsum(np.arange(20000) % 7).astype("i4")
    array = zarr.array(data, chunks=(20000,), compressor=Huffman(),
                       filters=[CRC32()] if checksum else None)
    stored = bytearray(array.store["0"])
    stored[huffcodec.HEADER_BYTES + 1000] ^= 0x10  # decodes, to other values
    array.store["0"] = bytes(stored)
    if checksum:
        with pytest.raises(RuntimeError, match="checksum"):
            array[:]
    else:
        assert (array[:] != data).any()
