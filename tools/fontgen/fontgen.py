#!/usr/bin/env python3
"""Generates the five sign fonts (fonts/*.fnt) from the bitmap fonts Debian ships.

    tools/fontgen/fontgen.py [--out DIR] [--png FILE]

Sources (see fonts/README.md for their licences):
  * misc-fixed 5x7 and 5x8, ISO10646 (package xfonts-base), for the 5-dot font and, widened,
    for the wide 8x7 font;
  * misc-fixed 6x9, ISO10646 (xfonts-base), for the thin 8x8 font and, emboldened, for the
    home-computer 8x8 font;
  * the console font Uni2-VGA8 (package console-setup-linux) for the bold 8x8 font.
Code c of every font is the glyph of the Unicode character that code page 1250 maps c to.
Characters a source lacks and the three live-field pictures (0xFF clock, 0xFE calendar,
0xFA thermometer) are drawn below. The output is the same for the same sources.
"""

import argparse
import os
import struct
import sys
import unicodedata
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fontsources import read_pcf, read_psf  # noqa: E402

MISC = "/usr/share/fonts/X11/misc"
CONSOLE = "/usr/share/consolefonts"

# code -> Unicode character of code page 1250, or None for the five unassigned codes.
CP1250 = []
for _code in range(256):
    try:
        CP1250.append(bytes([_code]).decode("cp1250"))
    except UnicodeDecodeError:
        CP1250.append(None)

CLOCK, CALENDAR, THERMOMETER = 0xFF, 0xFE, 0xFA


def rows_from(pattern):
    """Bit rows (MSB = leftmost dot) from strings of '#' and '.'."""
    out = []
    for line in pattern:
        value = 0
        for i, ch in enumerate(line):
            if ch == "#":
                value |= 0x80 >> i
        out.append(value)
    return out


def glyph_bytes(glyph, first_row, count):
    """`count` rows of a source glyph from `first_row`, as bytes (columns beyond 8 dropped)."""
    out = []
    for r in range(first_row, first_row + count):
        value = 0
        if 0 <= r < len(glyph.rows):
            for c, bit in enumerate(glyph.rows[r][:8]):
                if bit:
                    value |= 0x80 >> c
        out.append(value)
    return out


def base_letter(ch):
    """The letter a precomposed character is built on, or None."""
    parts = unicodedata.decomposition(ch).split()
    if not parts or parts[0].startswith("<"):
        return None
    return chr(int(parts[0], 16))


# Characters none of the sources has in some font: the typographic ones Uni2-VGA8 lacks.
# 7 dots wide, 8 rows, baseline below row 6.
DRAWN_8x8 = {
    "\u2026": ["........", "........", "........", "........", "........", "........",
               "##.##.#.", "........"],  # ellipsis
    "\u2020": ["..##....", "..##....", "######..", "..##....", "..##....", "..##....",
               "..##....", "........"],  # dagger
    "\u2021": ["..##....", "######..", "..##....", "..##....", "..##....", "######..",
               "..##....", "........"],  # double dagger
    "\u2030": ["##...#..", "##..#...", "...#....", "..#.....", ".#......", "#.#.#...",
               "..#.#...", "........"],  # per mille
}

# Thin glyphs drawn here: the source's V has a flat bar where its diagonals meet.
DRAWN_THIN = {
    "V": ["......", "#...#.", "#...#.", "#...#.", ".#.#..", ".#.#..", "..#...", "......"],
}

# Bold glyphs drawn here because the console font's versions are defective (wrong letter,
# missing accent or stroke).
DRAWN_BOLD = {
    "\u0141": ["####....", ".##.....", ".####...", "###.....", ".##...#.", ".##..##.",
               "#######.", "........"],  # L stroke
    "\u0142": ["..###...", "...##...", "...####.", "..###...", ".####...", "...##...",
               "..####..", "........"],  # l stroke
    "\u0143": ["....##..", "...##...", "##...##.", "###..##.", "##.####.", "##..###.",
               "##...##.", "........"],  # N acute
    "\u013d": ["####.##.", ".##..##.", ".##..#..", ".##.....", ".##...#.", ".##..##.",
               "#######.", "........"],  # L caron
    "\u013e": [".###.##.", "..##.##.", "..##.#..", "..##....", "..##....", "..##....",
               ".####...", "........"],  # l caron
    "\u0139": ["...##...", "..##....", "####....", ".##.....", ".##.....", ".##..##.",
               "#######.", "........"],  # L acute
    "\u013a": ["...##...", "..##....", "..###...", "...##...", "...##...", "...##...",
               "..####..", "........"],  # l acute
    "\u0150": ["...#..#.", "..#..#..", ".#####..", "##...##.", "##...##.", "##...##.",
               ".#####..", "........"],  # O double acute
    "\u017b": ["...##...", "........", "#######.", "....##..", "..##....", ".##.....",
               "#######.", "........"],  # Z dot above
}

