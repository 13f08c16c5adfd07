/* SPDX-License-Identifier: MIT
 *
 * The HDF5 filter plugin: each chunk of a dataset stored as one compressed
 * file of this library, over its C interface. HDF5 finds the plugin in its
 * plugin folders and asks it for the filter class below.
 *
 * A chunk that fails to decode is an HDF5 error with the library's reason,
 * never a wrong array: the header must be valid, must claim exactly one
 * chunk's bytes, and the body must be whole with nothing after it. What the
 * format cannot see is a flipped bit inside the body; HDF5's fletcher32
 * filter after this one catches that. */
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <H5PLextern.h>
#include <hdf5.h>

#include "huffcodec/hdf5.h"
#include "huffcodec/huffcodec.h"

/* The most bytes one compressed file holds: chunks above it are left as they
 * are when the filter is optional and refused when it is not. */
#define MOST_CHUNK_BYTES 2147483647u

static void report(const char* function, const char* message, const char* detail) {
    H5Epush2(H5E_DEFAULT, __FILE__, function, __LINE__, H5E_ERR_CLS, H5E_PLINE, H5E_CANTFILTER,
             "huffcodec filter: %s%s%s", message, detail[0] ? ": " : "", detail);
}

/* The bytes of one whole chunk of a dataset, or 0 when they cannot be told
 * (no chunking, an unknown type size, or more than a size_t holds). */
static size_t chunkBytes(hid_t dcpl, hid_t type) {
    hsize_t dims[H5S_MAX_RANK];
    const int rank = H5Pget_chunk(dcpl, H5S_MAX_RANK, dims);
    const size_t itemSize = H5Tget_size(type);
    if (rank <= 0 || itemSize == 0) {
        return 0;
    }
    size_t bytes = itemSize;
    for (int i = 0; i < rank; ++i) {
        if (dims[i] == 0 || bytes > SIZE_MAX / dims[i]) {
            return 0;
        }
        bytes *= (size_t)dims[i];
    }
    return bytes;
}

/* Chunks larger than one compressed file can hold cannot be stored by a
 * filter that must run: say so when the dataset is made, not at its first
 * write. An optional filter is skipped by HDF5 for such a dataset. */
static htri_t canApply(hid_t dcpl, hid_t type, hid_t space) {
    (void)space;
    const size_t bytes = chunkBytes(dcpl, type);
    if (bytes == 0 || bytes > MOST_CHUNK_BYTES) {
        report("canApply", "chunks must hold 1 to 2147483647 bytes", "");
        return 0;
    }
    return 1;
}

/* Records the chunk layout, the chunk's size and whether filters before this
 * one may change it, keeping the flags (optional or not) the filter was set
 * with. Only shuffle keeps a chunk's size; the filter set twice is refused,
 * since HDF5 lets it change only the values of the first. */
static herr_t setLocal(hid_t dcpl, hid_t type, hid_t space) {
    (void)space;
    const int filters = H5Pget_nfilters(dcpl);
    int seen = 0;
    int resizedBefore = 0;
    for (int i = 0; i < filters; ++i) {
        unsigned filterFlags = 0;
        size_t count = 0;
        unsigned config = 0;
        const H5Z_filter_t id =
            H5Pget_filter2(dcpl, (unsigned)i, &filterFlags, &count, NULL, 0, NULL, &config);
        if (id < 0) {
            return -1;
        }
        if (id == HUFFCODEC_H5Z_FILTER) {
            ++seen;
        } else if (seen == 0 && id != H5Z_FILTER_SHUFFLE) {
            resizedBefore = 1;
        }
    }
    if (seen != 1) {
        report("setLocal", "the filter is set more than once on the dataset", "");
        return -1;
    }
    unsigned flags = 0;
    size_t count = 0;
    if (H5Pget_filter_by_id2(dcpl, HUFFCODEC_H5Z_FILTER, &flags, &count, NULL, 0, NULL, NULL) < 0) {
        return -1;
    }
    const size_t bytes = chunkBytes(dcpl, type);
    const unsigned values[HUFFCODEC_H5Z_CD_VALUES] = {
        HUFFCODEC_H5Z_LAYOUT, bytes <= MOST_CHUNK_BYTES ? (unsigned)bytes : 0u,
        (unsigned)resizedBefore};
    return H5Pmodify_filter(dcpl, HUFFCODEC_H5Z_FILTER, flags, HUFFCODEC_H5Z_CD_VALUES, values);
}

/* What the dataset's values say a chunk given to the filter may hold: exactly
 * one whole chunk when nothing before the filter changes sizes, else up to
 * an eighth and 4 KiB more (what a checksum, deflate or scale-offset adds to
 * a chunk at most). 0: nothing, the dataset recorded no size (values set
 * where HDF5 did not find the plugin, variable-length types, chunks above
 * the format's limit), and the filter then neither writes nor reads. */
typedef struct {
    size_t most;
    int exact;
} ChunkLimit;

