# SPDX-License-Identifier: MIT
"""A numcodecs codec over huffcodec, for Zarr arrays and Dask.

Registered under the ``numcodecs.codecs`` entry point as ``"huffcodec"``, so
``numcodecs.get_codec({"id": "huffcodec"})`` finds it without an import.

How many threads a chunk is coded with belongs to the process, not to the
array, as numcodecs' Blosc has it: :func:`set_threads` and
:func:`get_threads`.
"""

import threading
from typing import Optional

import numpy as np
from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray

from . import _huffcodec, compress, decompress

__all__ = ["Huffman", "set_threads", "get_threads"]

_threads = 1


def set_threads(threads: Optional[int]) -> int:
    """Sets the threads one chunk of 4 MiB or more is coded with; returns the
    previous setting.

    ``1`` (the default, also ``None``) codes on the calling thread, ``0`` on
    every processor the process may use; checked as :func:`huffcodec.compress`
    checks ``threads``. The setting is used only when the codec is called
    from the main thread: elsewhere (a Dask worker's threads, which already
    run a chunk per core) a chunk is always coded on the calling thread.
    """
    global _threads
    count = _huffcodec.check_count(threads, "threads")
    previous, _threads = _threads, 1 if count is None else count
    return previous


def get_threads() -> int:
    """The setting :func:`set_threads` made, 1 unless changed."""
    return _threads


_main_thread = threading.main_thread().ident


def _threads_here() -> int:
    return _threads if threading.get_ident() == _main_thread else 1


def _as_read(buf):
    # What the library reads in place as it is (bytes, and the C-contiguous
    # arrays Zarr and Dask hand over) goes straight through; anything else
    # as numcodecs makes it contiguous. A chunk of 4 KiB decodes in a few
    # microseconds, so the check is kept to a few attribute reads.
    kind = type(buf)
    if kind is bytes or kind is bytearray or (
            kind is np.ndarray and buf.flags.c_contiguous and not buf.dtype.hasobject):
        return buf
    return ensure_contiguous_ndarray(buf)


class Huffman(Codec):
    """Static Huffman coding of a chunk's bytes.

    The config holds the codec's id alone. ``threads`` is accepted for the
    configs huffcodec 0.4 wrote, checked as before (``TypeError`` for a bool,
    float or str, ``ValueError`` for a negative int) and ignored: the threads
    a chunk is coded with are the process's setting, :func:`set_threads`.
    """

    codec_id = "huffcodec"

    def __init__(self, threads: Optional[int] = None) -> None:
        _huffcodec.check_count(threads, "threads")

    def encode(self, buf) -> bytes:
        return compress(_as_read(buf), threads=_threads_here())

    def decode(self, buf, out=None):
        data = _as_read(buf)
        if out is None:
            return decompress(data, threads=_threads_here())
        decompress(data, threads=_threads_here(), out=_as_read(out))
        return out