# The live-field pictures, one size per font shape. Each keeps the rightmost column blank.
PICTURES_5x7 = {
    CLOCK: [".##..", "#.##.", "#.##.", "#..#.", ".##..", ".....", "....."],
    CALENDAR: ["#..#.", "####.", "####.", "#.##.", "####.", ".....", "....."],
    THERMOMETER: [".#...", ".##..", ".#...", ".##..", ".#...", "###..", "###.."],
}
PICTURES_8x7 = {
    CLOCK: ["..###...", ".#.#.#..", "#..#..#.", "#..##.#.", "#.....#.", ".#...#..",
            "..###..."],
    CALENDAR: [".#...#..", "#######.", "#######.", "#.#.#.#.", "#######.", "#.#.#.#.",
               "#######."],
    THERMOMETER: ["..#.....", ".#.#....", ".#.##...", ".###....", ".###....", "#####...",
                  ".###...."],
}
PICTURES_8x8 = {
    CLOCK: ["..###...", ".#.#.#..", "#..#..#.", "#..##.#.", "#.....#.", ".#...#..",
            "..###...", "........"],
    CALENDAR: [".#...#..", "#######.", "#######.", "#.....#.", "#.#.#.#.", "#.....#.",
               "#######.", "........"],
    THERMOMETER: ["..#.....", ".#.#....", ".#.##...", ".#.#....", ".###....", "#####...",
                  "#####...", ".###...."],
}

# 5x7 glyphs drawn here: the source's versions need all five columns (so they would touch
# the next character) or lose their accents.
DRAWN_5x7 = {
    "#": ["....", ".#.#", "####", ".#.#", "####", ".#.#", "...."],
    "$": [".#..", ".###", "#...", ".##.", "...#", "###.", ".#.."],
    "+": ["....", ".#..", ".#..", "###.", ".#..", ".#..", "...."],
    "\u2026": ["....", "....", "....", "....", "....", "#.#.", "...."],
    "\u2030": ["##..", "##.#", "..#.", ".#..", "#.##", "..##", "...."],
    "\u2014": ["....", "....", "....", "####", "....", "....", "...."],
    "\u2122": ["###.", ".#..", ".#..", "....", "#..#", "####", "#..#"],
    "\u00a4": ["....", "#..#", ".##.", "#..#", ".##.", "#..#", "...."],
    "\u00a9": [".##.", "#..#", "#.##", "#.#.", "#.##", "#..#", ".##."],
    "\u00ae": [".##.", "#..#", "##.#", "###.", "##.#", "#..#", ".##."],
    "\u00ab": ["....", "....", ".#.#", "#.#.", ".#.#", "....", "...."],
    "\u00bb": ["....", "....", "#.#.", ".#.#", "#.#.", "....", "...."],
    "\u00b1": ["....", ".#..", "###.", ".#..", "....", "###.", "...."],
    "\u0105": ["....", "....", ".###", "#..#", "#..#", ".###", "..#."],  # a ogonek
    "\u013d": ["#.#.", "#.#.", "#...", "#...", "#...", "####", "...."],  # L caron
    "\u013e": ["##.#", ".#.#", ".#..", ".#..", ".#..", "###.", "...."],  # l caron
    "\u013a": ["...#", "##..", ".#..", ".#..", ".#..", "###.", "...."],  # l acute
    "\u0150": [".#.#", ".##.", "#..#", "#..#", "#..#", ".##.", "...."],  # O double acute
    "\u0170": [".#.#", "#..#", "#..#", "#..#", "#..#", ".##.", "...."],  # U double acute
    "\u00dd": ["...#", "#.#.", "#.#.", ".#..", ".#..", ".#..", "...."],  # Y acute
    "\u0111": ["...#", "..##", "...#", ".###", "#..#", ".###", "...."],  # d stroke
    "\u0151": [".#.#", "#.#.", ".##.", "#..#", "#..#", ".##.", "...."],  # o double acute
    "\u0171": [".#.#", "#.#.", "....", "#..#", "#..#", ".###", "...."],  # u double acute
    "\u02dd": [".#.#", "#.#.", "....", "....", "....", "....", "...."],  # double acute
}

