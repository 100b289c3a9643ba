#!/usr/bin/env bash
# Screenshots of browsing for the documentation: runs the real program under Xvfb against the
# sample catalogue served by nginx, clicks through it like a user and saves into docs/:
#   browse-main-window.png   the start: the day's newest games, the first of them in the card
#   browse-info-picture.png  the info screen showing that game's second picture
#   browse-info-text.png     the info screen showing its introduction
#   browse-search.png        a category chosen, then the result of a keyword search
#
#   tools/browse-screenshots.sh [BUILD_DIR]     (default build-tests/; marlune and skin.rcc are built)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build-tests}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
# shellcheck source=tools/e2e-lib.sh
source "$top/tools/e2e-lib.sh"
e2e_build "$build" marlune skin_rcc

out="$build/browse-screenshots"
rm -rf "$out"
mkdir -p "$out/run"
chmod 700 "$out/run"
client_pid=""
cleanup() {
    [ -n "$client_pid" ] && kill -TERM "$client_pid" 2>/dev/null && wait "$client_pid" 2>/dev/null
    stop_pid "$xvfb_pid"
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1 || true
}
trap cleanup EXIT

e2e_server "$build"
cp "$build/bin/marlune" "$build/bin/skin.rcc" "$build/catalogue/client/gamelist.xml" "$out/"
cp -r "$build/catalogue/client/ico" "$build/catalogue/client/pic" "$out/"
e2e_xvfb /dev/null

(cd "$out" && XDG_RUNTIME_DIR="$out/run" MARLUNE_SERVER="$base" exec ./marlune >"$out/marlune.log" 2>&1) &
client_pid=$!
window=$(wait_window "$client_pid" 970 630 Marlune) || { echo "the main window did not appear; see $out/marlune.log" >&2; exit 1; }
sleep 1
read -r x y < <(window_pos "$window")

click() { # click X Y, relative to the window
    xdotool mousemove --sync $((x + $1)) $((y + $2)) click 1
    sleep 0.6
}
shot() { # shot NAME
    xdotool mousemove $((x + 960)) $((y + 300)) # the mouse off every button
    sleep 0.3
    import -window root -crop "970x630+$x+$y" +repage "$out/$1.png"
    cp "$out/$1.png" "$top/docs/$1.png"
    echo "docs/$1.png"
}

shot browse-main-window
click $((164 + 25 + 12)) $((470 + 11)) # picture 2
shot browse-info-picture
click $((555 + 21)) $((470 + 11)) # 简介
shot browse-info-text
click 195 55            # 全部游戏
click 75 150            # its second sub-category
click $((674 + 120)) $((97 + 11)) # the search box
xdotool type --delay 80 "Zuma"
xdotool key Return
sleep 0.8
shot browse-search
