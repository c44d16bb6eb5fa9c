#!/usr/bin/env python3
"""Counts the pixels of one colour inside a rectangle of two PNG pictures, such as the main
window's cluster-map pane, and checks that the count falls (fewer) or grows (more) from the
first picture to the last. The rectangle is in the pictures' pixels, right and bottom excluded.
    map-pixels.py RRGGBB LEFT,TOP,RIGHT,BOTTOM fewer|more FIRST.png LAST.png
"""
import os
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG file")
    pos = 8
    idat = b""
    width = height = colour_type = 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour_type = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour_type not in (2, 6):
                raise ValueError(path + ": only 8-bit RGB or RGBA pictures are read")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 3 if colour_type == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows = []
    previous = bytearray(stride)
    offset = 0
    for _ in range(height):
        filter_type = raw[offset]
        line = bytearray(raw[offset + 1:offset + 1 + stride])
        offset += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            up_left = previous[i - channels] if i >= channels else 0
            if filter_type == 1:
                line[i] = (line[i] + left) & 0xFF
            elif filter_type == 2:
                line[i] = (line[i] + up) & 0xFF
            elif filter_type == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif filter_type == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else up_left)
                line[i] = (line[i] + predictor) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def count(path, rgb, rect):
    width, height, channels, rows = read_png(path)
    left, top, right, bottom = rect
    if not (0 <= left < right <= width and 0 <= top < bottom <= height):
        raise ValueError("%s: the rectangle %s does not lie in the %d x %d picture" % (path, rect, width, height))
    found = 0
    for row in rows[top:bottom]:
        for x in range(left, right):
            if tuple(row[x * channels:x * channels + 3]) == rgb:
                found += 1
    return found


def main():
    if len(sys.argv) != 6 or sys.argv[3] not in ("fewer", "more"):
        sys.stderr.write(__doc__)
        return 2
    try:
        colour = int(sys.argv[1], 16)
        if len(sys.argv[1]) != 6:
            raise ValueError
    except ValueError:
        sys.stderr.write("the colour is RRGGBB in hexadecimal, not %s\n" % sys.argv[1])
        return 2
    rgb = (colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF)
    try:
        rect = tuple(int(edge) for edge in sys.argv[2].split(","))
        if len(rect) != 4:
            raise ValueError
    except ValueError:
        sys.stderr.write("the rectangle is LEFT,TOP,RIGHT,BOTTOM in pixels, not %s\n" % sys.argv[2])
        return 2
    try:
        first = count(sys.argv[4], rgb, rect)
        last = count(sys.argv[5], rgb, rect)
    except (OSError, ValueError, zlib.error) as error:
        sys.stderr.write("%s\n" % error)
        return 2
    names = [os.path.basename(path) for path in sys.argv[4:6]]
    print("pixels of %s in %s: %d in %s, %d in %s" % (sys.argv[1], sys.argv[2], first, names[0], last, names[1]))
    return 0 if (last < first if sys.argv[3] == "fewer" else last > first) else 1


if __name__ == "__main__":
    sys.exit(main())
