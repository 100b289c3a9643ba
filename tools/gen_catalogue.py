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

The sample catalogue is fixed: the same games, ids and texts on every run, so that the category
document compiled into the program, the client's gamelist.xml and the server tree agree.
"""

import argparse
import random
import sys

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


def sample_games():
    """The fixed sample catalogue: SAMPLE_GAMES games with ids below 65536, byte-wise id order."""
    rng = random.Random(SAMPLE_SEED)
    ids = sorted(rng.sample(range(100, 60000), SAMPLE_GAMES), key=lambda i: str(i))
    return [make_game(rng, i) for i in ids]


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
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
