#!/usr/bin/env bash
# Builds the Debian package of Marlune with CPack (release build in build-deb/) and prints its path.
#   tools/make-deb.sh [OUT_DIR]      the package goes to OUT_DIR (default build-deb/)
# Install it with `apt install ./marlune_<version>_<arch>.deb`; remove it with `apt remove marlune`.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/tools/install-deps.sh"

build="$top/build-deb"
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DMARLUNE_TESTS=OFF -DMARLUNE_BENCH=OFF)
if command -v ccache >/dev/null 2>&1; then
    cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$top")}"
fi
cmake -S "$top" -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build"
out="$(mkdir -p "${1:-$build}" && cd "${1:-$build}" && pwd)"
(cd "$build" && cpack -G DEB -B "$out/cpack" >/dev/null)
deb=$(find "$out/cpack" -maxdepth 1 -name 'marlune_*.deb' | sort | tail -n 1)
[ -n "$deb" ] || { echo "make-deb: cpack made no package" >&2; exit 1; }
mv -f "$deb" "$out/"
rm -rf "$out/cpack"
echo "$out/$(basename "$deb")"
