#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the fuzz preset, generates the seed corpora, and runs every fuzz
# target for SECONDS each (default 60), one after another, seeded also with
# the past findings kept in fuzz/regressions/<target>/. A finding stops
# the script with a non-zero status; libFuzzer prints the input (also as
# Base64) and leaves it as build/fuzz/findings/<target>/crash-* . A TARGET is
# a fuzzer's name (fuzz_decode); its program is build/fuzz/fuzz/huffcodec_<target>.
#
#   fuzz/run_fuzzers.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_decode fuzz_roundtrip fuzz_tree fuzz_hdf5_filter)

# ASan keeps the call stack of every allocation, and with the targets' stacks
# of every depth that store grows without bound: fuzz_tree's by about 250 MB a
# minute, fuzz_decode's by about 20 MB a minute (105 to 317 MB in 10 minutes; 72 to 98
# MB with none kept), until a long run reports a false out-of-memory. So none
# are kept; replay a finding without malloc_context_size=0 to see where its
# memory was allocated.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64:detect_leaks=1:malloc_context_size=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
out=build/fuzz
rm -rf "$out/seeds"
"$out/fuzz/huffcodec_make_corpus" "$out/seeds"
for target in "${targets[@]}"; do
    seeds="$out/seeds/${target#fuzz_}"
    [ -d "$seeds" ] || seeds="$out/seeds/decode"  # the HDF5 filter reads stored files too
    corpus="$out/corpus/$target"
    findings="$out/findings/$target"
    mkdir -p "$corpus" "$findings"
    echo "== $target for ${seconds}s (seeds: $(ls "$seeds" | wc -l))"
    "$out/fuzz/huffcodec_$target" "$corpus" "$seeds" "fuzz/regressions/$target" \
        -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
        -max_len=4096 -timeout=10 -rss_limit_mb=2048 2>&1 |
        grep -v -E '^#[0-9]+\s+(NEW|REDUCE|pulse)|NEW_FUNC|^"|dictionary' || {
        echo "$target found a failure; the inputs, in Base64:"
        for finding in "$findings"/*; do
            echo "--- $finding"
            base64 -w 76 "$finding"
        done
        exit 1
    }
done
