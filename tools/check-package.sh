#!/usr/bin/env bash
# Checks the Debian package as a user's machine would take it, without a container:
#   - builds it (tools/make-deb.sh) and validates its launcher and AppStream metainfo;
#   - installs it with dpkg into a throw-away root (its own dpkg database);
#   - starts the program from the launcher's menu entry (gio launch) under Xvfb with openbox, as a
#     new user against the sample catalogue server: its main window must show, its files must go
#     to ~/.local/share/marlune/ (seeded from the installation) and nothing into the installation;
#   - closes it with the window manager's close (Alt+F4) and checks that it ended cleanly;
#   - purges the package and checks that nothing of it is left in the root.
#
#   tools/check-package.sh [BUILD_DIR]   the package of that build folder (tools/make-deb.sh
#                                        BUILD_DIR); by default a release build in build-deb/
# Screenshots and logs go to BUILD_DIR/package-check/. Ends with "package: N passed, N failed".
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/tools/install-deps.sh" || exit 1
deb=$("$top/tools/make-deb.sh" "$@" | tail -n 1) || { echo "package: building the package failed"; exit 1; }
build="$(dirname "$deb")"
out="$build/package-check"
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d /tmp/marlune-package.XXXXXX)
root="$work/root"
home="$work/home"

# shellcheck source=tools/e2e-lib.sh
source "$top/tools/e2e-lib.sh"

wm_pid=""
program_pid=""
cleanup() {
    # The program is not a child of this shell (the launcher started it): end it by its id.
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill -KILL "$program_pid" 2>/dev/null
    fi
    for p in "$wm_pid" "$xvfb_pid"; do
        if [ -n "$p" ]; then
            kill "$p" 2>/dev/null
            wait "$p" 2>/dev/null
        fi
    done
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

echo "package: $deb"
check "the package names its program and the font it needs" \
    eval 'dpkg-deb -f "$deb" Depends | grep -q "fonts-wqy-microhei" && dpkg-deb -f "$deb" Package | grep -qx marlune'

# --- install into a throw-away root ---
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers" "$home"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# Its dependencies are this machine's libraries: the root's own database does not list them.
check "dpkg installs the package into the root" \
    eval 'dpkg --root="$root" --force-depends --force-not-root -i "$deb" >"$out/dpkg-install.log" 2>&1'
launcher=$(find "$root/usr/share/applications" -name '*.desktop' 2>/dev/null | head -n 1)
metainfo=$(find "$root/usr/share/metainfo" -name '*.metainfo.xml' 2>/dev/null | head -n 1)
check "the launcher is valid (desktop-file-validate)" desktop-file-validate "$launcher"
check "the metainfo is valid (appstreamcli validate)" \
    eval 'appstreamcli validate --no-net "$metainfo" >"$out/appstream.log" 2>&1'
check "the metainfo names the launcher" grep -q "<launchable type=\"desktop-id\">$(basename "$launcher")<" "$metainfo"
icons_ok() {
    local size icon
    for size in 16 22 24 32 48 64 128 256; do
        icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/$(sed -n 's/^Icon=//p' "$launcher").png"
        [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}" ] || return 1
    done
}
check "the launcher's icon is there in every size from 16 to 256" icons_ok
check "the skin and the bundled catalogue are installed" \
    test -f "$root/usr/share/marlune/skin.rcc" -a -f "$root/usr/share/marlune/gamelist.xml"
check "nothing is installed outside /usr" eval '! find "$root" -mindepth 1 -maxdepth 1 ! -name usr ! -name var | grep . >/dev/null'
find "$root" -mindepth 1 ! -path "$root/var/lib/dpkg*" | sort >"$out/installed-files.txt"

# --- a user's first start from the menu entry ---
"$top/tools/catalogue-server.sh" start "$build" >/dev/null || { echo "package: cannot start nginx"; exit 1; }
base="$(cat "$build/catalogue-server/base-url")"
e2e_xvfb "$out/xvfb.log" || { echo "package: cannot start Xvfb"; exit 1; }
display=$DISPLAY
mkdir -p "$home/run"
chmod 700 "$home/run"
# A new user's session: nothing but the root's programs on the path.
session=(env -i "DISPLAY=$display" "HOME=$home" "XDG_RUNTIME_DIR=$home/run" "PATH=$root/usr/bin:/usr/bin:/bin"
    "XDG_DATA_DIRS=$root/usr/share:/usr/share" "LANG=C.UTF-8" "MARLUNE_SERVER=$base")
"${session[@]}" openbox >"$out/openbox.log" 2>&1 &
wm_pid=$!
wait_for 50 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
marker="$work/before-start"
touch "$marker"
check "the menu entry starts (gio launch)" eval '"${session[@]}" gio launch "$launcher" >"$out/launch.log" 2>&1'
window=""
find_window() {
    local id
    for id in $(xdotool search --all --onlyvisible --name '^Marlune$' 2>/dev/null); do
        if [ "$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: //p')" = "970x630" ]; then
            window=$id
            return 0
        fi
    done
    return 1
}
check "its main window shows" wait_for 300 find_window
if [ -n "$window" ]; then
    program_pid=$(xdotool getwindowpid "$window" 2>/dev/null)
    check "it is the installed program" equal "$(readlink "/proc/$program_pid/exe")" "$root/usr/bin/marlune"
    sleep 1
    read -r x y < <(xdotool getwindowgeometry "$window" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
    import -window root -crop "970x630+$x+$y" +repage "$out/main-window.png" 2>/dev/null
    check "screenshot of the main window" test -s "$out/main-window.png"
    # The window manager's close: with no tray to hide to, the program ends.
    xdotool windowactivate --sync "$window" 2>/dev/null
    xdotool key --window "$window" alt+F4
    check "Alt+F4 ends the program within 5 s" wait_for 50 eval '! kill -0 "$program_pid" 2>/dev/null'
fi
data="$home/.local/share/marlune"
check "its files are in ~/.local/share/marlune" test -f "$data/gamelist.xml" -a -f "$data/installdate"
check "the exit update wrote the catalogue" grep -q '<laststate>' "$data/gamelist.xml"
check "its folders were made" test -d "$data/ico" -a -d "$data/pic" -a -d "$data/download" -a -d "$data/game"
check "the shipped pictures were copied" test -n "$(find "$data/pic" -name '*.jpg' | head -n 1)"
check "the day's list was fetched from the server" grep -q 'GET /file/cls/' "$build/catalogue-server/access.log"
check "nothing was written into the installation" \
    eval '! find "$root" -newer "$marker" ! -path "$root/var/lib/dpkg*" | grep . >/dev/null'
if [ -n "$wm_pid" ]; then
    kill "$wm_pid" 2>/dev/null
    wait "$wm_pid" 2>/dev/null
    wm_pid=""
fi

# --- removal ---
check "dpkg purges the package" eval 'dpkg --root="$root" --force-not-root -P marlune >"$out/dpkg-purge.log" 2>&1'
check "nothing of it is left in the root" eval '! find "$root" -mindepth 1 ! -path "$root/var*" | grep . >/dev/null'
check "the user's files stay" test -f "$data/gamelist.xml"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
