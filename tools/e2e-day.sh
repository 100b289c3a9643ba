#!/usr/bin/env bash
# A user's whole day with Marlune, end to end: the real program under Xvfb with a real window
# manager (openbox) and a real tray (trayer), against the sample catalogue served by nginx (its
# packages at 32 or 64 KB/s), driven only by mouse clicks and key presses at the places the program
# draws. The day:
#   start and the splash; browse two categories and turn a page; search a keyword; a game's card
#   and its pictures; three downloads at once, one paused on its card and continued in the
#   manager, where the tray's 退出 only warns; the window closed to the tray and brought back by a double click on the icon; quit
#   from the tray while two run; start again: they wait paused (resuming off);
#   continue them, turn resuming on, quit, start again: they go on by themselves; play the game
#   that finished (it leaves its trace), move it to the recycle bin and back, delete another for
#   good (it goes to the Trash); change every setting, restart, find them kept; a second start
#   refused while the first runs; the close button, no longer hiding to the tray, ends the day.
# After every step it checks what a user would (the window's pixels, the files of the program
# folder, the server's access log) and keeps a screenshot: BUILD_DIR/e2e/day/NN-name.png, the
# tour that tools/update-screenshots.sh copies into docs/tour/.
#
#   tools/e2e-day.sh [BUILD_DIR]     (default build-tests/; marlune and skin.rcc are built)
#
# Ends with the line "day: N passed, N failed".
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build-tests}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
# shellcheck source=tools/e2e-lib.sh
source "$top/tools/e2e-lib.sh"
e2e_build "$build" marlune skin_rcc || { echo "day: build failed"; exit 1; }

out="$build/e2e/day"
rm -rf "$out"
mkdir -p "$out"
prog="$out/program"  # the program folder: marlune, skin.rcc and what it keeps
home="$out/home"     # the user's XDG folders: the Trash, the autostart entry
mkdir -p "$prog" "$home/run" "$home/data" "$home/config"
chmod 700 "$home/run"
cp "$build/bin/marlune" "$build/bin/skin.rcc" "$build/catalogue/client/gamelist.xml" "$prog/"
cp -r "$build/catalogue/client/ico" "$build/catalogue/client/pic" "$prog/"

pid=""
second=""
wm_pid=""
tray_pid=""
cleanup() {
    local p
    for p in "$pid" "$second"; do # a copy that a failed check left running
        if [ -n "$p" ] && kill -0 "$p" 2>/dev/null; then
            kill -KILL "$p" 2>/dev/null
            wait "$p" 2>/dev/null
        fi
    done
    stop_pid "$tray_pid"
    stop_pid "$wm_pid"
    stop_pid "$xvfb_pid"
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1
}
trap cleanup EXIT

e2e_server "$build" || { echo "day: cannot start nginx"; exit 1; }
log="$build/catalogue-server/access.log"
touch "$log"
e2e_xvfb "$out/xvfb.log" || { echo "day: cannot start Xvfb"; exit 1; }
# No session bus: the tray is the desktop's X11 one, trayer's.
unset DBUS_SESSION_BUS_ADDRESS
openbox --sm-disable >"$out/openbox.log" 2>&1 &
wm_pid=$!
wait_for 50 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' \
    || { echo "day: openbox did not start"; exit 1; }
trayer --edge top --align right --widthtype request --height 24 --expand false --transparent false \
    --SetDockType true --SetPartialStrut true >"$out/trayer.log" 2>&1 &
tray_pid=$!
wait_for 50 eval 'xprop -root _NET_SYSTEM_TRAY_S0 >/dev/null 2>&1 && xdotool search --all --onlyvisible --class trayer >/dev/null 2>&1' \
    || { echo "day: trayer did not start"; exit 1; }

