#!/usr/bin/env python3
"""Generates Marlune's sample catalogue data.

Modes:
  gamelist   --games N --out FILE [--seed S] [--states]
             a gamelist.xml of N games in the program's own write form (UTF-8, no mark,
             CR LF, no indentation); --states adds a laststate to every game, as the exit
             update leaves it.
  categories --out FILE
             the built-in category document (UTF-8 with mark) whose id lists hold the games of
             the sample catalogue (sample_games()).
  server     --out DIR
             the complete sample catalogue server tree: packages under download/, pictures under
             file/ico and file/pic, the 365 day lists under file/cls, and under client/ the
             client's files that agree with it (gamelist.xml, the category document gamecls.xml,
             and in ico/ and pic/ the pictures of the games it knows, as an installation ships them).
  client     --out DIR
             only those client files (gamelist.xml, ico/, pic/), for an installation to ship.

The sample catalogue is fixed: the same games, ids and texts on every run, so that the category
document compiled into the program, the client's gamelist.xml and the server tree agree.
"""

import argparse
import hashlib
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

# Top-level and second-level categories of the built-in category document.
CATEGORIES = [
    ("42", "全部游戏", [("19", "体育竞速"), ("20", "飞行射击"), ("21", "动作闯关"), ("22", "冒险解谜"),
                      ("23", "模拟经营"), ("24", "排列消除"), ("25", "休闲益智"), ("34", "角色扮演"),
                      ("39", "即时战略"), ("40", "策略战棋")]),
    ("43", "专题游戏", [("14", "儿童游戏"), ("26", "中文游戏"), ("27", "游戏工具"), ("28", "三国系列"),
                      ("29", "祖玛游戏"), ("30", "美女餐厅"), ("31", "农场系列"), ("32", "怪鸡系列"),
                      ("35", "弹球类"), ("36", "海底类"), ("37", "宝石类"), ("38", "棋牌类")]),
    ("44", "专题游戏2", [("86", "龙珠系列"), ("87", "仙剑系列"), ("88", "拳皇系列"), ("89", "足球游戏"),
                       ("90", "篮球游戏"), ("91", "梦之旅系列"), ("92", "抢滩系列"), ("93", "忍者游戏"),
                       ("94", "赛车游戏"), ("95", "极品飞车"), ("96", "风色幻想")]),
    ("45", "模拟器游戏", [("33", "街机游戏"), ("85", "nds游戏")]),
]

# Number of games in the sample catalogue the server offers, and how many of them the client's
# shipped gamelist.xml already knows (the rest arrive through the day lists).
SAMPLE_GAMES = 360
SAMPLE_KNOWN = 300
SAMPLE_SEED = 20101

_ADJ = ["疯狂", "超级", "梦幻", "快乐", "神秘", "勇敢", "极速", "可爱", "传奇", "魔法", "无敌", "宝石", "海底", "星际",
        "森林", "糖果", "黄金", "冰雪", "火焰", "彩虹"]
_NOUN = ["赛车", "祖玛", "农场", "餐厅", "大冒险", "连连看", "泡泡龙", "消消乐", "射击", "弹球", "三国", "足球", "篮球",
         "忍者", "飞车", "城堡", "花园", "宠物", "钓鱼", "拼图", "麻将", "象棋", "斗地主", "保卫战", "对对碰"]
_SUFFIX = ["", "", "2", "3", "中文版", "豪华版", "典藏版", "完整版", "之旅", "传说"]
_SRC = ["Crazy", "Super", "Magic", "Happy", "Mystic", "Brave", "Turbo", "Lovely", "Legend", "Wizard", "Gem", "Ocean",
        "Star", "Forest", "Candy", "Golden", "Frozen", "Flame", "Rainbow"]
_SRC_NOUN = ["Racer", "Zuma", "Farm", "Diner", "Adventure", "Link", "Bubble", "Match", "Shooter", "Pinball", "Kingdoms",
             "Soccer", "Hoops", "Ninja", "Speed", "Castle", "Garden", "Pets", "Fishing", "Puzzle", "Mahjong", "Chess",
             "Cards", "Defense", "Swap"]
