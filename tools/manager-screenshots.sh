#!/usr/bin/env bash
# The download manager and the settings window driven like a user, for the documentation and as a
# check: runs the real program under Xvfb against the sample catalogue served by nginx (packages at
# 64 KB/s, as in the demo) with three games downloaded, one in the recycle bin and one download
# left running at the last exit, then with mouse clicks alone (and the number typed into the
# settings' box):
#   opens the manager during the download, pauses and continues it, plays a downloaded game, moves
#   it to the recycle bin and back, deletes another for good, and changes every setting;
# saves into docs/ manager-downloading.png, manager-downloaded.png, manager-recycle.png,
# settings-general.png, settings-download.png, settings-game.png; closes the program with SIGTERM
# and checks what it left behind. Ends with "manager: N passed, N failed".
#
#   tools/manager-screenshots.sh [BUILD_DIR]     (default build-tests/; marlune and skin.rcc are built)
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build-tests}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
# shellcheck source=tools/e2e-lib.sh
source "$top/tools/e2e-lib.sh"
e2e_build "$build" marlune skin_rcc || { echo "manager: build failed"; exit 1; }

out="$build/manager-screenshots"
rm -rf "$out"
mkdir -p "$out/run" "$out/download"
chmod 700 "$out/run"
client_pid=""
cleanup() {
    [ -n "$client_pid" ] && kill -TERM "$client_pid" 2>/dev/null && wait "$client_pid" 2>/dev/null
    stop_pid "$xvfb_pid"
    "$top/tools/catalogue-server.sh" stop "$build" >/dev/null 2>&1 || true
}
trap cleanup EXIT

e2e_server "$build" || { echo "manager: cannot start nginx"; exit 1; }
cp "$build/bin/marlune" "$build/bin/skin.rcc" "$out/"
cp -r "$build/catalogue/client/ico" "$build/catalogue/client/pic" "$out/"