# --- what the script looks at ---
wid=""
x=0
y=0
start() { # start SERVER_PATH: the program, its pid in $pid; waits for its main window
    (cd "$prog" && XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
        MARLUNE_SERVER="$base$1" exec ./marlune >>"$out/marlune.log" 2>&1) &
    pid=$!
}
main_window() { # waits for the main window; its place in $x $y
    wid=$(wait_window "$pid" 970 630 Marlune) || return 1
    read -r x y < <(window_pos "$wid")
    sleep 0.5 # its first paint
}
at() { # at X Y: a click on the main window
    click_at $((x + $1)) $((y + $2))
}
shot() { # shot NAME [LEFT TOP WIDTH HEIGHT]: a picture of the tour (the main window by default)
    xdotool mousemove $((x + 5)) $((y + 625)) # the mouse off every button
    sleep 0.3
    shoot "$out/$1.png" "${4:-970}" "${5:-630}" "${2:-$x}" "${3:-$y}"
}
area() { # area FILE LEFT TOP WIDTH HEIGHT: a part of the main window
    shoot "$1" "$4" "$5" $((x + $2)) $((y + $3))
}
differ() { # differ A B: the two pictures differ in more than a few pixels
    local n
    n=$(compare -metric AE "$1" "$2" null: 2>&1)
    [ "${n%%.*}" -gt 40 ] 2>/dev/null
}
changed() { area "$out/now.png" "${@:2}" && differ "$1" "$out/now.png"; }
changes() { wait_for 30 changed "$@"; } # changes FILE LEFT TOP WIDTH HEIGHT: until that part of the window differs from FILE
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
larger() { test "$(size_of "$1")" -gt "$2"; }
grows() { wait_for 30 larger "$1" "$(size_of "$1")"; } # grows FILE: within 3 s
still() { # still FILE...: no byte added to any of them within 2 s
    local f before=()
    for f in "$@"; do before+=("$(size_of "$f")"); done
    sleep 2
    for f in "$@"; do
        test "$(size_of "$f")" -eq "${before[0]}" || return 1
        before=("${before[@]:1}")
    done
}
laststate() { # laststate ID: the game's laststate in gamelist.xml
    python3 - "$prog/gamelist.xml" "$1" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
game = re.search(r'<game id="%s".*?</game>' % re.escape(sys.argv[2]), text, re.S)
state = re.search(r"<laststate>(\d+)</laststate>", game.group(0)) if game else None
print(state.group(1) if state else "")
PY
}
log_mark=0
mark_log() { log_mark=$(wc -l <"$log"); }
# logged REGEX: since mark_log. grep reads to the end (no -q): with pipefail, a grep that stops at
# the first match can leave tail writing into a closed pipe, and the match reads as a failure.
logged() { tail -n +$((log_mark + 1)) "$log" | grep -E "$1" >/dev/null; }
package() { echo "$prog/download/$1.zip"; }
served() { echo "$build/catalogue/download/$(($1 / 1000))/$1.zip"; }

