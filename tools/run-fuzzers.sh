#!/usr/bin/env bash
# Builds every libFuzzer target with clang in build-fuzz/ and runs each one for SECONDS seconds.
#   tools/run-fuzzers.sh [SECONDS]     (default 60)
# Every executable in build-fuzz/fuzz/ is run, so targets added by any module are picked up. A
# target named <module>_<what>_fuzzer starts from the seeds in fuzz/corpus/<module>/ (when present);
# what it finds goes to build-fuzz/corpus/<target>/, crashes to build-fuzz/artifacts/.
# Fails when any target finds a crash, a leak, a timeout or an out-of-memory input.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
seconds="${1:-60}"

"$top/tools/install-deps.sh" --with-extras

CC=clang CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMARLUNE_FUZZ=ON -DMARLUNE_WITH_UI=OFF -DMARLUNE_TESTS=OFF -DMARLUNE_BENCH=OFF
cmake --build "$top/build-fuzz" -j2

mkdir -p "$top/build-fuzz/artifacts" "$top/build-fuzz/corpus"
parallel="${MARLUNE_FUZZ_JOBS:-$(nproc)}"
rm -f "$top"/build-fuzz/*.status

# Runs one target; its status file says whether it found something.
run_one() {
    local target="$1" name module corpus
    name="$(basename "$target")"
    module="${name%%_*}"
    corpus="$top/build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    local seeds=()
    if [ -d "$top/fuzz/corpus/$module" ]; then
        seeds=("$top/fuzz/corpus/$module")
    fi
    if "$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$top/build-fuzz/artifacts/$name-" "$corpus" "${seeds[@]}" \
        > "$top/build-fuzz/$name.log" 2>&1; then
        echo ok > "$top/build-fuzz/$name.status"
    else
        echo failed > "$top/build-fuzz/$name.status"
    fi
}

targets=()
for target in "$top"/build-fuzz/fuzz/*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    targets+=("$target")
done
found=${#targets[@]}
# The targets run side by side, as many at a time as there are cores.
running=0
for target in "${targets[@]}"; do
    echo "=== $(basename "$target") for $seconds s"
    run_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait || true

failed=()
for target in "${targets[@]}"; do
    name="$(basename "$target")"
    if [ "$(cat "$top/build-fuzz/$name.status" 2>/dev/null)" != ok ]; then
        echo "!!! $name found a failure; see build-fuzz/$name.log and build-fuzz/artifacts/"
        tail -n 40 "$top/build-fuzz/$name.log"
        failed+=("$name")
    else
        echo "--- $name: $(grep -E '^stat::number_of_executed_units' "$top/build-fuzz/$name.log" || true)"
    fi
done
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets were built" >&2
    exit 1
fi
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz failures: ${failed[*]}" >&2
    exit 1
fi
echo "all $found fuzz targets ran $seconds s without a finding"
