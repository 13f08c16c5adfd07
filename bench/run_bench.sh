#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end benchmark: builds the release preset, makes data sets from files
# on this machine and from a seeded generator, checks every path it times for
# the right bytes, and prints the commit measured, the machine, two Markdown
# tables of throughput (MB/s of uncompressed data, whole process, median of
# RUNS runs, input in the page cache, output to /dev/null unless said
# otherwise) and peak memory, then the lane statistics of each data set.
#
#   bench/run_bench.sh [SIZE_MB] [RUNS]     defaults: 40 MB, 5 runs
#
# Main table, one row per data set:
#   ratio         original size / compressed size
#   uncompress    uncompress as shipped, threads left to it (all cores)
#   1 thread      HUFFCODEC_THREADS=1 uncompress
#   one lane .. four lanes
#                 the library's decoder on the calling thread alone with 1, 2,
#                 3 or 4 lanes and the default segment size
#                 (huffcodec_bench_decode decode L:0:1, bench-only)
#   three / two   speed of three lanes over speed of two lanes
#   to a file     uncompress (all cores) writing a new file on the same disk
#   plain path    the tree walk over a bit stream over a file stream
#                 (huffcodec_bench_decode plain, bench-only)
#   compress      compress (all cores) to /dev/null
#   zstd -d, gzip -d
#                 the same data through those tools, as a yardstick
#   cat           cat of the data set: the ceiling of reading the input
#   peak KiB      peak resident memory of uncompress / compress (all cores,
#                 compress writing a file), from /usr/bin/time -v
# The six decoders from "uncompress" to "four lanes" run round-robin: each
# repetition runs every one of them once, in turn, so that all see the same
# load; the three-over-two ratio is steadier than the columns themselves.
#
# Scaling table: one row per command and destination (uncompress and compress,
# to /dev/null and to a new file), one column per data set and thread count
# (HUFFCODEC_THREADS=1, 2, 4; the three counts run round-robin per
# repetition), and a last row with the peak resident memory of uncompress to
# /dev/null at each count. Data sets under 4 MiB start no threads, so this
# table needs a SIZE_MB of 5 or more to mean anything.
#
# Lane statistics: huffcodec_bench_decode lanes on each compressed data set:
# the kernel the default picks and what it runs on the set's code (the lane
# loop, or the byte table of codes of eight bits), one line per lane count
# (segments, boundaries between lanes, how often they never fell into step,
# how far past the split they met) and one line of true resynchronisation
# distances at byte-aligned split points every 4 KiB.
#
# Correctness, checked before timing and fatal on a mismatch: the round trip
# through compress and uncompress (compared with cmp), compress and uncompress
# at 2 and 4 threads against 1 thread byte for byte, and the lane and plain
# decoders against the original.
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-40}
runs=${2:-5}
bytes=$((size_mb * 1000 * 1000))
if [[ -z ${EPOCHREALTIME-} ]]; then
    echo "run_bench.sh needs bash 5 or later (EPOCHREALTIME)" >&2
    exit 1
fi
# "All cores" means the commands' own default.
unset HUFFCODEC_THREADS

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=build/release
un=$bin/uncompress/uncompress
comp=$bin/compress/compress
bd=$bin/bench/huffcodec_bench_decode
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

commit=$(git rev-parse --short HEAD)
if [[ -n $(git status --porcelain) ]]; then
    commit="$commit, with uncommitted changes in the working tree"
fi

# Data sets. Files are taken in sorted order, so a machine gives the same
# bytes every time.
take() { head -c "$bytes" >"$work/$1.raw"; }
{ find /usr/share/man -name '*.gz' -print0 | sort -z | xargs -0 zcat 2>/dev/null
  find /usr/share/doc /usr/include -type f \( -name '*.h' -o -name '*.txt' -o -name 'README*' \) \
      -print0 | sort -z | xargs -0 cat 2>/dev/null; } | take text || true
{ find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size +100k -print0 | sort -z |
      xargs -0 cat 2>/dev/null; } | take exec || true
"$bin/bench/huffcodec_bench_data" random "$bytes" >"$work/random.raw"
"$bin/bench/huffcodec_bench_data" skewed "$bytes" >"$work/skewed.raw"
sets=(text exec random skewed)

