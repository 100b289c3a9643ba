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
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DMARLUNE_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target marlune skin_rcc >/dev/null

out="$build/browse-screenshots"
rm -rf "$out"
mkdir -p "$out/run"
chmod 700 "$out/run"
xvfb_pid=""
client_pid=""
cleanup() {
    [ -n "$client_pid" ] && kill -TERM "$client_pid" 2>/dev/null && wait "$client_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1 || true
}
trap cleanup EXIT

"$top/tools/catalogue-server.sh" start "$build" >/dev/null
base="$(cat "$build/catalogue-server/base-url")"
cp "$build/bin/marlune" "$build/bin/skin.rcc" "$build/catalogue/client/gamelist.xml" "$out/"
cp -r "$build/catalogue/client/ico" "$build/catalogue/client/pic" "$out/"

display=""
for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || { echo "no free display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done

(cd "$out" && XDG_RUNTIME_DIR="$out/run" MARLUNE_SERVER="$base" exec ./marlune >"$out/marlune.log" 2>&1) &
client_pid=$!
window=""
for _ in $(seq 300); do
    for id in $(xdotool search --onlyvisible --pid "$client_pid" --name 'Marlune' 2>/dev/null); do
        if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q 'Geometry: 970x630'; then
            window=$id
        fi
    done
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the main window did not appear; see $out/marlune.log" >&2; exit 1; }
sleep 1
read -r x y < <(xdotool getwindowgeometry "$window" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')

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
