# SPDX-License-Identifier: MIT
"""huffcodec.open(): a binary file object that decodes as it is read."""

import io
import os

from . import _huffcodec

# Compressed bytes read from the source at a time, and decoded bytes made at a
# time when the caller asks for less; with the stream's own state this bounds
# the memory of a reader at a few MiB whatever the file's size.
_IN_CHUNK = 1 << 16
_OUT_CHUNK = 1 << 16
_INTERNAL_ERROR = 11


class HuffcodecReader(io.BufferedIOBase):
    """Decodes a compressed file as it is read. Made by :func:`huffcodec.open`."""

    def __init__(self, source, *, close_source: bool, name=None) -> None:
        self._source = source
        self._close_source = close_source
        if name is not None:
            self.name = name
        self._stream = _huffcodec.DecompressStream()
        self._in = b""
        self._in_pos = 0
        self._in_ended = False
        # Decoded bytes not yet given out: _buf[_pos:].
        self._buf = b""
        self._pos = 0
        self._failure = None  # a status to raise once the bytes before it are out

    # ---- io.BufferedIOBase ---------------------------------------------

    def readable(self) -> bool:
        self._check_open()
        return True

    def seekable(self) -> bool:
        return False

    def writable(self) -> bool:
        return False

    def close(self) -> None:
        if self.closed:
            return
        try:
            if self._close_source:
                self._source.close()
        finally:
            self._stream = None
            self._buf = b""
            self._in = b""
            super().close()

    def detach(self):
        raise io.UnsupportedOperation("a huffcodec reader cannot be detached")

    def readinto(self, b) -> int:
        return self._readinto(b, whole=True)

    def readinto1(self, b) -> int:
        return self._readinto(b, whole=False)

    def read(self, size=-1) -> bytes:
        self._check_open()
        if size is None or size < 0:
            parts = [self._take(len(self._buf) - self._pos)]
            while True:
                chunk = bytearray(_OUT_CHUNK * 4)
                got = self._decode_into(memoryview(chunk))
                if got == 0:
                    break
                del chunk[got:]
                parts.append(bytes(chunk))
            return b"".join(parts)
        buffer = bytearray(size)
        got = self._readinto(buffer, whole=True)
        del buffer[got:]
        return bytes(buffer)

    def read1(self, size=-1) -> bytes:
        self._check_open()
        if size is None or size < 0:
            size = _OUT_CHUNK
        if self._pos == len(self._buf) and not self._fill():
            return b""
        return self._take(size)

    def peek(self, size=0) -> bytes:
        self._check_open()
        if self._pos == len(self._buf):
            self._fill()
        return self._buf[self._pos :]

    # ---- decoding ------------------------------------------------------

    def _check_open(self) -> None:
        if self.closed:
            raise ValueError("I/O operation on closed file")

    def _take(self, size: int) -> bytes:
        data = self._buf[self._pos : self._pos + size]
        self._pos += len(data)
        return data

    def _fill(self) -> bool:
        """Decodes the next piece into the internal buffer; False at the end."""
        chunk = bytearray(_OUT_CHUNK)
        got = self._decode_into(memoryview(chunk))
        del chunk[got:]
        self._buf = bytes(chunk)
        self._pos = 0
        return got > 0

    def _readinto(self, b, *, whole: bool) -> int:
        self._check_open()
        with memoryview(b) as view, view.cast("B") as target:
            done = len(self._buf) - self._pos
            if done:
                done = min(done, len(target))
                target[:done] = self._buf[self._pos : self._pos + done]
                self._pos += done
                if not whole:
                    return done
            # Large reads are decoded straight into the caller's buffer.
            while done < len(target):
                got = self._decode_into(target[done:])
                if got == 0:
                    break
                done += got
                if not whole:
                    break
            return done

    def _decode_into(self, target: memoryview) -> int:
        """Decodes into target; 0 only at the end of the decoded data."""
        if len(target) == 0:
            return 0
        while True:
            if self._failure is not None:
                _huffcodec.raise_status(self._failure)
            if self._stream.finished:
                return 0
            if self._in_pos == len(self._in) and not self._in_ended:
                self._in = self._source.read(_IN_CHUNK)
                self._in_pos = 0
                if self._in is None:
                    raise BlockingIOError("the source has no bytes ready")
                if not self._in:
                    self._in_ended = True
            before = self._in_pos
            self._in_pos, written, status = self._stream.decompress(
                self._in, self._in_pos, target, 0, self._in_ended
            )
            if status == 0 and not written and self._in_ended and self._in_pos == before:
                # The stream promises progress or a status; never spin.
                if not self._stream.finished:
                    _huffcodec.raise_status(_INTERNAL_ERROR)
            if status != 0:
                # Raised on the next call: the bytes written now go out first.
                self._failure = status
            if written:
                return written


def open(file, mode: str = "rb") -> HuffcodecReader:
    """Opens a compressed file for reading as a binary file object.

    ``file`` is a path (``str``, ``bytes`` or ``os.PathLike``) or a binary file
    object open for reading, which the reader reads from its current position
    and leaves open. Only mode ``"rb"`` is supported. The result decodes as it
    is read, in bounded memory, and cannot seek; wrap it in
    ``io.TextIOWrapper`` to read text. One reader serves one thread at a
    time: a second thread reading at once gets a ``RuntimeError``.
    """
    if mode not in ("rb", "br"):
        raise ValueError(f"huffcodec.open supports mode 'rb' only, not {mode!r}")
    if isinstance(file, (str, bytes, os.PathLike)):
        source = io.open(file, "rb")
        return HuffcodecReader(source, close_source=True, name=os.fspath(file))
    if not hasattr(file, "read"):
        raise TypeError("file must be a path or a binary file object")
    return HuffcodecReader(file, close_source=False, name=getattr(file, "name", None))
