#!/usr/bin/env python3
"""Draws the installer's icons and welcome bitmap into res/.

Plain Python, no imaging library: shapes are rasterised with 4x4
supersampling. Run it again after changing a shape and commit the results.
"""
import os
import struct
import math

RES = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'res')
SS = 4  # supersampling per axis


def inside_polygon(x, y, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


class Canvas:
    """RGBA canvas with float coverage compositing."""

    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[list(fill) for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, rgb, a):
        if a <= 0:
            return
        p = self.px[y][x]
        da = p[3] / 255.0
        oa = a + da * (1 - a)
        for k in range(3):
            c = (rgb[k] * a + p[k] * da * (1 - a)) / oa if oa > 0 else 0
            p[k] = int(round(c))
        p[3] = int(round(oa * 255))

    def shape(self, test, rgb, box=None):
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if test(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            hits += 1
                self.blend(x, y, rgb, hits / (SS * SS))

    def circle(self, cx, cy, r, rgb):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, rgb, (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))

    def polygon(self, pts, rgb):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.shape(lambda x, y: inside_polygon(x, y, pts), rgb, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1))

    def rect(self, x, y, w, h, rgb):
        self.shape(lambda px, py: x <= px < x + w and y <= py < y + h, rgb, (x - 1, y - 1, x + w + 1, y + h + 1))


def kestrel(c, s, ox, oy, rgb):
    """A stylised bird of prey in flight, in a 32-unit design box."""
    pts = [(16, 6), (18, 10), (31, 8), (20, 15), (19, 22), (22, 28), (16, 25), (10, 28), (13, 22), (12, 15), (1, 8), (14, 10)]
    c.polygon([(ox + x * s, oy + y * s) for x, y in pts], rgb)


def app_icon(size):
    c = Canvas(size, size)
    s = size / 32.0
    c.circle(16 * s, 16 * s, 15 * s, (22, 74, 140))
    c.circle(16 * s, 16 * s, 13 * s, (41, 121, 196))
    kestrel(c, s, 0, 0, (250, 250, 250))
    return c


def page_icon(size):
    c = Canvas(size, size)
    s = size / 32.0
    # a server box with a download arrow
    c.rect(5 * s, 4 * s, 22 * s, 24 * s, (60, 70, 90))
    c.rect(7 * s, 6 * s, 18 * s, 5 * s, (120, 170, 220))
    c.rect(7 * s, 13 * s, 18 * s, 5 * s, (120, 170, 220))
    c.circle(22 * s, 24 * s, 7 * s, (46, 160, 67))
    c.polygon([(22 * s, 29 * s), (17.5 * s, 23.5 * s), (20.5 * s, 23.5 * s), (20.5 * s, 19 * s), (23.5 * s, 19 * s), (23.5 * s, 23.5 * s), (26.5 * s, 23.5 * s)], (255, 255, 255))
    return c


def done_icon(size):
    c = Canvas(size, size)
    s = size / 16.0
    c.circle(8 * s, 8 * s, 7.5 * s, (34, 139, 34))
    c.polygon([(3.5 * s, 8.5 * s), (5 * s, 7 * s), (7 * s, 9 * s), (11 * s, 4.5 * s), (12.5 * s, 6 * s), (7 * s, 12 * s)], (255, 255, 255))
    return c


def failed_icon(size):
    c = Canvas(size, size)
    s = size / 16.0
    c.circle(8 * s, 8 * s, 7.5 * s, (150, 120, 0))
    c.circle(8 * s, 8 * s, 6.8 * s, (250, 204, 20))
    c.rect(7 * s, 3.5 * s, 2 * s, 6 * s, (40, 40, 40))
    c.circle(8 * s, 12 * s, 1.2 * s, (40, 40, 40))
    return c


def write_ico(path, canvases):
    entries = []
    blobs = []
    for c in canvases:
        w, h = c.w, c.h
        header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = c.px[y][x]
                pixels += bytes((b, g, r, a))
        mask_stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(w):
                if c.px[y][x][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        blobs.append(header + pixels + mask)
    offset = 6 + 16 * len(canvases)
    out = bytearray(struct.pack('<HHH', 0, 1, len(canvases)))
    for c, blob in zip(canvases, blobs):
        out += struct.pack('<BBBBHHII', c.w % 256, c.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, 'wb') as f:
        f.write(out)


def welcome_bitmap(path, w=265, h=408):
    c = Canvas(w, h, (0, 0, 0, 255))
    top, bottom = (18, 52, 104), (46, 140, 196)
    for y in range(h):
        t = y / (h - 1)
        col = [int(top[k] + (bottom[k] - top[k]) * t) for k in range(3)]
        for x in range(w):
            c.px[y][x] = col + [255]
    # distant hills
    c.polygon([(0, 330), (60, 300), (130, 320), (200, 290), (265, 310), (265, 408), (0, 408)], (30, 90, 70))
    c.polygon([(0, 360), (90, 335), (170, 355), (265, 340), (265, 408), (0, 408)], (22, 70, 55))
    # sun
    c.circle(200, 90, 34, (255, 214, 120))
    # the bird, large
    kestrel(c, 6.0, 36, 90, (245, 245, 245))
    # three server racks on the ground
    for i, x in enumerate((40, 110, 180)):
        c.rect(x, 250 + i * 6, 48, 80 - i * 6, (40, 48, 66))
        for k in range(3):
            c.rect(x + 6, 258 + i * 6 + k * 18, 36, 10, (110, 160, 215))
    rows = []
    stride = (w * 3 + 3) & ~3
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, _ = c.px[y][x]
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(row)
    data = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    with open(path, 'wb') as f:
        f.write(header + info + data)


def main():
    write_ico(os.path.join(RES, 'app.ico'), [app_icon(16), app_icon(32), app_icon(48)])
    write_ico(os.path.join(RES, 'page.ico'), [page_icon(16), page_icon(32)])
    write_ico(os.path.join(RES, 'done.ico'), [done_icon(16)])
    write_ico(os.path.join(RES, 'failed.ico'), [failed_icon(16)])
    welcome_bitmap(os.path.join(RES, 'welcome.bmp'))


if __name__ == '__main__':
    main()
