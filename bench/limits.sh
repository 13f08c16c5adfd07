#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The machine's ceilings beside the build's figures, from one run: how far
# the commands are from what this machine can do. For each DATA_DIR/NAME.raw
# (compressed first with BUILD's compress), MB/s of uncompressed data, median
# of RUNS, input in the page cache:
#
#   cat            cat of the original to /dev/null: reading the page cache
#   cp → file      cp of the original to a new file: the page cache taking writes
#   memory 1, 2    decompress() over buffers on 1 and 2 threads
#                  (huffcodec_bench_decode memory)
#   one core       huffcodec_bench_decode decode 4:0:1, one process, one thread
#   two at once    the same two processes started together, both counted:
#                  what two cores give two independent decodes
#   uncompress 1, 2   HUFFCODEC_THREADS=1 and 2, to /dev/null
#   → file         uncompress writing a new file (2 threads)
#
#   bench/limits.sh BUILD DATA_DIR [RUNS]     default 11 runs
set -euo pipefail
build=$1
data=$2
runs=${3:-11}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset HUFFCODEC_THREADS
bench=$build/bench/huffcodec_bench_decode

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
now() { echo "${EPOCHREALTIME/[.,]/}"; }

# Median microseconds of RUNS runs of a shell snippet.
timed() {
    local t=()
    for _ in $(seq "$runs"); do
        rm -f "$work/out"
        local start
        start=$(now)
        eval "$1" >/dev/null 2>&1
        t+=($(($(now) - start)))
    done
    printf '%s\n' "${t[@]}" | median
}

mbps() { awk -v b="$1" -v us="$2" 'BEGIN {printf "%.0f", b / us}'; }

echo "Build: $build; median of $runs runs, MB/s of uncompressed data"
echo
echo "| data | cat | cp → file | memory 1 | memory 2 | one core | two at once | uncompress 1 | uncompress 2 | → file |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for raw in "$data"/*.raw; do
    name=$(basename "$raw" .raw)
    size=$(stat -c %s "$raw")
    huf=$work/$name.huf
    "$build/compress/compress" "$raw" "$huf" 2>/dev/null
    cat "$raw" "$huf" >/dev/null
    sync
    read -r mem1 mem2 < <("$bench" memory "$huf" "$runs" |
        awk '/^1 thread/ {a=$4} /^2 thread/ {b=$4} END {print a, b}')
    catT=$(timed "cat '$raw'")
    cpT=$(timed "cp '$raw' '$work/out'")
    oneT=$(timed "'$bench' decode 4:0:1 '$huf' /dev/null")
    # Two decodes of the whole file in the time both take: twice the bytes.
    twoT=$(timed "'$bench' decode 4:0:1 '$huf' /dev/null & '$bench' decode 4:0:1 '$huf' /dev/null; wait")
    u1=$(timed "HUFFCODEC_THREADS=1 '$build/uncompress/uncompress' '$huf' /dev/null")
    u2=$(timed "HUFFCODEC_THREADS=2 '$build/uncompress/uncompress' '$huf' /dev/null")
    uf=$(timed "HUFFCODEC_THREADS=2 '$build/uncompress/uncompress' '$huf' '$work/out'")
    echo "| $name | $(mbps "$size" "$catT") | $(mbps "$size" "$cpT") | $mem1 | $mem2 |" \
        "$(mbps "$size" "$oneT") | $(mbps $((2 * size)) "$twoT") | $(mbps "$size" "$u1") |" \
        "$(mbps "$size" "$u2") | $(mbps "$size" "$uf") |"
done
