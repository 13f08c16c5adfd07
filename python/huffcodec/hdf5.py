# SPDX-License-Identifier: MIT
"""HDF5 datasets compressed with huffcodec, through h5py.

The filter is an HDF5 plugin, ``libh5huffcodec.so``. Importing this module
adds the folder of the copy that came with the package (if it came with one)
to the folders HDF5 searches, so that h5py finds the filter with no setting::

    import h5py
    import huffcodec.hdf5

    with h5py.File("data.h5", "w") as f:
        f.create_dataset("x", data=array, chunks=True, **huffcodec.hdf5.filter())

Programs that are not Python (``h5dump``, netCDF-4) find the plugin
in ``HDF5_PLUGIN_PATH`` or in the folder of the Debian package
``hdf5-filter-huffcodec``; :func:`plugin_dir` tells where this package's
copy is.

The format carries no checksum, so a bit flipped in a stored chunk can read
back as other values: pass ``fletcher32=True`` as well, and HDF5 reads such a
chunk as an error.
"""

import os as _os
import typing as _typing
from pathlib import Path as _Path

from . import _huffcodec

#: The filter's id. HDF5 leaves 256-511 to filters not yet registered with
#: The HDF Group; this one is provisional until it is registered, and the
#: plugin of a release with a registered id will read files written with
#: this one too.
FILTER_ID = _huffcodec.HDF5_FILTER_ID

_PLUGIN_NAME = "libh5huffcodec.so"

# filter() is left out of a star import, which would hide the builtin.
__all__ = ["FILTER_ID", "plugin_dir", "register"]


def filter() -> _typing.Dict[str, _typing.Any]:  # noqa: A001 - the name users look for
    """The keyword arguments of ``h5py.Group.create_dataset`` (and of
    xarray's ``encoding`` with ``engine="h5netcdf"``) that compress a dataset
    with this filter: ``compression`` and ``compression_opts``.

    h5py sets the filter as optional: a chunk that would not shrink is stored
    as it is, and HDF5 marks it so.
    """
    return {"compression": FILTER_ID, "compression_opts": ()}


def plugin_dir() -> _typing.Optional[str]:
    """The folder holding the plugin that came with this package, or
    ``None`` when it came without one (a build without libhdf5's
    development files)."""
    folder = _Path(__file__).resolve().parent / "hdf5_plugin"
    return str(folder) if (folder / _PLUGIN_NAME).is_file() else None


def register() -> bool:
    """Adds :func:`plugin_dir` to the front of the folders the HDF5 library
    under h5py searches for plugins (once; importing this module does it).
    Returns whether h5py's HDF5 now has the filter, from wherever it came:
    this package, ``HDF5_PLUGIN_PATH`` or HDF5's own plugin folder."""
    import h5py

    folder = plugin_dir()
    if folder is not None:
        encoded = _os.fsencode(folder)
        known = [h5py.h5pl.get(i) for i in range(h5py.h5pl.size())]
        if encoded not in known:
            h5py.h5pl.prepend(encoded)
    return bool(h5py.h5z.filter_avail(FILTER_ID))


try:
    import h5py as _h5py  # noqa: F401
except ImportError:  # the helpers above need no h5py; register() does
    pass
else:
    register()
