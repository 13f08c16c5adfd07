/* SPDX-License-Identifier: MIT
 *
 * The C interface from C: round trips over buffers and through the streams,
 * counting whole and in pieces, the version macros, and bad arguments. */
#include <stdio.h>
#include <string.h>

#include "huffcodec/experimental.h"
#include "huffcodec/huffcodec.h"

static int failures = 0;
#define CHECK(c) \
    ((c) ? (void)0 : (void)(++failures, fprintf(stderr, "line %d: %s\n", __LINE__, #c)))
#define OK HUFFCODEC_OK
#define BAD HUFFCODEC_INVALID_ARGUMENT
#define BIG HUFFCODEC_INPUT_TOO_LARGE
#define MAX_SIZE (5u << 20)
/* Room for a piece past the end: pump offers whole pieces. */
static unsigned char data[MAX_SIZE], packed[2 * MAX_SIZE], again[2 * MAX_SIZE],
    restored[2 * MAX_SIZE];

/* Runs size bytes of in through d, or else c, piece bytes in and out a call;
 * three calls in a row that move nothing are stuck. */
static huffcodec_status pump(huffcodec_dstream* d, huffcodec_cstream* c, const unsigned char* in,
                             size_t size, unsigned char* out, size_t piece, size_t* out_size) {
    huffcodec_status status = OK;
    size_t given = 0, idle = 0;
    *out_size = 0;
    while (status == OK && !(d ? huffcodec_dstream_finished(d) : huffcodec_cstream_finished(c))) {
        huffcodec_in_buffer ib = {in + given, size - given < piece ? size - given : piece, 0};
        huffcodec_out_buffer ob = {out + *out_size, piece, 0};
        const int last = given + ib.size == size;
        status = d ? huffcodec_dstream_decompress(d, &ib, &ob, last)
                   : huffcodec_cstream_compress(c, &ib, &ob, last);
        given += ib.pos;
        *out_size += ob.pos;
        idle = ib.pos == 0 && ob.pos == 0 ? idle + 1 : 0;
        status = idle == 3 ? HUFFCODEC_INTERNAL_ERROR : status;
    }
    return status;
}

int main(void) {
    /* {size, piece, threads}; with 256-byte chunks, 4 KiB and more run on threads. */
    static const size_t rows[][3] = {{0, 1, 1},           {1, 1, 0},
                                     {1000, 7, 1},        {70000, 4099, 2},
                                     {300000, 100000, 0}, {MAX_SIZE, 1u << 20, 3}};
    for (size_t r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
        const size_t size = rows[r][0], piece = rows[r][1];
        int32_t counts[256], counted[256], pieces[256];
        uint64_t totals[256] = {0};
        size_t packed_size = 0, again_size = 0, restored_size = 0, consumed = 0;
        int64_t original = -1;
        huffcodec_options o;
        huffcodec_tuning tuning = {0};
        huffcodec_cstream* c = NULL;
        huffcodec_dstream* d = NULL;
        for (size_t i = 0, x = r; i < size; ++i) { /* half zeros; more values in later rows */
            x = x * 1103515245u + 12345u;
            data[i] = (unsigned char)((x >> 16) % (r * 50 + 1) * ((x >> 8) & 1));
        }
        huffcodec_options_init(&o);
        o.threads = (int)rows[r][2];
        tuning.decode_chunk_bytes = 256;
        tuning.encode_chunk_bytes = 256;
        o.tuning = &tuning;
        CHECK(huffcodec_compress(data, size, packed, sizeof packed, &packed_size, &o) == OK);
        CHECK(huffcodec_read_header(packed, packed_size, &original, counts) == OK &&
              original == (int64_t)size);
        CHECK(huffcodec_count(data, size, counted, &o) == OK && !memcmp(counted, counts, 1024));
        for (size_t at = 0; at < size; at += piece) {
            CHECK(huffcodec_count_update(totals, data + at,
                                         size - at < piece ? size - at : piece) == OK);
        }
        CHECK(huffcodec_count_finish(totals, pieces) == OK && !memcmp(pieces, counts, 1024));
        CHECK(huffcodec_cstream_create(&c, pieces, &o) == OK &&
              pump(NULL, c, data, size, again, piece, &again_size) == OK);
        CHECK(again_size == packed_size && !memcmp(again, packed, packed_size));
        CHECK(huffcodec_decompress(packed, packed_size, restored, size, &restored_size, &consumed,
                                   &o) == OK);
        CHECK(restored_size == size && consumed == packed_size && !memcmp(restored, data, size));
        CHECK(huffcodec_dstream_create(&d, &o) == OK);
        for (int round = 0; round < 2; ++round) { /* the file twice, reset between */
            memset(restored, 0, size);
            memset(counted, 0, 1024);
            original = -1;
            CHECK((round == 0 || huffcodec_dstream_reset(d) == OK) &&
                  huffcodec_dstream_header(d, NULL, NULL) == HUFFCODEC_HEADER_TOO_SHORT);
            CHECK(pump(d, NULL, packed, packed_size, restored, piece, &restored_size) == OK &&
                  restored_size == size && !memcmp(restored, data, size));
            CHECK(huffcodec_dstream_header(d, &original, counted) == OK &&
                  original == (int64_t)size && !memcmp(counted, counts, 1024));
        }
        huffcodec_cstream_free(c);
        huffcodec_dstream_free(d);
    }

    char text[40];
    snprintf(text, sizeof text, "%d.%d.%d", HUFFCODEC_VERSION_MAJOR, HUFFCODEC_VERSION_MINOR,
             HUFFCODEC_VERSION_PATCH);
    CHECK(!strcmp(text, HUFFCODEC_VERSION_STRING) &&
          !strcmp(huffcodec_version_string(), HUFFCODEC_VERSION_STRING));
    CHECK(huffcodec_version_number() == HUFFCODEC_VERSION_NUMBER);

    int32_t counts[256];
    uint64_t zero[256] = {0}, full[256] = {2147483647u, 1}, wraps[256] = {1, UINT64_MAX},
             most[256] = {2147483647u}, near[256] = {UINT64_MAX - 3};
    static const unsigned char five[5] = {0};
    huffcodec_options bad;
    huffcodec_options_init(&bad);
    bad.threads = -1;
    const struct {
        huffcodec_status got, want;
    } cases[] = {{huffcodec_count(NULL, 1, counts, NULL), BAD},
                 {huffcodec_count(data, 1, NULL, NULL), BAD},
                 {huffcodec_count(data, 1, counts, &bad), BAD},
                 {huffcodec_count(data, (size_t)2147483647u + 1, counts, NULL), BIG},
                 {huffcodec_count_update(NULL, data, 1), BAD},
                 {huffcodec_count_update(zero, NULL, 1), BAD},
                 {huffcodec_count_finish(NULL, counts), BAD},
                 {huffcodec_count_finish(full, counts), BIG},
                 {huffcodec_count_finish(wraps, counts), BIG},
                 {huffcodec_count_finish(most, counts), OK},
                 {huffcodec_count_update(near, five, 5), BIG},
                 {huffcodec_dstream_reset(NULL), BAD},
                 {huffcodec_dstream_header(NULL, NULL, NULL), BAD}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        if (cases[i].got != cases[i].want) {
            failures += fprintf(stderr, "bad-argument case %zu gave %d\n", i, cases[i].got) > 0;
        }
    }
    CHECK(near[0] == UINT64_MAX - 3 && counts[0] == 2147483647);
    printf("%s\n", failures == 0 ? "ok" : "FAILED");
    return failures == 0 ? 0 : 1;
}
