#!/usr/bin/env bash
# Builds Marlune and runs its tests.
#   tools/run-tests.sh            every test of the default run (release build in build/)
#   tools/run-tests.sh --asan     the same under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   tools/run-tests.sh --tsan     the threaded core tests under ThreadSanitizer (build-tsan/)
#   tools/run-tests.sh --slow     also the tests labelled slow
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

mode=release
slow=0
for arg in "$@"; do
    case "$arg" in
        --asan) mode=asan ;;
        --tsan) mode=tsan ;;
        --slow) slow=1 ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

"$top/tools/install-deps.sh"

cmake_args=(-G Ninja -DMARLUNE_BENCH=OFF)
# A compiler cache, when the machine has one, keeps rebuilds of other checkouts short.
if command -v ccache >/dev/null 2>&1; then
    cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$top")}"
fi
ctest_args=(--output-on-failure --timeout 600 -j2)
case "$mode" in
    release) dir=build-tests; cmake_args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan) dir=build-asan; cmake_args+=(-DCMAKE_BUILD_TYPE=Debug -DMARLUNE_ASAN=ON) ;;
    tsan) dir=build-tsan; cmake_args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLUNE_TSAN=ON -DMARLUNE_WITH_UI=OFF)
          ctest_args+=(-L threads) ;;
esac
if [ "$slow" -eq 0 ]; then
    ctest_args+=(-LE slow)
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

cmake -S "$top" -B "$top/$dir" "${cmake_args[@]}"
cmake --build "$top/$dir"
cd "$top/$dir"
ctest "${ctest_args[@]}"
