#!/usr/bin/python3
"""symbol.py COMMAND ...: the independent side of tests/symbol.sh.
  make            writes the pictures: pencil.png (a light pencil scan), three.png and tail.png (greys),
                  ring.pbm (a 2-pixel circle and spoke, 400 square), alpha.png (white on clear)
  otsu PICTURE    the percent threshold that splits PICTURE, laid on white, as Otsu's method
                  does: of the percents that give Otsu's split, the middle one
  stroke TEXT     succeeds when the dark pixels of a library text are one joined stroke that
                  closes round a hole
"""
import random
import sys
from fractions import Fraction
from PIL import Image, ImageDraw


def make():
    random.seed(7)
    pencil = Image.new('L', (60, 40))
    pencil.putdata([237 + random.randint(-3, 3) for _ in range(60 * 40)])
    draw = ImageDraw.Draw(pencil)
    for box in ((5, 5, 50, 8), (10, 12, 13, 35), (20, 30, 55, 31)):
        draw.rectangle(box, fill=161)
    pencil.save('pencil.png')
    three = Image.new('L', (30, 20), 220)
    ImageDraw.Draw(three).rectangle((3, 3, 20, 15), fill=140)
    ImageDraw.Draw(three).rectangle((6, 6, 9, 9), fill=30)
    three.save('three.png')
    # Seven wide: the last three greys decide the split.
    tail = Image.new('L', (7, 1))
    tail.putdata([0, 0, 0, 0, 255, 255, 128])
    tail.save('tail.png')
    ring = Image.new('1', (400, 400), 1)
    ImageDraw.Draw(ring).ellipse((40, 40, 360, 360), outline=0, width=2)
    ImageDraw.Draw(ring).line((200, 200, 360, 200), fill=0, width=2)
    ring.save('ring.pbm')
    alpha = Image.new('RGBA', (20, 10), (0, 0, 0, 0))
    ImageDraw.Draw(alpha).rectangle((3, 2, 10, 6), fill=(255, 255, 255, 255))
    alpha.save('alpha.png')


def otsu(name):
    im = Image.open(name).convert('RGBA')
    count = [0] * 256
    for r, g, b, a in im.getdata():
        count[((11 * r + 16 * g + 5 * b) // 32 * a + 255 * (255 - a) + 127) // 255] += 1
    n, total = sum(count), sum(i * c for i, c in enumerate(count))
    scores = {}
    for t in range(255):  # dark: luminance t and below
        n0 = sum(count[:t + 1])
        s0 = sum(i * c for i, c in enumerate(count[:t + 1]))
        scores[t] = Fraction((n0 * total - n * s0) ** 2, n0 * (n - n0)) if 0 < n0 < n else 0
    best = max(scores.values())
    present = [i for i in range(256) if count[i]]
    splits = {tuple(i <= t for i in present) for t in scores if scores[t] == best}
    fits = [p for p in range(1, 100) if tuple(i * 100 < p * 255 for i in present) in splits]
    print((fits[0] + fits[-1]) // 2 if fits and fits[-1] - fits[0] == len(fits) - 1 else 'none')


def components(cells, neighbours):
    left, found = set(cells), 0
    while left:
        found += 1
        todo = [left.pop()]
        while todo:
            x, y = todo.pop()
            for dx, dy in neighbours:
                if (x + dx, y + dy) in left:
                    left.remove((x + dx, y + dy))
                    todo.append((x + dx, y + dy))
    return found


def stroke(name):
    rows = [line[5:] for line in open(name).read().split('\n')[4:] if line]
    w, h = len(rows[0]), len(rows)
    dark = {(x, y) for y in range(h) for x in range(w) if rows[y][x] == '#'}
    light = {(x, y) for y in range(-1, h + 1) for x in range(-1, w + 1) if (x, y) not in dark}
    eight = [(dx, dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1) if dx or dy]
    four = [(1, 0), (-1, 0), (0, 1), (0, -1)]
    sys.exit(0 if components(dark, eight) == 1 and components(light, four) >= 2 else 1)


{'make': make, 'otsu': otsu, 'stroke': stroke}[sys.argv[1]](*sys.argv[2:])
