#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers on)
# and runs each for SECONDS (default 60) from the seed corpus in fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

if [ ! -f build-fuzz/build.ninja ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLUMBRA_FUZZ=ON > /dev/null
fi
cmake --build build-fuzz -j2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in fuzz_text fuzz_names fuzz_links fuzz_json fuzz_article_note fuzz_article_document \
              fuzz_excerpt_diff fuzz_search fuzz_inflate fuzz_opml; do
    # Up to 1 MB, so deep nesting and quadratic cases are reached; the differential target
    # compares against a quadratic reference and stays small.
    max_len=1048576
    [ "$target" = fuzz_excerpt_diff ] && max_len=8192
    mkdir -p "$work/$target"
    # An input that hangs fails within a minute rather than libFuzzer's twenty.
    # New inputs go to the scratch folder; the seeds in the repository stay as they are.
    build-fuzz/fuzz/$target -max_total_time="$seconds" -max_len="$max_len" -timeout=60 \
        -print_final_stats=1 \
        -artifact_prefix="$work/$target-" "$work/$target" "fuzz/corpus/$target" \
        2> "$work/$target.log" || { cat "$work/$target.log"; exit 1; }
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$')
    echo "fuzz: $target ran $runs inputs in ${seconds} s without a failure"
done
