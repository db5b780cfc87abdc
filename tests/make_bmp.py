#!/usr/bin/python3
"""Writes a BMP byte by byte for tests/bmp.sh: make_bmp.py OUT [options].

Without --bits the pixels are random (random palette colours, random channel values, a random
fourth byte in 32-bit BI_RGB); with --bits (1 dark, row by row, top first) each pixel is black or
white, or, when there is an alpha mask, opaque black or transparent.
"""
import argparse, random, struct, sys

ap = argparse.ArgumentParser()
ap.add_argument('out')
ap.add_argument('--info', type=int, default=40)     # information header size
ap.add_argument('--depth', type=int, default=24)
ap.add_argument('--comp', type=int, default=0)
ap.add_argument('--size', default='13x5')
ap.add_argument('--topdown', action='store_true')
ap.add_argument('--masks', default='')              # red,green,blue[,alpha] in hex
ap.add_argument('--colours', type=int, default=0)   # palette entries written (0: all)
ap.add_argument('--claim', type=int, default=-1)    # the colour count the header gives
ap.add_argument('--bits', default='')
ap.add_argument('--seed', type=int, default=1)
ap.add_argument('--profile', default='')            # a colour profile after the pixels (124 only)
ap.add_argument('--even', action='store_true')      # absolute runs of even lengths only
ap.add_argument('--absolute', action='store_true')  # absolute runs as long as they go
ap.add_argument('--dark', type=int, default=1)      # the palette index of dark pixels
ap.add_argument('--values', default='')             # the pixel values of every row, in hex
a = ap.parse_args()
rnd = random.Random(a.seed)
w, h = map(int, a.size.split('x'))
entry = 3 if a.info == 12 else 4
dark = [c == '1' for c in a.bits.replace(' ', '')] if a.bits else None
if a.masks:
    masks = [int(m, 16) for m in a.masks.split(',')]
else:
    masks = [0x7c00, 0x3e0, 0x1f] if a.depth == 16 else [0xff0000, 0xff00, 0xff]
masks += [0] * (4 - len(masks))

palette = b''
if a.depth <= 8:
    n = a.colours or 1 << a.depth
    cols = [(255, 255, 255), (0, 0, 0)] if dark else []
    while len(cols) < n:
        cols.append(tuple(rnd.randrange(256) for _ in range(3)))
    palette = b''.join(bytes((b, g, r)) + (b'\0' if entry == 4 else b'') for r, g, b in cols[:n])

def index(i):
    return (a.dark if dark[i] else 0) if dark else rnd.randrange(a.colours or 1 << a.depth)

def value(i):
    if a.values:
        values = a.values.split(',')
        return int(values[i % w % len(values)], 16)
    v = 0
    for k, m in enumerate(masks):
        if m:
            shift = (m & -m).bit_length() - 1
            top = m >> shift
            if dark is None:
                c = rnd.randrange(top + 1)
            elif k == 3:
                c = top if dark[i] else 0
            else:
                c = 0 if dark[i] or masks[3] else top
            v |= c << shift
    v &= (1 << a.depth) - 1
    if a.depth == 32 and a.comp == 0:
        v |= rnd.randrange(256) << 24
    return v

# Run-length rows: random runs and absolute runs of odd and even lengths, each row ended by 00 00
# and the picture by 00 01.
def rle_row(four):
    out, x = b'', 0
    while x < w:
        n = min(w - x, 255 if a.absolute else rnd.randrange(1, 10))
        if n >= 3 and (a.absolute or rnd.random() < 0.5) and not (a.even and n % 2):
            px = [index(0) for _ in range(n)]
            if four:
                packed = bytes(px[j] << 4 | (px[j + 1] if j + 1 < n else 0) for j in range(0, n, 2))
            else:
                packed = bytes(px)
            out += bytes((0, n)) + packed + b'\0' * (len(packed) % 2)
        else:
            p, q = index(0), index(0)
            out += bytes((n, p << 4 | q if four else p))
        x += n
    return out + b'\0\0'

stride = (w * a.depth + 31) // 32 * 4
if a.comp in (1, 2):
    data = b''.join(rle_row(a.comp == 2) for _ in range(h)) + b'\0\1'
else:
    rows = []
    for y in range(h):
        if a.depth <= 8:
            bits = ''.join(format(index(y * w + x), '0%db' % a.depth) for x in range(w))
            rows.append(int(bits.ljust(stride * 8, '0'), 2).to_bytes(stride, 'big'))
        else:
            row = b''.join(value(y * w + x).to_bytes(a.depth // 8, 'little') for x in range(w))
            rows.append(row.ljust(stride, b'\0'))
    data = b''.join(rows if a.topdown else rows[::-1])

hh = -h if a.topdown else h
claim = a.colours if a.claim < 0 else a.claim
if a.info == 12:
    info = struct.pack('<IHHHH', 12, w, h, 1, a.depth)
elif a.info == 16:
    info = struct.pack('<IiiHH', 16, w, hh, 1, a.depth)
else:
    info = struct.pack('<IiiHHIIiiII', a.info, w, hh, 1, a.depth, a.comp, len(data), 2835, 2835, claim, 0)
    if a.info > 40 and a.info != 64:
        info += struct.pack('<4I', *masks)[:a.info - 40]
    info = info.ljust(a.info, b'\0')
extra = struct.pack('<4I', *masks)[:12 if a.comp == 3 else 16] if a.info == 40 and a.comp in (3, 6) else b''
off = 14 + len(info) + len(extra) + len(palette)
profile = a.profile.encode()
if profile:
    info = info[:112] + struct.pack('<II', off + len(data) - 14, len(profile)) + info[120:]
with open(a.out, 'wb') as f:
    f.write(b'BM' + struct.pack('<IHHI', off + len(data) + len(profile), 0, 0, off) + info + extra + palette + data + profile)
