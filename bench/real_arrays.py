#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""huffcodec on real arrays, chunked as h5py and Zarr chunk them, against
numcodecs' codecs; then whole arrays through Zarr and through HDF5.

What it measures, all on one thread (huffcodec.numcodecs.set_threads(1);
numcodecs.blosc.use_threads = False and set_nthreads(1); BLOSC_NTHREADS=1
for the HDF5 Blosc filter):

- chunks: each array cut into h5py's default chunks
  (h5py._hl.filters.guess_chunk(shape, None, itemsize)) and into Zarr 2's
  (zarr.util.guess_chunks(shape, itemsize)); edge chunks are coded as the
  smaller arrays they are, not padded. Every chunk goes through each pipeline
  (no filter, numcodecs Shuffle(elementsize=itemsize), Delta(dtype)) and then
  a compressor: huffcodec.numcodecs.Huffman(), Blosc(cname='lz4'),
  Blosc(cname='zstd') (both clevel 5 and Blosc's own byte shuffle, its
  default; after an explicit Shuffle filter Blosc runs with
  shuffle=Blosc.NOSHUFFLE instead), Zstd(level=1), Zstd(level=3), LZ4().
  Shuffle is left out for 1-byte items (it does nothing there) and Delta for
  floats (its cumulative sum does not give the same float bits back).
  Printed: ratio (all original bytes / all compressed bytes), encode and
  decode MB/s of original bytes, each the median of RUNS runs with the
  pipelines taken in turn within a run; a run codes the whole array once or,
  for a small array, as many times as make 4 MiB. decode() is called without
  out=, so it allocates each chunk. Every chunk's round trip is compared with
  the original once per pipeline and chunking before timing.
- zarr: zarr 2.13 arrays in a DirectoryStore under /dev/shm (tmpfs), default
  chunks, the whole array written with z[...] = a and read back with z[...],
  for huffcodec and the baselines that do best in the chunk table; MB/s
  (median of RUNS) and the bytes of the chunk files.
- hdf5: h5py datasets in a file under /dev/shm, chunks=True (h5py's default
  chunks), written and read whole (file opened and closed inside the timing),
  for huffcodec's HDF5 filter (huffcodec.hdf5.filter(), with and without
  HDF5's shuffle) and hdf5plugin's Blosc, Zstd and LZ4 and h5py's gzip level
  1; MB/s (median of RUNS) and the dataset's storage size. The huffcodec rows
  need the module huffcodec.hdf5 and the plugin library (build/release/hdf5,
  or HDF5_PLUGIN_PATH); without them they are skipped with a message and the
  baselines still run.

The arrays, each from a file a Debian package installs, read as follows:

- mri (python-matplotlib-data): sample_data/s1045.ima.gz, gunzipped, 256 x 256
  uint16 (an MRI slice; 128 KiB, small);
- dem (python-matplotlib-data): sample_data/jacksboro_fault_dem.npz, array
  "elevation", 344 x 403 int16 (an elevation model, metres);
- topobathy (python-matplotlib-data): sample_data/topobathy.npz, array "topo",
  91 x 120 float32 (43 KiB, small);
- eeg (python-matplotlib-data): sample_data/eeg.dat, float64 read with
  np.fromfile, 800 x 4 (four EEG traces; 25 KiB, small);
- ecg (python3-scipy): scipy/misc/ecg.dat, an npz whose array "ecg" is the
  raw 108000 uint16 samples (scipy.misc.electrocardiogram() scales them to
  float afterwards);
- face (python3-scipy): scipy/misc/face.dat, bzip2 of 768 x 1024 x 3 uint8
  (an RGB photo, as scipy.misc.face() reads it);
- camera (python3-skimage): skimage/data/camera.png, 512 x 512 uint8
  (a greyscale photo, decoded with imageio);
- disparity (python3-skimage): skimage/data/motorcycle_disp.npz, array
  "arr_0", 500 x 741 float32 (a stereo disparity map);
- stent (python3-imageio): imageio/resources/images/stent.npz, array "arr_0",
  256 x 128 x 128 int16 (a CT volume);
- geoid (proj-data): /usr/share/proj/egm96_15.gtx, a 40-byte big-endian
  header (four doubles, two int32: rows, columns) and 721 x 1440 big-endian
  float32 geoid heights, turned into native float32.

