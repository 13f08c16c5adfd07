/* SPDX-License-Identifier: MIT
 *
 * huffcodec for C (C99 and later, and C++): files packed with a static,
 * byte-oriented Huffman code, compressed and decompressed in memory.
 *
 * A compressed file is a 1024-byte header of 256 little-endian signed 32-bit
 * counts (entry i: how often byte value i occurs in the original data; their
 * sum is the original size, at most 2147483647) followed by the codes of
 * every original byte, packed least significant bit first. Anything after the
 * bits the decoder needs is ignored. docs/format.md in the source describes
 * the format in full.
 *
 * No function aborts or throws, whatever its arguments: a bad one gives
 * HUFFCODEC_INVALID_ARGUMENT. Every function may be called from several
 * threads at once on different objects. The calls over buffers keep no state
 * between calls; a stream (huffcodec_dstream, huffcodec_cstream) keeps its
 * own, and serves one thread at a time. A pool may serve several threads at
 * once. huffcodec.hpp is the C++ interface to the same library.
 *
 * What each call may return besides HUFFCODEC_OK (and
 * HUFFCODEC_INTERNAL_ERROR, which no call is expected to give), the prefix
 * HUFFCODEC_ left out:
 *   pool_create          INVALID_ARGUMENT, OUT_OF_MEMORY
 *   compress             INVALID_ARGUMENT, INPUT_TOO_LARGE, OUTPUT_TOO_SMALL,
 *                        OUT_OF_MEMORY
 *   decompress           INVALID_ARGUMENT, HEADER_TOO_SHORT, NEGATIVE_COUNT,
 *                        SIZE_TOO_LARGE, OUTPUT_TOO_SMALL, TRUNCATED_BODY,
 *                        OUT_OF_MEMORY
 *   read_header          INVALID_ARGUMENT, HEADER_TOO_SHORT, NEGATIVE_COUNT,
 *                        SIZE_TOO_LARGE
 *   count, count_update  INVALID_ARGUMENT, INPUT_TOO_LARGE, OUT_OF_MEMORY
 *   count_finish         INVALID_ARGUMENT, INPUT_TOO_LARGE
 *   dstream_create       INVALID_ARGUMENT, OUT_OF_MEMORY
 *   dstream_decompress   INVALID_ARGUMENT, HEADER_TOO_SHORT, NEGATIVE_COUNT,
 *                        SIZE_TOO_LARGE, TRUNCATED_BODY, OUT_OF_MEMORY
 *   dstream_reset        INVALID_ARGUMENT, OUT_OF_MEMORY
 *   dstream_header       INVALID_ARGUMENT, HEADER_TOO_SHORT
 *   cstream_create       INVALID_ARGUMENT, NEGATIVE_COUNT, SIZE_TOO_LARGE,
 *                        OUT_OF_MEMORY
 *   cstream_compress     INVALID_ARGUMENT, INPUT_CHANGED, OUT_OF_MEMORY
 */
#ifndef HUFFCODEC_HUFFCODEC_H
#define HUFFCODEC_HUFFCODEC_H

#include <stddef.h>
#include <stdint.h>

/* HUFFCODEC_VERSION_MAJOR, _MINOR, _PATCH, _NUMBER (major * 10000 + minor *
 * 100 + patch, usable in #if) and _STRING ("1.0.0"): the version of the
 * headers compiled against. The build writes them into version.hpp, plain C
 * despite its name, which huffcodec.hpp shares. */
#include "huffcodec/version.hpp"

#if defined(__GNUC__)
#define HUFFCODEC_C_API __attribute__((visibility("default")))
#else
#define HUFFCODEC_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the count header that starts every compressed file. */
#define HUFFCODEC_HEADER_BYTES 1024
/* The most threads one call runs, and the most workers a pool holds. */
#define HUFFCODEC_MAX_THREADS 256

/* The library's version as major * 10000 + minor * 100 + patch (10000 for
 * 1.0.0), and as text ("1.0.0"): the library that is running, not the header
 * compiled against. */
HUFFCODEC_C_API unsigned huffcodec_version_number(void);
HUFFCODEC_C_API const char* huffcodec_version_string(void);

