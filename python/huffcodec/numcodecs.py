# SPDX-License-Identifier: MIT
"""A numcodecs codec over huffcodec, for Zarr arrays and Dask.

Registered under the ``numcodecs.codecs`` entry point as ``"huffcodec"``, so
``numcodecs.get_codec({"id": "huffcodec"})`` finds it without an import.
"""

from typing import Optional

from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray

from . import _huffcodec, compress, decompress

__all__ = ["Huffman"]


class Huffman(Codec):
    """Static Huffman coding of a chunk's bytes.

    ``threads``: threads one chunk of 4 MiB or more is coded with (``None`` or
    ``0``: every processor the process may use; ``1``: the calling thread, the
    choice when a Dask scheduler already runs a chunk per core). It is checked
    as :func:`huffcodec.compress` checks it: ``TypeError`` for a bool, float
    or str, ``ValueError`` for a negative int.
    """

    codec_id = "huffcodec"

    def __init__(self, threads: Optional[int] = None) -> None:
        # Kept as a plain int: numpy's are not JSON, and the config must be.
        self.threads = _huffcodec.check_count(threads, "threads")

    def encode(self, buf) -> bytes:
        return compress(ensure_contiguous_ndarray(buf), threads=self.threads)

    def decode(self, buf, out=None):
        data = ensure_contiguous_ndarray(buf)
        if out is None:
            return decompress(data, threads=self.threads)
        decompress(data, threads=self.threads, out=ensure_contiguous_ndarray(out))
        return out

    def __repr__(self) -> str:
        return f"{type(self).__name__}(threads={self.threads!r})"