All are small as chunked arrays go: stent (8 MiB) is the largest, and six
are under 300 KiB, one or two Zarr chunks each. A file that is not
installed is skipped with a message. The HDF5 and netCDF
files Debian installs here are test files of a few KiB of made-up tables,
so none is used.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/real_arrays.py \\
        [--runs 5] [--only chunks,zarr,hdf5] [--arrays mri,dem,...]

Needs python3-numcodecs, python3-zarr, python3-h5py, python3-hdf5plugin (its
Blosc filter comes with it; hdf5-filter-plugin brings the LZ4 filter),
python3-imageio and the packages above, and the release build (the Python
module; the HDF5 plugin for the huffcodec HDF5 rows). A baseline whose HDF5
filter is not installed is skipped with a message: Debian 12 has none for
hdf5plugin.Zstd (filter 32015).
"""

import argparse
import bz2
import gzip
import os
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

os.environ.setdefault("BLOSC_NTHREADS", "1")

import numpy as np  # noqa: E402
import numcodecs  # noqa: E402
from numcodecs import LZ4, Blosc, Delta, Shuffle, Zstd  # noqa: E402
from numcodecs import blosc as blosc_module  # noqa: E402
from numcodecs.compat import ensure_ndarray  # noqa: E402

import huffcodec  # noqa: E402
from huffcodec.numcodecs import Huffman, set_threads  # noqa: E402

ROOT = Path(__file__).resolve().parents[1]
PLUGIN_DIR = ROOT / "build" / "release" / "hdf5"
MPL = Path("/usr/share/matplotlib/mpl-data/sample_data")
PY = Path("/usr/lib/python3/dist-packages")
MIN_BYTES = 4 << 20
SCRATCH = Path("/dev/shm") if Path("/dev/shm").is_dir() else Path(tempfile.gettempdir())


# --- the arrays ------------------------------------------------------------

def _mri():
    with gzip.open(MPL / "s1045.ima.gz") as f:
        return np.frombuffer(f.read(), dtype="<u2").reshape(256, 256)


def _dem():
    return np.load(MPL / "jacksboro_fault_dem.npz")["elevation"]


def _topobathy():
    return np.load(MPL / "topobathy.npz")["topo"]


def _eeg():
    return np.fromfile(MPL / "eeg.dat", dtype="<f8").reshape(800, 4)


def _ecg():
    return np.load(PY / "scipy/misc/ecg.dat")["ecg"]


def _face():
    raw = bz2.decompress((PY / "scipy/misc/face.dat").read_bytes())
    return np.frombuffer(raw, dtype=np.uint8).reshape(768, 1024, 3)


def _camera():
    import imageio
    return np.asarray(imageio.imread(PY / "skimage/data/camera.png"))


def _disparity():
    return np.load(PY / "skimage/data/motorcycle_disp.npz")["arr_0"]


def _stent():
    return np.load(PY / "imageio/resources/images/stent.npz")["arr_0"]


def _geoid():
    raw = Path("/usr/share/proj/egm96_15.gtx").read_bytes()
    rows, cols = (int(n) for n in np.frombuffer(raw, dtype=">i4", count=2, offset=32))
    return np.frombuffer(raw, dtype=">f4", count=rows * cols, offset=40) \
        .reshape(rows, cols).astype(np.float32)


ARRAYS = [
    ("mri", "uint16 MRI slice", _mri),
    ("dem", "int16 elevation", _dem),
    ("topobathy", "float32 topography", _topobathy),
    ("eeg", "float64 EEG traces", _eeg),
    ("ecg", "uint16 ECG samples", _ecg),
    ("face", "uint8 RGB photo", _face),
    ("camera", "uint8 grey photo", _camera),
    ("disparity", "float32 disparity", _disparity),
    ("stent", "int16 CT volume", _stent),
    ("geoid", "float32 geoid grid", _geoid),
]


def load_arrays(names):
    arrays = []
    for name, kind, load in ARRAYS:
        if names and name not in names:
            continue
        try:
            a = np.ascontiguousarray(load())
        except (OSError, KeyError, ImportError) as error:
            print(f"skipped {name}: {error}", file=sys.stderr)
            continue
        arrays.append((name, kind, a))
    return arrays


# --- chunking and pipelines -------------------------------------------------

def h5py_chunks(shape, itemsize):
    from h5py._hl.filters import guess_chunk
    return tuple(guess_chunk(shape, None, itemsize))


def zarr_chunks(shape, itemsize):
    import zarr.util
    return tuple(zarr.util.guess_chunks(shape, itemsize))


def cut(a, chunks):
    """The array's chunks in C order, each a contiguous copy of its part."""
    grid = [range(0, n, c) for n, c in zip(a.shape, chunks)]
    out = []
    for corner in np.ndindex(*[len(g) for g in grid]):
        index = tuple(slice(g[i], g[i] + c) for g, i, c in zip(grid, corner, chunks))
        out.append(np.ascontiguousarray(a[index]))
    return out


