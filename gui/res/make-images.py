#!/usr/bin/env python3
"""Draws the graphical program's icons and bitmaps and writes them beside this
script. The pictures are plain shapes on a pixel grid, so that they are made
again byte for byte: python3 gui/res/make-images.py"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MAGENTA = (255, 0, 255)
# The drive information picture's own transparent colour.
DRIVE_INFO_KEY = (0xD6, 0x00, 0x93)
CLEAR = None


class Canvas:
    def __init__(self, width, height, ground=CLEAR):
        self.width, self.height = width, height
        self.pixels = [[ground] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1):
            self.put(x, y0, colour)
            self.put(x, y1 - 1, colour)
        for y in range(y0, y1):
            self.put(x0, y, colour)
            self.put(x1 - 1, y, colour)

    def disc(self, cx, cy, r, colour, inner=-1.0):
        for y in range(self.height):
            for x in range(self.width):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if inner < d <= r:
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            for dy in range(width):
                for dx in range(width):
                    self.put(int(x) + dx, int(y) + dy, colour)

    def triangle(self, points, colour):
        (ax, ay), (bx, by), (cx, cy) = points

        def side(px, py, qx, qy, rx, ry):
            return (qx - px) * (ry - py) - (qy - py) * (rx - px)
        for y in range(self.height):
            for x in range(self.width):
                px, py = x + 0.5, y + 0.5
                s1 = side(ax, ay, bx, by, px, py)
                s2 = side(bx, by, cx, cy, px, py)
                s3 = side(cx, cy, ax, ay, px, py)
                if (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0):
                    self.put(x, y, colour)


# Colours of the cluster kinds, as the map draws them.
BLUE = (40, 90, 200)
RED = (210, 40, 40)
GREEN = (40, 160, 60)
YELLOW = (240, 200, 30)
WHITE = (255, 255, 255)
GREY = (150, 150, 150)
DARK = (50, 50, 60)
CYAN = (30, 170, 200)
ORANGE = (240, 140, 20)


def disk_blocks(c, s, dim=False):
    """A drive as a grid of cluster blocks: the program's own mark."""
    unit = s // 16
    c.rect(1 * unit, 2 * unit, 15 * unit, 14 * unit, DARK)
    colours = [BLUE, BLUE, RED, WHITE, BLUE, RED, BLUE, WHITE, WHITE, BLUE, BLUE, RED]
    for i, colour in enumerate(colours):
        col, row = i % 4, i // 4
        x0 = (2 + col * 3) * unit
        y0 = (3 + row * 3 + (1 if row else 0)) * unit
        if dim:
            colour = GREY if colour != WHITE else (200, 200, 200)
        c.rect(x0, y0, x0 + 2 * unit, y0 + 2 * unit, colour)


def badge(c, s, colour):
    unit = s // 16
    c.disc(12 * unit, 12 * unit, 4 * unit, WHITE)
    c.disc(12 * unit, 12 * unit, 3.2 * unit, colour)
    return unit


def icon_main(c, s):
    disk_blocks(c, s)


def icon_idle(c, s):
    disk_blocks(c, s)
    badge(c, s, GREEN)


def icon_analysing(c, s):
    disk_blocks(c, s)
    unit = badge(c, s, YELLOW)
    c.disc(12 * unit, 12 * unit, 1.6 * unit, DARK, inner=0.9 * unit)


def icon_checking(c, s):
    disk_blocks(c, s)
    unit = badge(c, s, CYAN)
    c.line(10 * unit, 12 * unit, 11.5 * unit, 13.5 * unit, WHITE, max(1, unit))
    c.line(11.5 * unit, 13.5 * unit, 14 * unit, 10 * unit, WHITE, max(1, unit))


def icon_defragmenting(c, s):
    disk_blocks(c, s)
    unit = badge(c, s, BLUE)
    c.triangle([(10.5 * unit, 10 * unit), (10.5 * unit, 14 * unit), (14 * unit, 12 * unit)], WHITE)


def icon_monitoring(c, s):
    disk_blocks(c, s)
    unit = badge(c, s, GREEN)
    c.disc(12 * unit, 12 * unit, 1.5 * unit, WHITE)


