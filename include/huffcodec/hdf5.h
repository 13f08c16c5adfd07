/* SPDX-License-Identifier: MIT
 *
 * The HDF5 filter: what a program needs to write datasets through it.
 *
 * The filter is a plugin (libh5huffcodec.so) that HDF5 loads from its plugin
 * folders (HDF5_PLUGIN_PATH, or the folder the Debian package
 * hdf5-filter-huffcodec installs it to). Set it on a dataset creation
 * property list with
 *
 *     H5Pset_filter(dcpl, HUFFCODEC_H5Z_FILTER, H5Z_FLAG_OPTIONAL, 0, NULL);
 *
 * and every chunk is stored as one compressed file of this library, with the
 * chunk's bytes as its original bytes. With H5Z_FLAG_OPTIONAL a chunk that
 * would not shrink is stored as it is (HDF5 marks it in the chunk's filter
 * mask); without it every chunk is compressed, even one that grows by the
 * 1024-byte header. The format carries no checksum: add H5Pset_fletcher32
 * after this filter to have a damaged chunk read as an error instead of as
 * wrong values.
 *
 * This header needs no HDF5 header: it only names the filter. */
#ifndef HUFFCODEC_HDF5_H
#define HUFFCODEC_HDF5_H

/* The filter's id. HDF5 leaves 256-511 to filters that are not registered
 * with The HDF Group; this one is provisional until the filter is
 * registered. The release that takes a registered id will also ship a plugin
 * answering to this one, so that files written with it stay readable (see
 * docs/hdf5.md). */
#define HUFFCODEC_H5Z_FILTER 342

/* The filter's client data (cd_values), which it sets itself when a dataset
 * is created: the layout of its chunks (1, the only one so far), the bytes
 * of one whole chunk, and 1 when filters before it in the pipeline may
 * change a chunk's size (any but shuffle), else 0. A chunk claiming more
 * bytes than these allow is refused before any memory is taken for it; a
 * dataset without a chunk size (one made where HDF5 did not find the plugin,
 * of a variable-length type, or with chunks above 2147483647 bytes) gets no
 * chunk compressed. */
#define HUFFCODEC_H5Z_LAYOUT 1
#define HUFFCODEC_H5Z_CD_VALUES 3

#endif /* HUFFCODEC_HDF5_H */
