#!/usr/bin/env python3
"""Compares two PNG pictures of the same scene drawn on two platforms.

Usage: compare_pictures.py A.png B.png DIFF.png [--edges MAX_PERCENT]

Without --edges every pixel must be equal: the pixels the engine writes itself (texture,
shading) do not depend on the drawing device. With --edges a differing pixel is forgiven
when the other picture has its colour within one pixel of the same place (an edge drawn a
pixel to one side, in either picture); what remains (mostly the insides of glyphs, which each
platform's font engine draws its own way) may be at most MAX_PERCENT of the picture.

Prints the figures; writes DIFF.png (the first picture dimmed, forgiven pixels yellow, the
others red) whenever a pixel differs. Exit status 0 when the pictures agree, 1 when not,
2 when a file cannot be read.
"""
import struct
import sys
import zlib


def read_png(name):
    """(width, height, rows of RGB bytes) of an 8-bit RGB or RGBA, non-interlaced PNG."""
    with open(name, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{name}: not a PNG file")
    pos, idat, header = 8, [], None
    while pos + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body[:13])
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
        pos += 12 + size
    if header is None:
        raise ValueError(f"{name}: no header")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"{name}: not an 8-bit RGB picture without interlacing")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 0xFF
        previous = line
        if channels == 4:
            line = bytearray(b for i, b in enumerate(line) if i % 4 != 3)
        rows.append(bytes(line))
    return width, height, rows


def write_png(name, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    with open(name, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (4, 6) or (len(argv) == 6 and argv[4] != "--edges"):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        wa, ha, a = read_png(argv[1])
        wb, hb, b = read_png(argv[2])
    except (OSError, ValueError, zlib.error) as e:
        print(f"compare_pictures: {e}", file=sys.stderr)
        return 2
    if (wa, ha) != (wb, hb):
        print(f"the pictures differ in size: {wa} x {ha} and {wb} x {hb}")
        return 1
    edges = len(argv) == 6
    limit = float(argv[5]) if edges else 0.0

    def pixel(rows, x, y):
        return rows[y][3 * x:3 * x + 3]

    def near(rows, x, y, colour):
        for ny in range(max(0, y - 1), min(ha, y + 2)):
            for nx in range(max(0, x - 1), min(wa, x + 2)):
                if pixel(rows, nx, ny) == colour:
                    return True
        return False

    differing = forgiven = 0
    diff = [bytearray(bytes(c // 3 for c in row)) for row in a]
    for y in range(ha):
        ra, rb = a[y], b[y]
        if ra == rb:
            continue
        for x in range(wa):
            pa, pb = ra[3 * x:3 * x + 3], rb[3 * x:3 * x + 3]
            if pa == pb:
                continue
            differing += 1
            if edges and near(b, x, y, pa) and near(a, x, y, pb):
                forgiven += 1
                diff[y][3 * x:3 * x + 3] = b"\xff\xd0\x00"
            else:
                diff[y][3 * x:3 * x + 3] = b"\xff\x00\x00"
    total = wa * ha
    left = differing - forgiven
    percent = 100.0 * left / total
    print(f"{wa} x {ha} pixels: {differing} differ ({100.0 * differing / total:.3f} %), "
          f"{forgiven} of them along edges, {left} beyond ({percent:.3f} %, "
          f"allowed {limit:.3f} %)")
    if differing:
        write_png(argv[3], wa, ha, diff)
        print(f"difference picture: {argv[3]} (red: beyond the edges, yellow: along them)")
    return 0 if percent <= limit else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
