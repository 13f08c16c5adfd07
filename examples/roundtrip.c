/* SPDX-License-Identifier: MIT
 *
 * Compresses a buffer with huffcodec's C interface, reads the header back,
 * and restores the buffer. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <huffcodec/huffcodec.h>

int main(void) {
    const char text[] = "abracadabra, a static Huffman code for every byte, from C";
    const size_t size = sizeof text - 1;
    huffcodec_options options;
    huffcodec_options_init(&options);
    options.threads = 1;

    size_t capacity = huffcodec_compress_bound(size);
    unsigned char* packed = malloc(capacity);
    char* restored = malloc(size);
    size_t packed_size = 0;
    size_t restored_size = 0;
    size_t consumed = 0;
    int64_t original_size = 0;
    huffcodec_status status =
        packed && restored ? huffcodec_compress(text, size, packed, capacity, &packed_size, &options)
                           : HUFFCODEC_OUT_OF_MEMORY;
    if (status == HUFFCODEC_OK) {
        status = huffcodec_read_header(packed, packed_size, &original_size, NULL);
    }
    if (status == HUFFCODEC_OK) {
        status = huffcodec_decompress(packed, packed_size, restored, size, &restored_size,
                                      &consumed, NULL);
    }
    const int same = status == HUFFCODEC_OK && original_size == (int64_t)size &&
                     restored_size == size && consumed == packed_size &&
                     memcmp(restored, text, size) == 0;
    free(packed);
    free(restored);
    if (!same) {
        fprintf(stderr, "round trip failed: %s\n", huffcodec_status_message(status));
        return 1;
    }
    printf("huffcodec %s: C, %zu bytes -> %zu -> %zu, version number %u, round trip ok\n",
           huffcodec_version_string(), size, packed_size, restored_size,
           huffcodec_version_number());
    return 0;
}
