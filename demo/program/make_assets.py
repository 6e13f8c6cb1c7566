#!/usr/bin/env python3
"""Draws the images and the video of the exam client's program folder.

    python3 make_assets.py [OUTPUT_FOLDER]

writes images/back01.gif (the page background tile), images/hand.gif (the
pointing hand beside the open button of the operation pages) and bq.avi (a
short uncompressed clip) into OUTPUT_FOLDER, by default the folder of this
script. Only the standard library is used and the output depends on nothing
but this script, so running it again gives the same bytes.
"""

import math
import os
import struct
import sys

# --- GIF -------------------------------------------------------------------


def lzw_codes(pixels, min_code_size):
    """Yields (code, width) pairs: the GIF variant of LZW over `pixels`."""
    clear = 1 << min_code_size
    end = clear + 1

    def fresh():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = fresh()
    yield clear, width
    prefix = b""
    for p in pixels:
        grown = prefix + bytes([p])
        if grown in table:
            prefix = grown
            continue
        yield table[prefix], width
        table[grown] = next_code
        next_code += 1
        # The decoder adds each entry one code later than we do, so it widens
        # its codes when it has added the entry that needs the next bit.
        if next_code - 1 == (1 << width) and width < 12:
            width += 1
        if next_code >= 4095:
            yield clear, width
            table, next_code, width = fresh()
        prefix = bytes([p])
    if prefix:
        yield table[prefix], width
    yield end, width


def lzw_bytes(pixels, min_code_size):
    out = bytearray()
    acc = 0
    bits = 0
    for code, width in lzw_codes(pixels, min_code_size):
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif(width, height, palette, pixels, transparent=None):
    """A GIF89a image; `palette` is a list of (r, g, b), `pixels` row-major indices."""
    depth = 1
    while (1 << depth) < len(palette):
        depth += 1
    colours = list(palette) + [(0, 0, 0)] * ((1 << depth) - len(palette))
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x70 | (depth - 1), 0, 0)
    for r, g, b in colours:
        out += bytes((r, g, b))
    if transparent is not None:
        out += bytes((0x21, 0xF9, 4, 0x01, 0, 0, transparent, 0))
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    min_code_size = max(2, depth)
    data = lzw_bytes(pixels, min_code_size)
    out.append(min_code_size)
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out.append(len(block))
        out += block
    out += b"\x00\x3B"
    return bytes(out)


def background_tile():
    """A 64x64 pale blue tile with a faint diagonal weave."""
    palette = [(0xF7, 0xF9, 0xFF), (0xEF, 0xF3, 0xFF), (0xE4, 0xEB, 0xFC)]
    size = 64
    pixels = []
    for y in range(size):
        for x in range(size):
            d1 = (x + y) % 16
            d2 = (x - y) % 16
            if d1 == 0 or d2 == 0:
                pixels.append(2)
            elif d1 in (1, 15) or d2 in (1, 15):
                pixels.append(1)
            else:
                pixels.append(0)
    return gif(size, size, palette, pixels)