# Places on the main window (970 x 630), where the program draws them.
category() { at $((195 + 120 * $1)) 55; }          # category N of the top row, from 0
sub_category() { at 75 $((112 + 35 * ($1 - 1))); } # button N of the left column, from 1
next_page() { at 927 577; }
cell() { at $((740 + 146 * ($1 % 2))) $((225 + 125 * ($1 / 2))); } # game N of the list's page
card_action() { at 590 561; }                                    # 开始下载 / 打开游戏
card_pause() { at 607 567; }                                     # pause, continue while paused
picture_button() { at $((164 + 25 * ($1 - 1) + 12)) 481; }       # the card's picture N
details() { at 924 617; }                                        # 查看详情: the download manager
settings() { at 931 31; }
list_area() { area "$1" 668 158 290 430; }
# The download manager (640 x 430) and the settings window (400 x 200) open centred on the main window.
mclick() { click_at $((x + 164 + $1)) $((y + 99 + $2)); }
manager_tab() { mclick 60 $((40 + 30 * ($1 - 1))); } # 1 正在下载, 2 已下载, 3 垃圾箱
row_button() { mclick 585 $((80 + 32 * $1)); }       # downloading row N: pause or continue
row_box() { mclick 134 $((79 + 32 * $1)); }          # downloaded or recycled row N: select
row_action() { mclick 582 $((77 + 32 * $1)); }       # 打开 / 还原
batch() { mclick 557 408; }                          # 删除已选 / 彻底删除
manager_close() { mclick 610 10; }
sclick() { click_at $((x + 284 + $1)) $((y + 214 + $2)); }
settings_tab() { sclick 60 $((40 + 30 * ($1 - 1))); }
option() { sclick 147 $((68 + 35 * ($1 - 1))); } # the shown tab's option N
manager_shot() { shot "$1" $((x + 164)) $((y + 99)) 640 430; }
visible_size() { # visible_size PID WIDTH HEIGHT: the process shows a window of that size now
    local id
    for id in $(xdotool search --all --onlyvisible --pid "$1" --name . 2>/dev/null); do
        [ "$(window_size "$id")" = "$2x$3" ] && return 0
    done
    return 1
}
tabs_area() { # the manager's tabs with their counts, the mouse off them
    xdotool mousemove $((x + 5)) $((y + 625))
    sleep 0.3
    area "$1" 164 124 116 90
}
settings_area() { # the mouse off the window first
    xdotool mousemove $((x + 5)) $((y + 625))
    sleep 0.3
    shoot "$1" 400 200 $((x + 284)) $((y + 214))
}
# The tray: the program's icon in trayer, and the menu it opens.
tray_icon() { # prints the icon's centre
    local icon
    icon=$(wait_window "$pid" 22 22 '') || return 1
    read -r ix iy < <(window_pos "$icon")
    echo $((ix + 11)) $((iy + 11))
}
tray_area() { # tray_area FILE: the program's icon in the tray
    local ix iy
    read -r ix iy < <(tray_icon) || return 1
    shoot "$1" 22 22 $((ix - 11)) $((iy - 11))
}
quit_from_tray() { # right click on the icon, then its menu's 退出
    local ix iy menu mx my
    read -r ix iy < <(tray_icon) || return 1
    click_at "$ix" "$iy" 3
    menu=$(wait_window "$pid" 120 22 '') || return 1
    read -r mx my < <(window_pos "$menu")
    [ -n "${1:-}" ] && shot "$1" $((screen_w - 420)) 0 420 130
    click_at $((mx + 60)) $((my + 11))
}

