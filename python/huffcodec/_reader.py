# SPDX-License-Identifier: MIT
"""huffcodec.open(): a binary file object that decodes as it is read."""

import functools
import io
import operator
import os
import sys
import threading

from . import _huffcodec

# Decoded bytes made at a time when the caller asks for less; with the
# extension's own state this bounds the memory of a reader at a few MiB.
_OUT_CHUNK = 1 << 16


def _serialised(method):
    """Runs method holding the reader's lock: one call at a time, whole."""

    @functools.wraps(method)
    def locked(self, *args, **kwargs):
        if not self._lock.acquire(blocking=False):
            # A signal handler reading the reader its thread is reading
            # would wait for itself forever.
            if self._owner == threading.get_ident():
                raise RuntimeError("reentrant call inside a huffcodec reader")
            self._lock.acquire()
        self._owner = threading.get_ident()
        try:
            return method(self, *args, **kwargs)
        finally:
            self._owner = None
            self._lock.release()

    return locked


class HuffcodecReader(io.BufferedIOBase):
    """Decodes a compressed file as it is read. Made by :func:`huffcodec.open`.

    Threads may share a reader: their calls take turns, as on an
    ``io.BufferedReader``, and each call gets the next stretch of the data.
    A call that meets a failure after decoding some bytes returns them, and
    the next call raises it.
    """

    def __init__(self, source, decoder, *, close_source: bool, name=None) -> None:
        self._lock = threading.Lock()
        self._owner = None
        self._source = source
        self._close_source = close_source
        if name is not None:
            self.name = name
        # Reads the source and decodes; keeps a failure met after some bytes
        # were written and raises it at the next call, once they are out.
        self._decoder = decoder
        decoder.attach(source)
        # Decoded bytes not yet given out: _buf[_pos:].
        self._buf = b""
        self._pos = 0

    # ---- io.BufferedIOBase ---------------------------------------------

    def readable(self) -> bool:
        self._check_open()
        return True

    def seekable(self) -> bool:
        return False

    def writable(self) -> bool:
        return False

    @_serialised
    def close(self) -> None:
        if self.closed:
            return
        try:
            if self._close_source:
                self._source.close()
        finally:
            self._decoder = None
            self._buf = b""
            super().close()

    def detach(self):
        raise io.UnsupportedOperation("a huffcodec reader cannot be detached")

    @_serialised
    def readinto(self, b) -> int:
        return self._readinto(b, whole=True)

    @_serialised
    def readinto1(self, b) -> int:
        return self._readinto(b, whole=False)

    @_serialised
    def read(self, size=-1) -> bytes:
        self._check_open()
        if size is None or size < 0:
            return self._read(sys.maxsize)
        if type(size) is not int or size > sys.maxsize:
            # The sizes bytearray(size) takes, and its errors for the others.
            size = len(bytearray(size))
        return self._read(size)

    @_serialised
    def read1(self, size=-1) -> bytes:
        self._check_open()
        if size is None or size < 0:
            size = _OUT_CHUNK
        if size == 0 or (self._pos == len(self._buf) and not self._fill()):
            return b""
        return self._take(size)

    @_serialised
    def peek(self, size=0) -> bytes:
        self._check_open()
        if self._pos == len(self._buf):
            self._fill()
        return self._buf[self._pos :]

    @_serialised
    def readline(self, size=-1) -> bytes:
        # Here rather than io's, which calls peek() and read() in turn: a
        # line must not take turns with another thread's reads.
        self._check_open()
        size = -1 if size is None else operator.index(size)
        parts = []
        have = 0
        try:
            while size < 0 or have < size:
                if self._pos == len(self._buf) and not self._fill():
                    break
                stop = len(self._buf) if size < 0 else min(len(self._buf), self._pos + size - have)
                end = self._buf.find(b"\n", self._pos, stop)
                parts.append(self._view((stop if end < 0 else end + 1) - self._pos))
                have += len(parts[-1])
                if end >= 0:
                    break
        except BaseException as error:
            self._keep_or_raise(error, b"".join(parts))
        return b"".join(parts)

    # ---- decoding (the caller holds the lock) --------------------------

    def _check_open(self) -> None:
        if self.closed:
            raise ValueError("I/O operation on closed file")

    def _take(self, size: int) -> bytes:
        data = self._buf[self._pos : self._pos + size]
        self._pos += len(data)
        return data

    def _view(self, size: int) -> memoryview:
        """As _take, without a copy: the caller joins the views into one."""
        data = memoryview(self._buf)[self._pos : self._pos + size]
        self._pos += len(data)
        return data

    def _keep_or_raise(self, error: BaseException, data) -> None:
        """Ends a call that met error after decoding data, losing none of it.

        With bytes in hand an ``Exception`` waits: the call returns them, and
        the next call meets it again (a failure of the data is kept; the
        source is asked again). Anything else (KeyboardInterrupt) goes out
        now, and data is kept for the next read.
        """
        if not len(data):
            raise error
        if not isinstance(error, Exception):
            self._buf = bytes(data) + self._buf[self._pos :]
            self._pos = 0
            raise error

    def _fill(self) -> bool:
        """Decodes the next piece into the internal buffer; False at the end."""
        self._buf = self._decoder.decode(_OUT_CHUNK)
        self._pos = 0
        return len(self._buf) > 0

    def _read(self, size: int) -> bytes:
        """The next size bytes, fewer at the end of the data."""
        if len(self._buf) - self._pos >= size:
            return self._take(size)
        head = memoryview(self._buf)[self._pos :]
        try:
            data = self._decoder.read(head, size)
        except BaseException:
            held = self._decoder.held()  # the bytes it had in hand, head first
            if held:
                self._buf, self._pos = held, 0
            raise
        self._buf, self._pos = b"", 0
        return data

    def _readinto(self, b, *, whole: bool) -> int:
        self._check_open()
        with memoryview(b) as view, view.cast("B") as target:
            done = len(self._buf) - self._pos
            if done:
                done = min(done, len(target))
                target[:done] = memoryview(self._buf)[self._pos : self._pos + done]
                self._pos += done
                if not whole:
                    return done
            # Large reads are decoded straight into the caller's buffer.
            try:
                while done < len(target):
                    got = self._decoder.decode_into(target[done:])
                    if got == 0:
                        break
                    done += got
                    if not whole:
                        break
            except BaseException as error:
                self._keep_or_raise(error, target[:done])
            return done


