"""Readers for the bitmap font formats Debian ships: Linux console PSF and X11 PCF."""

import gzip
import struct


def _open(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    return data


class Glyph:
    """A glyph as rows of dots: rows[i] is a list of 0/1, one per column. `top` is the number
    of rows above the baseline (the font's ascent) or None where the format does not say."""

    def __init__(self, rows, top):
        self.rows = rows
        self.top = top

    @property
    def width(self):
        return len(self.rows[0]) if self.rows else 0


def read_psf(path):
    """Returns {codepoint: Glyph} of a PSF1/PSF2 console font with a Unicode table; the glyphs
    are the font's full cells. A code point listed for several glyphs keeps the first."""
    data = _open(path)
    if data[:2] == b"\x36\x04":
        mode, charsize = data[2], data[3]
        count = 512 if mode & 1 else 256
        has_table = bool(mode & 2)
        height, width, offset = charsize, 8, 4
        bytes_per_row = 1
    elif data[:4] == b"\x72\xb5\x4a\x86":
        _, headersize, flags, count, charsize, height, width = struct.unpack("<IIIIIII", data[4:32])
        offset = headersize
        has_table = bool(flags & 1)
        bytes_per_row = (width + 7) // 8
    else:
        raise ValueError(f"{path}: not a PSF font")
    glyphs = []
    for i in range(count):
        raw = data[offset + i * charsize : offset + (i + 1) * charsize]
        rows = []
        for r in range(height):
            bits = int.from_bytes(raw[r * bytes_per_row : (r + 1) * bytes_per_row], "big")
            total = bytes_per_row * 8
            rows.append([(bits >> (total - 1 - c)) & 1 for c in range(width)])
        glyphs.append(rows)
    result = {}
    if not has_table:
        raise ValueError(f"{path}: no Unicode table")
    pos = offset + count * charsize
    psf1 = data[:2] == b"\x36\x04"
    for i in range(count):
        while True:
            if psf1:
                (u,) = struct.unpack("<H", data[pos : pos + 2])
                pos += 2
                if u == 0xFFFF:
                    break
                if u == 0xFFFE:
                    # Sequences follow; skip them up to the terminator.
                    while struct.unpack("<H", data[pos : pos + 2])[0] != 0xFFFF:
                        pos += 2
                    continue
                result.setdefault(u, glyphs[i])
            else:
                b = data[pos]
                if b == 0xFF:
                    pos += 1
                    break
                if b == 0xFE:
                    pos += 1
                    while data[pos] != 0xFF:
                        pos += 1
                    continue
                n = 1 if b < 0x80 else 2 if b < 0xE0 else 3 if b < 0xF0 else 4
                ch = data[pos : pos + n].decode("utf-8")
                pos += n
                result.setdefault(ord(ch), glyphs[i])
    return {u: Glyph(rows, None) for u, rows in result.items()}


# PCF table types and format bits.
_PCF_METRICS = 1 << 2
_PCF_BITMAPS = 1 << 3
_PCF_BDF_ENCODINGS = 1 << 5
_PCF_ACCELERATORS = 1 << 1
_PCF_BDF_ACCELERATORS = 1 << 8
_PCF_COMPRESSED_METRICS = 0x100


def read_pcf(path):
    """Returns ({codepoint: Glyph}, ascent) of an X11 PCF font encoded in ISO10646. Each
    glyph is placed in the font's full cell (ascent + descent rows, the cell width), with
    `top` = ascent, so all glyphs share the baseline."""
    data = _open(path)
    if data[:4] != b"\x01fcp":
        raise ValueError(f"{path}: not a PCF font")
    (count,) = struct.unpack("<I", data[4:8])
    tables = {}
    for i in range(count):
        ttype, fmt, size, offset = struct.unpack("<IIII", data[8 + 16 * i : 24 + 16 * i])
        tables[ttype] = (fmt, offset)

    def endian(fmt):
        return ">" if fmt & 4 else "<"

    # Metrics. Each table repeats its format word, which gives its byte order.
    _, off = tables[_PCF_METRICS]
    fmt = struct.unpack("<I", data[off : off + 4])[0]
    e = endian(fmt)
    metrics = []
    if fmt & _PCF_COMPRESSED_METRICS:
        (n,) = struct.unpack(e + "H", data[off + 4 : off + 6])
        p = off + 6
        for _ in range(n):
            lsb, rsb, w, asc, desc = (x - 0x80 for x in data[p : p + 5])
            metrics.append((lsb, rsb, w, asc, desc))
            p += 5
    else:
        (n,) = struct.unpack(e + "I", data[off + 4 : off + 8])
        p = off + 8
        for _ in range(n):
            lsb, rsb, w, asc, desc, _attr = struct.unpack(e + "hhhhhH", data[p : p + 12])
            metrics.append((lsb, rsb, w, asc, desc))
            p += 12

    # Bitmaps.
    fmt_b, off = tables[_PCF_BITMAPS]
    fmt_b = struct.unpack("<I", data[off : off + 4])[0]
    e = endian(fmt_b)
    (n,) = struct.unpack(e + "I", data[off + 4 : off + 8])
    offsets = struct.unpack(e + f"{n}I", data[off + 8 : off + 8 + 4 * n])
    p = off + 8 + 4 * n
    sizes = struct.unpack(e + "4I", data[p : p + 16])
    bitmap_data = data[p + 16 : p + 16 + sizes[fmt_b & 3]]
    pad = 1 << (fmt_b & 3)
    msb_bit = bool(fmt_b & 8)
    unit = 1 << ((fmt_b >> 4) & 3)
    if not msb_bit or (unit != 1 and not (fmt_b & 4)):
        raise ValueError(f"{path}: unsupported bitmap layout {fmt_b:#x}")

    # Font-wide ascent and descent.
    acc_key = _PCF_BDF_ACCELERATORS if _PCF_BDF_ACCELERATORS in tables else _PCF_ACCELERATORS
    _, off = tables[acc_key]
    fmt_a = struct.unpack("<I", data[off : off + 4])[0]
    e = endian(fmt_a)
    ascent, descent = struct.unpack(e + "ii", data[off + 12 : off + 20])

    # Encodings.
    _, off = tables[_PCF_BDF_ENCODINGS]
    fmt_e = struct.unpack("<I", data[off : off + 4])[0]
    e = endian(fmt_e)
    min2, max2, min1, max1, _default = struct.unpack(e + "5h", data[off + 4 : off + 14])
    p = off + 14
    glyphs = {}
    for b1 in range(min1, max1 + 1):
        for b2 in range(min2, max2 + 1):
            (idx,) = struct.unpack(e + "H", data[p : p + 2])
            p += 2
            if idx == 0xFFFF:
                continue
            code = (b1 << 8) | b2
            lsb, rsb, w, asc, desc = metrics[idx]
            bw = rsb - lsb
            stride = ((bw + 7) // 8 + pad - 1) // pad * pad
            cell_w = max(w, 1)
            rows = [[0] * cell_w for _ in range(ascent + descent)]
            for r in range(asc + desc):
                y = ascent - asc + r
                line = bitmap_data[offsets[idx] + r * stride : offsets[idx] + (r + 1) * stride]
                for c in range(bw):
                    if line[c // 8] & (0x80 >> (c % 8)):
                        x = lsb + c
                        if 0 <= y < len(rows) and 0 <= x < cell_w:
                            rows[y][x] = 1
            glyphs[code] = Glyph(rows, ascent)
    return glyphs, ascent