_TYPES = ["休闲益智", "动作闯关", "体育竞速", "冒险解谜", "模拟经营", "排列消除", "飞行射击", "角色扮演", "策略战棋", "棋牌类"]
_LANG = ["简体中文", "简体中文", "简体中文", "英文", "繁体中文"]
_PHRASES = [
    "这是一款画面精美、操作简单的小游戏，", "玩家需要在规定时间内完成所有关卡，", "游戏共有五十个关卡，难度逐渐增加，",
    "支持鼠标和键盘两种操作方式，", "收集宝石可以解锁新的道具和场景，", "适合全家老少一起娱乐，", "背景音乐轻松愉快，",
    "每一关都有隐藏的奖励等你发现，", "考验你的反应速度和观察力，", "精心设计的谜题让人欲罢不能，",
    "在紧张刺激的比赛中击败对手，", "经营属于你自己的小店，", "用智慧和勇气战胜强大的敌人，",
]
_SKILLS = [
    "先熟悉基本操作再挑战高难度关卡。", "注意收集场景中的金币和道具。", "连续消除可以获得额外分数。",
    "遇到困难时可以使用提示功能。", "合理安排时间，优先完成主要任务。", "多尝试不同的路线往往会有意外收获。",
    "按空格键可以暂停游戏。", "保存进度后再挑战首领会更轻松。",
]


def _pick(rng, seq):
    return seq[rng.randrange(len(seq))]


def _text(rng, phrases, lo, hi):
    return "".join(_pick(rng, phrases) for _ in range(rng.randint(lo, hi))).rstrip("，") + "。"


def make_game(rng, game_id, pictures=True):
    """One game record as a dict with the fields of the catalogue file."""
    a, n = rng.randrange(len(_ADJ)), rng.randrange(len(_NOUN))
    name = _ADJ[a] + _NOUN[n] + _pick(rng, _SUFFIX)
    srcname = "(" + _SRC[a % len(_SRC)] + " " + _SRC_NOUN[n] + ")"
    size_kb = rng.randint(60, 4000)
    size = f"{size_kb}K" if size_kb < 1024 else f"{size_kb / 1024:.1f}M"
    year = rng.randint(2008, 2011)
    facts = [
        _pick(rng, _TYPES),                                     # info1: type
        f"{year}-{rng.randint(1, 12)}-{rng.randint(1, 28)}",     # info2: update date
        _pick(rng, ["单机", "单机", "联网"]),                      # info3
        str(rng.randint(1, 5)),                                 # info4: rating
        size,                                                   # size
        _pick(rng, ["免费", "免费", "共享"]),                      # info6
        str(rng.randint(100, 250000)),                          # views
        _pick(rng, _LANG),                                      # language
        _pick(rng, ["WinXP/Vista/Win7", "Linux", "全平台"]),       # info9
        _pick(rng, ["推荐", "", "热门"]),                         # info10
        "",                                                     # info11
    ]
    ext = _pick(rng, ["gif", "jpg", "png"])
    pics = []
    if pictures:
        for k in range(rng.randint(0, 4)):
            pics.append(f"pic\\{game_id}_{k + 1}.jpg")
    return {
        "id": str(game_id),
        "name": name,
        "srcname": srcname,
        "facts": facts,
        "intro": _text(rng, _PHRASES, 1, 2),
        "detailintro": _text(rng, _PHRASES, 4, 12),
        "playskill": "".join(_pick(rng, _SKILLS) for _ in range(rng.randint(1, 4))),
        "icopic": f"ico\\{game_id}.{ext}",
        "pictures": pics,
        "state": None,
    }


def size_text(length):
    """A byte count in the catalogue's size text form: "812K" below a megabyte, else "2.4M"."""
    if length < 1024 * 1024:
        return f"{round(length / 1024)}K"
    return f"{length / (1024 * 1024):.1f}M"


def package_length(game_id):
    """The exact length in bytes of a sample game's package: mostly small, a few over a megabyte."""
    rng = random.Random(SAMPLE_SEED * 31 + int(game_id))
    if rng.random() < 0.06:
        return round(rng.randint(10, 22) / 10 * 1024 * 1024)
    return rng.randint(6, 200) * 1024


def sample_games():
    """The fixed sample catalogue: SAMPLE_GAMES games with ids below 65536, byte-wise id order.
    Each game's size fact is the size text of its package as the server tree holds it."""
    rng = random.Random(SAMPLE_SEED)
    ids = sorted(rng.sample(range(100, 60000), SAMPLE_GAMES), key=lambda i: str(i))
    games = [make_game(rng, i) for i in ids]
    for g in games:
        g["facts"][4] = size_text(package_length(g["id"]))
    return games


def sample_known_ids():
    """Ids of the games that the shipped client gamelist.xml already holds."""
    rng = random.Random(SAMPLE_SEED + 1)
    games = sample_games()
    return sorted((g["id"] for g in rng.sample(games, SAMPLE_KNOWN)), key=lambda s: s.encode())


