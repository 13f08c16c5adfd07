# SPDX-License-Identifier: MIT
import gc
import io
import os
import random
import shutil
import threading
import time
import weakref
from concurrent.futures import ThreadPoolExecutor

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


class Trickle:  # 777 bytes a read after a pause; stalling, None every other read
    def __init__(self, data, *, stalling=False, interrupting=False, pause=0.0):
        self.data, self.stalling, self.pause, self.calls = io.BytesIO(data), stalling, pause, 0
        self.interrupting = interrupting  # a KeyboardInterrupt at the 4th read, once bytes are out

    def read(self, size):
        time.sleep(self.pause)
        self.calls += 1
        if self.interrupting and self.calls == 4:
            raise KeyboardInterrupt
        return None if self.stalling and self.calls % 2 else self.data.read(min(size, 777))


def _peek(reader, size):
    data = reader.peek(size)
    assert reader.read(len(data)) == data
    return data


READS = {"read": lambda r, n: r.read(n), "read()": lambda r, n: r.read(),
         "read1": lambda r, n: r.read1(n), "readline": lambda r, n: r.readline(n),
         "readinto": lambda r, n: (b := bytearray(n))[: r.readinto(b)],
         "readinto1": lambda r, n: (b := bytearray(n))[: r.readinto1(b)],
         "peek": _peek, "next": lambda r, n: next(r, b"")}
READ_ROWS = [(m, n) for m in ("read", "read1", "readline", "readinto", "readinto1", "peek")
             for n in (1, 1000, 4096, 100000)]
READ_ROWS += [("read", -1), ("read", None), ("read()", -1), ("read1", -1), ("readline", -1),
              ("next", -1)]
LINES = b"".join(b"line %d of some text here\n" % i for i in range(1300))
TEXT = huffcodec.compress(LINES)
CUT_FILES = {"text cut in half": TEXT[: (len(TEXT) + huffcodec.HEADER_BYTES) // 2],
             "one-bit codes, 5000 body bytes": huffcodec.compress(b"ab" * 100000)[:1024 + 5000],
             "cut in the header": TEXT[:500]}


@pytest.mark.parametrize("source", ["ready", "stalling", "interrupted"])
@pytest.mark.parametrize("method, size", READ_ROWS)
@pytest.mark.parametrize("name", CUT_FILES)
def test_a_cut_file_gives_exactly_the_decodable_prefix_then_raises(tmp_path, name, method,
                                                                   size, source):
    # What the C++ decoder (decompress_file) writes before it fails, and the
    # error huffcodec.decompress raises, are what the reader must give.
    packed = CUT_FILES[name]
    (tmp_path / "cut.huf").write_bytes(packed)
    with pytest.raises(huffcodec.Error) as failed:
        huffcodec.decompress(packed)
    error = type(failed.value)
    with pytest.raises(error):
        huffcodec.decompress_file(tmp_path / "cut.huf", tmp_path / "prefix")
    prefix = (tmp_path / "prefix").read_bytes()
    assert len(prefix) == 40000 or not name.startswith("one-bit")
    stalling, interrupting = source == "stalling", source == "interrupted"
    reader = huffcodec.open(Trickle(packed, stalling=stalling, interrupting=interrupting)
                            if stalling or interrupting else io.BytesIO(packed))
    got, waits, interrupts = bytearray(), 0, 0
    while waits <= len(packed):
        try:
            piece = READS[method](reader, size)
        except BlockingIOError:  # nothing ready: a later call goes on
            waits += 1
            continue
        except KeyboardInterrupt:  # the bytes decoded before it wait for the next call
            interrupts += 1
            continue
        except error:
            break
        assert piece, "a cut file ended as a whole one would"
        got += piece
    assert got == prefix and (waits > 0) == stalling
    assert interrupts == (interrupting and name != "cut in the header")  # it ends at read 2
    with pytest.raises(error):  # and on every call after
        READS[method](reader, size)


def test_decodable_bytes_come_out_before_the_source_ends():
    # The whole file, then None for ever: a writer that has not closed.
    given = iter([TEXT])
    source = type("Waiting", (), {"read": lambda self, size: next(given, None)})()
    reader = huffcodec.open(source)
    assert reader.read(100) == LINES[:100]
    assert reader.read() == LINES[100:] and reader.read(100) == b""


def test_a_source_that_holds_its_reader_is_collected():
    source = io.BytesIO(TEXT)
    source.reader = huffcodec.open(source)
    gone = weakref.ref(source.reader)
    del source
    gc.collect()
    assert gone() is None


def test_a_pipe_whose_writer_stays_open():
    read_end, write_end = os.pipe()
    os.write(write_end, TEXT)
    # Closes the writer if a read waits for the end, so that the test ends.
    closed = threading.Event()
    closer = threading.Timer(20, lambda: (closed.set(), os.close(write_end)))
    closer.start()
    with os.fdopen(read_end, "rb") as source:
        reader = huffcodec.open(source)
        assert reader.read(100) == LINES[:100]
        assert reader.read() == LINES[100:]
    closer.cancel()
    closer.join()
    assert not closed.is_set(), "the reads waited for the writer to close"
    os.close(write_end)


def test_threads_sharing_a_reader_take_turns():
    records = b"".join(b"%07d\n" % i for i in range(100000))
    reader = huffcodec.open(Trickle(huffcodec.compress(records), pause=0.0002))

    def work(seed):
        rng, pieces = random.Random(seed), []
        calls = [reader.readline, lambda: next(reader, b""),
                 lambda: READS["read"](reader, 8 * rng.randint(1, 300)),
                 lambda: READS["readinto"](reader, 8 * rng.randint(1, 300))]
        while piece := rng.choice(calls)():
            pieces.append(bytes(piece))
        return pieces

    with ThreadPoolExecutor(2) as pool:
        pieces = [piece for mine in pool.map(work, range(2)) for piece in mine]
    # Each call took whole records on from where the one before ended: the
    # pieces, put in order of where they start, make the file.
    starts = [int(piece[:7]) for piece in pieces]
    assert all(records[8 * s: 8 * s + len(p)] == p for s, p in zip(starts, pieces))
    assert b"".join(p for _, p in sorted(zip(starts, pieces))) == records
