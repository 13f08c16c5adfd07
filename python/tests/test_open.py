# SPDX-License-Identifier: MIT
import io
import shutil

import pytest
from hypothesis import given
from hypothesis import strategies as st

import huffcodec
from strategies import any_data

text_like = st.lists(st.sampled_from([b"a", b"bb", b"\n", b"line\n", b"\r\n", b"x" * 300]),
                     max_size=3000).map(b"".join)


@given(st.one_of(any_data, text_like), st.lists(st.integers(-1, 70000), max_size=20),
       st.integers(1, 4))
def test_reads_of_any_size_give_the_data(data, sizes, how):
    source = io.BytesIO(huffcodec.compress(data))
    got = bytearray()
    with huffcodec.open(source) as reader:
        for size in sizes:
            if how == 1:
                got += reader.read(size)
            elif how == 2:
                got += reader.read1(size)
            elif how == 3 and size >= 0:
                buffer = bytearray(size)
                got += buffer[: reader.readinto(buffer)]
            else:
                got += reader.readline(size)
        got += reader.read()
        assert reader.read() == b""
    assert got == data
    assert reader.closed and not source.closed


@given(text_like)
def test_lines_and_iteration_match_a_plain_file(data):
    with huffcodec.open(io.BytesIO(huffcodec.compress(data))) as reader:
        assert list(reader) == list(io.BytesIO(data))


def test_text_wrapper_copyfileobj_and_paths(tmp_path):
    text = "é ünïcödé line\n" * 20000
    path = tmp_path / "text.huf"
    path.write_bytes(huffcodec.compress(text.encode()))
    with huffcodec.open(path, "rb") as reader:
        assert not reader.seekable() and reader.readable() and not reader.writable()
        with io.TextIOWrapper(reader, encoding="utf-8") as lines:
            assert lines.readline() == "é ünïcödé line\n"
            assert lines.read() == text[len("é ünïcödé line\n"):]
    with huffcodec.open(str(path)) as reader, open(tmp_path / "copy", "wb") as copy:
        shutil.copyfileobj(reader, copy)
    assert (tmp_path / "copy").read_bytes() == text.encode()
    with pytest.raises(ValueError):
        huffcodec.open(path, "wb")
    with pytest.raises(ValueError):
        reader.read()


@given(any_data.filter(lambda d: len(d) > 10), st.data())
def test_a_cut_file_gives_its_prefix_then_raises(data, draw):
    packed = huffcodec.compress(data)
    cut = draw.draw(st.integers(0, len(packed) - 1))
    got = bytearray()
    with huffcodec.open(io.BytesIO(packed[:cut])) as reader:
        try:
            while chunk := reader.read(draw.draw(st.integers(1, 5000))):
                got += chunk
            assert got == data  # only the last byte's padding was cut
        except huffcodec.TruncatedError:
            assert cut >= huffcodec.HEADER_BYTES
            assert data.startswith(bytes(got)) and len(got) < len(data)
        except huffcodec.HeaderError:
            assert cut < huffcodec.HEADER_BYTES and not got


def test_large_file_reads_in_bounded_pieces():
    data = bytes(range(256)) * 50000
    reader = huffcodec.open(io.BytesIO(huffcodec.compress(data)))
    first = reader.read1(100)
    assert 0 < len(first) <= 100
    assert first + reader.read() == data
