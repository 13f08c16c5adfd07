#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Compares two builds of the commands on the same data, alternating their runs
# so that both see the same machine load, and prints median MB/s (of
# uncompressed data, whole process) and the ratio new / old for each case:
# uncompress to /dev/null and to a new file, compress to /dev/null, with both
# builds at 1 thread (HUFFCODEC_THREADS=1) and at their default.
#
#   bench/compare_builds.sh OLD_BUILD NEW_BUILD DATA_DIR [RUNS]
#
# OLD_BUILD and NEW_BUILD are build directories (holding uncompress/ and
# compress/); DATA_DIR holds NAME.raw files, which are compressed with the old
# build first. Outputs are checked against the old build's.
set -euo pipefail
old=$1
new=$2
data=$3
runs=${4:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset HUFFCODEC_THREADS

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# Runs each "THREADS COMMAND ARGS..." string (THREADS "-" leaves the variable
# unset) once per repetition, in turn; prints each one's median microseconds.
alternate() {
    local -a times=()
    local i
    for _ in $(seq "$runs"); do
        i=0
        for entry in "$@"; do
            read -r threads cmd <<<"$entry"
            rm -f "$work/out"
            local start end
            # Read in this shell: a $(...) around it would fork and time the fork.
            start=${EPOCHREALTIME/[.,]/}
            if [ "$threads" = - ]; then
                $cmd >/dev/null 2>&1
            else
                HUFFCODEC_THREADS=$threads $cmd >/dev/null 2>&1
            fi
            end=${EPOCHREALTIME/[.,]/}
            times[i]="${times[i]:-} $((end - start))"
            i=$((i + 1))
        done
    done
    for t in "${times[@]}"; do
        tr ' ' '\n' <<<"$t" | grep -v '^$' | median
    done
}

mbps() { awk -v b="$1" -v us="$2" 'BEGIN {printf "%.0f", b / us}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "Old: $old, new: $new; median of $runs alternated runs, MB/s of uncompressed data"
echo
echo "| data | case | old, 1 thread | new, 1 thread | ratio | old, default | new, default | ratio |"
echo "|---|---|---|---|---|---|---|---|"
for raw in "$data"/*.raw; do
    set_name=$(basename "$raw" .raw)
    size=$(stat -L -c %s "$raw")
    huf="$work/$set_name.huf"
    "$old/compress/compress" "$raw" "$huf" 2>/dev/null
    for threads in 1 2 4; do
        HUFFCODEC_THREADS=$threads "$new/compress/compress" "$raw" "$work/check" 2>/dev/null
        cmp -s "$huf" "$work/check" || { echo "compress output differs on $set_name" >&2; exit 1; }
        HUFFCODEC_THREADS=$threads "$new/uncompress/uncompress" "$huf" "$work/check" 2>/dev/null
        cmp -s "$raw" "$work/check" || { echo "uncompress output differs on $set_name" >&2; exit 1; }
    done
    cat "$raw" "$huf" >/dev/null
    # The checks above left dirty pages; written back during the timed runs,
    # they would take a core from some of them.
    sync
    for case in "uncompress /dev/null" "uncompress file" "compress /dev/null"; do
        read -r command dest <<<"$case"
        input=$huf
        [ "$command" = compress ] && input=$raw
        target=/dev/null
        [ "$dest" = file ] && target=$work/out
        mapfile -t t < <(alternate "1 $old/$command/$command $input $target" \
            "1 $new/$command/$command $input $target" "- $old/$command/$command $input $target" \
            "- $new/$command/$command $input $target")
        echo "| $set_name | $command → $dest | $(mbps "$size" "${t[0]}") | $(mbps "$size" "${t[1]}") |" \
            "$(ratio "${t[0]}" "${t[1]}") | $(mbps "$size" "${t[2]}") | $(mbps "$size" "${t[3]}") |" \
            "$(ratio "${t[2]}" "${t[3]}") |"
    done
done
