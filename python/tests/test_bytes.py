# SPDX-License-Identifier: MIT
import array
import random
import threading

import pytest
from hypothesis import given
from hypothesis import strategies as st

import huffcodec
from strategies import any_data


@given(any_data)
def test_round_trip(data):
    packed = huffcodec.compress(data)
    assert len(packed) <= huffcodec.compress_bound(len(data))
    assert huffcodec.decompress(packed) == data
    assert huffcodec.decompress(packed, threads=1) == data
    header = huffcodec.read_header(packed)
    assert header.original_size == len(data)
    assert header.counts == tuple(data.count(bytes([i])) for i in range(256))
    assert header.distinct_bytes == len(set(data))


@given(any_data)
def test_out_buffer_gets_the_bytes(data):
    packed = huffcodec.compress(memoryview(bytearray(data)))
    out = bytearray(b"\xaa" * len(data))
    assert huffcodec.decompress(packed, out=out) is out
    assert out == data


def test_out_of_the_wrong_size_is_refused():
    packed = huffcodec.compress(b"abcabc")
    for size in (5, 7):
        with pytest.raises(ValueError):
            huffcodec.decompress(packed, out=bytearray(size))
    with pytest.raises(BufferError):
        huffcodec.decompress(packed, out=b"\0" * 6)  # not writable


def test_buffers_of_other_shapes_are_read_as_bytes():
    values = array.array("i", range(1000))
    assert huffcodec.decompress(huffcodec.compress(values)) == values.tobytes()


def test_threads_give_the_same_bytes_on_data_above_the_threading_threshold():
    rng = random.Random(7)
    data = bytes(rng.choice(b"aaaabbbcdeffff\n") for _ in range(6 << 20))
    single = huffcodec.compress(data, threads=1)
    assert huffcodec.compress(data, threads=2) == single
    assert huffcodec.compress(data) == single
    assert huffcodec.decompress(single, threads=2) == data
    out = bytearray(len(data))
    huffcodec.decompress(single, out=out)
    assert out == data
    with pytest.raises(ValueError):
        huffcodec.compress(data, threads=-1)


def test_python_threads_decode_at_once():
    data = bytes(range(256)) * 40000
    packed = huffcodec.compress(data)
    results = [None] * 4

    def work(i):
        results[i] = huffcodec.decompress(packed, threads=1)

    workers = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert all(r == data for r in results)


@given(any_data.filter(bool), st.data())
def test_cut_input_raises_the_library_error(data, draw):
    packed = huffcodec.compress(data)
    cut = draw.draw(st.integers(0, len(packed) - 1))
    # A cut inside the body's last byte can still decode: its padding bits are
    # not needed. Anything else is an error, never a crash.
    try:
        assert huffcodec.decompress(packed[:cut]) == data
        assert cut >= huffcodec.HEADER_BYTES
    except huffcodec.TruncatedError as error:
        assert cut >= huffcodec.HEADER_BYTES
        assert error.name == "truncatedBody" and error.status == 4
    except huffcodec.HeaderError as error:
        assert cut < huffcodec.HEADER_BYTES
        assert error.name == "headerTooShort"


@given(st.binary(max_size=3000))
def test_random_input_raises_the_library_error_or_decodes(data):
    try:
        huffcodec.decompress(data, threads=1)
    except huffcodec.Error as error:
        assert isinstance(error, ValueError)
        assert error.message and error.name
    except MemoryError:
        pass  # a header may promise up to 2 GiB


def test_header_errors_carry_the_status():
    bad = bytearray(huffcodec.compress(b"abc"))
    bad[4:8] = (-1).to_bytes(4, "little", signed=True)
    with pytest.raises(huffcodec.HeaderError) as caught:
        huffcodec.read_header(bad)
    assert caught.value.name == "negativeCount"
    big = bytearray(1024)
    big[0:4] = big[4:8] = (2**31 - 1).to_bytes(4, "little")
    with pytest.raises(huffcodec.HeaderError, match="sizeTooLarge"):
        huffcodec.decompress(bytes(big))


def test_errors_survive_pickling():
    import pickle

    with pytest.raises(huffcodec.Error) as caught:
        huffcodec.decompress(b"short")
    again = pickle.loads(pickle.dumps(caught.value))
    assert type(again) is huffcodec.HeaderError and again.name == caught.value.name


def test_version_is_the_library_version(source_dir):
    import re

    text = (source_dir / "CMakeLists.txt").read_text()
    assert huffcodec.__version__ == re.search(r"project\(huffcodec VERSION ([0-9.]+)", text)[1]
    # pip's metadata is written by hand in pyproject.toml: it must follow.
    pyproject = (source_dir / "pyproject.toml").read_text()
    assert re.search(r'^version = "([0-9.]+)"', pyproject, re.M)[1] == huffcodec.__version__