/* The numbers are fixed: a value is never renumbered or reused. */
typedef enum huffcodec_status {
    HUFFCODEC_OK = 0,
    HUFFCODEC_HEADER_TOO_SHORT = 1, /* fewer than HUFFCODEC_HEADER_BYTES bytes */
    HUFFCODEC_NEGATIVE_COUNT = 2,   /* a header entry below 0 */
    HUFFCODEC_SIZE_TOO_LARGE = 3,   /* header entries adding up past 2147483647 */
    HUFFCODEC_TRUNCATED_BODY = 4,   /* the body ends before the last code does */
    HUFFCODEC_READ_ERROR = 5,       /* reading the input failed */
    HUFFCODEC_WRITE_ERROR = 6,      /* writing the output failed */
    HUFFCODEC_OUTPUT_TOO_SMALL = 7, /* the output buffer cannot hold the result */
    HUFFCODEC_INPUT_TOO_LARGE = 8,  /* more than 2147483647 bytes to compress */
    HUFFCODEC_INPUT_CHANGED = 9,    /* the second pass saw other bytes than counted */
    HUFFCODEC_OUT_OF_MEMORY = 10,
    HUFFCODEC_INTERNAL_ERROR = 11,  /* a broken internal guarantee; never expected */
    HUFFCODEC_INVALID_ARGUMENT = 12 /* a null pointer where one is needed, bad options */
} huffcodec_status;

/* A short English description of status, e.g. "truncated body". Never NULL. */
HUFFCODEC_C_API const char* huffcodec_status_message(huffcodec_status status);

/* Worker threads that calls share: create one pool and set it in the options
 * of every call, and no call starts threads of its own; it takes at most
 * threads - 1 of the pool's workers at once. The threads start as the calls'
 * work needs them and wait for more between calls; calls on several threads
 * may share one pool at once. workers: the most threads (0: the available
 * processors less one; above HUFFCODEC_MAX_THREADS, up to INT_MAX, that
 * many: 1000 gives 256); workers_off_caller not 0: the threads keep off the
 * processor the creating thread runs on. huffcodec_pool_create sets *pool to
 * the new pool, or to NULL when it fails: HUFFCODEC_INVALID_ARGUMENT (pool
 * NULL, workers negative) or HUFFCODEC_OUT_OF_MEMORY. huffcodec_pool_free
 * (NULL: nothing) joins the threads: every call given the pool, on every
 * thread, must have returned, and none may start after. */
typedef struct huffcodec_pool huffcodec_pool;
HUFFCODEC_C_API huffcodec_status huffcodec_pool_create(huffcodec_pool** pool, int workers,
                                                       int workers_off_caller);
HUFFCODEC_C_API void huffcodec_pool_free(huffcodec_pool* pool);

/* Settings for tests and benchmarks, in huffcodec/experimental.h. */
struct huffcodec_tuning;

/* How a call runs. Set it up with huffcodec_options_init, then change the
 * members wanted: the struct may grow at its end in later versions, and
 * struct_size tells the library which members the caller knows. A member it
 * does not wholly cover takes its default: a struct_size of 0 gives the
 * defaults, as NULL options do, and one that ends inside threads 1 thread.
 * Members past those this library knows (a larger struct_size, from a newer
 * header) are never read. Every function takes NULL for the defaults. */
typedef struct huffcodec_options {
    size_t struct_size;   /* sizeof(huffcodec_options), set by huffcodec_options_init;
                             members it does not wholly cover take their defaults */
    int threads;          /* 1 (the default): the calling thread only; 0: every available
                             processor; above HUFFCODEC_MAX_THREADS: run as that many; data
                             under 4 MiB is never shared out; negative: invalid */
    huffcodec_pool* pool; /* worker threads to use; NULL (the default): the call's own */
    const struct huffcodec_tuning* tuning; /* NULL (the default), or experimental
                                              settings */
} huffcodec_options;
HUFFCODEC_C_API void huffcodec_options_init(huffcodec_options* options);

/* The most bytes huffcodec_compress can write for size bytes: the header
 * plus size (a code from the data's own counts never takes more than 8 bits
 * a byte). A size above 2147483647, which huffcodec_compress refuses with
 * HUFFCODEC_INPUT_TOO_LARGE, gives 1024 + 2147483647 = 2147484671. */
