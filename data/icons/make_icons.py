#!/usr/bin/env python3
"""Draws the application icon of Hanagumo (a pink blossom over a small cloud) in the 16 colours
of the classic Windows palette, at 32 x 32 and 16 x 16, and writes it as XPM (for the About box,
compiled in), PNG (for the Linux desktop entry) and ICO (for the Windows resource).

Run from anywhere: python3 make_icons.py. Needs nothing beyond the standard library."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 colours of the classic palette, in its order; None is transparent.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, PURPLE, SILVER, GRAY, RED, YELLOW, FUCHSIA, WHITE, NAVY = 0, 1, 5, 7, 8, 9, 11, 13, 15, 4


def draw(size):
    """One picture as rows of palette indices, None for transparent. The geometry is laid out
    on a 32-unit grid and sampled at the centre of each pixel."""
    s = 32.0 / size
    pic = [[None] * size for _ in range(size)]

    def inside_cloud(x, y):
        lobes = [(10, 24, 5.5), (16, 21, 6.5), (23, 24, 5.5), (16, 26, 5)]
        return y <= 29.5 and any((x - cx) ** 2 + (y - cy) ** 2 <= r * r for cx, cy, r in lobes)

    def blossom(x, y):
        cx, cy = 16.0, 11.5
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        if r <= 2.5:
            return YELLOW
        if r <= 3.4:
            return WHITE
        for k in range(5):
            a = -math.pi / 2 + k * 2 * math.pi / 5
            ux, uy = math.cos(a), math.sin(a)
            along = dx * ux + dy * uy          # distance along the petal's axis
            across = abs(-dx * uy + dy * ux)   # distance from it
            px, py = cx + 5.6 * ux, cy + 5.6 * uy
            if (x - px) ** 2 + (y - py) ** 2 <= 3.5 ** 2:
                if along > 8.3 and across < 0.9 * s:
                    return None  # the notch at the tip of a cherry petal
                return WHITE if r < 4.2 else FUCHSIA
        return None

    for py in range(size):
        for px in range(size):
            x, y = (px + 0.5) * s, (py + 0.5) * s
            colour = blossom(x, y)
            if colour is None and inside_cloud(x, y):
                colour = WHITE if y < 25 else SILVER
            pic[py][px] = colour
    # outline: transparent neighbours of a filled pixel get a dark rim
    out = [row[:] for row in pic]
    for py in range(size):
        for px in range(size):
            if pic[py][px] is None:
                continue
            for nx, ny in ((px - 1, py), (px + 1, py), (px, py - 1), (px, py + 1)):
                if not (0 <= nx < size and 0 <= ny < size) or pic[ny][nx] is None:
                    out[py][px] = PURPLE if pic[py][px] in (FUCHSIA, YELLOW) else GRAY
                    break
    return out


def xpm(name, pic):
    chars = "0123456789abcdef"
    used = sorted({c for row in pic for c in row if c is not None})
    lines = ['/* XPM */', f'static const char* const {name}[] = {{',
             f'"{len(pic[0])} {len(pic)} {len(used) + 1} 1",', '"  c None",']
    for c in used:
        lines.append('"%s c #%02X%02X%02X",' % ((chars[c],) + PALETTE[c]))
    for i, row in enumerate(pic):
        text = "".join(" " if c is None else chars[c] for c in row)
        lines.append(f'"{text}"' + ("," if i + 1 < len(pic) else ""))
    lines.append("};")
    return "\n".join(lines) + "\n"


def png(pic):
    size = len(pic)
    raw = b""
    for row in pic:
        raw += b"\0" + b"".join(bytes(PALETTE[c]) + b"\xff" if c is not None else b"\0\0\0\0" for c in row)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(pics):
    """A Windows icon with one 16-colour (4 bits per pixel) image per picture."""
    images = []
    for pic in pics:
        size = len(pic)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
        xor = b""
        mask = b""
        for row in reversed(pic):  # bottom-up
            nibbles = [0 if c is None else c for c in row]
            line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
            xor += line + b"\0" * (-len(line) % 4)
            bits = 0
            mline = b""
            for i, c in enumerate(row):
                bits = (bits << 1) | (1 if c is None else 0)
                if i % 8 == 7:
                    mline += bytes((bits,))
                    bits = 0
            mask += mline + b"\0" * (-len(mline) % 4)
        images.append((size, header + palette + xor + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    pics = {size: draw(size) for size in (32, 16)}
    for size, pic in pics.items():
        with open(os.path.join(HERE, f"hanagumo{size}.xpm"), "w", encoding="ascii") as f:
            f.write(xpm(f"hanagumo{size}_xpm", pic))
        with open(os.path.join(HERE, f"hanagumo{size}.png"), "wb") as f:
            f.write(png(pic))
    with open(os.path.join(HERE, "hanagumo.ico"), "wb") as f:
        f.write(ico([pics[32], pics[16]]))


if __name__ == "__main__":
    main()