class Pipeline:
    def __init__(self, name, filters, compressor):
        self.name = name
        self.filters = filters
        self.compressor = compressor

    def encode(self, chunk):
        for f in self.filters:
            chunk = f.encode(chunk)
        return self.compressor.encode(chunk)

    def decode(self, data):
        data = self.compressor.decode(data)
        for f in reversed(self.filters):
            data = f.decode(data)
        return data


def compressors(filtered_by_shuffle):
    blosc_shuffle = Blosc.NOSHUFFLE if filtered_by_shuffle else Blosc.SHUFFLE
    return [
        ("huffcodec", Huffman()),
        ("Blosc lz4", Blosc(cname="lz4", clevel=5, shuffle=blosc_shuffle)),
        ("Blosc zstd", Blosc(cname="zstd", clevel=5, shuffle=blosc_shuffle)),
        ("Zstd(1)", Zstd(level=1)),
        ("Zstd(3)", Zstd(level=3)),
        ("LZ4", LZ4()),
    ]


def pipelines(dtype):
    out = []
    kinds = [("", [])]
    if dtype.itemsize > 1:
        kinds.append(("Shuffle+", [Shuffle(elementsize=dtype.itemsize)]))
    if dtype.kind in "iu":
        kinds.append(("Delta+", [Delta(dtype=dtype.str)]))
    for prefix, filters in kinds:
        for name, compressor in compressors(prefix == "Shuffle+"):
            out.append(Pipeline(prefix + name, filters, compressor))
    return out


def as_bytes(x):
    return ensure_ndarray(x).reshape(-1).view(np.uint8)


def check_round_trip(pipeline, chunks, where):
    for chunk in chunks:
        back = pipeline.decode(pipeline.encode(chunk))
        if not np.array_equal(as_bytes(back), chunk.reshape(-1).view(np.uint8)):
            raise SystemExit(f"{where}: {pipeline.name} gave other bytes back")


def median_times(jobs, runs):
    """jobs: name -> callable; the callables run in turn, RUNS rounds; medians."""
    times = {name: [] for name in jobs}
    for _ in range(runs):
        for name, job in jobs.items():
            start = time.perf_counter()
            job()
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(t) for name, t in times.items()}


