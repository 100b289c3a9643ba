# Shell helpers of the scripts that drive the real program under Xvfb (tools/run-e2e.sh,
# tools/e2e-day.sh, tools/browse-screenshots.sh, tools/manager-screenshots.sh). Sourced, not run:
#
#   e2e_build BUILD_DIR TARGET...   configures BUILD_DIR (Ninja) when needed and builds the targets
#   e2e_server BUILD_DIR            starts the sample catalogue's nginx; its base address in $base
#   e2e_xvfb LOG                    starts Xvfb (1280 x 800) on a display that it finds free itself;
#                                   sets DISPLAY, xvfb_pid, screen ("1280x800"), screen_w, screen_h
#   check NAME COMMAND...           counts COMMAND's success in passed / failed and prints a line
#
# and the small waits and looks below. Everything waits for an event (a window, a file, a pixel)
# a tenth of a second at a time, never for a fixed time longer than a repaint.

passed=${passed:-0}
failed=${failed:-0}
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

e2e_build() { # e2e_build BUILD_DIR TARGET...
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ] && [ ! -f "$dir/Makefile" ]; then
        cmake -S "$top" -B "$dir" -G Ninja -DMARLUNE_BENCH=OFF >/dev/null || return 1
    fi
    cmake --build "$dir" --target "$@" >/dev/null
}

base=""
e2e_server() { # e2e_server BUILD_DIR
    "$top/tools/catalogue-server.sh" start "$1" >/dev/null || return 1
    base="$(cat "$1/catalogue-server/base-url")"
}

xvfb_pid=""
e2e_xvfb() { # e2e_xvfb LOG
    local number
    # The server takes the first display it can lock and says which: two scripts that looked for
    # a free number at the same moment would both have taken it, and one would talk to the other's.
    number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number" >"$1" 2>&1 &
    xvfb_pid=$!
    wait_for 100 grep -q . "$number"
    DISPLAY=":$(head -n 1 "$number")"
    rm -f "$number"
    [ "$DISPLAY" != ":" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY
    export QT_QPA_PLATFORM=xcb # a real window system, whatever the caller's tests use
    wait_for 100 eval 'xdotool getdisplaygeometry >/dev/null 2>&1' || return 1
    screen=$(xdotool getdisplaygeometry | tr ' ' 'x')
    screen_w=${screen%x*}
    screen_h=${screen#*x}
}

stop_pid() { # stop_pid PID: ends a child of this shell (SIGTERM) and reaps it
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 0
}

wait_for() { # wait_for TENTHS COMMAND...: true once COMMAND succeeds
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}
wait_exit() { # wait_exit PID TENTHS: true when it ended within TENTHS tenths of a second
    local pid=$1
    for _ in $(seq "$2"); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$pid" 2>/dev/null
}
exit_status() { # exit_status PID: the status of an ended child
    wait "$1" 2>/dev/null
    echo $?
}

# wait_window PID WIDTH HEIGHT [NAME]: prints the id of the process's visible window of that size
# (any size when WIDTH is empty; NAME "" also takes windows with an empty WM_NAME, as the tray icon
# and menus have). Searches need --all: by default xdotool takes a window that meets
# any one condition, a window of another process too.
wait_window() {
    local pid=$1 w=$2 h=$3 name=${4-.} id geometry
    for _ in $(seq 300); do
        for id in $(xdotool search --all --onlyvisible --pid "$pid" --name "$name" 2>/dev/null); do
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
visible() { xdotool search --all --onlyvisible --pid "$1" --name . >/dev/null 2>&1; }
window_size() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: //p'; }
window_pos() { xdotool getwindowgeometry "$1" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p'; }
# window_corner WINDOW: where its top left corner is on the screen. xdotool's position is off by the
# frame of a window that a window manager has decorated; xwininfo's is not.
window_corner() { xwininfo -id "$1" | sed -n 's/.*Absolute upper-left [XY]: *\(-*[0-9]*\)/\1/p' | paste -sd' '; }
click_at() { # click_at X Y [BUTTON]: a click at an absolute screen position
    # Held for a moment, as a hand does: a press that asks the window manager to move the window
    # must not be released before the window manager has taken the pointer.
    xdotool mousemove --sync "$1" "$2" mousedown "${3:-1}" sleep 0.08 mouseup "${3:-1}"
    sleep 0.3
}
shoot() { # shoot FILE WIDTH HEIGHT LEFT TOP: that part of the screen into FILE (PNG)
    import -window root -crop "$2x$3+$4+$5" +repage "$1" 2>/dev/null
}

equal() { [ "$1" = "$2" ]; }
absent() { [ ! -e "$1" ]; }
same_file() { cmp -s "$1" "$2"; }
