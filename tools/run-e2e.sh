#!/usr/bin/env bash
# End-to-end: the real marlune executable under Xvfb against the sample catalogue served by nginx.
#
#   tools/run-e2e.sh [BUILD_DIR]     (default: build-tests/, the test build; configured and built when needed)
#
# Each run copies marlune, skin.rcc and the sample client gamelist.xml into a fresh program folder,
# starts the program, waits for its main window, drives it with real mouse clicks, takes a
# screenshot (BUILD_DIR/e2e/), sends the external close request and checks the files left behind.
# Run 1 closes it with SIGTERM; run 2 with a "close" line on the local socket, after a second copy
# was refused. Ends with the line "e2e: N passed, N failed".
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build-tests}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DMARLUNE_BENCH=OFF >/dev/null || exit 1
fi
cmake --build "$build" --target marlune skin_rcc >/dev/null || { echo "e2e: build failed"; exit 1; }

out="$build/e2e"
rm -rf "$out"
mkdir -p "$out"
passed=0
failed=0
check() { # check NAME COMMAND...
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "  ok    $name"
    else
        failed=$((failed + 1))
        echo "  FAIL  $name"
    fi
}

xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1
}
trap cleanup EXIT

"$top/tools/catalogue-server.sh" start "$build" >/dev/null || { echo "e2e: cannot start nginx"; exit 1; }
base="$(cat "$build/catalogue-server/base-url")"

# A free display number: no lock file and no socket.
display=""
for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || { echo "e2e: no free display"; exit 1; }
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done

# wait_window PID WIDTH HEIGHT: prints the id of the process's visible window of that size.
wait_window() {
    local pid=$1 w=$2 h=$3 id geometry
    for _ in $(seq 300); do
        for id in $(xdotool search --onlyvisible --pid "$pid" --name 'Marlune' 2>/dev/null); do
            geometry=$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: //p')
            if [ -z "$w" ] || [ "$geometry" = "${w}x${h}" ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}
window_size() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: //p'; }
window_pos() { xdotool getwindowgeometry "$1" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p'; }
click_at() { # absolute screen position
    xdotool mousemove --sync "$1" "$2" click 1
    sleep 0.3
}
wait_exit() { # wait_exit PID SECONDS: true when it ended
    local pid=$1
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
prepare_folder() { # prepare_folder DIR
    mkdir -p "$1/run"
    chmod 700 "$1/run"
    cp "$build/bin/marlune" "$build/bin/skin.rcc" "$build/catalogue/client/gamelist.xml" "$1/"
    cp -r "$build/catalogue/client/ico" "$build/catalogue/client/pic" "$1/"
}
started=""
start_program() { # start_program DIR LOG: the pid in $started (a child of this shell, so wait works)
    (cd "$1" && XDG_RUNTIME_DIR="$1/run" MARLUNE_SERVER="$base" exec ./marlune >"$2" 2>&1) &
    started=$!
}
has_laststate() { grep -q '<laststate>' "$1/gamelist.xml"; }
has_downlog() { [ -f "$1/DownLog.xml" ] && grep -q 'downlog' "$1/DownLog.xml"; }
same_file() { cmp -s "$1" "$2"; }
absent() { [ ! -e "$1" ]; }
equal() { [ "$1" = "$2" ]; }

# --- run 1: window buttons with real clicks, screenshot, SIGTERM ---
echo "run 1: SIGTERM"
prog1="$out/run1"
prepare_folder "$prog1"
start_program "$prog1" "$out/run1.log"
pid=$started
wid=$(wait_window "$pid" 970 630)
check "main window opens at 970x630" test -n "$wid"
if [ -n "$wid" ]; then
    sleep 0.5
    read -r x y < <(window_pos "$wid")
    import -window root -crop "970x630+$x+$y" +repage "$out/main-window.png" 2>/dev/null
    check "screenshot taken" test -s "$out/main-window.png"
    screen=$(xdotool getdisplaygeometry | tr ' ' 'x')
    click_at $((x + 970 - 73 + 9)) $((y + 9))          # maximise
    check "maximise fills the screen" equal "$(window_size "$wid")" "$screen"
    read -r mx my < <(window_pos "$wid")
    click_at $((mx + ${screen%x*} - 73 + 9)) $((my + 9)) # restore, where maximise was
    check "restore goes back to 970x630" equal "$(window_size "$wid")" "970x630"
    check "restore goes back to its place" equal "$(window_pos "$wid")" "$x $y"
fi
kill -TERM "$pid" 2>/dev/null
check "SIGTERM ends the program" wait_exit "$pid" 20
wait "$pid" 2>/dev/null
status=$?
check "exit status 0" equal "$status" "0"
check "gamelist.xml has laststate elements" has_laststate "$prog1"
check "DownLog.xml written" has_downlog "$prog1"
check "set.xml not written" absent "$prog1/set.xml"
check "subfolders made" test -d "$prog1/ico" -a -d "$prog1/pic" -a -d "$prog1/download" -a -d "$prog1/game"
check "close socket removed" absent "$prog1/run/marlune.sock"

# --- run 2: a refused second copy, then the close line on the socket ---
echo "run 2: a second copy, then the close line"
prog2="$out/run2"
prepare_folder "$prog2"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<set><exit>0</exit><maxnum>3</maxnum></set>\n' >"$prog2/set.xml"
cp "$prog2/set.xml" "$out/set.xml.before"
start_program "$prog2" "$out/run2.log"
pid=$started
wid=$(wait_window "$pid" 970 630)
check "main window opens" test -n "$wid"
cp "$prog2/gamelist.xml" "$out/gamelist.xml.running"
start_program "$prog2" "$out/run2-second.log"
second=$started
box=$(wait_window "$second" "" "")
check "second copy shows its message box" test -n "$box"
if [ -n "$box" ]; then
    import -window root "$out/second-copy.png" 2>/dev/null
fi
check "second copy keeps running until the box is answered" kill -0 "$second"
kill -TERM "$second" 2>/dev/null
wait "$second" 2>/dev/null
check "second copy touched no file" same_file "$prog2/gamelist.xml" "$out/gamelist.xml.running"
check "first copy still runs" kill -0 "$pid"
reply=$(python3 - "$prog2/run/marlune.sock" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.settimeout(5)
s.connect(sys.argv[1])
s.sendall(b"close\n")
print(s.recv(16).decode().strip())
PY
)
check "the socket answers ok" equal "$reply" "ok"
check "the close line ends the program" wait_exit "$pid" 20
wait "$pid" 2>/dev/null
status=$?
check "exit status 0" equal "$status" "0"
check "gamelist.xml has laststate elements" has_laststate "$prog2"
check "DownLog.xml written" has_downlog "$prog2"
check "set.xml untouched" same_file "$prog2/set.xml" "$out/set.xml.before"

echo "screenshots: $out/main-window.png $out/second-copy.png"
echo "e2e: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