# The games of the day, picked from what the catalogue holds once the program has merged the
# day's list: two large packages (A, B) and a small one (C) in another sub-category, each with
# its place: top category, sub-category, page and cell. The lists show games by numeric id, six
# to a page.
pick_games() {
    python3 - "$prog/gamelist.xml" "$build/catalogue" <<'PY'
import os, re, sys
text = open(sys.argv[1], encoding="utf-8").read()
tree = sys.argv[2]
known = set(re.findall(r'<game id="(\d+)"', text))
cls = open(os.path.join(tree, "client", "gamecls.xml"), encoding="utf-8-sig").read()
def size(i):
    return os.path.getsize(os.path.join(tree, "download", str(int(i) // 1000), f"{i}.zip"))
places = {}
lists = {}
for c, top in enumerate(re.findall(r"<cls1 .*?</cls1>", cls, re.S)):
    for s, ids in enumerate(re.findall(r"<idlist>([^<]*)</idlist>", top)):
        listed = sorted((i for i in ids.split("##") if i in known and 0 < int(i) < 65536), key=int)
        lists[(c, s + 1)] = listed
        for n, i in enumerate(listed):
            places.setdefault(i, (c, s + 1, n // 6, n % 6))
large = sorted((i for i in places if size(i) >= 1800 * 1024 and places[i][2] == 0), key=lambda i: places[i])
a, b = large[0], next(i for i in large[1:] if places[i][:2] != places[large[0]][:2])
# C finishes while A and B are looked for: it must not be in their lists, where it would move them.
# C lasts four to six seconds at 32 KB/s: long enough to be seen running beside A and B.
small = [i for i in places if 120 * 1024 <= size(i) <= 200 * 1024 and places[i][2] == 0
         and i not in lists[places[a][:2]] and i not in lists[places[b][:2]]]
c = sorted(small, key=lambda i: places[i])[0]
for i in (a, b, c):
    print(i, *places[i])
PY
}
open_game() { # open_game ID: chooses its category and sub-category, turns to its page, clicks it
    local c s p n
    read -r c s p n < <(grep "^$1 " "$out/games" | cut -d' ' -f2-)
    category "$c"
    sub_category "$s"
    for _ in $(seq "$p"); do next_page; done
    cell "$n"
}

# === the day ===
echo "run 7: a user's day"
t0=$(date +%s)

# 1. Start: the splash while the day's list comes (tour/ answers it after 1.5 s), then the window.
mark_log
start tour/
splash=$(wait_window "$pid" 280 140)
check "the splash shows while the day's list comes" test -n "$splash"
if [ -n "$splash" ]; then
    read -r sx sy < <(window_pos "$splash")
    shot 01-splash "$sx" "$sy" 280 140
    check "the splash is centred on the desktop beside the tray" \
        equal "$sx $sy" "$(((screen_w - 280) / 2)) $((24 + (screen_h - 24 - 140) / 2))"
fi
main_window
check "the main window opens" test -n "$wid"
[ -n "$wid" ] || { echo "day: $passed passed, $((failed + 1)) failed"; exit 1; }
check "the program's icon is in the tray" test -n "$(tray_icon)"
check "the day's list was asked for" logged 'GET /tour/file/cls/[0-9]+\.xml HTTP/1.1" 200'
shot 02-start
pick_games >"$out/games"
read -r A < <(sed -n 1p "$out/games" | cut -d' ' -f1)
read -r B < <(sed -n 2p "$out/games" | cut -d' ' -f1)
read -r C < <(sed -n 3p "$out/games" | cut -d' ' -f1)
check "the catalogue offers two large games and a small one" test -n "$A" -a -n "$B" -a -n "$C"

# 2. Browse: a category, its next page, another category.
list_area "$out/list-before.png"
category 0
sub_category 3
check "全部游戏 / its third sub-category fills the list" changes "$out/list-before.png" 668 158 290 430
shot 03-category
list_area "$out/list-before.png"
next_page
check "后页 turns to the next page" changes "$out/list-before.png" 668 158 290 430
shot 04-page
list_area "$out/list-before.png"
category 1
sub_category 5
check "专题游戏 / its fifth sub-category fills the list" changes "$out/list-before.png" 668 158 290 430
shot 05-category-2

# 3. Search a keyword.
list_area "$out/list-before.png"
at 794 108
xdotool type --delay 60 "Zuma"
xdotool key Return
check "the search for Zuma fills the list" changes "$out/list-before.png" 668 158 290 430
shot 06-search

# 4. A game's card and its pictures.
area "$out/card-before.png" 145 81 509 470
cell 1
check "a click on a game shows it in the card" changes "$out/card-before.png" 145 81 509 470
shot 07-card
area "$out/card-before.png" 145 81 509 380
picture_button 2
check "its second picture shows" changes "$out/card-before.png" 145 81 509 380
shot 08-picture

# 5. Three downloads at once: the two large games, then the small one.
mark_log
area "$out/status-before.png" 660 600 240 30
tray_area "$out/tray-before.png"
for game in "$B" "$A" "$C"; do
    open_game "$game"
    card_action # 开始下载
done
shot 09-downloads
check "three run at once" eval 'larger "$(package "$C")" 0 && ! same_file "$(package "$C")" "$(served "$C")"'
check "the two large packages grow" eval 'grows "$(package "$A")" && grows "$(package "$B")"'
check "the status line counts them" changes "$out/status-before.png" 660 600 240 30
check "the tray icon moves" wait_for 10 eval 'tray_area "$out/now.png" && differ "$out/tray-before.png" "$out/now.png"'

# 6. Back to A: pause it on its card; the small game finishes meanwhile; continue A in the manager.
open_game "$A"
card_pause
sleep 0.5
area "$out/card-paused.png" 145 530 509 60
check "paused on the card, A's package stops growing" still "$(package "$A")"
check "the card's bar stands still" eval 'area "$out/now.png" 145 530 509 60 && ! differ "$out/card-paused.png" "$out/now.png"'
shot 10-paused
check "the small game finished and was unpacked" wait_for 100 test -f "$prog/game/$C/index.dat"
check "its package is the server's" same_file "$(package "$C")" "$(served "$C")"
check "the server sent it whole" logged "GET /tour/download/[0-9]+/$C\.zip HTTP/1.1\" 206 $(size_of "$(package "$C")") range=\"bytes=0-"
details
check "the download manager opens" test -n "$(wait_window "$pid" 640 430)"
# Rows by id: A's row is the first when its id is the smaller.
row_a=0
[ "$A" -gt "$B" ] && row_a=1
row_button "$row_a" # continue
check "continued in the manager, A grows again" grows "$(package "$A")"
manager_shot 11-manager
# The tray's 退出 while the manager is open: a warning, answered with its 确定; nothing ends.
quit_from_tray
warning=$(wait_window "$pid" 150 100)
check "with the manager open, the tray's 退出 warns (请关闭查看详情窗体！)" test -n "$warning"
if [ -n "$warning" ]; then
    read -r wx wy < <(window_pos "$warning")
    click_at $((wx + 50)) $((wy + 70)) # 确定
fi
check "answered, the program runs on with the manager open" \
    eval 'wait_for 20 eval "! visible_size $pid 150 100" && visible_size "$pid" 640 430'
manager_close

# 7. The window's close button hides it to the tray, a double click on the icon brings it back;
# then quit from the tray while A and B run.
at 944 10 # ✕
check "the close button hides the window to the tray" wait_for 20 eval '! visible "$pid"'
check "hidden, A and B go on" eval 'grows "$(package "$A")" && grows "$(package "$B")"'
read -r ix iy < <(tray_icon)
xdotool mousemove --sync "$ix" "$iy" click --repeat 2 --delay 120 1
check "a double click on the tray icon brings it back" wait_for 20 visible "$pid"
quit_from_tray 12-tray-menu
check "the tray's 退出 ends the program" wait_exit "$pid" 50
check "exit status 0" equal "$(exit_status "$pid")" 0
check "gamelist.xml: A and B downloading, C downloaded" \
    equal "$(laststate "$A") $(laststate "$B") $(laststate "$C")" "1 1 3"
check "DownLog.xml dates C" grep -q "id=\"$C\" dawndate=\"20" "$prog/DownLog.xml"
check "the server sent A and B from their start (one request each)" \
    eval 'logged "/$A\.zip HTTP/1.1\" 206 [0-9]+ range=\"bytes=0-" && logged "/$B\.zip HTTP/1.1\" 206 [0-9]+ range=\"bytes=0-"'

# 8. Start again with resuming off (the first start's setting): they wait paused.
held_a=$(size_of "$(package "$A")")
held_b=$(size_of "$(package "$B")")
mark_log
start tour/
main_window
check "the program starts again" test -n "$wid"
details
check "the manager lists A and B" test -n "$(wait_window "$pid" 640 430)"
check "resuming off: A and B wait paused" still "$(package "$A")" "$(package "$B")"
manager_shot 13-paused-after-restart
row_button 0
row_button 1
check "continued in the manager, both grow" eval 'grows "$(package "$A")" && grows "$(package "$B")"'
manager_close

# 9. Resuming on, quit, start again: they go on by themselves.
settings
check "the settings window opens" test -n "$(wait_window "$pid" 400 200)"
settings_tab 2
option 1 # 自动开始上次未完成
shot 14-autodown $((x + 284)) $((y + 214)) 400 200
sclick 215 161 # 确定
check "set.xml: autodown on" grep -q '<autodown value="1"/>' "$prog/set.xml"
quit_from_tray
check "the tray's 退出 ends the program" wait_exit "$pid" 50
check "gamelist.xml: A and B downloading" equal "$(laststate "$A") $(laststate "$B")" "1 1"
check "continued, they were asked for from the bytes on disk" \
    eval 'logged "/$A\.zip HTTP/1.1\" 206 [0-9]+ range=\"bytes=$held_a-" && logged "/$B\.zip HTTP/1.1\" 206 [0-9]+ range=\"bytes=$held_b-"'
held_a=$(size_of "$(package "$A")")
held_b=$(size_of "$(package "$B")")
mark_log
start demo/
main_window
check "the program starts again" test -n "$wid"
check "resuming on: A and B grow by themselves" eval 'grows "$(package "$A")" && grows "$(package "$B")"'
shot 15-resumed

# 10. Play C, move it to the recycle bin and back.
details
wait_window "$pid" 640 430 >/dev/null
manager_tab 2
manager_shot 16-downloaded
row_action 0 # 打开
check "the game ran (its trace in its folder)" wait_for 50 grep -q "^$C	$prog/game/$C	$prog/game/$C" "$prog/game/$C/ran.log"
note() { xdotool search --all --onlyvisible --name '^xmessage$' 2>/dev/null | head -n 1; }
check "the game shows its note" wait_for 30 eval 'test -n "$(note)"'
shot 17-game
note=$(note)
if [ -n "$note" ]; then # its okay button, bottom left
    read -r nx ny < <(window_corner "$note")
    read -r nw nh < <(window_size "$note" | tr 'x' ' ')
    click_at $((nx + 25)) $((ny + nh - 15))
fi
check "its okay button closes the note" wait_for 10 eval 'test -z "$(note)"'
wait_for 60 eval 'test -z "$(note)"' # it goes by itself after 4 s
tabs_area "$out/tabs-before.png"
row_box 0
batch # 删除已选
check "删除已选 moves it to the recycle bin (the tabs count it there)" changed "$out/tabs-before.png" 164 124 116 90
manager_tab 3
manager_shot 18-recycle
row_action 0 # 还原
manager_tab 2
check "还原 brings it back (the tabs read as before)" eval 'tabs_area "$out/now.png" && ! differ "$out/tabs-before.png" "$out/now.png"'
manager_shot 19-restored

# 11. Delete A for good once A and B have finished.
check "A and B finished and were unpacked" \
    wait_for 400 test -f "$prog/game/$A/index.dat" -a -f "$prog/game/$B/index.dat"
check "they were asked for from the bytes on disk" \
    eval 'logged "/$A\.zip HTTP/1.1\" 206 [0-9]+ range=\"bytes=$held_a-" && logged "/$B\.zip HTTP/1.1\" 206 [0-9]+ range=\"bytes=$held_b-"'
check "their packages are the server's" \
    eval 'same_file "$(package "$A")" "$(served "$A")" && same_file "$(package "$B")" "$(served "$B")"'
row_a=$(printf '%s\n' "$A" "$B" "$C" | sort -n | grep -nx "$A" | cut -d: -f1)
row_box $((row_a - 1))
batch # 删除已选
manager_tab 3
row_box 0
batch # 彻底删除
check "A's folder went to the Trash" wait_for 30 test -d "$home/data/Trash/files/$A"
check "with its .trashinfo" grep -qx "Path=$prog/game/$A" "$home/data/Trash/info/$A.trashinfo"
check "its package was deleted" absent "$(package "$A")"
manager_shot 20-deleted
manager_close

# 12. Every setting changed, kept after a restart.
settings
wait_window "$pid" 400 200 >/dev/null
option 1 # 添加到开机自动启动: on
option 2 # 点击关闭按钮最小化到托盘: off
settings_area "$out/settings-1.png"
sclick 275 161 # 应用
settings_tab 2
option 1 # 自动开始上次未完成: off
xdotool mousemove --sync $((x + 284 + 315)) $((y + 214 + 101)) click --repeat 2 1
xdotool key ctrl+a type 3
settings_area "$out/settings-2.png"
sclick 275 161 # 应用
settings_tab 3
option 1 # 运行游戏时在桌面生成快捷方式: on
option 2 # 游戏下载完成自动启动: on
settings_area "$out/settings-3.png"
sclick 215 161 # 确定
convert "$out/settings-1.png" "$out/settings-2.png" "$out/settings-3.png" +append "$out/21-settings.png"
check "set.xml holds every change" grep -q 'autostart value="1".*exit value="0".*autodown value="0".*maxnum value="3".*shortcut value="1".*autogame value="1"' <(tr -d '\r\n' <"$prog/set.xml")
check "the autostart entry was written" grep -qx "Exec=$prog/marlune" "$home/config/autostart/marlune.desktop"
quit_from_tray
check "the tray's 退出 ends the program" wait_exit "$pid" 50
start demo/
main_window
check "the program starts again" test -n "$wid"
settings
wait_window "$pid" 400 200 >/dev/null
settings_area "$out/kept-1.png"
settings_tab 2
settings_area "$out/kept-2.png"
settings_tab 3
settings_area "$out/kept-3.png"
# The number's box: its frame and caret show where the focus is; its digits are compared alone.
for f in settings-2 kept-2; do
    convert "$out/$f.png" -crop 8x14+302+94 +repage "$out/$f-number.png"
    convert "$out/$f.png" -fill black -draw "rectangle 296,88 334,114" "$out/$f.png"
done
for tab in 1 2 3; do
    check "the settings window shows tab $tab as it was left" eval '! differ "$out/settings-$tab.png" "$out/kept-$tab.png"'
done
check "its box shows the number as it was left" eval '! differ "$out/settings-2-number.png" "$out/kept-2-number.png"'

sclick 320 161 # 退出

# 13. A second start while the first runs is refused.
cp "$prog/gamelist.xml" "$out/gamelist.xml.running"
first=$pid
(cd "$prog" && XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    MARLUNE_SERVER="${base}demo/" exec ./marlune >"$out/second.log" 2>&1) &
second=$!
box=$(wait_window "$second" "" "")
check "the second start shows its box" test -n "$box"
if [ -n "$box" ]; then
    read -r bx by < <(window_corner "$box")
    read -r bw bh < <(window_size "$box" | tr 'x' ' ')
    top=$((by > 30 ? by - 30 : 0)) # with openbox's title bar
    shot 22-second-start $((bx > 10 ? bx - 10 : 0)) "$top" $((bw + 20)) $((by + bh + 10 - top))
    xdotool windowactivate --sync "$box" 2>/dev/null
    check "its box is the program's, titled Marlune" equal "$(xdotool getwindowname "$box")" Marlune
    xdotool key Return
fi
check "answered with Enter, the second copy ends within 1 s" wait_exit "$second" 10
check "exit status 0" equal "$(exit_status "$second")" 0
check "the first still runs, its files untouched" eval 'kill -0 "$first" && same_file "$prog/gamelist.xml" "$out/gamelist.xml.running"'

# 14. The day ends: with 点击关闭按钮最小化到托盘 off, the window's close button ends the program.
at 944 10 # ✕
check "the close button now ends the program" wait_exit "$pid" 50
check "exit status 0" equal "$(exit_status "$pid")" 0
check "gamelist.xml: C downloaded, A gone, B downloaded" \
    equal "$(laststate "$C") $(laststate "$A") $(laststate "$B")" "3 0 3"

echo "run 7 took $(($(date +%s) - t0)) s; screenshots in $out"
echo "day: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