HUFFCODEC_C_API size_t huffcodec_compress_bound(size_t size);

/* Compresses in_size bytes of in into out, which holds out_capacity bytes
 * (huffcodec_compress_bound(in_size) is always enough), and sets *out_size to
 * the bytes written; *out_size is 0 after a failure, when out holds no
 * valid file. The output is the same on every thread count. in and out must
 * not share a byte: HUFFCODEC_INVALID_ARGUMENT. */
HUFFCODEC_C_API huffcodec_status huffcodec_compress(const void* in, size_t in_size, void* out,
                                                    size_t out_capacity, size_t* out_size,
                                                    const huffcodec_options* options);

/* Decompresses the compressed file of in_size bytes at in into out, which
 * holds out_capacity bytes (at least the header's original size, or nothing
 * is written: HUFFCODEC_OUTPUT_TOO_SMALL). Sets *out_size to the bytes
 * decoded, and *in_consumed (may be NULL) to the header and every body byte
 * decoding needed. On HUFFCODEC_TRUNCATED_BODY, out holds the bytes decoded
 * before the code the body could not complete, *out_size counts them and
 * *in_consumed is in_size; after any other failure both are 0. in and out
 * must not share a byte: HUFFCODEC_INVALID_ARGUMENT. */
HUFFCODEC_C_API huffcodec_status huffcodec_decompress(const void* in, size_t in_size, void* out,
                                                      size_t out_capacity, size_t* out_size,
                                                      size_t* in_consumed,
                                                      const huffcodec_options* options);

/* Reads the header at the start of in_size bytes of in: *original_size (may
 * be NULL) receives the sum of the counts, and counts (may be NULL) the 256
 * entries. Entries are checked in index order. */
HUFFCODEC_C_API huffcodec_status huffcodec_read_header(const void* in, size_t in_size,
                                                       int64_t* original_size, int32_t counts[256]);

/* The 256 counts of in_size bytes of in, as a compressed file's header would
 * hold them, into counts: what huffcodec_cstream_create takes. Large data is
 * counted on threads as huffcodec_compress shares it out.
 * HUFFCODEC_INPUT_TOO_LARGE for more than 2147483647 bytes, found before any
 * byte is read. counts is written only on HUFFCODEC_OK. */
HUFFCODEC_C_API huffcodec_status huffcodec_count(const void* in, size_t in_size,
                                                 int32_t counts[256],
                                                 const huffcodec_options* options);

/* Counting in pieces, for data that is not in memory at once: set 256 totals
 * to 0, add each piece with huffcodec_count_update, then turn the totals into
 * counts with huffcodec_count_finish. The totals are the caller's: no state
 * to free, and unsigned so that no sum can overflow into undefined behaviour.
 * huffcodec_count_update adds the bytes of in (any size; NULL for none) to
 * totals, on the calling thread, and leaves totals as they were on a failure:
 * HUFFCODEC_INVALID_ARGUMENT (totals NULL, or in NULL with a size),
 * HUFFCODEC_OUT_OF_MEMORY, or HUFFCODEC_INPUT_TOO_LARGE when a total would
 * pass UINT64_MAX, which never wraps. huffcodec_count_finish gives
 * HUFFCODEC_INPUT_TOO_LARGE when the totals add up past 2147483647 (exactly
 * 2147483647 is fine), HUFFCODEC_INVALID_ARGUMENT for a NULL argument, and
 * writes counts only on HUFFCODEC_OK. */
HUFFCODEC_C_API huffcodec_status huffcodec_count_update(uint64_t totals[256], const void* in,
                                                        size_t in_size);
HUFFCODEC_C_API huffcodec_status huffcodec_count_finish(const uint64_t totals[256],
                                                        int32_t counts[256]);

/* Input and output of a stream the caller drives: bytes data[pos, size) are
 * still to be read, or free to be written; the stream moves pos on. The two
 * buffers of a call must not share a byte, data may be NULL only with a size
 * of 0, and pos is at most size: HUFFCODEC_INVALID_ARGUMENT otherwise. */
typedef struct huffcodec_in_buffer {
    const void* data;
    size_t size;
    size_t pos;
} huffcodec_in_buffer;
typedef struct huffcodec_out_buffer {
    void* data;
    size_t size;
    size_t pos;
} huffcodec_out_buffer;

