#!/usr/bin/env bash
# Builds the benchmarks (release build in build-bench/) with their generated data and runs them.
#   tools/run-benchmarks.sh [benchmark arguments...]     e.g. --benchmark_filter=load
# The markup benchmark reads gamelist files of 4,150 and 100,000 games (generated into
# build-bench/bench/markup/) with MarkupDoc, pugixml, tinyxml2 and libxml2 and prints a table of
# MB/s and of every library's time relative to MarkupDoc.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/tools/install-deps.sh" --with-extras
cmake -S "$top" -B "$top/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARLUNE_BENCH=ON \
    -DMARLUNE_TESTS=OFF -DMARLUNE_WITH_UI=OFF
targets=(markup_bench markup_bench_data)
cmake --build "$top/build-bench" -j2 --target "${targets[@]}"
"$top/build-bench/bench/markup/markup_bench" "$@"