# The program folder as a user leaves it: three small games downloaded (packages in download/,
# unpacked when first played), one in the recycle bin, one large download left running, and
# "resume unfinished downloads" on.
read -r played deleted kept recycled running < <(python3 - "$build/catalogue" "$out" <<'EOF'
import os, re, sys
served, out = sys.argv[1], sys.argv[2]
text = open(os.path.join(served, "client", "gamelist.xml"), encoding="utf-8").read()
ids = [int(i) for i in re.findall(r'<game id="(\d+)"', text)]
def size(i):
    try:
        return os.path.getsize(os.path.join(served, "download", str(i // 1000), f"{i}.zip"))
    except OSError:
        return -1
small = sorted(i for i in ids if 0 < size(i) <= 60 * 1024 and i % 7 != 0)[:4]
large = sorted(i for i in ids if size(i) >= 1 << 20)[:1]
states = {small[0]: 3, small[1]: 3, small[2]: 3, small[3]: 4, large[0]: 1}
def mark(match):
    game = match.group(0)
    i = int(re.search(r'id="(\d+)"', game).group(1))
    return game.replace("</game>", f"<laststate>{states[i]}</laststate>\n</game>") if i in states else game
open(os.path.join(out, "gamelist.xml"), "w", encoding="utf-8").write(re.sub(r"<game .*?</game>", mark, text, flags=re.S))
for i in small:
    with open(os.path.join(served, "download", str(i // 1000), f"{i}.zip"), "rb") as src:
        open(os.path.join(out, "download", f"{i}.zip"), "wb").write(src.read())
print(small[0], small[1], small[2], small[3], large[0])
EOF
)
printf '<set>\r\n<autostart value="0"/>\r\n<exit value="1"/>\r\n<autodown value="1"/>\r\n<maxnum value="5"/>\r\n<shortcut value="0"/>\r\n<autogame value="0"/>\r\n</set>\r\n' >"$out/set.xml"

e2e_xvfb /dev/null || { echo "manager: cannot start Xvfb"; exit 1; }

(cd "$out" && XDG_RUNTIME_DIR="$out/run" XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data" \
    MARLUNE_SERVER="${base}demo/" MARLUNE_GAME_LOG="$out/games.log" exec ./marlune >"$out/marlune.log" 2>&1) &
client_pid=$!
window=$(wait_window "$client_pid" 970 630 Marlune) \
    || { echo "manager: the main window did not appear; see $out/marlune.log" >&2; exit 1; }
sleep 2
read -r x y < <(window_pos "$window")

click() { # click X Y, relative to the main window
    xdotool mousemove --sync $((x + $1)) $((y + $2)) click 1
    sleep 0.7
}
# The manager and the settings window open centred over the main window.
mx=$((x + 164))
my=$((y + 99))
sx=$((x + 284))
sy=$((y + 214))
mclick() { # mclick X Y, relative to the manager
    xdotool mousemove --sync $((mx + $1)) $((my + $2)) click 1
    sleep 0.7
}
sclick() { # sclick X Y, relative to the settings window
    xdotool mousemove --sync $((sx + $1)) $((sy + $2)) click 1
    sleep 0.5
}
shot() { # shot NAME LEFT TOP WIDTH HEIGHT (screen)
    xdotool mousemove $((x + 5)) $((y + 620)) # the mouse off every button
    sleep 0.4
    import -window root -crop "$4x$5+$2+$3" +repage "$out/$1.png"
    cp "$out/$1.png" "$top/docs/$1.png"
    echo "  docs/$1.png"
}
# Rows of the downloaded pages, by position: the check box and "打开"/"还原".
row_box() { mclick 134 $((79 + 32 * $1)); }
row_action() { mclick 582 $((77 + 32 * $1)); }

# The manager during the download: pause, then continue it.
click 924 617 # 查看详情
sleep 1.5
shot manager-downloading "$mx" "$my" 640 430
mclick 585 80 # pause
sleep 1.2
import -window root -crop "640x430+$mx+$my" +repage "$out/paused.png"
mclick 585 80 # continue

# The downloaded games (by id: played, deleted, kept): play the first two, move the first to the
# recycle bin (by id: played, recycled) and back, then delete the second for good.
mclick 60 70 # 已下载
shot manager-downloaded "$mx" "$my" 640 430
row_action 0 # 打开
row_action 1
sleep 1
row_box 0
mclick 557 408 # 删除已选
mclick 60 100  # 垃圾箱
shot manager-recycle "$mx" "$my" 640 430
row_action 0 # 还原
mclick 60 70
row_box 1
mclick 557 408 # 删除已选
mclick 60 100
row_box 0
mclick 557 408 # 彻底删除
sleep 1
mclick 610 10 # close

# Every setting, tab by tab.
click 931 31 # the settings button
sleep 1
sclick 147 68  # start with the session
sclick 147 103 # close button to the tray: off
shot settings-general "$sx" "$sy" 400 200
sclick 275 161 # 应用
sclick 60 70   # 下载设置
sclick 147 68  # resume unfinished: off
xdotool mousemove --sync $((sx + 315)) $((sy + 101)) click --repeat 2 1
xdotool key ctrl+a type 3
sleep 0.3
shot settings-download "$sx" "$sy" 400 200
sclick 275 161
sclick 60 100 # 游戏设置
sclick 147 68  # desktop shortcut
sclick 147 103 # start when downloaded
shot settings-game "$sx" "$sy" 400 200
sclick 215 161 # 确定
sleep 1

kill -TERM "$client_pid"
wait "$client_pid"
status=$?
client_pid=""
check "the program ended on SIGTERM" test "$status" -eq 0
state() { python3 - "$out/gamelist.xml" "$1" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
game = re.search(r'<game id="%s".*?</game>' % sys.argv[2], text, re.S).group(0)
m = re.search(r"<laststate>(\d+)</laststate>", game)
print(m.group(1) if m else "0")
EOF
}
check "the played game ran" grep -q "^$played	" "$out/games.log"
check "the played game is back among the downloaded ones" test "$(state "$played")" = 3
check "the game deleted for good is no longer downloaded" test "$(state "$deleted")" = 0
check "its folder went to the Trash" test -d "$out/data/Trash/files/$deleted"
check "its package was deleted" test ! -e "$out/download/$deleted.zip"
check "the running download was continued" test "$(state "$running")" = 1 -o "$(state "$running")" = 3
check "the recycle bin kept the other game" test "$(state "$recycled")" = 4
check "the untouched game stays downloaded" test "$(state "$kept")" = 3
check "set.xml holds every change" grep -q 'autostart value="1".*exit value="0".*autodown value="0".*maxnum value="3".*shortcut value="1".*autogame value="1"' <(tr -d '\r\n' <"$out/set.xml")
check "the autostart entry was written" test -f "$out/config/autostart/marlune.desktop"
echo "manager: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
