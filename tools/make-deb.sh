#!/usr/bin/env bash
# Builds the Debian package of Marlune with CPack and prints its path.
#   tools/make-deb.sh                a release build in build-deb/, the package beside it
#   tools/make-deb.sh BUILD_DIR      the package of an existing build folder (built first as it is
#                                    configured; CI packs its test build this way)
# Install it with `sudo apt install ./marlune_<version>_<arch>.deb`, remove it with
# `sudo apt remove marlune`. The package installs below /usr whatever the build's install prefix.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/tools/install-deps.sh"

if [ $# -ge 1 ]; then
    build="$(cd "$1" && pwd)"
else
    build="$top/build-deb"
    cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DMARLUNE_TESTS=OFF -DMARLUNE_BENCH=OFF)
    if command -v ccache >/dev/null 2>&1; then
        cmake_args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
        export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$top")}"
    fi
    cmake -S "$top" -B "$build" "${cmake_args[@]}" >/dev/null
fi
cmake --build "$build" --target marlune skin_rcc marlune_bundle >&2
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >&2)
deb=$(find "$build/cpack" -maxdepth 1 -name 'marlune_*.deb' | sort | tail -n 1)
[ -n "$deb" ] || { echo "make-deb: cpack made no package" >&2; exit 1; }
mv -f "$deb" "$build/"
rm -rf "$build/cpack"
echo "$build/$(basename "$deb")"