# One-row accents for capitals squeezed into the 5x7 font, whose source drops them.
ACCENT_ROW_5 = {
    "\u0301": "...#.",  # acute: offset to the right so it reads as a slant
    "\u0307": "..#..",  # dot above
    "\u030c": ".#.#.",  # caron
    "\u0302": "..#..",  # circumflex (reads like a dot; there is no room for more)
    "\u0306": ".#.#.",  # breve (the diaeresis of Ä takes "#..#.")
    "\u030a": "..#..",  # ring
    "\u030b": ".#.#.",  # double acute
    "\u0308": "#..#.",  # diaeresis
}


def make_5x7(src57, src58):
    glyphs = [[0] * 7 for _ in range(256)]
    for code, ch in enumerate(CP1250):
        if ch is None or code < 0x20 or code == 0x7F:
            continue
        g = src57.get(ord(ch))
        if g is None:
            continue
        rows = glyph_bytes(g, 0, 7)
        base = base_letter(ch)
        if base and "A" <= base <= "Z" and ord(base) in src57:
            if glyph_bytes(src57[ord(base)], 0, 7) == rows and ord(ch) in src58:
                # The 7-row source shows the bare letter: put the accent in the top row
                # over the 5-row body of the 8-row source.
                mark = unicodedata.decomposition(ch).split()[1]
                accent = rows_from([ACCENT_ROW_5[chr(int(mark, 16))]])
                rows = accent + glyph_bytes(src58[ord(ch)], 2, 5) + [0]
        if ch in DRAWN_5x7:
            rows = rows_from(DRAWN_5x7[ch])
        glyphs[code] = [r & 0xF8 for r in rows]
    return glyphs


def widen(row, width):
    """Stretches a row of a 5-dot glyph: a glyph using 4 columns gets its two inner columns
    doubled (6 dots), one using all 5 gets columns 1 and 3 doubled (7 dots)."""
    bits = [(row >> (7 - i)) & 1 for i in range(5)]
    if width <= 4:
        spread = [bits[0], bits[1], bits[1], bits[2], bits[2], bits[3]]
    else:
        spread = [bits[0], bits[1], bits[1], bits[2], bits[3], bits[3], bits[4]]
    value = 0
    for i, b in enumerate(spread):
        value |= b << (7 - i)
    return value


def make_8x7_wide(font5):
    glyphs = []
    for rows in font5:
        used = 0
        for r in rows:
            used |= r
        width = 5 if used & 0x08 else 4
        glyphs.append([widen(r, width) for r in rows])
    return glyphs


def make_8x8_thin(src69):
    """6x9 has 7 rows above the baseline and 2 below: the two descender rows are merged."""
    glyphs = [[0] * 8 for _ in range(256)]
    for code, ch in enumerate(CP1250):
        if ch is None or code < 0x20 or code == 0x7F:
            continue
        g = src69.get(ord(ch))
        if g is None:
            continue
        if ch in DRAWN_THIN:
            glyphs[code] = rows_from(DRAWN_THIN[ch])
            continue
        rows = glyph_bytes(g, 0, 9)
        glyphs[code] = [r & 0xFE for r in rows[:7] + [rows[7] | rows[8]]]
    return glyphs


def make_8x8_bold(vga8):
    glyphs = [[0] * 8 for _ in range(256)]
    for code, ch in enumerate(CP1250):
        if ch is None or code < 0x20 or code == 0x7F:
            continue
        g = vga8.get(ord(ch))
        if ch in DRAWN_BOLD:
            rows = rows_from(DRAWN_BOLD[ch])
        elif g is not None:
            rows = glyph_bytes(g, 0, 8)
        else:
            rows = rows_from(DRAWN_8x8[ch])
        used = 0
        for r in rows:
            used |= r
        if used & 0x01 and not used & 0x80:
            rows = [r << 1 & 0xFF for r in rows]  # keep the rightmost column free
        glyphs[code] = [r & 0xFE for r in rows]
    return glyphs


def stretch(row, widths):
    """Repeats column i of a row widths[i] times, left-aligned."""
    out, x = 0, 0
    for i, w in enumerate(widths):
        if row & (0x80 >> i):
            for k in range(w):
                out |= 0x80 >> (x + k) if x + k < 8 else 0
        x += w
    return out


# How the atari style stretches a glyph n columns wide: outer columns doubled.
ATARI_WIDTHS = {1: [2], 2: [2, 2], 3: [2, 1, 2], 4: [2, 1, 1, 2], 5: [2, 1, 1, 1, 2],
                6: [2, 1, 1, 1, 1, 1]}