def category_assignment(games):
    """Second-level category id -> list of game ids (byte-wise order); every game is in one or two."""
    rng = random.Random(SAMPLE_SEED + 2)
    subs = [sub_id for _, _, subs in CATEGORIES for sub_id, _ in subs]
    lists = {s: [] for s in subs}
    for g in games:
        for s in rng.sample(subs, rng.choice([1, 1, 2])):
            lists[s].append(g["id"])
    for s in lists:
        lists[s].sort(key=lambda x: x.encode())
    return lists


def escape(text, attribute=False):
    text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    if attribute:
        text = text.replace('"', "&quot;").replace("'", "&apos;")
    return text


def element(name, value):
    return f"<{name}/>" if value == "" else f"<{name}>{escape(value)}</{name}>"


def gamelist_text(games):
    """The write form of gamelist.xml: no indentation, CR LF after every element."""
    out = ["<gamelist>\r\n"]
    for g in sorted(games, key=lambda g: g["id"].encode()):
        out.append(f'<game id="{escape(g["id"], True)}" name="{escape(g["name"], True)}" '
                   f'srcname="{escape(g["srcname"], True)}">\r\n')
        out.append(element("cominfo", "".join(f + "##" for f in g["facts"])) + "\r\n")
        for key in ("intro", "detailintro", "playskill", "icopic"):
            out.append(element(key, g[key]) + "\r\n")
        if g["pictures"]:
            out.append(element("piclist", "".join(p + "##" for p in g["pictures"])) + "\r\n")
        if g.get("state") is not None:
            out.append(element("laststate", str(g["state"])) + "\r\n")
        out.append("</game>\r\n")
    out.append("</gamelist>\r\n")
    return "".join(out)


def categories_text(lists):
    out = ["\ufeff<gamecls>\r\n<clslist>\r\n"]
    for cls1_id, cls1_name, subs in CATEGORIES:
        out.append(f'<cls1 id="{cls1_id}" name="{cls1_name}">\r\n')
        for sub_id, sub_name in subs:
            out.append(f'<cls2 id="{sub_id}" name="{sub_name}">\r\n')
            out.append(element("idlist", "".join(i + "##" for i in lists[sub_id])) + "\r\n")
            out.append("</cls2>\r\n")
        out.append("</cls1>\r\n")
    out.append("</clslist>\r\n</gamecls>\r\n")
    return "".join(out)


# --- The sample catalogue server tree -------------------------------------------------------------

DAY_LISTS = 365
_ZIP_TIME = (2010, 5, 3, 14, 2, 6)
_ICON_COLOURS = [("red", "yellow"), ("navy", "cyan"), ("darkgreen", "khaki"), ("purple", "orange")]
_PICTURE_COLOURS = [("steelblue", "gold"), ("firebrick", "wheat"), ("seagreen", "lavender"), ("black", "skyblue")]


