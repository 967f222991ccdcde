#!/usr/bin/env python3
"""Draws every picture of the plug-in's resources and writes them as PNG files.

Run from anywhere:  python3 resources/draw_images.py
Needs Python 3 with Pillow and NumPy (Debian: python3-pil, python3-numpy) and the DejaVu fonts
(fonts-dejavu-core). The PNGs are committed, so building the plug-in does not need this script;
run it again only after changing a drawing here.

Written files (relative to this folder):
  OmbrelTideLinkForVectorworks/Images/*.png   mode-bar buttons (32 x 32) and view-pane label (16 x 16)
  about_107.png, about_107.bmp                About picture, 440 x 560, RGB (the BMP is bitmap 107)
  icon_110.png, icon_110_16.png, icon_110_48.png, icon_110.ico   the plug-in's icon

Every picture is drawn eight times larger on a 32-unit grid (16 units for the label icons) and
scaled down, which gives smooth edges without any extra tool.
"""

import math
import os

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "OmbrelTideLinkForVectorworks", "Images")
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
OVERSAMPLE = 8

# Palette
DEEP = (11, 50, 92)
SEA = (18, 116, 178)
TEAL = (22, 170, 190)
FOAM = (255, 255, 255)
OUTLINE = (40, 44, 52, 255)
GREEN = (46, 170, 80, 255)
GREEN_DARK = (22, 110, 48, 255)
RED = (214, 58, 48, 255)
RED_DARK = (140, 30, 24, 255)
AMBER = (245, 190, 40, 255)
AMBER_DARK = (150, 100, 10, 255)
GREY = (120, 128, 140, 255)
GREY_DARK = (60, 66, 76, 255)
CLEAR = (0, 0, 0, 0)


class Canvas:
    """An oversampled RGBA picture addressed in grid units (the final picture's pixels)."""

    def __init__(self, width, height, grid=None):
        self.width, self.height = width, height
        grid_w = grid or width
        self.k = OVERSAMPLE * width / grid_w  # oversampled pixels per grid unit
        self.image = Image.new("RGBA", (width * OVERSAMPLE, height * OVERSAMPLE), CLEAR)
        self.draw = ImageDraw.Draw(self.image)

    def p(self, *xy):
        return [v * self.k for v in xy]

    def pts(self, points):
        return [(x * self.k, y * self.k) for x, y in points]

    def w(self, width):
        return max(1, round(width * self.k))

    def rect(self, box, fill, radius=0, outline=None, width=0):
        self.draw.rounded_rectangle(self.p(*box), radius=radius * self.k, fill=fill,
                                    outline=outline, width=self.w(width) if outline else 0)

    def circle(self, cx, cy, r, fill, outline=None, width=0):
        self.draw.ellipse(self.p(cx - r, cy - r, cx + r, cy + r), fill=fill,
                          outline=outline, width=self.w(width) if outline else 0)

    def poly(self, points, fill, outline=None, width=0):
        self.draw.polygon(self.pts(points), fill=fill)
        if outline:
            closed = self.pts(points + points[:1])
            self.draw.line(closed, fill=outline, width=self.w(width), joint="curve")

    def line(self, points, fill, width):
        self.draw.line(self.pts(points), fill=fill, width=self.w(width), joint="curve")
        r = width / 2  # round caps
        for x, y in (points[0], points[-1]):
            self.circle(x, y, r, fill)

    def result(self):
        return self.image.resize((self.width, self.height), Image.LANCZOS)


def gradient(size, top, bottom, diagonal=False):
    """RGBA gradient of the oversampled size, top colour to bottom colour."""
    w, h = size
    ys = np.linspace(0.0, 1.0, h)[:, None]
    xs = np.linspace(0.0, 1.0, w)[None, :]
    t = (ys * 0.75 + xs * 0.25) if diagonal else np.broadcast_to(ys, (h, w))
    t = np.clip(t, 0.0, 1.0)[..., None]
    rgb = np.array(top, float) * (1 - t) + np.array(bottom, float) * t
    alpha = np.full((h, w, 1), 255.0)
    return Image.fromarray(np.concatenate([rgb, alpha], axis=2).astype(np.uint8), "RGBA")