/* A whole compressed file decompressed in pieces of any size, on the calling
 * thread, in bounded memory (about 2 MiB). Call huffcodec_dstream_decompress
 * until huffcodec_dstream_finished says 1: while it returns HUFFCODEC_OK it
 * has moved in->pos or out->pos on, unless it needs more input (in->pos ==
 * in->size) or more room (out->pos == out->size); before it asks for more
 * input, every byte whose code has arrived whole is out (as far as out has
 * room), and the stream finishes once the last byte is out, with end_of_input
 * or without. end_of_input not 0: in
 * holds the last bytes, and a file that ends early then gives
 * HUFFCODEC_HEADER_TOO_SHORT or HUFFCODEC_TRUNCATED_BODY once every byte
 * decoded before the cut is out. A failure is final. The create functions
 * set *stream to the new stream, or to NULL when they fail.
 * huffcodec_dstream_create allocates the stream's own state only (a few
 * KiB); the decoding tables and buffers (about 2 MiB) come with the call
 * that completes the header, so HUFFCODEC_OUT_OF_MEMORY may come from
 * huffcodec_dstream_decompress, final as any failure until a reset. */
typedef struct huffcodec_dstream huffcodec_dstream;
HUFFCODEC_C_API huffcodec_status huffcodec_dstream_create(huffcodec_dstream** stream,
                                                          const huffcodec_options* options);
HUFFCODEC_C_API huffcodec_status huffcodec_dstream_decompress(huffcodec_dstream* stream,
                                                              huffcodec_in_buffer* in,
                                                              huffcodec_out_buffer* out,
                                                              int end_of_input);
HUFFCODEC_C_API int huffcodec_dstream_finished(const huffcodec_dstream* stream);
/* Bytes of the file consumed so far, the header counted: those taken for
 * decoding, and once finished (or failed with HUFFCODEC_TRUNCATED_BODY)
 * exactly the header and every body byte the decoding needed, as
 * huffcodec_decompress's *in_consumed counts them. */
HUFFCODEC_C_API uint64_t huffcodec_dstream_bytes_consumed(const huffcodec_dstream* stream);
HUFFCODEC_C_API void huffcodec_dstream_free(huffcodec_dstream* stream);
/* Starts the stream over for another file, with the options it was created
 * with; also after a failure. HUFFCODEC_OUT_OF_MEMORY leaves the stream to
 * try again at its next huffcodec_dstream_decompress. */
HUFFCODEC_C_API huffcodec_status huffcodec_dstream_reset(huffcodec_dstream* stream);
/* The header of the stream's file: *original_size (may be NULL) receives the
 * sum of the counts, and counts (may be NULL) the 256 entries. Available from
 * the call that read the whole header until the next reset;
 * HUFFCODEC_HEADER_TOO_SHORT before that, and when the header read was
 * invalid (the decompress call said how). */
HUFFCODEC_C_API huffcodec_status huffcodec_dstream_header(const huffcodec_dstream* stream,
                                                          int64_t* original_size,
                                                          int32_t counts[256]);

/* The second pass of compression in pieces, for data whose 256 counts are
 * known: takes the data through in and gives the whole file, header first,
 * through out, as huffcodec_dstream_decompress does. HUFFCODEC_INPUT_CHANGED
 * once the data turns out to differ from the counts in its size, in a byte
 * they count as 0, or in the total length of its codes. */
typedef struct huffcodec_cstream huffcodec_cstream;
HUFFCODEC_C_API huffcodec_status huffcodec_cstream_create(huffcodec_cstream** stream,
                                                          const int32_t counts[256],
                                                          const huffcodec_options* options);
HUFFCODEC_C_API huffcodec_status huffcodec_cstream_compress(huffcodec_cstream* stream,
                                                            huffcodec_in_buffer* in,
                                                            huffcodec_out_buffer* out,
                                                            int end_of_input);
HUFFCODEC_C_API int huffcodec_cstream_finished(const huffcodec_cstream* stream);
HUFFCODEC_C_API void huffcodec_cstream_free(huffcodec_cstream* stream);

#ifdef __cplusplus
}
#endif

#endif /* HUFFCODEC_HUFFCODEC_H */