def make_8x8_atari(thin):
    """Home-computer style: each thin glyph with its outer columns doubled, so most vertical
    strokes are two dots wide while the letters keep their shapes, centred in seven columns."""
    glyphs = []
    for rows in thin:
        used = 0
        for r in rows:
            used |= r
        if used == 0:
            glyphs.append(list(rows))
            continue
        lo = next(c for c in range(8) if used & (0x80 >> c))
        hi = max(c for c in range(8) if used & (0x80 >> c))
        n = min(hi - lo + 1, 6)
        widths = ATARI_WIDTHS[n]
        offset = (7 - sum(widths)) // 2
        # A lone dot in the middle column (the stems of I, T, i, l, t, 1) grows to two dots;
        # lone dots elsewhere are diagonals, which growing would skew.
        middle = 0x80 >> (offset + sum(widths[: n // 2])) if n % 2 and n > 1 else 0
        out = []
        for r in rows:
            w = stretch((r << lo) & 0xFF, widths) >> offset
            single = w & ~(w << 1) & ~(w >> 1) & middle
            w |= (single >> 1) & ~(w << 1) & 0xFF
            out.append(w & 0xFE)
        glyphs.append(out)
    return glyphs


def put_pictures(fonts):
    shapes = [PICTURES_5x7, PICTURES_8x7, PICTURES_8x8, PICTURES_8x8, PICTURES_8x8]
    for glyphs, pictures in zip(fonts, shapes):
        for code, pattern in pictures.items():
            glyphs[code] = rows_from(pattern)


def write_png(path, pixels, width, height):
    """pixels: rows of (r, g, b) tuples."""
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def sample_sheet(path, fonts, widths, scale=3):
    """Each font: sample lines and a 32 x 8 table of all 256 glyphs, every dot `scale` pixels."""
    lines = [
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789",
        "abcdefghijklmnopqrstuvwxyz !?.,:;-+()",
        "Zażółć gęślą jaźń ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż",
        "Příliš žluťoučký kůň ÁČĎÉĚÍŇŘŠŤÚŮÝŽ ő ű",
        "\u02d9 12:30 \u0163 07/12 \u00fa 21 €‰…†‡§©®",  # 0xFF, 0xFE, 0xFA pictures
    ]
    dot = scale - 1
    cols = 48
    rows_px = []
    colour_on, colour_off, paper = (255, 60, 20), (60, 20, 20), (0, 0, 0)
    width_px = cols * 8 * scale
    for glyphs, w in zip(fonts, widths):
        h = len(glyphs[0x41])
        text_lines = [ln.encode("cp1250") for ln in lines]
        table = [bytes(range(r * 32, r * 32 + 32)) for r in range(8)]
        for text in text_lines + table + [b""]:
            band = [[paper] * width_px for _ in range((h + 1) * scale)]
            x = 0
            for code in text:
                g = glyphs[code]
                for y in range(h):
                    for c in range(w):
                        lit = g[y] >> (7 - c) & 1
                        for dy in range(dot):
                            for dx in range(dot):
                                px = (x + c) * scale + dx
                                if px < width_px:
                                    band[y * scale + dy][px] = colour_on if lit else colour_off
                x += w if text in text_lines else 8
            rows_px.extend(band)
    write_png(path, rows_px, width_px, len(rows_px))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "..", "fonts"))
    parser.add_argument("--png", help="also draw a sample sheet of all five fonts")
    args = parser.parse_args()

    src57, _ = read_pcf(os.path.join(MISC, "5x7.pcf.gz"))
    src58, _ = read_pcf(os.path.join(MISC, "5x8.pcf.gz"))
    src69, _ = read_pcf(os.path.join(MISC, "6x9.pcf.gz"))
    vga8 = read_psf(os.path.join(CONSOLE, "Uni2-VGA8.psf.gz"))

    font1 = make_5x7(src57, src58)
    font2 = make_8x7_wide(font1)
    font3 = make_8x8_thin(src69)
    font4 = make_8x8_bold(vga8)
    font5 = make_8x8_atari(font3)
    fonts = [font1, font2, font3, font4, font5]
    put_pictures(fonts)

    names = ["font5x7.fnt", "font8x7wj.fnt", "font8x8thin.fnt", "font8x8b.fnt",
             "font8x8atari.fnt"]
    for name, glyphs in zip(names, fonts):
        data = bytes(b for rows in glyphs for b in rows)
        assert len(data) == 256 * len(glyphs[0])
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)
    if args.png:
        sample_sheet(args.png, fonts, [5, 8, 8, 8, 8])


if __name__ == "__main__":
    main()
