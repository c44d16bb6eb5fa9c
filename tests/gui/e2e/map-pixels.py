#!/usr/bin/env python3
"""Counts the pixels of one colour in the lower part of PNG pictures, where the main window
shows its cluster-map pane, and checks that the count falls from the first picture to the last.
    map-pixels.py RRGGBB TOP_FRACTION FIRST.png LAST.png
"""
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


def count(path, rgb, top_fraction):
    width, height, channels, rows = read_png(path)
    found = 0
    for row in rows[int(height * top_fraction):]:
        for x in range(width):
            if tuple(row[x * channels:x * channels + 3]) == rgb:
                found += 1
    return found


def main():
    colour = int(sys.argv[1], 16)
    rgb = (colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF)
    top = float(sys.argv[2])
    before = count(sys.argv[3], rgb, top)
    after = count(sys.argv[4], rgb, top)
    print("pixels of %s below %.0f%%: %d before, %d after" % (sys.argv[1], top * 100, before, after))
    return 0 if after < before else 1


if __name__ == "__main__":
    sys.exit(main())
