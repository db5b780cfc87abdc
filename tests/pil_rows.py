#!/usr/bin/python3
"""pil_rows.py PICTURE THRESHOLD [shape]: the rows Pillow's decoder gives, laid on white with the
toolkit's grey weights, dark below THRESHOLD percent of white; "?" within two steps of it. With
"shape", opacity alone is the ink."""
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert('RGBA')
t = int(sys.argv[2])
px = im.load()
for y in range(im.size[1]):
    line = '{%3d}' % y
    for x in range(im.size[0]):
        r, g, b, a = px[x, y]
        lum = ((11 * r + 16 * g + 5 * b) // 32 * a + 255 * (255 - a) + 127) // 255
        if sys.argv[3:] == ['shape']:
            lum = 255 - a
        d = lum * 100 - t * 255
        line += '?' if d * d <= 40000 else '#' if d < 0 else '.'
    print(line)
