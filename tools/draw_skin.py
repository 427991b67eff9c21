#!/usr/bin/env python3
"""Draws every picture of the installer's skin and packs the skin package.

    draw_skin.py LAYOUT_DIR SKIN_ZIP BACKGROUND_PNG

The layouts in LAYOUT_DIR and the drawn pictures go into SKIN_ZIP (deflated
entries at the archive's root); the main window's background picture, which
lives outside the archive, goes to BACKGROUND_PNG. Standard library only.
"""
import math
import struct
import sys
import zipfile
import zlib

LAYOUTS = ("skin.xml", "messagebox.xml", "privacybox.xml", "mask.xml")

BLUE = (0x13, 0x98, 0xF0)
BLUE_HOT = (0x3A, 0xAA, 0xF5)
BLUE_PUSHED = (0x0E, 0x7F, 0xCC)
GREY_DISABLED = (0xC7, 0xCB, 0xD1)
FRAME = (0xD6, 0xDB, 0xE9)
GLYPH = (0x8A, 0x8D, 0x93)
WHITE = (0xFF, 0xFF, 0xFF)


class Canvas:
    """Straight (not premultiplied) RGBA pixels with anti-aliased shapes."""

    def __init__(self, width, height, color=(0, 0, 0), alpha=0.0):
        self.width, self.height = width, height
        self.pixels = [[color[0], color[1], color[2], alpha] for _ in range(width * height)]

    def blend(self, x, y, color, alpha):
        if alpha <= 0:
            return
        p = self.pixels[y * self.width + x]
        out = alpha + p[3] * (1 - alpha)
        if out <= 0:
            return
        for i in range(3):
            p[i] = (color[i] * alpha + p[i] * p[3] * (1 - alpha)) / out
        p[3] = out

    def shape(self, distance, color, alpha=1.0, box=None):
        """Fills where the signed distance is negative, with a one-pixel soft edge."""
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        for y in range(max(0, int(y0)), min(self.height, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.width, int(math.ceil(x1)))):
                coverage = min(1.0, max(0.0, 0.5 - distance(x + 0.5, y + 0.5)))
                self.blend(x, y, color, alpha * coverage)

    def gradient(self, top, bottom, diagonal=0.0):
        for y in range(self.height):
            for x in range(self.width):
                t = min(1.0, max(0.0, (y + diagonal * x) / (self.height + diagonal * self.width)))
                self.pixels[y * self.width + x] = [top[i] + (bottom[i] - top[i]) * t for i in range(3)] + [1.0]

    def png(self):
        rows = bytearray()
        for y in range(self.height):
            rows.append(0)
            for p in self.pixels[y * self.width:(y + 1) * self.width]:
                rows.extend((int(round(p[0])) & 255, int(round(p[1])) & 255, int(round(p[2])) & 255,
                             int(round(p[3] * 255)) & 255))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) +
                chunk(b"IEND", b""))