# Runs a command given as "THREADS PROGRAM ARGS...": THREADS is the value of
# HUFFCODEC_THREADS for it, or - to leave the variable unset.
run_entry() {
    local threads=$1
    shift
    if [[ $threads == - ]]; then
        "$@"
    else
        HUFFCODEC_THREADS=$threads "$@"
    fi
}

# Medians in seconds of commands run round-robin $runs times: each repetition
# runs every command once, in turn, so that all see the same load. Each
# command is one string as for run_entry (split at spaces, so no argument may
# hold one). A file named $work/new.* among the arguments is removed before
# each run, untimed, so that every run writes a new file. Prints the medians,
# in the order given, on one line.
median_n() {
    local n=$# i rep t0 t1 arg
    local -a times=() cmd
    for ((rep = 0; rep < runs; rep++)); do
        for ((i = 1; i <= n; i++)); do
            read -r -a cmd <<<"${!i}"
            for arg in "${cmd[@]}"; do
                if [[ $arg == "$work"/new.* ]]; then
                    rm -f "$arg"
                fi
            done
            t0=${EPOCHREALTIME/[.,]/}
            run_entry "${cmd[@]}" >/dev/null 2>&1 || {
                echo "failed: ${cmd[*]}" >&2
                exit 1
            }
            t1=${EPOCHREALTIME/[.,]/}
            times[(i - 1) * runs + rep]=$((t1 - t0))
        done
    done
    local out=()
    for ((i = 0; i < n; i++)); do
        out+=("$(printf '%s\n' "${times[@]:i * runs:runs}" | sort -n |
            awk '{v[NR] = $1} END {printf "%.6f", v[int((NR + 1) / 2)] / 1e6}')")
    done
    echo "${out[*]}"
}
mbps() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.0f", b / s / 1e6}'; }
# Peak resident KiB of "THREADS PROGRAM ARGS..." (as for run_entry).
peak_kib() {
    local threads=$1
    shift
    run_entry "$threads" /usr/bin/time -v "$@" 2>&1 >/dev/null |
        awk -F': ' '/Maximum resident/ {print $2}'
}
fail() {
    echo "$1" >&2
    exit 1
}

echo "Commit: $commit"
echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)"
echo "Data: $size_mb MB per set, median of $runs runs, MB/s of uncompressed data"
echo
echo "| data | ratio | uncompress | 1 thread | one lane | two lanes | three lanes | four lanes | three / two | to a file | plain path | compress | zstd -d | gzip -d | cat | peak KiB (uncompress / compress) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"

