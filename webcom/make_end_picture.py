#!/usr/bin/env python3
"""Draws end_of_test.jpg, the background picture of the end-of-test window.

The picture is committed and built into the library as it stands; run this
only to change it. Needs Pillow and a font with Chinese characters
(Debian: python3-pil fonts-wqy-microhei, used by /usr/bin/python3).

    python3 webcom/make_end_picture.py [OUTPUT]   (default: end_of_test.jpg beside this script)
"""

import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 480, 300
TOP = (214, 232, 245)     # pale sky
BOTTOM = (120, 168, 196)  # quiet steel blue
TITLE = "考试结束"
HINT = "双击此处关闭"
FONT_CANDIDATES = [
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
]


def font(size):
    for path in FONT_CANDIDATES:
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    sys.exit("no font with Chinese characters found; install fonts-wqy-microhei")


def gradient():
    img = Image.new("RGB", (WIDTH, HEIGHT))
    px = img.load()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            # Mostly vertical, tilted a little so the light seems to come from the upper left.
            t = min(1.0, max(0.0, 0.8 * y / (HEIGHT - 1) + 0.2 * x / (WIDTH - 1)))
            px[x, y] = tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))
    return img


def centred_text(draw, text, fnt, cy, fill):
    left, top, right, bottom = draw.textbbox((0, 0), text, font=fnt)
    x = (WIDTH - (right - left)) / 2 - left
    y = cy - (bottom - top) / 2 - top
    draw.text((x, y), text, font=fnt, fill=fill)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "end_of_test.jpg")
    img = gradient()

    # A soft shadow under the title, then the texts and a thin rule between them.
    shadow = Image.new("L", (WIDTH, HEIGHT), 0)
    centred_text(ImageDraw.Draw(shadow), TITLE, font(64), 122, 110)
    shadow = shadow.filter(ImageFilter.GaussianBlur(4))
    img.paste((40, 70, 100), (2, 3), shadow)

    draw = ImageDraw.Draw(img)
    centred_text(draw, TITLE, font(64), 118, (255, 255, 255))
    draw.line([(WIDTH / 2 - 110, 172), (WIDTH / 2 + 110, 172)], fill=(235, 244, 250), width=1)
    centred_text(draw, HINT, font(24), 208, (30, 60, 90))
    img.save(out, "JPEG", quality=88, optimize=True)


if __name__ == "__main__":
    main()
