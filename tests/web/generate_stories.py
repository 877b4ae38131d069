#!/usr/bin/env python3
"""Writes random stories laid out as golden cases, for comparing two players on them.

  generate_stories.py OUTDIR COUNT [SEED]

Each story has a few pages with flag and letter changes, random letters, conditional choices
and an ending; its input picks choices at random, with quick saves and loads between them.
"""

import random
import sys
from pathlib import Path

LETTERS = "ABCDEFGH"


def page(rng, name, labels):
    lines = [f"*{name}"]
    for _ in range(rng.randint(1, 3)):
        kind = rng.randrange(3)
        if kind == 0:
            lines.append(f"!{rng.choice(LETTERS)}+")
        elif kind == 1:
            lines.append(f"!{rng.randint(1, 999):03d}")
        else:
            low, high = sorted(rng.sample("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2))
            lines.append(f">RND={rng.choice(LETTERS)}{low}{high}")
    for _ in range(rng.randint(1, 4)):
        lines.append(rng.choice(["頁の文。", "%1は歩いた。", "ここは" + name + "。", "abc ＡＢＣ", "ｶﾀｶﾅと漢字"]))
    if rng.random() < 0.15:
        lines.append("/")
        return lines
    for i in range(rng.randint(1, 4)):
        kind = 0 if i == 0 else rng.randrange(3)  # the first choice is always open
        if kind == 0:
            lines.append("?")
        elif kind == 1:
            lines.append(f"?{rng.randint(1, 999):03d}")
        else:
            lines.append(f"?{rng.choice(LETTERS)}={rng.choice(LETTERS)}")
        lines.append(rng.choice(["進む", "戻る", "右へ", "左へ"]))
        lines.append(rng.choice(labels))
    lines.append("?END")
    return lines


def story(rng):
    labels = ["START"] + [f"P{i}" for i in range(1, rng.randint(3, 9))]
    lines = []
    for name in labels:
        lines += page(rng, name, labels)
    lines.append("*VRKALTER")
    lines += ["名前", "太郎"] + ["????"] * 16 + ["題"]
    return "\n".join(lines) + "\n"


def reader_input(rng):
    keys = []
    for _ in range(rng.randint(5, 40)):
        roll = rng.random()
        if roll < 0.1:
            keys.append(":save")
        elif roll < 0.2:
            keys.append(":load")
        elif roll < 0.3:
            keys.append("")
        else:
            keys.append(rng.choice("abcdefABCDEF123456"))
    return "\n".join(keys) + "\n"


def main():
    out = Path(sys.argv[1])
    count = int(sys.argv[2])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 14)
    for n in range(count):
        case = out / f"story{n:04d}"
        case.mkdir(parents=True, exist_ok=True)
        (case / "story.txt").write_text(story(rng), encoding="utf-8")
        (case / "input.txt").write_text(reader_input(rng), encoding="utf-8")
        if rng.random() < 0.5:
            (case / "input2.txt").write_text(reader_input(rng), encoding="utf-8")


if __name__ == "__main__":
    main()