def icon_suspended(c, s):
    disk_blocks(c, s)
    unit = badge(c, s, ORANGE)
    c.rect(10 * unit + unit // 2, 10 * unit, 11 * unit + unit // 2, 14 * unit, WHITE)
    c.rect(12 * unit + unit // 2, 10 * unit, 13 * unit + unit // 2, 14 * unit, WHITE)


def icon_not_connected(c, s):
    disk_blocks(c, s, dim=True)
    unit = badge(c, s, RED)
    c.line(10 * unit, 10 * unit, 13.5 * unit, 13.5 * unit, WHITE, max(1, unit))
    c.line(13.5 * unit, 10 * unit, 10 * unit, 13.5 * unit, WHITE, max(1, unit))


def ico_bytes(draw):
    images = []
    for s in (16, 32):
        c = Canvas(s, s)
        draw(c, s)
        xor = bytearray()
        mask_row_bytes = ((s + 31) // 32) * 4
        mask = bytearray()
        for y in reversed(range(s)):
            row_mask = bytearray(mask_row_bytes)
            for x in range(s):
                p = c.pixels[y][x]
                if p is None:
                    xor += bytes((0, 0, 0, 0))
                    row_mask[x // 8] |= 0x80 >> (x % 8)
                else:
                    xor += bytes((p[2], p[1], p[0], 255))
            mask += row_mask
        header = struct.pack('<IiiHHIIiiII', 40, s, s * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((s, header + bytes(xor) + bytes(mask)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in images:
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def bmp_bytes(c, ground):
    row_bytes = (c.width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in reversed(range(c.height)):
        row = bytearray()
        for x in range(c.width):
            p = c.pixels[y][x] or ground
            row += bytes((p[2], p[1], p[0]))
        row += bytes(row_bytes - len(row))
        pixels += row
    info = struct.pack('<IiiHHIIiiII', 40, c.width, c.height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b'BM' + struct.pack('<IHHI', 14 + 40 + len(pixels), 0, 0, 54) + info + bytes(pixels)


def tool(c, index, draw):
    """Draws one 20 by 20 button image at its place in the strip."""
    sub = Canvas(20, 20)
    draw(sub)
    for y in range(20):
        for x in range(20):
            if sub.pixels[y][x] is not None:
                c.put(index * 20 + x, y, sub.pixels[y][x])


def tool_analyze(c):
    c.disc(8, 8, 6, DARK, inner=4)
    c.disc(8, 8, 4, (200, 230, 255))
    c.line(12, 12, 17, 17, DARK, 2)


def tool_checkdisk(c):
    c.disc(10, 10, 8, (60, 60, 60))
    c.disc(10, 10, 3, (200, 200, 200))
    c.line(5, 11, 9, 15, GREEN, 2)
    c.line(9, 15, 17, 5, GREEN, 2)


def tool_start(c):
    c.triangle([(4, 2), (4, 18), (17, 10)], GREEN)


def tool_stop(c):
    c.rect(4, 4, 16, 16, RED)


def tool_monitor(c):
    c.disc(10, 10, 8, DARK)
    c.disc(10, 10, 6.5, WHITE)
    c.line(10, 10, 10, 5, DARK, 1)
    c.line(10, 10, 14, 10, DARK, 1)


def tool_clusterview(c):
    colours = [BLUE, RED, WHITE, BLUE, BLUE, RED, WHITE, BLUE, RED]
    c.rect(1, 1, 19, 19, DARK)
    for i, colour in enumerate(colours):
        x0, y0 = 2 + (i % 3) * 6, 2 + (i // 3) * 6
        c.rect(x0, y0, x0 + 5, y0 + 5, colour)


def tool_fragmented_files(c):
    c.rect(4, 2, 16, 18, WHITE)
    c.frame(4, 2, 16, 18, DARK)
    for y in (5, 8, 11, 14):
        c.line(6, y, 13, y, GREY)
    c.rect(9, 8, 16, 12, RED)


def tool_drive_information(c):
    c.rect(2, 6, 18, 15, GREY)
    c.frame(2, 6, 18, 15, DARK)
    c.rect(13, 10, 16, 12, GREEN)
    c.disc(7, 10.5, 2.5, BLUE)


def tool_about(c):
    c.disc(10, 10, 8, BLUE)
    c.rect(9, 5, 11, 7, WHITE)
    c.rect(9, 8, 11, 15, WHITE)


def drive_information_picture():
    c = Canvas(48, 48)
    c.rect(4, 14, 44, 36, GREY)
    c.frame(4, 14, 44, 36, DARK)
    c.rect(6, 16, 42, 22, (190, 190, 190))
    c.rect(34, 28, 40, 32, GREEN)
    for i, colour in enumerate([BLUE, RED, BLUE, WHITE]):
        c.rect(8 + i * 6, 26, 13 + i * 6, 33, colour)
    return c


def splash():
    c = Canvas(420, 170)
    for y in range(170):
        shade = 235 - y // 3
        c.rect(0, y, 420, y + 1, (shade, shade, 250))
    c.frame(0, 0, 420, 170, DARK)
    big = Canvas(96, 96)
    disk_blocks(big, 96)
    for y in range(96):
        for x in range(96):
            if big.pixels[y][x] is not None:
                c.put(12 + x, 30 + y, big.pixels[y][x])
    # The corners show what lies behind the splash.
    for (x0, y0) in ((0, 0), (416, 0), (0, 166), (416, 166)):
        c.rect(x0, y0, x0 + 4, y0 + 4, MAGENTA)
    return c


def sort_arrow(down):
    c = Canvas(9, 5)
    for row in range(5):
        width = 9 - 2 * row
        y = row if down else 4 - row
        c.rect(row, y, row + width, y + 1, (0, 0, 0))
    return c


def hand_pointer():
    """The pointing hand of hot list items on systems that have none of their own."""
    c = Canvas(32, 32)
    black, white = (0, 0, 0), (255, 255, 255)
    c.rect(5, 0, 9, 10, black)         # the finger
    c.rect(6, 1, 8, 10, white)
    c.rect(2, 9, 17, 21, black)        # the palm and the bent fingers
    c.rect(3, 10, 16, 20, white)
    for x in (8, 11, 14):
        c.rect(x, 10, x + 1, 14, black)
    return c


def cur_bytes(c, hot_x, hot_y):
    """A monochrome cursor: black and white pixels, the rest transparent."""
    s = c.width
    row_bytes = ((s + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(s)):
        row_xor, row_mask = bytearray(row_bytes), bytearray(row_bytes)
        for x in range(s):
            p = c.pixels[y][x]
            if p is None:
                row_mask[x // 8] |= 0x80 >> (x % 8)
            elif p != (0, 0, 0):
                row_xor[x // 8] |= 0x80 >> (x % 8)
        xor += row_xor
        mask += row_mask
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    header = struct.pack('<IiiHHIIiiII', 40, s, s * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 0)
    data = header + palette + bytes(xor) + bytes(mask)
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', s, s, 2, 0, hot_x, hot_y, len(data), 22) + data


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def main():
    icons = [
        ('main.ico', icon_main), ('idle.ico', icon_idle), ('analysing.ico', icon_analysing),
        ('checking.ico', icon_checking), ('defragmenting.ico', icon_defragmenting),
        ('monitoring.ico', icon_monitoring), ('suspended.ico', icon_suspended),
        ('notconnected.ico', icon_not_connected),
    ]
    for name, draw in icons:
        write(name, ico_bytes(draw))

    # Button order: Analyze, CheckDisk, Start, Stop, Monitor, Clusterview,
    # Fragmented Files, Drive Information, About.
    tools = [tool_analyze, tool_checkdisk, tool_start, tool_stop, tool_monitor, tool_clusterview,
             tool_fragmented_files, tool_drive_information, tool_about]
    strip = Canvas(20 * len(tools), 20)
    for i, draw in enumerate(tools):
        tool(strip, i, draw)
    write('toolbar.bmp', bmp_bytes(strip, MAGENTA))
    write('driveinfo.bmp', bmp_bytes(drive_information_picture(), DRIVE_INFO_KEY))
    write('splash.bmp', bmp_bytes(splash(), MAGENTA))
    write('sortdown.bmp', bmp_bytes(sort_arrow(True), WHITE))
    write('sortup.bmp', bmp_bytes(sort_arrow(False), WHITE))
    write('hand.cur', cur_bytes(hand_pointer(), 7, 0))


if __name__ == '__main__':
    main()