def open(file, mode: str = "rb", *, max_output_size=None) -> HuffcodecReader:
    """Opens a compressed file for reading as a binary file object.

    ``file`` is a path (``str``, ``bytes`` or ``os.PathLike``) or a binary file
    object open for reading, which the reader reads from its current position
    and leaves open. Only mode ``"rb"`` is supported. The result decodes as it
    is read, in bounded memory and on the calling thread, and cannot seek;
    wrap it in ``io.TextIOWrapper`` to read text.

    Bytes come out as soon as the compressed bytes that hold them have been
    read; the source is read with ``read1`` where it has one, and the data
    ends at the file's last byte without waiting for the source to end.

    Threads may share one reader: their calls take turns, each getting the
    next stretch of the data, as on an ``io.BufferedReader``. A cut or bad
    file gives every byte decoded before the fault, then the next call raises.
    A source that returns ``None`` (non-blocking, nothing ready) makes a call
    with nothing to return raise ``BlockingIOError``; a later call goes on.

    ``max_output_size`` (``None``: no cap) makes the first read raise
    :class:`OutputTooLargeError` when the header claims more bytes.
    Raises ``ValueError`` for another mode or a path with a NUL byte,
    ``TypeError`` for another ``file`` or a ``max_output_size`` that is not an
    int, ``ValueError`` for a negative one.
    """
    if mode not in ("rb", "br"):
        raise ValueError(f"huffcodec.open supports mode 'rb' only, not {mode!r}")
    decoder = _huffcodec.StreamReader(max_output_size)  # checks it before a path is opened
    if isinstance(file, (str, bytes, os.PathLike)):
        source = io.open(file, "rb")
        return HuffcodecReader(source, decoder, close_source=True, name=os.fspath(file))
    if not hasattr(file, "read"):
        raise TypeError("file must be a path or a binary file object")
    return HuffcodecReader(file, decoder, close_source=False, name=getattr(file, "name", None))