def chunk_table(arrays, runs):
    print("## Chunks, one thread\n")
    print(f"MB/s of original bytes, median of {runs} runs; huffcodec {huffcodec.__version__}, "
          f"numcodecs {numcodecs.__version__}\n")
    print("| array | chunks | chunk shape | count | avg chunk KiB | pipeline | ratio | "
          "encode MB/s | decode MB/s |")
    print("|---|---|---|---:|---:|---|---:|---:|---:|")
    results = []
    for name, kind, a in arrays:
        for layout, guess in (("h5py", h5py_chunks), ("zarr", zarr_chunks)):
            shape = guess(a.shape, a.dtype.itemsize)
            chunks = cut(a, shape)
            passes = max(1, -(-MIN_BYTES // a.nbytes))
            mb = a.nbytes * passes / 1e6
            rows = []
            jobs = {}
            for p in pipelines(a.dtype):
                check_round_trip(p, chunks, f"{name} ({layout} chunks)")
                encoded = [p.encode(c) for c in chunks]
                size = sum(len(as_bytes(e)) for e in encoded)
                rows.append((p.name, a.nbytes / size))

                def enc(p=p):
                    for _ in range(passes):
                        for c in chunks:
                            p.encode(c)

                def dec(p=p, encoded=encoded):
                    for _ in range(passes):
                        for e in encoded:
                            p.decode(e)
                jobs[("enc", p.name)] = enc
                jobs[("dec", p.name)] = dec
            times = median_times(jobs, runs)
            for pname, ratio in rows:
                row = dict(array=name, kind=kind, layout=layout, chunk=shape,
                           count=len(chunks), pipeline=pname, ratio=ratio,
                           enc=mb / times[("enc", pname)], dec=mb / times[("dec", pname)],
                           nbytes=a.nbytes)
                results.append(row)
                print(f"| {name} | {layout} | {'x'.join(map(str, shape))} | {len(chunks)} | "
                      f"{a.nbytes / len(chunks) / 1024:.1f} | {pname} | {ratio:.3f} | "
                      f"{row['enc']:.0f} | {row['dec']:.0f} |", flush=True)
    return results


def summary(results):
    """Per array and chunking: huffcodec's pipeline of best ratio beside the
    baseline of best ratio, the fastest-decoding baseline that compresses at
    least as well, and a baseline at least as good on all three figures."""
    print("\n## Summary\n")
    print("huffcodec: its pipeline of best ratio, and what its 1024-byte headers take of its "
          "output; best ratio: the baseline with the highest ratio; fastest at ratio: the "
          "fastest-decoding baseline whose ratio is at least huffcodec's; better in all: "
          "the baseline of highest ratio whose ratio, encode and decode speeds are all at "
          "least huffcodec's (- where none is).\n")
    print("| array | chunks | huffcodec | ratio | enc | dec | headers | best ratio | ratio | "
          "enc | dec | fastest at ratio | ratio | enc | dec | better in all |")
    print("|---|---|---|---:|---:|---:|---:|---|---:|---:|---:|---|---:|---:|---:|---|")
    keys = []
    for r in results:
        if (r["array"], r["layout"]) not in keys:
            keys.append((r["array"], r["layout"]))
    for array, layout in keys:
        rows = [r for r in results if r["array"] == array and r["layout"] == layout]
        ours = [r for r in rows if r["pipeline"].endswith("huffcodec")]
        theirs = [r for r in rows if not r["pipeline"].endswith("huffcodec")]
        h = max(ours, key=lambda r: r["ratio"])
        b = max(theirs, key=lambda r: r["ratio"])
        at = [r for r in theirs if r["ratio"] >= h["ratio"]]
        f = max(at, key=lambda r: r["dec"]) if at else None
        better = [r for r in at if r["enc"] >= h["enc"] and r["dec"] >= h["dec"]]
        d = max(better, key=lambda r: r["ratio"]) if better else None
        headers = h["count"] * 1024 / (h["nbytes"] / h["ratio"])

        def cells(r):
            if r is None:
                return "- | | | "
            return f"{r['pipeline']} | {r['ratio']:.2f} | {r['enc']:.0f} | {r['dec']:.0f} "
        print(f"| {array} | {layout} | {cells(h)}| {headers:.1%} | {cells(b)}| {cells(f)}| "
              f"{d['pipeline'] if d else '-'} |")


# --- end to end -------------------------------------------------------------

def zarr_pipelines(dtype):
    out = [("huffcodec", [], Huffman())]
    if dtype.itemsize > 1:
        out.append(("Shuffle+huffcodec", [Shuffle(elementsize=dtype.itemsize)], Huffman()))
    if dtype.kind in "iu":
        out.append(("Delta+huffcodec", [Delta(dtype=dtype.str)], Huffman()))
    out += [
        ("Blosc lz4", [], Blosc(cname="lz4", clevel=5, shuffle=Blosc.SHUFFLE)),
        ("Blosc zstd", [], Blosc(cname="zstd", clevel=5, shuffle=Blosc.SHUFFLE)),
        ("Zstd(1)", [], Zstd(level=1)),
        ("LZ4", [], LZ4()),
    ]
    if dtype.itemsize > 1:
        out.append(("Shuffle+Zstd(1)", [Shuffle(elementsize=dtype.itemsize)], Zstd(level=1)))
    if dtype.kind in "iu":
        out.append(("Delta+Blosc zstd", [Delta(dtype=dtype.str)],
                    Blosc(cname="zstd", clevel=5, shuffle=Blosc.SHUFFLE)))
    return out


def stored_bytes(path):
    return sum(p.stat().st_size for p in Path(path).rglob("*")
               if p.is_file() and not p.name.startswith("."))


def print_whole_array_rows(name, chunks, nbytes, mb, sizes, times):
    """One row a pipeline of the Zarr and HDF5 tables: stored bytes, ratio,
    write and read MB/s ('w' and 'r' timings of each pipeline)."""
    for pname, size in sizes.items():
        print(f"| {name} | {'x'.join(map(str, chunks))} | {pname} | {size} | "
              f"{nbytes / size:.3f} | {mb / times[('w', pname)]:.0f} | "
              f"{mb / times[('r', pname)]:.0f} |", flush=True)


def zarr_table(arrays, runs):
    import zarr
    print(f"\n## Zarr {zarr.__version__}, DirectoryStore in {SCRATCH}, default chunks, one thread\n")
    print(f"Whole array written (z[...] = a) and read (z[...]); MB/s of original bytes, "
          f"median of {runs}; stored: the chunk files' bytes.\n")
    print("| array | chunks | pipeline | stored bytes | ratio | write MB/s | read MB/s |")
    print("|---|---|---|---:|---:|---:|---:|")
    root = Path(tempfile.mkdtemp(prefix="huffcodec-real-arrays-", dir=SCRATCH))
    try:
        for name, kind, a in arrays:
            passes = max(1, -(-MIN_BYTES // a.nbytes))
            mb = a.nbytes * passes / 1e6
            jobs, sizes, chunks = {}, {}, None
            for pname, filters, compressor in zarr_pipelines(a.dtype):
                path = root / f"{name}-{pname}"
                z = zarr.open_array(zarr.DirectoryStore(str(path)), mode="w", shape=a.shape,
                                    dtype=a.dtype, filters=filters or None,
                                    compressor=compressor)
                z[...] = a
                if not np.array_equal(z[...], a):
                    raise SystemExit(f"zarr {name}: {pname} gave another array back")
                sizes[pname] = stored_bytes(path)
                chunks = z.chunks

                def write(z=z):
                    for _ in range(passes):
                        z[...] = a

                def read(z=z):
                    for _ in range(passes):
                        z[...]
                jobs[("w", pname)] = write
                jobs[("r", pname)] = read
            print_whole_array_rows(name, chunks, a.nbytes, mb, sizes,
                                   median_times(jobs, runs))
    finally:
        shutil.rmtree(root, ignore_errors=True)


SYSTEM_PLUGINS = Path("/usr/lib/x86_64-linux-gnu/hdf5/serial/plugins")


def find_plugins():
    """Lets HDF5 find the build's plugin (unless HDF5_PLUGIN_PATH names a
    folder already) and Debian's plugins (which HDF5_PLUGIN_PATH would hide)."""
    import h5py
    if "HDF5_PLUGIN_PATH" not in os.environ:
        for folder in (PLUGIN_DIR / "plugins", PLUGIN_DIR):
            if folder.is_dir():
                h5py.h5pl.prepend(str(folder).encode())
    if SYSTEM_PLUGINS.is_dir():
        h5py.h5pl.append(str(SYSTEM_PLUGINS).encode())


def huffcodec_hdf5():
    """(huffcodec.hdf5.filter, None) when huffcodec's HDF5 filter can be
    used, else (None, the reason)."""
    import h5py
    try:
        import huffcodec.hdf5 as hdf5
    except ImportError as error:
        return None, f"no huffcodec.hdf5 module ({error})"
    if not h5py.h5z.filter_avail(hdf5.FILTER_ID):
        return None, (f"HDF5 filter {hdf5.FILTER_ID} not found (no plugin in "
                      f"{os.environ.get('HDF5_PLUGIN_PATH', PLUGIN_DIR)})")
    return hdf5.filter, None


def hdf5_table(arrays, runs):
    import h5py
    import hdf5plugin
    find_plugins()
    ours, reason = huffcodec_hdf5()
    print(f"\n## HDF5 (h5py {h5py.__version__}, HDF5 {h5py.version.hdf5_version}, "
          f"hdf5plugin {hdf5plugin.version}), file in {SCRATCH}, chunks=True, one thread\n")
    if ours is None:
        print(f"huffcodec rows skipped: {reason}.\n")
    print(f"Whole dataset written and read, file opened and closed in the timing; "
          f"MB/s of original bytes, median of {runs}; stored: the dataset's storage size.\n")
    kinds = []
    if ours is not None:
        kinds += [("huffcodec", lambda: dict(ours())),
                  ("shuffle+huffcodec", lambda: dict(ours(), shuffle=True))]
    kinds += [
        ("Blosc lz4", lambda: dict(hdf5plugin.Blosc(cname="lz4", clevel=5,
                                                    shuffle=hdf5plugin.Blosc.SHUFFLE))),
        ("Blosc zstd", lambda: dict(hdf5plugin.Blosc(cname="zstd", clevel=5,
                                                     shuffle=hdf5plugin.Blosc.SHUFFLE))),
        ("Zstd(3)", lambda: dict(hdf5plugin.Zstd(clevel=3))),
        ("shuffle+Zstd(3)", lambda: dict(hdf5plugin.Zstd(clevel=3), shuffle=True)),
        ("LZ4", lambda: dict(hdf5plugin.LZ4())),
        ("gzip(1)", lambda: dict(compression="gzip", compression_opts=1)),
        ("shuffle+gzip(1)", lambda: dict(compression="gzip", compression_opts=1, shuffle=True)),
    ]
    available = []
    for pname, options in kinds:
        compression = options().get("compression")
        if isinstance(compression, int) and not h5py.h5z.filter_avail(compression):
            print(f"{pname} skipped: HDF5 filter {compression} not installed.\n")
        else:
            available.append((pname, options))
    print("| array | chunks | pipeline | stored bytes | ratio | write MB/s | read MB/s |")
    print("|---|---|---|---:|---:|---:|---:|")
    root = Path(tempfile.mkdtemp(prefix="huffcodec-real-arrays-", dir=SCRATCH))
    try:
        for name, kind, a in arrays:
            passes = max(1, -(-MIN_BYTES // a.nbytes))
            mb = a.nbytes * passes / 1e6
            jobs, sizes, chunks = {}, {}, None
            for pname, options in available:
                path = root / f"{name}-{pname}.h5"

                def write(path=path, options=options):
                    for _ in range(passes):
                        with h5py.File(path, "w") as f:
                            d = f.create_dataset("a", shape=a.shape, dtype=a.dtype,
                                                 chunks=True, **options())
                            d[...] = a

                def read(path=path):
                    for _ in range(passes):
                        with h5py.File(path, "r") as f:
                            back = f["a"][...]
                    return back
                write()
                if not np.array_equal(read(), a):
                    raise SystemExit(f"hdf5 {name}: {pname} gave another array back")
                with h5py.File(path, "r") as f:
                    sizes[pname] = f["a"].id.get_storage_size()
                    chunks = f["a"].chunks
                jobs[("w", pname)] = write
                jobs[("r", pname)] = read
            print_whole_array_rows(name, chunks, a.nbytes, mb, sizes,
                                   median_times(jobs, runs))
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=" ".join(__doc__.split("\n\n")[0].split()))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--only", default="chunks,zarr,hdf5",
                        help="comma-separated parts: chunks, zarr, hdf5")
    parser.add_argument("--arrays", default="",
                        help="comma-separated array names (default: all): "
                        + ",".join(n for n, _, _ in ARRAYS))
    args = parser.parse_args()
    parts = {p.strip() for p in args.only.split(",") if p.strip()}
    unknown = parts - {"chunks", "zarr", "hdf5"}
    if unknown:
        parser.error(f"unknown part(s): {', '.join(sorted(unknown))}")
    names = {n.strip() for n in args.arrays.split(",") if n.strip()}
    unknown = names - {n for n, _, _ in ARRAYS}
    if unknown:
        parser.error(f"unknown array(s): {', '.join(sorted(unknown))}")

    set_threads(1)
    blosc_module.use_threads = False
    blosc_module.set_nthreads(1)

    arrays = load_arrays(names)
    print(f"huffcodec {huffcodec.__version__}, numcodecs {numcodecs.__version__}, "
          f"numpy {np.__version__}, {os.cpu_count()} processors, runs {args.runs}\n")
    print("| array | what | dtype | shape | bytes |")
    print("|---|---|---|---|---:|")
    for name, kind, a in arrays:
        print(f"| {name} | {kind} | {a.dtype} | {'x'.join(map(str, a.shape))} | {a.nbytes} |")
    print()
    if "chunks" in parts:
        summary(chunk_table(arrays, args.runs))
    if "zarr" in parts:
        zarr_table(arrays, args.runs)
    if "hdf5" in parts:
        hdf5_table(arrays, args.runs)


if __name__ == "__main__":
    main()
