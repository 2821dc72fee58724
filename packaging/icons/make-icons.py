#!/usr/bin/env python3
"""Draws the application icon: a dark sign body holding a strip of LED dots, some lit.

Writes ledsign.svg and ledsign-N.png (N x N pixels) into the folder given as the only
argument. The PNG files are rasterised here, with 4 x 4 supersampling and nothing but the
standard library, so that building the icons needs no image tools. Run it again after a
change to the drawing and commit what it writes.
"""
import struct
import sys
import zlib
from pathlib import Path

SIZE = 256          # the drawing's own units
BODY = (16, 72, 224, 112, 24)   # x, y, width, height, corner radius
COLUMNS, ROWS = 8, 3
PITCH = 26
DOT_RADIUS = 10
# Lit dots spell a rising bar, so the strip reads as a display even at 16 pixels.
LIT = {(c, r) for c in range(COLUMNS) for r in range(ROWS) if (c + r) % 3 != 2}
BODY_COLOUR = (0x22, 0x22, 0x2a)
LIT_COLOUR = (0xff, 0x3b, 0x1f)
DARK_COLOUR = (0x55, 0x1a, 0x14)
PNG_SIZES = (16, 24, 32, 48, 64, 128, 256)


def dots():
    x0 = SIZE / 2 - PITCH * (COLUMNS - 1) / 2
    y0 = BODY[1] + BODY[3] / 2 - PITCH * (ROWS - 1) / 2
    for c in range(COLUMNS):
        for r in range(ROWS):
            yield x0 + c * PITCH, y0 + r * PITCH, (c, r) in LIT


def hex_colour(rgb):
    return "#%02x%02x%02x" % rgb


def svg():
    x, y, w, h, radius = BODY
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
        % (SIZE, SIZE, SIZE, SIZE),
        '  <rect x="%d" y="%d" width="%d" height="%d" rx="%d" fill="%s"/>'
        % (x, y, w, h, radius, hex_colour(BODY_COLOUR)),
    ]
    for cx, cy, lit in dots():
        parts.append('  <circle cx="%g" cy="%g" r="%d" fill="%s"/>'
                     % (cx, cy, DOT_RADIUS, hex_colour(LIT_COLOUR if lit else DARK_COLOUR)))
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def inside_body(px, py):
    x, y, w, h, radius = BODY
    if not (x <= px <= x + w and y <= py <= y + h):
        return False
    nx = min(max(px, x + radius), x + w - radius)
    ny = min(max(py, y + radius), y + h - radius)
    return (px - nx) ** 2 + (py - ny) ** 2 <= radius ** 2


def colour_at(px, py, dot_list):
    """RGBA of one sample point in drawing units."""
    if not inside_body(px, py):
        return (0, 0, 0, 0)
    for cx, cy, lit in dot_list:
        if (px - cx) ** 2 + (py - cy) ** 2 <= DOT_RADIUS ** 2:
            return (*(LIT_COLOUR if lit else DARK_COLOUR), 255)
    return (*BODY_COLOUR, 255)


def png(n):
    dot_list = list(dots())
    samples = 4
    scale = SIZE / n
    rows = []
    for j in range(n):
        row = bytearray([0])  # filter type: none
        for i in range(n):
            acc = [0, 0, 0, 0]
            for sj in range(samples):
                for si in range(samples):
                    px = (i + (si + 0.5) / samples) * scale
                    py = (j + (sj + 0.5) / samples) * scale
                    r, g, b, a = colour_at(px, py, dot_list)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3]
            count = samples * samples
            if alpha == 0:
                row += bytes(4)
            else:
                row += bytes([acc[0] // alpha, acc[1] // alpha, acc[2] // alpha, alpha // count])
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def main():
    out = Path(sys.argv[1])
    (out / "ledsign.svg").write_text(svg())
    for n in PNG_SIZES:
        (out / ("ledsign-%d.png" % n)).write_bytes(png(n))


if __name__ == "__main__":
    main()