def wave_points(x0, x1, y, amplitude, periods, phase=0.0, steps=64):
    return [(x0 + (x1 - x0) * i / steps,
             y + amplitude * math.sin(phase + 2 * math.pi * periods * i / steps))
            for i in range(steps + 1)]


# ---------------------------------------------------------------------------------------------
# Shared drawings (grid of 32 units unless said otherwise)

def draw_logo(c, x0, y0, size, simple=False):
    """The TideLink mark: a rounded ocean tile with a low sun and three tide waves (two bolder
    ones when simple, for pictures of 16 pixels)."""
    s = size / 32.0
    box = c.p(x0, y0, x0 + size, y0 + size)
    box = [round(v) for v in box]
    tile = gradient((box[2] - box[0], box[3] - box[1]), TEAL, DEEP, diagonal=True)
    mask = Image.new("L", tile.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, tile.size[0] - 1, tile.size[1] - 1),
                                           radius=round(7 * s * c.k), fill=255)
    c.image.paste(tile, (box[0], box[1]), mask)
    waves = ((17.0, 3.6), (25.0, 3.6)) if simple else ((15.5, 2.6), (20.5, 2.6), (25.5, 2.6))
    c.circle(x0 + 20.5 * s, y0 + 10.0 * s, (5.0 if simple else 4.2) * s, (255, 214, 90, 255))
    for i, (y, width) in enumerate(waves):
        pts = wave_points(x0 + 6 * s, x0 + 26 * s, y0 + y * s, 1.6 * s, 1.2 if simple else 1.5,
                          phase=i * 0.9)
        c.line(pts, FOAM, width * s)


def draw_play(c, cx, cy, r, fill, outline):
    pts = [(cx - 0.55 * r, cy - 0.95 * r), (cx + 0.95 * r, cy), (cx - 0.55 * r, cy + 0.95 * r)]
    c.poly(pts, fill, outline, max(1.0, r * 0.12))


def draw_stop(c, cx, cy, r, fill, outline):
    c.rect((cx - 0.8 * r, cy - 0.8 * r, cx + 0.8 * r, cy + 0.8 * r), fill, radius=0.2 * r,
           outline=outline, width=max(1.0, r * 0.12))


def draw_camera(c, s=1.0, ox=0.0, oy=0.0):
    """A compact camera; s scales the 32-unit drawing, (ox, oy) moves it."""
    def P(x, y):
        return ox + x * s, oy + y * s
    # viewfinder hump and body
    c.poly([P(9, 9.5), P(12, 6), P(19, 6), P(22, 9.5)], GREY_DARK)
    c.rect((*P(2.5, 9), *P(29.5, 26)), (86, 94, 108, 255), radius=3.5 * s,
           outline=OUTLINE, width=1.2 * s)
    c.rect((*P(4.5, 11), *P(9, 13.5)), (255, 214, 90, 255), radius=0.8 * s)  # flash
    # lens
    lx, ly = P(16, 17.5)
    c.circle(lx, ly, 7.0 * s, (220, 226, 234, 255), OUTLINE, 1.2 * s)
    c.circle(lx, ly, 4.8 * s, (*SEA, 255))
    c.circle(lx, ly, 2.6 * s, (*DEEP, 255))
    c.circle(lx - 1.6 * s, ly - 1.6 * s, 1.2 * s, (255, 255, 255, 220))


def draw_badge(c, cx, cy, r, kind, ring=0.22, symbol=1.0):
    """A round green play or red stop badge; ring is the white rim, symbol scales the sign."""
    if kind == "play":
        c.circle(cx, cy, r, GREEN, FOAM + (255,), r * ring)
        draw_play(c, cx + r * 0.08, cy, r * 0.52 * symbol, FOAM + (255,), None)
    else:
        c.circle(cx, cy, r, RED, FOAM + (255,), r * ring)
        draw_stop(c, cx, cy, r * 0.45 * symbol, FOAM + (255,), None)


