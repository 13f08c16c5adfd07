/* SPDX-License-Identifier: MIT
 *
 * huffcodec's experimental settings for C: the lanes, segment and chunk
 * sizes and kernel of huffcodec/experimental.hpp, set through
 * huffcodec_options.tuning. Tests and benchmarks use them to reach every
 * path; a program needs none of them.
 *
 * Not part of the stable interface: this struct may change in any release
 * without a new soname. Use it only with the static library, or with the
 * shared library of exactly the version compiled against.
 */
#ifndef HUFFCODEC_EXPERIMENTAL_H
#define HUFFCODEC_EXPERIMENTAL_H

#include <stddef.h>

#include "huffcodec/huffcodec.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Zeros take the defaults; a lane count outside 0 to 4 or a kernel the
 * processor does not run makes the call fail with
 * HUFFCODEC_INVALID_ARGUMENT. */
typedef struct huffcodec_tuning {
    int lanes;                 /* interleaved lanes per segment, 1 to 4; 0: by the code */
    size_t segment_bytes;      /* body bytes a segment of lanes covers, 64 B to 1 MiB */
    size_t decode_chunk_bytes; /* body bytes a decoding thread takes, 64 B to 1 MiB */
    size_t encode_chunk_bytes; /* input bytes an encoding thread takes, 64 B to 512 KiB */
    int kernel;                /* 0 automatic, 1 portable, 2 bmi2, 3 avx512 */
    int decode_table;          /* 0 automatic, 1 single, 2 pairs, 3 runs, 4 large */
} huffcodec_tuning;

#ifdef __cplusplus
}
#endif

#endif /* HUFFCODEC_EXPERIMENTAL_H */
