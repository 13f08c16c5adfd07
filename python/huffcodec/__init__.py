# SPDX-License-Identifier: MIT
"""Files packed with a static byte-oriented Huffman code, from Python.

In memory: :func:`compress`, :func:`decompress`, :func:`read_header`.
Files: :func:`compress_file`, :func:`decompress_file`, and :func:`open` to
read a compressed file as it decodes. A numcodecs codec (for Zarr and Dask)
is :class:`huffcodec.numcodecs.Huffman`.

Every call releases the GIL while it works, so Python threads run calls side
by side. A call runs on the calling thread unless asked: ``threads`` (default
``1``) sets how many threads one call of 4 MiB or more uses, ``0`` every
processor the process may use, and a count above :data:`MAX_THREADS` runs as
that many. It is an int (anything with ``__index__``, numpy's integers too)
or ``None`` for the default (in huffcodec 0.4, ``None`` meant every processor).
:func:`open` always decodes on the calling thread.

Failures of the data raise :class:`Error` (a ``ValueError``) or one of its
subclasses, ``OSError`` for files, ``MemoryError`` when memory runs out. Bad
arguments raise ``TypeError`` for a wrong type (a ``threads`` or
``max_output_size`` that is a bool, float or str; a read-only ``out``; a
non-buffer) and ``ValueError`` for a wrong value (a negative count, an ``out``
of the wrong size, a buffer that is not C-contiguous, a path with a NUL byte;
an ``out`` that shares memory with the data is refused by the library, as an
:class:`Error` with the status ``invalidArgument``).
"""

import os as _os
import typing as _typing

from . import _huffcodec
from ._errors import Error, HeaderError, InputChangedError, OutputTooLargeError, TruncatedError
from ._reader import HuffcodecReader, open

__version__ = _huffcodec.__version__

#: Size of the count header that starts every compressed file.
HEADER_BYTES = _huffcodec.HEADER_BYTES
#: The largest original size the format can describe.
MAX_ORIGINAL_SIZE = _huffcodec.MAX_ORIGINAL_SIZE
#: The most threads one call runs; a larger ``threads`` runs as this many.
MAX_THREADS = _huffcodec.MAX_THREADS

__all__ = [
    "Error",
    "HeaderError",
    "TruncatedError",
    "InputChangedError",
    "OutputTooLargeError",
    "Header",
    "HuffcodecReader",
    "compress",
    "decompress",
    "read_header",
    "compress_file",
    "decompress_file",
    "open",
    "compress_bound",
    "HEADER_BYTES",
    "MAX_ORIGINAL_SIZE",
    "MAX_THREADS",
    "__version__",
]


class Header(_typing.NamedTuple):
    """What a compressed file's header says."""

    original_size: int
    counts: _typing.Tuple[int, ...]  # entry i: occurrences of byte value i
    distinct_bytes: int


def compress(data, *, threads: _typing.Optional[int] = 1) -> bytes:
    """Compresses any buffer (read in place) into a compressed file's bytes."""
    return _huffcodec.compress(data, threads=threads)


def decompress(data, *, threads: _typing.Optional[int] = 1, out=None,
               max_output_size: _typing.Optional[int] = None):
    """Decompresses a compressed file's bytes.

    Returns ``bytes``, or with ``out`` (a writable contiguous buffer of exactly
    the original size, else ``ValueError``; a read-only one is a
    ``TypeError``; one that shares memory with ``data`` an :class:`Error`
    with the status ``invalidArgument``) writes the decoded bytes there and
    returns ``out``.
    Raises :class:`TruncatedError` for a body cut short and
    :class:`HeaderError` for a bad header. The header says how many bytes to
    allocate: with ``max_output_size`` (``None``: no cap), a header that
    claims more raises :class:`OutputTooLargeError` before anything is
    allocated.
    """
    return _huffcodec.decompress(data, threads=threads, out=out, max_output_size=max_output_size)


def read_header(data) -> Header:
    """Reads the header at the start of ``data`` (which may hold the body too)."""
    return Header(*_huffcodec.read_header(data))


def compress_bound(size: int) -> int:
    """The most bytes :func:`compress` makes of ``size`` bytes: the library's
    bound, ``size + HEADER_BYTES``, and ``MAX_ORIGINAL_SIZE + HEADER_BYTES``
    for any larger size (which :func:`compress` refuses). ``TypeError`` for
    anything but an int, ``ValueError`` below 0."""
    return _huffcodec.compress_bound(size)


def compress_file(src, dst, *, threads: _typing.Optional[int] = 1) -> None:
    """Compresses the file ``src`` into ``dst``, byte for byte as ``compress`` does.

    On any failure after ``dst`` is opened, ``dst`` is removed: no
    half-written file is left behind. A path with a NUL byte is a
    ``ValueError`` before anything is opened.
    """
    _huffcodec.compress_file(_os.fsencode(src), _os.fsencode(dst), threads=threads)


def decompress_file(src, dst, *, threads: _typing.Optional[int] = 1,
                    max_output_size: _typing.Optional[int] = None) -> None:
    """Decompresses the file ``src`` into ``dst``, as ``uncompress`` does.

    On a failure the bytes decoded before it stay in ``dst``. With
    ``max_output_size``, a header that claims more bytes raises
    :class:`OutputTooLargeError` and leaves ``dst`` empty, as a bad header
    does. A path with a NUL byte is a ``ValueError`` before anything is opened.
    """
    _huffcodec.decompress_file(_os.fsencode(src), _os.fsencode(dst), threads=threads,
                               max_output_size=max_output_size)
