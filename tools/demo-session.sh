#!/usr/bin/env bash
# Opens the client on the sample catalogue: serves the catalogue with nginx on loopback, prepares
# the demo program folder BUILD_DIR/demo/ (marlune, skin.rcc and, on the first run, the sample
# client gamelist.xml with the pictures an installation ships; what you do there is kept between
# runs) and starts the client. Without a
# display it runs under Xvfb, takes a screenshot after start-up, says where it is and closes the
# client. nginx is stopped when the client ends.
#
#   tools/demo-session.sh BUILD_DIR      (tools/run-demo.sh builds first and calls this)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)"
demo="$build/demo"

[ -x "$build/bin/marlune" ] && [ -f "$build/bin/skin.rcc" ] || {
    echo "No marlune in $build/bin: build first (tools/run-demo.sh does)." >&2
    exit 1
}

xvfb_pid=""
client_pid=""
cleanup() {
    if [ -n "$client_pid" ] && kill -0 "$client_pid" 2>/dev/null; then
        kill -TERM "$client_pid" 2>/dev/null || true
        wait "$client_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Serving the sample catalogue (generated on the first run, which takes a few seconds)..."
"$top/tools/catalogue-server.sh" start "$build"
base="$(cat "$build/catalogue-server/base-url")"

mkdir -p "$demo"
cp "$build/bin/marlune" "$build/bin/skin.rcc" "$demo/"
if [ ! -f "$demo/gamelist.xml" ]; then
    cp "$build/catalogue/client/gamelist.xml" "$demo/"
fi
# The pictures an installation ships; those already there (and any fetched since) are kept.
cp -rn "$build/catalogue/client/ico" "$build/catalogue/client/pic" "$demo/"
# Packages come at 64 KB/s in the demo, so that a download can be watched, paused and continued.
export MARLUNE_SERVER="${base}demo/"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the client from $demo (close it from its tray menu, or with the close button"
    echo "when set.xml says <exit>0</exit>)."
    (cd "$demo" && ./marlune) &
    client_pid=$!
    wait "$client_pid" || true
    client_pid=""
    exit 0
fi

# No display: a virtual one, a screenshot, and the client closed again.
# shellcheck source=tools/e2e-lib.sh
source "$top/tools/e2e-lib.sh"
e2e_xvfb /dev/null || { echo "No free X display number for Xvfb." >&2; exit 1; }

echo "No display: running the client under Xvfb on $DISPLAY."
mkdir -p "$demo/run"
chmod 700 "$demo/run"
(cd "$demo" && XDG_RUNTIME_DIR="$demo/run" exec ./marlune >"$build/demo.log" 2>&1) &
client_pid=$!
window=$(wait_window "$client_pid" 970 630 Marlune) || {
    echo "The client's main window did not appear; see $build/demo.log." >&2
    exit 1
}
sleep 1
shot="$build/demo-main-window.png"
read -r x y < <(window_pos "$window")
shoot "$shot" 970 630 "$x" "$y"
echo "Screenshot of the main window: $shot"
kill -TERM "$client_pid"
wait "$client_pid" || true
client_pid=""
echo "Client closed; its state is in $demo (gamelist.xml, DownLog.xml)."