def round_rect(left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hw, hh = (right - left) / 2 - radius, (bottom - top) / 2 - radius

    def distance(x, y):
        dx, dy = abs(x - cx) - hw, abs(y - cy) - hh
        return math.hypot(max(dx, 0), max(dy, 0)) + min(max(dx, dy), 0) - radius
    return distance


def circle(cx, cy, radius):
    return lambda x, y: math.hypot(x - cx, y - cy) - radius


def segment(ax, ay, bx, by, half_width):
    def distance(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - half_width
    return distance


def ring(distance, width):
    """The outline of width pixels just inside a shape."""
    return lambda x, y: abs(distance(x, y) + width / 2) - width / 2


def pill_button(width, height, fill, border=None):
    c = Canvas(width, height)
    outer = round_rect(0, 0, width, height, height / 2)
    c.shape(outer, fill)
    if border:
        c.shape(ring(outer, 1), border)
    return c


def tick(c, color, scale):
    s = scale
    c.shape(segment(4 * s, 8.2 * s, 6.8 * s, 11 * s, 1.1 * s), color)
    c.shape(segment(6.8 * s, 11 * s, 12 * s, 5 * s, 1.1 * s), color)


def check_box(shape_radius, checked, hot):
    c = Canvas(16, 16)
    outer = round_rect(0.5, 0.5, 15.5, 15.5, shape_radius)
    if checked:
        c.shape(outer, BLUE_HOT if hot else BLUE)
        tick(c, WHITE, 1.0)
    else:
        c.shape(outer, WHITE)
        c.shape(ring(outer, 1.2), BLUE if hot else (0xB5, 0xB9, 0xC0))
    return c


def caption_button(kind, state):
    c = Canvas(24, 24)
    if state in ("hot", "pushed"):
        c.shape(circle(12, 12, 11), (0xE9, 0xEB, 0xEE) if state == "hot" else (0xD5, 0xD8, 0xDD))
    color = {"normal": GLYPH, "hot": (0x46, 0x46, 0x46), "pushed": (0x2A, 0x2A, 0x2A),
             "disabled": (0xD0, 0xD2, 0xD6)}[state]
    if kind == "close":
        c.shape(segment(7.5, 7.5, 16.5, 16.5, 0.9), color)
        c.shape(segment(16.5, 7.5, 7.5, 16.5, 0.9), color)
    else:
        c.shape(segment(7, 12.5, 17, 12.5, 0.9), color)
    return c


def chevron(width, height, up, color):
    c = Canvas(width, height)
    mid, low, high = width / 2, height * 0.3, height * 0.7
    a, b = (low, high) if not up else (high, low)
    c.shape(segment(1, a, mid, b, 0.9), color)
    c.shape(segment(mid, b, width - 1, a, 0.9), color)
    return c


def combo_frame(border, fill):
    c = Canvas(320, 32)
    outer = round_rect(0, 0, 320, 32, 2)
    c.shape(outer, fill)
    c.shape(ring(outer, 1), border)
    c.shape(segment(302, 13.5, 306, 18, 0.9), GLYPH, box=(296, 8, 316, 24))
    c.shape(segment(306, 18, 310, 13.5, 0.9), GLYPH, box=(296, 8, 316, 24))
    return c


def folder_button(body):
    c = Canvas(24, 24)
    c.shape(round_rect(4, 6, 12, 10, 1.5), body)
    c.shape(round_rect(4, 8, 20, 19, 1.5), body)
    c.shape(segment(5, 11, 19, 11, 0.5), WHITE, 0.6)
    return c


def bar(width, height, color):
    c = Canvas(width, height)
    c.shape(round_rect(0, 0, width, height, height / 2), color)
    return c


def badge(color, mark):
    c = Canvas(56, 56)
    c.shape(circle(28, 28, 26), color)
    if mark == "warn":
        c.shape(segment(28, 15, 28, 32, 3), WHITE)
        c.shape(circle(28, 40.5, 3.2), WHITE)
    else:
        tick(c, WHITE, 3.5)
    return c


def banner():
    c = Canvas(600, 338)
    c.gradient((0x0B, 0x6E, 0xC9), (0x35, 0xC6, 0xD9), diagonal=0.6)
    for cx, cy, r, a in ((470, 70, 150, 0.16), (120, 300, 190, 0.12), (330, 180, 70, 0.18), (560, 290, 60, 0.2)):
        c.shape(circle(cx, cy, r), WHITE, a, box=(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))
    c.shape(round_rect(60, 120, 300, 138, 9), WHITE, 0.9, box=(59, 119, 301, 139))
    c.shape(round_rect(60, 152, 230, 164, 6), WHITE, 0.6, box=(59, 151, 231, 165))
    return c


def background():
    c = Canvas(600, 400)
    c.gradient((0xE8, 0xF3, 0xFE), (0xFF, 0xFF, 0xFF))
    for cx, cy, r, color, a in ((520, 40, 170, BLUE, 0.10), (80, 90, 120, (0x35, 0xC6, 0xD9), 0.10),
                                (300, 140, 64, BLUE, 0.85)):
        c.shape(circle(cx, cy, r), color, a, box=(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))
    # The product's mark in the middle: a white down arrow on the blue disc.
    c.shape(segment(300, 110, 300, 160, 7), WHITE, box=(290, 100, 310, 170))
    c.shape(segment(278, 142, 300, 166, 7), WHITE, box=(268, 132, 310, 176))
    c.shape(segment(322, 142, 300, 166, 7), WHITE, box=(290, 132, 332, 176))
    return c


def pictures():
    out = {}
    for state, fill in (("normal", BLUE), ("hot", BLUE_HOT), ("pushed", BLUE_PUSHED), ("disabled", GREY_DISABLED)):
        out["btn_%s.png" % state] = pill_button(192, 40, fill)
        out["btn1_%s.png" % state] = pill_button(202, 32, fill)
    for state, fill, border in (("normal", WHITE, FRAME), ("hot", (0xF2, 0xF4, 0xF7), FRAME),
                                ("pushed", (0xE6, 0xE9, 0xEE), FRAME), ("disabled", (0xF5, 0xF5, 0xF5), (0xE4, 0xE6, 0xEA))):
        out["btn2_%s.png" % state] = pill_button(202, 32, fill, border)
    out["cbx_normal.png"] = check_box(3, False, False)
    out["cbx_hot.png"] = check_box(3, False, True)
    out["cbx_checked.png"] = check_box(3, True, False)
    out["cbx_checked_hot.png"] = check_box(3, True, True)
    out["checkboxoff-normal.png"] = check_box(7.5, False, False)
    out["checkboxoff-hover.png"] = check_box(7.5, False, True)
    out["checkboxon-normal.png"] = check_box(7.5, True, False)
    out["checkboxon-hover.png"] = check_box(7.5, True, True)
    for kind in ("close", "minimal"):
        for state in ("normal", "hot", "pushed", "disabled"):
            out["%s_%s.png" % (kind, state)] = caption_button(kind, state)
    out["down.png"] = chevron(8, 8, False, GLYPH)
    out["up.png"] = chevron(8, 8, True, GLYPH)
    out["dn_cb_normal.png"] = combo_frame(FRAME, WHITE)
    out["dn_cb_hover.png"] = combo_frame(BLUE, WHITE)
    out["dn_cb_pressed.png"] = combo_frame(BLUE_PUSHED, (0xF5, 0xF9, 0xFD))
    frame = Canvas(300, 32)
    outer = round_rect(0, 0, 300, 32, 4)
    frame.shape(outer, WHITE)
    frame.shape(ring(outer, 1), FRAME)
    out["folder_bk.png"] = frame
    for state, body in (("normal", (0xF5, 0xB9, 0x45)), ("hot", (0xFF, 0xC8, 0x5C)), ("pushed", (0xD9, 0x9B, 0x2B)),
                        ("disabled", GREY_DISABLED)):
        out["folder_%s.png" % state] = folder_button(body)
    out["progress_background.png"] = bar(484, 6, (0xE6, 0xE9, 0xEE))
    out["progress_fore.png"] = bar(484, 6, BLUE)
    out["warn.png"] = badge((0xFF, 0x9F, 0x1A), "warn")
    out["success.png"] = badge(BLUE, "info")
    out["banner.png"] = banner()
    return out


def main():
    layout_dir, zip_path, background_path = sys.argv[1:4]
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as archive:
        # A fixed date keeps the archive the same from build to build.
        def add(name, data):
            entry = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)
        for name in LAYOUTS:
            with open("%s/%s" % (layout_dir, name), "rb") as f:
                add(name, f.read())
        for name, canvas in sorted(pictures().items()):
            add(name, canvas.png())
    with open(background_path, "wb") as f:
        f.write(background().png())


if __name__ == "__main__":
    main()