def pointing_hand():
    """A 32x24 hand with its index finger pointing right, on a transparent ground."""
    clear, outline, skin, shade, cuff, light = range(6)
    palette = [(0xFF, 0xFF, 0xFF), (0x5A, 0x3A, 0x1E), (0xFF, 0xDC, 0xB0),
               (0xE8, 0xB4, 0x84), (0x18, 0x55, 0xC6), (0x6E, 0x8A, 0xDE)]
    w, h = 32, 24
    img = [[clear] * w for _ in range(h)]

    def box(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                img[y][x] = colour

    box(2, 8, 6, 20, cuff)            # sleeve cuff
    box(6, 8, 6, 20, light)
    box(7, 7, 15, 20, skin)           # back of the hand
    box(9, 4, 14, 6, skin)            # thumb on top
    box(12, 7, 28, 10, skin)          # index finger
    for top in (11, 14, 17):          # three folded fingers
        box(16, top, 21, top + 1, skin)
    box(7, 18, 15, 20, shade)         # heel of the hand
    for y in (10, 13, 16):            # creases between the fingers
        box(16, y, 21, y, outline)
    # Outline every blank pixel next to the hand.
    filled = [[img[y][x] != clear for x in range(w)] for y in range(h)]
    for y in range(h):
        for x in range(w):
            if filled[y][x]:
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if 0 <= nx < w and 0 <= ny < h and filled[ny][nx]:
                    img[y][x] = outline
                    break
    # Round the fingertip and the folded fingers' knuckles.
    for x, y in ((29, 6), (29, 11), (22, 19)):
        img[y][x] = clear
    img[7][28] = outline
    img[10][28] = outline
    pixels = [p for row in img for p in row]
    return gif(w, h, palette, pixels, transparent=clear)


# --- AVI -------------------------------------------------------------------


def chunk(fourcc, payload):
    data = fourcc + struct.pack("<I", len(payload)) + payload
    return data + (b"\x00" if len(payload) % 2 else b"")


def riff_list(kind, fourcc, payload):
    return kind + struct.pack("<I", len(payload) + 4) + fourcc + payload


def video_frames(width, height, count):
    """Palette and 8-bit frames: a white ball bouncing over a green hill."""
    palette = [(0, 0, 0)] * 256
    for i in range(64):  # sky, dark to light
        palette[i] = (0x18 + i * 2, 0x55 + i * 2, 0xC6 + i // 2)
    palette[64] = (0x3C, 0x9A, 0x46)   # hill
    palette[65] = (0x2C, 0x7A, 0x36)   # hill shade
    palette[66] = (0xFF, 0xFF, 0xFF)   # ball
    palette[67] = (0xFF, 0xD8, 0x40)   # sun
    frames = []
    for n in range(count):
        t = n / count
        bx = 6 + t * (width - 12)
        by = height * 0.62 - abs(math.sin(t * 3 * math.pi)) * 16
        rows = []
        for y in range(height):
            row = bytearray()
            for x in range(width):
                ground = height * 0.72 + 4 * math.sin(x / 9.0)
                if (x - bx) ** 2 + (y - by) ** 2 <= 16:
                    row.append(66)
                elif (x - width + 10) ** 2 + (y - 8) ** 2 <= 20:
                    row.append(67)
                elif y >= ground:
                    row.append(65 if (x + y) % 5 == 0 else 64)
                else:
                    row.append(min(63, y * 64 // height))
            rows.append(bytes(row))
        rows.reverse()  # DIB rows run bottom-up
        frames.append(b"".join(rows))
    return palette, frames


def avi(width, height, fps, count):
    palette, frames = video_frames(width, height, count)
    frame_size = width * height
    avih = struct.pack("<14I", 1000000 // fps, frame_size * fps, 0, 0x10, count, 0, 1,
                       frame_size, width, height, 0, 0, 0, 0)
    strh = (b"vids" + b"DIB " +
            struct.pack("<IHHIIIIIIiI", 0, 0, 0, 0, 1, fps, 0, count, frame_size, -1, 0) +
            struct.pack("<4h", 0, 0, width, height))
    strf = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, frame_size, 0, 0, 256, 0)
    strf += b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    hdrl = riff_list(b"LIST", b"hdrl",
                     chunk(b"avih", avih) +
                     riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))
    movi_body = b""
    index = b""
    for frame in frames:
        # Offsets count from the "movi" code of the list.
        index += b"00db" + struct.pack("<III", 0x10, 4 + len(movi_body), len(frame))
        movi_body += chunk(b"00db", frame)
    movi = riff_list(b"LIST", b"movi", movi_body)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(os.path.join(out, "images"), exist_ok=True)
    outputs = {
        "images/back01.gif": background_tile(),
        "images/hand.gif": pointing_hand(),
        "bq.avi": avi(64, 48, 10, 40),
    }
    for name, data in outputs.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