def generator_stamp():
    """Changes whenever this generator changes; kept in the tree to tell a stale tree."""
    with open(os.path.abspath(__file__), "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def executable_of(game):
    """The game's executable relative to its folder: most at the top, every seventh in a subfolder."""
    return "bin/run.sh" if int(game["id"]) % 7 == 0 else "game.sh"


def game_script(game):
    exe = executable_of(game)
    up = "/.." * exe.count("/")
    return f"""#!/bin/sh
# Sample game {game["id"]} of the Marlune sample catalogue: it only says that it ran.
# It appends "<id> TAB <game folder> TAB <working folder>" to the file named by MARLUNE_GAME_LOG,
# or to ran.log in its game folder, and with a display (and no log variable) shows a small note.
folder="$(cd "$(dirname "$0"){up}" && pwd)"
echo "{game["name"]} ({game["id"]}) is running in $folder"
printf '%s\\t%s\\t%s\\n' "{game["id"]}" "$folder" "$(pwd)" >> "${{MARLUNE_GAME_LOG:-$folder/ran.log}}"
if [ -z "${{MARLUNE_GAME_LOG:-}}" ] && [ -n "${{DISPLAY:-}}" ] && command -v xmessage >/dev/null 2>&1; then
    xmessage -center -timeout 4 "Marlune sample game {game["id"]}" >/dev/null 2>&1 &
fi
exit 0
"""


def _zip_entry(name, mode, directory=False):
    info = zipfile.ZipInfo(name, date_time=_ZIP_TIME)
    info.create_system = 3  # Unix, so that the mode bits below count
    info.external_attr = ((0o040000 if directory else 0o100000) | mode) << 16 | (0x10 if directory else 0)
    return info


def _package_bytes(game, filler_length, filler):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr(_zip_entry("index.dat", 0o644), f"[config]\r\nfile={executable_of(game)}\r\n",
                   compress_type=zipfile.ZIP_DEFLATED)
        if "/" in executable_of(game):
            z.writestr(_zip_entry("bin/", 0o755, directory=True), b"")
        z.writestr(_zip_entry(executable_of(game), 0o755), game_script(game), compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(_zip_entry("readme.txt", 0o644), f"{game['name']} {game['srcname']}\r\n{game['intro']}\r\n",
                   compress_type=zipfile.ZIP_DEFLATED)
        if filler_length >= 0:
            z.writestr(_zip_entry("data/", 0o755, directory=True), b"")
            data = (filler * (filler_length // len(filler) + 1))[:filler_length]
            z.writestr(_zip_entry("data/level.dat", 0o644), data, compress_type=zipfile.ZIP_STORED)
    return buffer.getvalue()


def package_bytes(game, filler):
    """The game's zip package, exactly package_length(id) bytes: a stored filler entry takes up the rest."""
    target = package_length(game["id"])
    base = len(_package_bytes(game, -1, filler))
    # A stored entry costs its data plus a local and a central header (30 + 46 bytes and its name twice);
    # the folder entry "data/" the same with no data.
    overhead = 2 * (30 + 46) + 2 * len("data/") + 2 * len("data/level.dat")
    data = _package_bytes(game, target - base - overhead, filler)
    if len(data) != target:
        raise RuntimeError(f"package {game['id']}: {len(data)} bytes instead of {target}")
    return data


def package_path(game_id):
    """The package's path on the server, below the base: download/<id div 1000>/<id>.zip."""
    return f"download/{int(game_id) // 1000}/{game_id}.zip"


def picture_path(relative):
    """A catalogue picture path (ico\\123.gif) as a server path below the base: file/ico/123.gif."""
    return "file/" + relative[:3] + "/" + relative[4:]


def _with_comment(data, kind, text):
    """The picture with a comment naming the game, so that every file differs at almost no cost."""
    text = text.encode("ascii")
    if kind == "png":  # a tEXt chunk right after IHDR
        body = b"Comment\0" + text
        chunk = struct.pack(">I", len(body)) + b"tEXt" + body + struct.pack(">I", zlib.crc32(b"tEXt" + body))
        return data[:33] + chunk + data[33:]
    if kind == "jpg":  # a COM segment right after SOI
        return data[:2] + b"\xff\xfe" + struct.pack(">H", len(text) + 2) + text + data[2:]
    if kind == "gif":  # a comment extension before the trailer
        return data[:-1] + b"\x21\xfe" + bytes([len(text)]) + text + b"\x00\x3b"
    raise ValueError(kind)


def base_pictures(work):
    """A handful of real pictures drawn by ImageMagick: icons (64x64) in gif, jpg and png, screenshots (400x300)."""
    jobs = []
    for i, (a, b) in enumerate(_ICON_COLOURS):
        stem = os.path.join(work, f"ico{i}")
        jobs.append(["convert", "-size", "64x64", "-seed", str(i + 1), f"plasma:{a}-{b}",
                     "-write", stem + ".png", "-write", stem + ".jpg", stem + ".gif"])
    for i, (a, b) in enumerate(_PICTURE_COLOURS):
        jobs.append(["convert", "-size", "400x300", "-seed", str(i + 11), f"plasma:{a}-{b}", "-quality", "80",
                     os.path.join(work, f"pic{i}.jpg")])
    running = [subprocess.Popen(job, stdout=subprocess.DEVNULL) for job in jobs]
    for process, job in zip(running, jobs):
        if process.wait() != 0:
            raise RuntimeError("convert failed: " + " ".join(job))
    pictures = {}
    for name in os.listdir(work):
        with open(os.path.join(work, name), "rb") as f:
            pictures[name] = f.read()
    return pictures


def day_list_games(day, games, known):
    """The games of day list N: a few the shipped client knows and, on most days, a few new ones."""
    rng = random.Random(SAMPLE_SEED * 17 + day)
    old = [g for g in games if g["id"] in known]
    new = [g for g in games if g["id"] not in known]
    chosen = rng.sample(old, rng.randint(2, 6))
    if day % 5 != 4:  # every fifth day brings nothing new
        chosen += rng.sample(new, rng.randint(1, 4))
    return chosen


def day_list_bytes(day, games):
    """Day lists come in three encodings: UTF-8, code page 936 with a declaration, and without one."""
    text = gamelist_text(games)
    if day % 3 == 0:
        return text.encode("utf-8")
    if day % 3 == 1:
        return ('<?xml version="1.0" encoding="gb2312"?>\r\n' + text).encode("gbk")
    return text.encode("gbk")


def picture_files(games, pictures):
    """(path as the catalogue names it, bytes) of every game's icon and pictures."""
    for g in games:
        gid = int(g["id"])
        for rel, base in [(g["icopic"], f"ico{gid % len(_ICON_COLOURS)}.{g['icopic'].rsplit('.', 1)[1]}")] + \
                [(p, f"pic{(gid + k) % len(_PICTURE_COLOURS)}.jpg") for k, p in enumerate(g["pictures"])]:
            yield rel, _with_comment(pictures[base], base.rsplit(".", 1)[1], f"Marlune sample {rel[4:]}")


def write_client(out, games, known, pictures):
    """The files an installation ships: gamelist.xml of the games it knows, their pictures in ico/ and pic/."""
    os.makedirs(out, exist_ok=True)
    write_bytes(os.path.join(out, "gamelist.xml"), gamelist_text([g for g in games if g["id"] in known]).encode("utf-8"))
    for rel, data in picture_files([g for g in games if g["id"] in known], pictures):
        local = os.path.join(out, *rel.split("\\"))
        os.makedirs(os.path.dirname(local), exist_ok=True)
        write_bytes(local, data)


def write_tree(out):
    games = sample_games()
    known = set(sample_known_ids())
    filler = random.Random(SAMPLE_SEED).randbytes(65521)
    with tempfile.TemporaryDirectory() as work:
        pictures = base_pictures(work)
    for g in games:
        path = os.path.join(out, package_path(g["id"]))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write_bytes(path, package_bytes(g, filler))
    for rel, data in picture_files(games, pictures):
        path = os.path.join(out, picture_path(rel))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write_bytes(path, data)
    os.makedirs(os.path.join(out, "file", "cls"), exist_ok=True)
    for day in range(DAY_LISTS):
        write_bytes(os.path.join(out, "file", "cls", f"{day}.xml"),
                    day_list_bytes(day, day_list_games(day, games, known)))
    write_client(os.path.join(out, "client"), games, known, pictures)
    write_bytes(os.path.join(out, "client", "gamecls.xml"), categories_text(category_assignment(games)).encode("utf-8"))
    write_bytes(os.path.join(out, ".generator"), generator_stamp().encode("ascii") + b"\n")


def client_files(out):
    """Only the client's files of the sample catalogue (what the installed program starts with)."""
    with tempfile.TemporaryDirectory() as work:
        pictures = base_pictures(work)
    write_client(out, sample_games(), set(sample_known_ids()), pictures)


def server_tree(out):
    """Writes the tree beside its place and swaps it in, so that a half-written tree is never served."""
    out = os.path.abspath(out)
    parent = os.path.dirname(out)
    os.makedirs(parent, exist_ok=True)
    staging = tempfile.mkdtemp(prefix=os.path.basename(out) + ".", dir=parent)
    try:
        write_tree(staging)
        os.chmod(staging, 0o755)
        if os.path.exists(out):
            old = staging + ".old"
            os.rename(out, old)
            os.rename(staging, out)
            shutil.rmtree(old)
        else:
            os.rename(staging, out)
    except BaseException:
        shutil.rmtree(staging, ignore_errors=True)
        raise


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="mode", required=True)
    p = sub.add_parser("gamelist")
    p.add_argument("--games", type=int, required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--states", action="store_true")
    p = sub.add_parser("categories")
    p.add_argument("--out", required=True)
    p = sub.add_parser("server")
    p.add_argument("--out", required=True)
    p = sub.add_parser("client")
    p.add_argument("--out", required=True)
    args = parser.parse_args(argv)

    if args.mode == "gamelist":
        rng = random.Random(args.seed)
        # Ids: the first 65536 fit the message words; bigger files go on past them.
        ids = rng.sample(range(1, max(args.games * 3, 65536 if args.games < 20000 else args.games * 3)), args.games)
        games = [make_game(rng, i) for i in ids]
        if args.states:
            for g in games:
                g["state"] = rng.choice([0, 0, 0, 0, 1, 2, 3, 3, 4])
        write_bytes(args.out, gamelist_text(games).encode("utf-8"))
    elif args.mode == "categories":
        write_bytes(args.out, categories_text(category_assignment(sample_games())).encode("utf-8"))
    elif args.mode == "server":
        server_tree(args.out)
    elif args.mode == "client":
        client_files(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