# Scaling results, one cell per data set and thread count, added row by row.
scale_rows=("uncompress → /dev/null" "uncompress → file" "compress → /dev/null" "compress → file")
scale=("" "" "" "")
scale_peak=""
lane_lines=()
for set in "${sets[@]}"; do
    raw="$work/$set.raw"
    huf="$work/$set.huf"
    size=$(stat -c %s "$raw")

    # Correctness first.
    "$comp" "$raw" "$huf" 2>/dev/null || fail "compress failed on $set"
    "$un" "$huf" "$work/check" 2>/dev/null || fail "uncompress failed on $set"
    cmp -s "$raw" "$work/check" || fail "round trip failed on $set"
    for t in 1 2 4; do
        HUFFCODEC_THREADS=$t "$comp" "$raw" "$work/check.$t.huf" 2>/dev/null ||
            fail "compress failed on $set at $t threads"
        HUFFCODEC_THREADS=$t "$un" "$huf" "$work/check.$t" 2>/dev/null ||
            fail "uncompress failed on $set at $t threads"
    done
    cmp -s "$raw" "$work/check.1" || fail "uncompress at 1 thread differs on $set"
    cmp -s "$huf" "$work/check.1.huf" || fail "compress at 1 thread differs from all cores on $set"
    for t in 2 4; do
        cmp -s "$work/check.1" "$work/check.$t" ||
            fail "uncompress at $t threads differs from 1 thread on $set"
        cmp -s "$work/check.1.huf" "$work/check.$t.huf" ||
            fail "compress at $t threads differs from 1 thread on $set"
    done
    for lanes in 1 2 3 4; do
        "$bd" decode "$lanes:0:1" "$huf" "$work/check" || fail "$lanes lanes failed on $set"
        cmp -s "$raw" "$work/check" || fail "$lanes lanes differ on $set"
    done
    "$bd" plain "$huf" "$work/check" || fail "plain path failed on $set"
    cmp -s "$raw" "$work/check" || fail "plain path differs on $set"
    rm -f "$work"/check*

    zstd -q -f "$raw" -o "$work/$set.zst"
    gzip -c "$raw" >"$work/$set.gz"
    cat "$raw" "$huf" "$work/$set.zst" "$work/$set.gz" >/dev/null  # into the page cache

    # Main table.
    medians=$(median_n \
        "- $un $huf /dev/null" \
        "1 $un $huf /dev/null" \
        "- $bd decode 1:0:1 $huf /dev/null" \
        "- $bd decode 2:0:1 $huf /dev/null" \
        "- $bd decode 3:0:1 $huf /dev/null" \
        "- $bd decode 4:0:1 $huf /dev/null")
    read -r t_un t_un1 t_l1 t_l2 t_l3 t_l4 <<<"$medians"
    t_unfile=$(median_n "- $un $huf $work/new.out")
    t_plain=$(median_n "- $bd plain $huf /dev/null")
    t_comp=$(median_n "- $comp $raw /dev/null")
    t_zstd=$(median_n "- zstd -q -d -c $work/$set.zst")
    t_gzip=$(median_n "- gzip -d -c $work/$set.gz")
    t_cat=$(median_n "- cat $raw")
    ratio=$(awk -v a="$size" -v b="$(stat -c %s "$huf")" 'BEGIN {printf "%.3f", a / b}')
    mem="$(peak_kib - "$un" "$huf" /dev/null) / $(peak_kib - "$comp" "$raw" "$work/new.huf")"
    three_two=$(awk -v a="$t_l2" -v b="$t_l3" 'BEGIN {printf "%.2f", a / b}')
    echo "| $set | $ratio | $(mbps "$size" "$t_un") | $(mbps "$size" "$t_un1") | $(mbps "$size" "$t_l1") | $(mbps "$size" "$t_l2") | $(mbps "$size" "$t_l3") | $(mbps "$size" "$t_l4") | $three_two | $(mbps "$size" "$t_unfile") | $(mbps "$size" "$t_plain") | $(mbps "$size" "$t_comp") | $(mbps "$size" "$t_zstd") | $(mbps "$size" "$t_gzip") | $(mbps "$size" "$t_cat") | $mem |"

    # Scaling table, printed after the main one.
    cases=("$un $huf /dev/null" "$un $huf $work/new.out" "$comp $raw /dev/null" "$comp $raw $work/new.huf")
    for r in "${!scale_rows[@]}"; do
        medians=$(median_n "1 ${cases[r]}" "2 ${cases[r]}" "4 ${cases[r]}")
        read -r s1 s2 s4 <<<"$medians"
        scale[r]+=" $(mbps "$size" "$s1") | $(mbps "$size" "$s2") | $(mbps "$size" "$s4") |"
    done
    scale_peak+=" $(peak_kib 1 "$un" "$huf" /dev/null) | $(peak_kib 2 "$un" "$huf" /dev/null) | $(peak_kib 4 "$un" "$huf" /dev/null) |"

    while IFS= read -r line; do
        lane_lines+=("$set, $line")
    done < <("$bd" lanes "$huf")
    rm -f "$work"/new.*
done

echo
echo "Scaling with HUFFCODEC_THREADS (MB/s; last row peak KiB):"
echo
head="| command → destination |"
rule="|---|"
for set in "${sets[@]}"; do
    head+=" $set 1 | $set 2 | $set 4 |"
    rule+="---|---|---|"
done
echo "$head"
echo "$rule"
for r in "${!scale_rows[@]}"; do
    echo "| ${scale_rows[r]} |${scale[r]}"
done
echo "| uncompress peak KiB |$scale_peak"
echo
echo "Lane statistics (huffcodec_bench_decode lanes: default segment size; resync at byte-aligned split points every 4 KiB of body, window 2048 bits):"
printf -- '- %s\n' "${lane_lines[@]}"
