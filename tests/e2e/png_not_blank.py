#!/usr/bin/env python3
"""Checks that a PNG screenshot shows a picture: not one flat colour, and with
enough ink of each of the plot's three channel colours. Standard library only."""
import struct
import sys
import zlib


def pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG")
    pos, idat, width, height, colour, depth = 8, b"", 0, 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if depth != 8 or colour not in (2, 6):
        raise SystemExit(f"{path}: unexpected PNG format {depth}/{colour}")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(line)
        prev = line
    return [(r[i], r[i + 1], r[i + 2]) for r in rows for i in range(0, stride, bpp)]


def main():
    px = pixels(sys.argv[1])
    colours = {"red": 0, "green": 0, "blue": 0}
    for r, g, b in px:
        if r > 150 and g < 100 and b < 100:
            colours["red"] += 1
        elif g > 120 and r < 100 and b < 100:
            colours["green"] += 1
        elif b > 150 and r < 100 and g < 160:
            colours["blue"] += 1
    distinct = len(set(px))
    print(f"{len(px)} pixels, {distinct} distinct colours, channel ink {colours}")
    if distinct < 4 or min(colours.values()) < 50:
        raise SystemExit("the picture is blank or a channel line is missing")


main()
