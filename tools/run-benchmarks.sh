#!/usr/bin/env bash
# Builds every benchmark (release build in build-bench/) with the data they generate and runs each.
#   tools/run-benchmarks.sh [benchmark arguments...]     e.g. --benchmark_filter=load
# Every executable named *_bench under build-bench/bench/ is run with the given arguments.
# Data targets named *_bench_data (such as markup_bench_data, the gamelist files of 4,150 and
# 100,000 games) are built first; they stay out of normal builds. The UI is built too, for the
# start-up benchmark (app_bench, a script that runs the real program offscreen).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/tools/install-deps.sh" --with-extras
cmake -S "$top" -B "$top/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARLUNE_BENCH=ON \
    -DMARLUNE_TESTS=OFF
cmake --build "$top/build-bench" -j2
data_targets=$(cmake --build "$top/build-bench" --target help | sed -n 's/^\([A-Za-z0-9_]*_bench_data\):.*/\1/p')
if [ -n "$data_targets" ]; then
    # shellcheck disable=SC2086
    cmake --build "$top/build-bench" -j2 --target $data_targets
fi
status=0
while IFS= read -r bench; do
    echo "=== $(basename "$bench")"
    "$bench" "$@" || status=1
done < <(find "$top/build-bench/bench" -type f -name '*_bench' -perm -u+x | sort)
exit $status