static ChunkLimit chunkLimit(size_t cdCount, const unsigned cdValues[]) {
    ChunkLimit limit = {0, 1};
    if (cdCount < 2 || cdValues[0] != HUFFCODEC_H5Z_LAYOUT || cdValues[1] == 0) {
        return limit;
    }
    limit.most = cdValues[1];
    if (cdCount >= 3 && cdValues[2] != 0) {
        const size_t most = limit.most + limit.most / 8 + 4096;
        limit.most = most < MOST_CHUNK_BYTES ? most : MOST_CHUNK_BYTES;
        limit.exact = 0;
    }
    return limit;
}

static int withinLimit(ChunkLimit limit, size_t bytes) {
    return bytes != 0 && (limit.exact ? bytes == limit.most : bytes <= limit.most);
}

/* Puts out in the place of HDF5's buffer. */
static size_t replaceBuffer(void** buffer, size_t* bufferSize, void* out, size_t outSize,
                            size_t outBytes) {
    H5free_memory(*buffer);
    *buffer = out;
    *bufferSize = outSize;
    return outBytes;
}

static size_t encodeChunk(unsigned flags, ChunkLimit limit, size_t bytes, size_t* bufferSize,
                          void** buffer) {
    const int optional = (flags & H5Z_FLAG_OPTIONAL) != 0;
    /* Nothing is written that the reader would refuse. */
    if (!withinLimit(limit, bytes)) {
        if (!optional) {
            report("encodeChunk",
                   limit.most == 0 ? "the dataset records no chunk size"
                                   : "the chunk is not of the dataset's chunk size",
                   "");
        }
        return 0;
    }
    const size_t capacity = huffcodec_compress_bound(bytes);
    void* out = H5allocate_memory(capacity, 0);
    if (out == NULL) {
        report("encodeChunk", "out of memory", "");
        return 0;
    }
    size_t written = 0;
    const huffcodec_status status =
        huffcodec_compress(*buffer, bytes, out, capacity, &written, NULL);
    if (status != HUFFCODEC_OK) {
        H5free_memory(out);
        report("encodeChunk", "cannot compress the chunk", huffcodec_status_message(status));
        return 0;
    }
    /* An optional filter that does not shrink the chunk leaves it to HDF5,
     * which stores it as it is and marks it so in the chunk's filter mask. */
    if (optional && written >= bytes) {
        H5free_memory(out);
        return 0;
    }
    return replaceBuffer(buffer, bufferSize, out, capacity, written);
}

static size_t decodeChunk(size_t cdCount, const unsigned cdValues[], ChunkLimit limit, size_t bytes,
                          size_t* bufferSize, void** buffer) {
    if (cdCount >= 1 && cdValues[0] != HUFFCODEC_H5Z_LAYOUT) {
        report("decodeChunk", "the chunks have a layout this plugin does not know",
               "written by a later version");
        return 0;
    }
    if (limit.most == 0) {
        report("decodeChunk", "the dataset records no chunk size", "");
        return 0;
    }
    int64_t originalSize = 0;
    const huffcodec_status headerStatus =
        huffcodec_read_header(*buffer, bytes, &originalSize, NULL);
    if (headerStatus != HUFFCODEC_OK) {
        report("decodeChunk", "the chunk's header is invalid",
               huffcodec_status_message(headerStatus));
        return 0;
    }
    /* Every chunk was within the limit when it was written: a header that
     * claims other than that is damage, found before memory is taken. */
    if (!withinLimit(limit, (size_t)originalSize)) {
        report("decodeChunk", "the chunk's header does not give the chunk's size", "");
        return 0;
    }
    const size_t outBytes = (size_t)originalSize;
    void* out = H5allocate_memory(outBytes, 0);
    if (out == NULL) {
        report("decodeChunk", "out of memory", "");
        return 0;
    }
    size_t decoded = 0;
    size_t consumed = 0;
    const huffcodec_status status =
        huffcodec_decompress(*buffer, bytes, out, outBytes, &decoded, &consumed, NULL);
    if (status != HUFFCODEC_OK || decoded != outBytes || consumed != bytes) {
        H5free_memory(out);
        report("decodeChunk", "cannot decompress the chunk",
               status != HUFFCODEC_OK ? huffcodec_status_message(status)
                                      : "bytes follow the compressed data");
        return 0;
    }
    return replaceBuffer(buffer, bufferSize, out, outBytes, outBytes);
}

static size_t filterChunk(unsigned flags, size_t cdCount, const unsigned cdValues[], size_t bytes,
                          size_t* bufferSize, void** buffer) {
    const ChunkLimit limit = chunkLimit(cdCount, cdValues);
    if (flags & H5Z_FLAG_REVERSE) {
        return decodeChunk(cdCount, cdValues, limit, bytes, bufferSize, buffer);
    }
    return encodeChunk(flags, limit, bytes, bufferSize, buffer);
}

static const H5Z_class2_t filterClass = {
    H5Z_CLASS_T_VERS,
    (H5Z_filter_t)HUFFCODEC_H5Z_FILTER,
    1, /* the encoder is present */
    1, /* the decoder is present */
    "huffcodec: static byte-oriented Huffman code",
    canApply,
    setLocal,
    filterChunk,
};

H5PL_type_t H5PLget_plugin_type(void) {
    return H5PL_TYPE_FILTER;
}

const void* H5PLget_plugin_info(void) {
    return &filterClass;
}
