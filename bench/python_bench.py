#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""huffcodec from Python against numcodecs' codecs and Python's zlib.

Prints a Markdown table: for each data set (16 MiB chunks of the bench data
sets of bench/run_bench.sh, and two numeric arrays) and codec, the ratio
(original / compressed) and the compress and decompress speeds in MB/s of
original data, best of RUNS, with one thread and with the codec's default
(huffcodec: all processors, set_threads(0), its default in 0.4; Blosc:
numcodecs' default thread count; the others have one). Then the in-memory
decode of 64 MiB of text: huffcodec.decompress against the C++ API
(bench/huffcodec_memory_decode) and uncompress to /dev/null.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_bench.py [RUNS]

Needs the release build (cmake --workflow --preset test) for the commands
and bench/huffcodec_memory_decode.
"""

import os
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path

import numpy as np
import numcodecs
from numcodecs import LZ4, Blosc, Delta, Quantize, Zlib, Zstd
from numcodecs import blosc as blosc_module

import huffcodec
from huffcodec.numcodecs import Huffman, set_threads

ROOT = Path(__file__).resolve().parents[1]
BIN = ROOT / "build" / "release"
CHUNK = int(os.environ.get("BENCH_MIB", "16")) << 20
RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 3


def shell_bytes(command, size):
    out = subprocess.run(["bash", "-c", command], capture_output=True).stdout
    return out[:size]


def text(size):
    # The same recipe as bench/run_bench.sh, so the rows compare.
    return shell_bytes(
        "{ find /usr/share/man -name '*.gz' -print0 | sort -z | xargs -0 zcat 2>/dev/null;"
        " find /usr/share/doc /usr/include -type f \\( -name '*.h' -o -name '*.txt'"
        " -o -name 'README*' \\) -print0 | sort -z | xargs -0 cat 2>/dev/null; }", size)


def executables(size):
    return shell_bytes(
        "find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size +100k -print0"
        " | sort -z | xargs -0 cat 2>/dev/null", size)


def generated(kind, size):
    return subprocess.run([str(BIN / "bench" / "huffcodec_bench_data"), kind, str(size)],
                          capture_output=True, check=True).stdout


def smooth_field(size):
    # A smooth 2-D field, quantised to 3 decimal digits and delta coded, as a
    # Zarr filter chain would leave it.
    n = size // 4
    side = int(np.sqrt(n))
    y, x = np.mgrid[0:side, 0:n // side].astype(np.float32) / 200.0
    field = (np.sin(x) * np.cos(y * 0.7) + 0.1 * np.sin(5 * x + 3 * y)).astype(np.float32)
    data = field.ravel()
    for filt in (Quantize(digits=3, dtype="f4"), Delta(dtype="f4")):
        data = filt.encode(data)
    return np.ascontiguousarray(data).tobytes()


def samples(size):
    # int16 audio-like samples: a few tones and a little noise.
    t = np.arange(size // 2, dtype=np.float64) / 44100.0
    rng = np.random.default_rng(1)
    wave = 3000 * np.sin(2 * np.pi * 440 * t) + 1500 * np.sin(2 * np.pi * 1234 * t)
    return (wave + rng.normal(0, 60, t.size)).astype(np.int16).tobytes()


class PythonZlib:
    def __init__(self, level):
        self.level = level

    def encode(self, buf):
        return zlib.compress(buf, self.level)

    def decode(self, buf):
        return zlib.decompress(buf)


def codecs(threads_one):
    """(name, codec) pairs; threads_one: one thread, else each codec's default."""
    set_threads(1 if threads_one else 0)
    return [
        ("huffcodec", Huffman()),
        ("Zstd(1)", Zstd(level=1)),
        ("LZ4", LZ4()),
        ("Zlib(1)", Zlib(level=1)),
        ("Blosc lz4 shuffle", Blosc(cname="lz4", clevel=5, shuffle=Blosc.SHUFFLE)),
        ("Blosc zstd shuffle", Blosc(cname="zstd", clevel=1, shuffle=Blosc.SHUFFLE)),
        ("zlib (Python, 1)", PythonZlib(1)),
    ]


def best(function, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = function()
        times.append(time.perf_counter() - start)
    return min(times), result


def measure(codec, data, runs):
    comp_time, encoded = best(lambda: codec.encode(data), runs)
    decomp_time, decoded = best(lambda: codec.decode(encoded), runs)
    if bytes(decoded) != data:
        raise SystemExit(f"{codec!r} gave other bytes back")
    mb = len(data) / 1e6
    return len(data) / len(encoded), mb / comp_time, mb / decomp_time


def table(sets, runs):
    default_blosc = blosc_module.get_nthreads()
    print(f"| data | codec | ratio | compress 1 thread | decompress 1 thread | "
          f"compress default | decompress default |")
    print("|---|---|---:|---:|---:|---:|---:|")
    winners = {}
    for set_name, data in sets:
        rows = {}
        for threads_one in (True, False):
            blosc_module.set_nthreads(1 if threads_one else default_blosc)
            for name, codec in codecs(threads_one):
                ratio, comp, decomp = measure(codec, data, runs)
                rows.setdefault(name, [ratio]).extend([comp, decomp])
        blosc_module.set_nthreads(default_blosc)
        for name, (ratio, c1, d1, cd, dd) in rows.items():
            print(f"| {set_name} | {name} | {ratio:.2f} | {c1:.0f} | {d1:.0f} | {cd:.0f} | "
                  f"{dd:.0f} |", flush=True)
        winners[set_name] = max(rows, key=lambda n: rows[n][4])
    return winners


def command_time(args, runs):
    def run():
        subprocess.run(args, check=True, stderr=subprocess.DEVNULL)
    return best(run, runs)[0]


def in_memory_targets(runs):
    data = text(4 * CHUNK)
    packed = huffcodec.compress(data)
    print(f"\n{4 * CHUNK >> 20} MiB of text ({len(data)} bytes, ratio {len(data) / len(packed):.2f}), "
          f"decode, best of {max(runs, 5)}:")
    out = bytearray(len(data))
    for threads in (1, 0):
        t, _ = best(lambda: huffcodec.decompress(packed, threads=threads), max(runs, 5))
        t_out, _ = best(lambda: huffcodec.decompress(packed, threads=threads, out=out),
                        max(runs, 5))
        with tempfile.NamedTemporaryFile() as raw, tempfile.NamedTemporaryFile() as huf:
            raw.write(data)
            raw.flush()
            huf.write(packed)
            huf.flush()
            native = subprocess.run(
                [str(BIN / "bench" / "huffcodec_memory_decode"), raw.name,
                 "1" if threads == 1 else "0", str(max(runs, 5))],
                capture_output=True, text=True, check=True).stdout.strip()
            env_threads = {"HUFFCODEC_THREADS": "1"} if threads == 1 else {}
            env = {**os.environ, **env_threads}

            def uncompress():
                subprocess.run([str(BIN / "uncompress" / "uncompress"), huf.name, "/dev/null"],
                               check=True, stderr=subprocess.DEVNULL, env=env)
            t_cmd, _ = best(uncompress, max(runs, 5))
        label = "1 thread" if threads == 1 else "all processors"
        print(f"  {label}: huffcodec.decompress {len(data) / t / 1e6:.0f} MB/s, "
              f"with out= {len(data) / t_out / 1e6:.0f} MB/s; C++ decompress() {native} MB/s; "
              f"uncompress to /dev/null {len(data) / t_cmd / 1e6:.0f} MB/s")


def main():
    print(f"huffcodec {huffcodec.__version__}, numcodecs {numcodecs.__version__}, "
          f"{os.cpu_count()} processors, {CHUNK >> 20} MiB per data set, best of {RUNS}\n")
    sets = [
        ("text", text(CHUNK)),
        ("exec", executables(CHUNK)),
        ("random", generated("random", CHUNK)),
        ("skewed", generated("skewed", CHUNK)),
        ("float32 field, Quantize+Delta", smooth_field(CHUNK)),
        ("int16 samples", samples(CHUNK)),
    ]
    winners = table(sets, RUNS)
    print("\nfastest decode (default threads): " +
          ", ".join(f"{k}: {v}" for k, v in winners.items()))
    in_memory_targets(RUNS)


if __name__ == "__main__":
    main()
