/* SPDX-License-Identifier: MIT
 *
 * Compresses a buffer with huffcodec's C interface, reads the header back,
 * and restores the buffer: in one call each, then again through the streams
 * in pieces of a few bytes, as a program reading from a socket would. The
 * one-call decompression takes its workers from a pool, as every call of a
 * program that makes many would. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <huffcodec/huffcodec.h>

/* Runs the file through a decompression stream, 7 bytes in and 5 out at a
 * time, into restored; returns the status and sets *size. */
static huffcodec_status stream_back(const unsigned char* file, size_t file_size, char* restored,
                                    size_t capacity, size_t* size) {
    huffcodec_dstream* stream = NULL;
    huffcodec_status status = huffcodec_dstream_create(&stream, NULL);
    size_t given = 0;
    *size = 0;
    while (status == HUFFCODEC_OK && !huffcodec_dstream_finished(stream)) {
        const size_t piece = file_size - given < 7 ? file_size - given : 7;
        huffcodec_in_buffer in = {file + given, piece, 0};
        huffcodec_out_buffer out = {restored + *size, capacity - *size < 5 ? capacity - *size : 5,
                                    0};
        status = huffcodec_dstream_decompress(stream, &in, &out, given + piece == file_size);
        given += in.pos;
        *size += out.pos;
    }
    huffcodec_dstream_free(stream);
    return status;
}

int main(void) {
    const char text[] = "abracadabra, a static Huffman code for every byte, from C";
    const size_t size = sizeof text - 1;
    huffcodec_options options;
    huffcodec_options_init(&options);
    options.threads = 1;

    const size_t capacity = huffcodec_compress_bound(size);
    unsigned char* packed = malloc(capacity);
    unsigned char* streamed = malloc(capacity);
    char* restored = malloc(size);
    size_t packed_size = 0, streamed_size = 0, restored_size = 0, consumed = 0;
    int64_t original_size = 0;
    int32_t counts[256];
    huffcodec_status status =
        packed && streamed && restored
            ? huffcodec_compress(text, size, packed, capacity, &packed_size, &options)
            : HUFFCODEC_OUT_OF_MEMORY;
    if (status == HUFFCODEC_OK) {
        status = huffcodec_read_header(packed, packed_size, &original_size, counts);
    }
    huffcodec_pool* pool = NULL;
    if (status == HUFFCODEC_OK) {
        status = huffcodec_pool_create(&pool, 0, 0);
    }
    if (status == HUFFCODEC_OK) {
        huffcodec_options shared;
        huffcodec_options_init(&shared);
        shared.pool = pool;
        status = huffcodec_decompress(packed, packed_size, restored, size, &restored_size,
                                      &consumed, &shared);
    }
    huffcodec_pool_free(pool);
    int same = status == HUFFCODEC_OK && original_size == (int64_t)size && restored_size == size &&
               consumed == packed_size && memcmp(restored, text, size) == 0;

    /* The same file again, written by a compression stream 3 bytes at a time. */
    huffcodec_cstream* packer = NULL;
    if (same) {
        status = huffcodec_cstream_create(&packer, counts, NULL);
    }
    for (size_t given = 0; same && status == HUFFCODEC_OK && !huffcodec_cstream_finished(packer);) {
        const size_t piece = size - given < 3 ? size - given : 3;
        huffcodec_in_buffer in = {text + given, piece, 0};
        huffcodec_out_buffer out = {streamed + streamed_size, capacity - streamed_size, 0};
        status = huffcodec_cstream_compress(packer, &in, &out, given + piece == size);
        given += in.pos;
        streamed_size += out.pos;
    }
    huffcodec_cstream_free(packer);
    same = same && status == HUFFCODEC_OK && streamed_size == packed_size &&
           memcmp(streamed, packed, packed_size) == 0;
    if (same) {
        memset(restored, 0, size);
        status = stream_back(streamed, streamed_size, restored, size, &restored_size);
        same = status == HUFFCODEC_OK && restored_size == size && memcmp(restored, text, size) == 0;
    }
    free(packed);
    free(streamed);
    free(restored);
    if (!same) {
        fprintf(stderr, "round trip failed: %s\n", huffcodec_status_message(status));
        return 1;
    }
    printf(
        "huffcodec %s: C, %zu bytes -> %zu -> %zu, streamed too, version number %u, "
        "round trip ok\n",
        huffcodec_version_string(), size, packed_size, restored_size, huffcodec_version_number());
    return 0;
}
