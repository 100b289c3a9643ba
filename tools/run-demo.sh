#!/usr/bin/env bash
# Builds Marlune and opens the client on its bundled sample catalogue, served by nginx on loopback.
# Without a display it runs under Xvfb and saves a screenshot (tools/demo-session.sh says where).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/tools/install-deps.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLUNE_BENCH=OFF -DMARLUNE_TESTS=OFF
cmake --build "$top/build"
exec "$top/tools/demo-session.sh" "$top/build"
