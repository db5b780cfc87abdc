#!/usr/bin/python3
"""preview_blocks.py PICTURE SHOT X Y W H: the zoom-out of the preview in SHOT, a screenshot of the
window, within its part X Y W H; and the most that a screen pixel there differs from the lightness
of the block of PICTURE it stands for, 255 less 255 times the dark share, rounded. Pillow decodes
both. The preview lies in the middle of the part, on the colour of the part's corner; the dark
frame the pictures have marks its extent."""
import sys
from PIL import Image

picture = Image.open(sys.argv[1]).convert('L')
x0, y0, w0, h0 = map(int, sys.argv[3:7])
shot = Image.open(sys.argv[2]).convert('RGB').crop((x0, y0, x0 + w0, y0 + h0))
grey = shot.load()
inked = [(x, y) for y in range(h0) for x in range(w0) if grey[x, y] != grey[0, 0]]
if not inked:
    sys.exit('nothing shown')
left, top = min(x for x, _ in inked), min(y for _, y in inked)
width = max(x for x, _ in inked) - left + 1
height = max(y for _, y in inked) - top + 1
w, h = picture.size
zooms = [s for s in range(2, 65) if ((w + s - 1) // s, (h + s - 1) // s) == (width, height)]
if not zooms:
    sys.exit(f'{width}x{height} shown is no zoom-out of {w}x{h}')
s = zooms[0]
px = picture.load()
worst = 0
for by in range(height):
    for bx in range(width):
        block = [(x, y) for y in range(by * s, min(by * s + s, h)) for x in range(bx * s, min(bx * s + s, w))]
        dark = sum(px[x, y] < 128 for x, y in block)
        want = 255 - (510 * dark + len(block)) // (2 * len(block))
        r, g, b = grey[left + bx, top + by]
        worst = max(worst, abs(r - want), abs(g - want), abs(b - want))
print(s, worst)
