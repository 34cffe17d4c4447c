#!/usr/bin/env python3
"""Writes shapes.gif, the small animation the end-to-end tests convert, and
shapes.webp, the same animation as an animated WebP (with gif2webp from the
webp package). Run it from anywhere; the files land beside this script.

The picture, 40 x 30, top row first, on white paper:
  - a black square in the top left   (x 4-13,  y 3-12; frame 2: x 6-15)
  - a red block in the top right     (x 22-37, y 2-13)
  - a blue block in the bottom right (x 22-37, y 17-27)
  - a transparent patch, bottom left (x 0-15,  y 18-29)
Two frames, shown for 0.2 s and 3 s, repeated 3 times after the first
play (4 plays in all).
"""
import os
import subprocess

W, H = 40, 30
WHITE, BLACK, RED, BLUE, CLEAR = 0, 1, 2, 3, 4
PALETTE = [(255, 255, 255), (0, 0, 0), (255, 0, 0), (0, 0, 255),
           (0, 255, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0)]


def picture(square_left):
    rows = []
    for y in range(H):
        row = []
        for x in range(W):
            if square_left <= x < square_left + 10 and 3 <= y <= 12:
                row.append(BLACK)
            elif 22 <= x <= 37 and 2 <= y <= 13:
                row.append(RED)
            elif 22 <= x <= 37 and 17 <= y <= 27:
                row.append(BLUE)
            elif x <= 15 and y >= 18:
                row.append(CLEAR)
            else:
                row.append(WHITE)
        rows.extend(row)
    return rows


def lzw(indexes, min_size):
    """GIF LZW, widening the codes as giflib's encoder does."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    table = {(i,): i for i in range(clear)}
    next_code, width = end + 1, min_size + 1
    bits, count, out = 0, 0, bytearray()

    def emit(code):
        nonlocal bits, count, width
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
        if next_code >= (1 << width) and width < 12:
            width += 1

    emit(clear)
    run = ()
    for k in indexes:
        if run + (k,) in table:
            run += (k,)
            continue
        emit(table[run])
        table[run + (k,)] = next_code
        next_code += 1
        run = (k,)
    emit(table[run])
    emit(end)
    if count:
        out.append(bits & 0xFF)
    return bytes(out)


def gif():
    out = bytearray(b"GIF89a")
    out += bytes([W, 0, H, 0, 0xF2, 0, 0])  # global table of 8 colours
    for colour in PALETTE:
        out += bytes(colour)
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x03\x00\x00"  # 3 repeats
    for delay, left in ((20, 4), (300, 6)):
        out += bytes([0x21, 0xF9, 4, 0x05, delay & 0xFF, delay >> 8, CLEAR, 0])  # keep, transparent index
        out += bytes([0x2C, 0, 0, 0, 0, W, 0, H, 0, 0])
        data = lzw(picture(left), 3)
        out.append(3)
        for i in range(0, len(data), 255):
            block = data[i:i + 255]
            out.append(len(block))
            out += block
        out.append(0)
    out.append(0x3B)
    return bytes(out)


here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "shapes.gif"), "wb") as f:
    f.write(gif())
subprocess.run(["gif2webp", "-quiet", os.path.join(here, "shapes.gif"),
                "-o", os.path.join(here, "shapes.webp")], check=True)
