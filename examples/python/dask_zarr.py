#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A Dask array written to a Zarr array compressed with huffcodec, on a cluster.

Starts a distributed.LocalCluster of worker processes on the loopback
interface, writes a Dask array into a Zarr array whose chunks are compressed
with huffcodec.numcodecs.Huffman, reads it back through the cluster, checks
it and prints the times. On a real cluster, pass the scheduler's address
(--scheduler tcp://host:8786) and a path every worker can reach; each worker
needs only `pip install huffcodec` (from this repository).

    python3 examples/python/dask_zarr.py [--workers 2] [--size-mib 256]
"""

import argparse
import os
import sys
import tempfile
import time


def run(path, *, workers=2, size_mib=64, chunk_mib=4, scheduler=None, log=print):
    """Writes, reads and checks the array; returns the times in seconds."""
    import dask.array as da
    import numpy as np
    import zarr
    from distributed import Client, LocalCluster

    from huffcodec.numcodecs import Huffman

    cluster = None
    if scheduler is None:
        cluster = LocalCluster(
            n_workers=workers,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            dashboard_address=None,
            protocol="tcp",
        )
        scheduler = cluster
    times = {}
    try:
        with Client(scheduler) as client:
            # int16 samples of a noisy sine: few distinct high bytes, so the
            # chunks compress well, and chunk-local seeds so every run (and
            # the check below) sees the same values.
            rows = size_mib * (1 << 20) // 2 // 4096
            chunk_rows = max(1, chunk_mib * (1 << 20) // 2 // 4096)

            def make(block, block_info=None):
                start = block_info[0]["array-location"][0][0]
                rng = np.random.default_rng(start)
                t = np.arange(start * 4096, start * 4096 + block.size, dtype=np.float64)
                wave = 1000 * np.sin(t / 500.0) + rng.normal(0, 8, block.size)
                return wave.astype(np.int16).reshape(block.shape)

            source = da.zeros((rows, 4096), dtype=np.int16, chunks=(chunk_rows, 4096))
            data = source.map_blocks(make, dtype=np.int16)

            # The workers code each chunk on the thread that holds it: the
            # cluster already runs one chunk per core.
            store = zarr.DirectoryStore(path)
            target = zarr.open_array(store, mode="w", shape=data.shape, chunks=data.chunksize,
                                     dtype=data.dtype, compressor=Huffman())
            begin = time.perf_counter()
            da.store(data, target, lock=False)
            times["write"] = time.perf_counter() - begin

            begin = time.perf_counter()
            back = da.from_zarr(path)
            same = bool((back == data).all().compute())
            times["read_and_check"] = time.perf_counter() - begin
            if not same:
                raise SystemExit("the array read back differs from the one written")

            stored = sum(os.path.getsize(os.path.join(path, name)) for name in os.listdir(path))
            raw = data.nbytes
            log(f"workers: {len(client.scheduler_info()['workers'])}, array {data.shape} "
                f"{data.dtype} in {data.numblocks[0]} chunks")
            log(f"stored {stored} bytes for {raw} ({raw / stored:.2f}:1)")
            log(f"write {times['write']:.2f} s ({raw / times['write'] / 1e6:.0f} MB/s), "
                f"read and check {times['read_and_check']:.2f} s")
    finally:
        if cluster is not None:
            cluster.close()
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--chunk-mib", type=int, default=4)
    parser.add_argument("--scheduler", help="address of a running scheduler")
    parser.add_argument("--path", help="where to write the Zarr array (default: a scratch dir)")
    args = parser.parse_args()
    if args.path:
        run(args.path, workers=args.workers, size_mib=args.size_mib, chunk_mib=args.chunk_mib,
            scheduler=args.scheduler)
        return
    with tempfile.TemporaryDirectory() as scratch:
        run(os.path.join(scratch, "array.zarr"), workers=args.workers, size_mib=args.size_mib,
            chunk_mib=args.chunk_mib, scheduler=args.scheduler)


if __name__ == "__main__":
    sys.exit(main())
