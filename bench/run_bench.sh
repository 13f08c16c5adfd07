#!/usr/bin/env bash
# End-to-end benchmark: builds the release preset, makes data sets from files
# on this machine and from a seeded generator, and prints one Markdown table
# of throughput (MB/s of uncompressed data, whole process, median of RUNS
# runs, input in the page cache, output to /dev/null unless said otherwise)
# and peak memory, then the two-lane statistics of each data set.
#
#   bench/run_bench.sh [SIZE_MB] [RUNS]     defaults: 40 MB, 5 runs
#
# Columns: uncompress (two lanes) and the single chain of lookups (bench-only,
# through bench_decode; the two run alternately) with the speed-up, uncompress
# writing a file, the plain tree walk (bench-only), compress (to /dev/null),
# zstd -d and gzip -d of the same data, cat of the data set as the input
# ceiling, compression ratio, and peak resident memory of uncompress and
# compress from /usr/bin/time -v.
set -euo pipefail
lanes=()
cd "$(dirname "$0")/.."
size_mb=${1:-40}
runs=${2:-5}
bytes=$((size_mb * 1000 * 1000))

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=build/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Data sets. Files are taken in sorted order, so a machine gives the same
# bytes every time.
take() { head -c "$bytes" >"$work/$1.raw"; }
{ find /usr/share/man -name '*.gz' -print0 | sort -z | xargs -0 zcat 2>/dev/null
  find /usr/share/doc /usr/include -type f \( -name '*.h' -o -name '*.txt' -o -name 'README*' \) \
      -print0 | sort -z | xargs -0 cat 2>/dev/null; } | take text || true
{ find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size +100k -print0 | sort -z |
      xargs -0 cat 2>/dev/null; } | take exec || true
"$bin/bench/bench_data" random "$bytes" >"$work/random.raw"
"$bin/bench/bench_data" skewed "$bytes" >"$work/skewed.raw"

# Median wall time in seconds of running "$@" $runs times.
median() {
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.4f", a[int((NR+1)/2)]/1e6}'
}
# Medians of two commands run alternately $runs times each, so that both see
# the same load: prints "secondsA secondsB". The commands are given as two
# strings.
median_pair() {
    local a=() b=()
    for _ in $(seq "$runs"); do
        local start mid end
        start=$(date +%s%N)
        $1 >/dev/null 2>&1
        mid=$(date +%s%N)
        $2 >/dev/null 2>&1
        end=$(date +%s%N)
        a+=($(((mid - start) / 1000)))
        b+=($(((end - mid) / 1000)))
    done
    local ma mb
    ma=$(printf '%s\n' "${a[@]}" | sort -n | awk '{v[NR]=$1} END {printf "%.4f", v[int((NR+1)/2)]/1e6}')
    mb=$(printf '%s\n' "${b[@]}" | sort -n | awk '{v[NR]=$1} END {printf "%.4f", v[int((NR+1)/2)]/1e6}')
    echo "$ma $mb"
}
mbps() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.0f", b / s / 1e6}'; }
peak_kib() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }

echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)"
echo "Data: $size_mb MB per set, median of $runs runs, MB/s of uncompressed data"
echo
echo "| data | ratio | uncompress | single chain | two lanes / one | to a file | plain path | compress | zstd -d | gzip -d | cat | peak KiB (uncompress / compress) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
for set in text exec random skewed; do
    raw="$work/$set.raw"
    huf="$work/$set.huf"
    size=$(stat -c %s "$raw")
    "$bin/compress/compress" "$raw" "$huf" 2>/dev/null
    zstd -q -f "$raw" -o "$work/$set.zst"
    gzip -c "$raw" >"$work/$set.gz"
    cat "$huf" "$work/$set.zst" "$work/$set.gz" >/dev/null  # into the page cache
    "$bin/uncompress/uncompress" "$huf" "$work/check" 2>/dev/null
    cmp -s "$raw" "$work/check" || { echo "round trip failed on $set" >&2; exit 1; }
    "$bin/bench/bench_decode" one "$huf" "$work/check"
    cmp -s "$raw" "$work/check" || { echo "single chain differs on $set" >&2; exit 1; }
    # Alternated, so that both decoders see the same machine load.
    read -r t_un t_one < <(median_pair "$bin/uncompress/uncompress $huf /dev/null" \
        "$bin/bench/bench_decode one $huf /dev/null")
    t_unfile=$(median "$bin/uncompress/uncompress" "$huf" "$work/out")
    t_plain=$(median "$bin/bench/bench_decode" plain "$huf" /dev/null)
    t_comp=$(median "$bin/compress/compress" "$raw" /dev/null)
    t_zstd=$(median zstd -q -d -c "$work/$set.zst")
    t_gzip=$(median gzip -d -c "$work/$set.gz")
    t_cat=$(median cat "$raw")
    ratio=$(awk -v a="$size" -v b="$(stat -c %s "$huf")" 'BEGIN {printf "%.3f", a / b}')
    mem="$(peak_kib "$bin/uncompress/uncompress" "$huf" /dev/null) / $(peak_kib "$bin/compress/compress" "$raw" "$work/out.huf")"
    gain=$(awk -v a="$t_one" -v b="$t_un" 'BEGIN {printf "%.2f", a / b}')
    echo "| $set | $ratio | $(mbps "$size" "$t_un") | $(mbps "$size" "$t_one") | $gain | $(mbps "$size" "$t_unfile") | $(mbps "$size" "$t_plain") | $(mbps "$size" "$t_comp") | $(mbps "$size" "$t_zstd") | $(mbps "$size" "$t_gzip") | $(mbps "$size" "$t_cat") | $mem |"
    lanes[${#lanes[@]}]="$set: $("$bin/bench/bench_decode" lanes "$huf" | tr '\n' ' ')"
done
echo
echo "Two lanes (segments of 64 KiB of body, lane B's window 2048 bits):"
printf -- '- %s\n' "${lanes[@]}"