def gear_points(cx, cy, outer, inner, teeth, steps_per_tooth=16):
    pts = []
    total = teeth * steps_per_tooth
    for i in range(total):
        a = 2 * math.pi * i / total
        phase = (i % steps_per_tooth) / steps_per_tooth
        r = outer if 0.12 < phase < 0.55 else inner
        pts.append((cx + r * math.cos(a - math.pi / 2), cy + r * math.sin(a - math.pi / 2)))
    return pts


# ---------------------------------------------------------------------------------------------
# Mode-bar buttons, 32 x 32

def icon_about():
    c = Canvas(32, 32)
    draw_logo(c, 1, 1, 30)
    return c.result()


def icon_start():
    c = Canvas(32, 32)
    draw_play(c, 15, 16, 13, GREEN, GREEN_DARK)
    return c.result()


def icon_stop():
    c = Canvas(32, 32)
    draw_stop(c, 16, 16, 13, RED, RED_DARK)
    return c.result()


def icon_resume():
    c = Canvas(32, 32)
    c.rect((3, 4, 9, 28), AMBER, radius=1.5, outline=AMBER_DARK, width=1.3)
    draw_play(c, 19, 16, 11.5, GREEN, GREEN_DARK)
    return c.result()


def icon_camera(kind, size=32):
    c = Canvas(size, size, grid=32)
    draw_camera(c, s=0.9, ox=0, oy=0)
    draw_badge(c, 24.5, 24.5, 7, kind)
    return c.result()


def icon_settings():
    c = Canvas(32, 32)
    c.poly(gear_points(16, 16, 14.5, 11, 8), GREY, GREY_DARK, 1.3)
    c.circle(16, 16, 7.2, (180, 188, 198, 255), GREY_DARK, 1.2)
    c.circle(16, 16, 3.8, CLEAR)
    c.draw.ellipse(c.p(16 - 3.8, 16 - 3.8, 16 + 3.8, 16 + 3.8), outline=GREY_DARK,
                   width=c.w(1.2))
    return c.result()


def icon_save():
    c = Canvas(32, 32)
    body = (*SEA, 255)
    c.poly([(3, 4), (24, 4), (29, 9), (29, 28), (3, 28)], body, (*DEEP, 255), 1.4)
    c.rect((9, 5.5, 22, 13), (214, 220, 228, 255), radius=1)   # shutter
    c.rect((17.5, 7, 20.5, 11.5), (*DEEP, 255), radius=0.5)    # shutter slot
    c.rect((7, 17, 25, 27), FOAM + (255,), radius=1.2)         # label
    for y in (20.5, 23.5):
        c.line([(10, y), (22, y)], (150, 170, 190, 255), 1.1)
    return c.result()


def icon_version():
    c = Canvas(32, 32)
    tri = [(16, 2.5), (30, 28.5), (2, 28.5)]
    c.poly(tri, AMBER, AMBER_DARK, 1.6)
    c.poly([(14.6, 10.5), (17.4, 10.5), (16.8, 20.5), (15.2, 20.5)], (30, 30, 30, 255))
    c.circle(16, 24.3, 1.7, (30, 30, 30, 255))
    return c.result()


# ---------------------------------------------------------------------------------------------
# View-pane label, 16 x 16 (drawn on the 32-unit grid and halved)

def label_about():
    c = Canvas(16, 16, grid=32)
    draw_logo(c, 0, 0, 32, simple=True)
    return c.result()


def label_camera(kind):
    c = Canvas(16, 16, grid=32)
    draw_camera(c, s=0.85)
    draw_badge(c, 23, 23, 9, kind, ring=0.12, symbol=1.25)
    return c.result()


# ---------------------------------------------------------------------------------------------
# About picture (module bitmap 107) and the plug-in icon (module icon group 110)

def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def about_picture():
    width, height = 440, 560
    sky = gradient((width, height), (9, 36, 74), (20, 150, 176))
    c = Canvas(width, height)
    c.image = sky.resize((width * OVERSAMPLE, height * OVERSAMPLE))
    c.draw = ImageDraw.Draw(c.image)
    # a low sun with a soft glow, setting behind the waves
    glow = Image.new("RGBA", (width, height), CLEAR)
    ImageDraw.Draw(glow).ellipse((250, 370, 410, 530), fill=(255, 205, 110, 120))
    glow = glow.filter(ImageFilter.GaussianBlur(28)).resize(c.image.size, Image.BILINEAR)
    c.image.alpha_composite(glow)
    c.circle(330, 450, 34, (255, 214, 110, 255))
    # layered tide at the bottom
    bands = [(430, 9, (40, 170, 200, 150)), (456, 10, (30, 140, 185, 200)),
             (486, 10, (20, 110, 165, 225)), (520, 11, (12, 80, 135, 245))]
    for n, (y, amp, colour) in enumerate(bands):
        top = wave_points(0, width, y, amp, 1.6 + 0.3 * n, phase=n * 1.3, steps=160)
        layer = Image.new("RGBA", c.image.size, CLEAR)
        ImageDraw.Draw(layer).polygon(c.pts(top + [(width, height), (0, height)]), fill=colour)
        c.image.alpha_composite(layer)
        c.line(top, (255, 255, 255, 150), 2.2)
    # mark and name
    draw_logo(c, 155, 40, 130)
    picture = c.result().convert("RGB")
    d = ImageDraw.Draw(picture)
    title = font("DejaVuSans-Bold.ttf", 64)
    sub = font("DejaVuSans.ttf", 44)
    small = font("DejaVuSans.ttf", 22)
    for text, f, y, fill in (("Ombrel", title, 196, (255, 255, 255)),
                             ("TideLink", sub, 272, (190, 236, 244)),
                             ("live link and COLLADA export", small, 336, (220, 236, 244))):
        w = d.textlength(text, font=f)
        d.text(((width - w) / 2 + 2, y + 2), text, font=f, fill=(5, 25, 50))
        d.text(((width - w) / 2, y), text, font=f, fill=fill)
    return picture


def plugin_icon(size):
    c = Canvas(size, size, grid=32)
    draw_logo(c, 0, 0, 32, simple=size <= 16)
    return c.result()


def main():
    os.makedirs(IMAGES, exist_ok=True)
    images = {
        "about.png": icon_about(),
        "start.png": icon_start(),
        "stop.png": icon_stop(),
        "resume.png": icon_resume(),
        "camera_start.png": icon_camera("play"),
        "camera_stop.png": icon_camera("stop"),
        "settings.png": icon_settings(),
        "save.png": icon_save(),
        "version.png": icon_version(),
        "label_about.png": label_about(),
        "label_camera_start.png": label_camera("play"),
        "label_camera_stop.png": label_camera("stop"),
    }
    for name, image in images.items():
        image.save(os.path.join(IMAGES, name), optimize=True)
    about = about_picture()
    about.save(os.path.join(HERE, "about_107.png"), optimize=True)
    # The module's own resources (OmbrelTideLink.rc): a 24-bit bitmap and 32-bit DIB icons, which
    # every Windows version and Wine read.
    about.convert("RGB").save(os.path.join(HERE, "about_107.bmp"), format="BMP")
    icons = {size: plugin_icon(size) for size in (16, 32, 48)}
    icons[32].save(os.path.join(HERE, "icon_110.png"), optimize=True)
    icons[16].save(os.path.join(HERE, "icon_110_16.png"), optimize=True)
    icons[48].save(os.path.join(HERE, "icon_110_48.png"), optimize=True)
    icons[48].save(os.path.join(HERE, "icon_110.ico"), sizes=[(16, 16), (32, 32), (48, 48)],
                   append_images=[icons[16], icons[32]], bitmap_format="bmp")


if __name__ == "__main__":
    main()
