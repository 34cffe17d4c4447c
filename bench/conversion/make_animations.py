#!/usr/bin/env python3
"""Makes the benchmark's input animations from pictures in Debian packages.

  photo.gif      400 x 400, 44 frames: a slow pan and zoom over a photograph
                 (the gorilla of the jigzo-data puzzle set), each frame
                 reduced to its own 256-colour palette with dithering, as a
                 camera clip turned GIF is.
  panorama.gif   1000 x 175, 259 frames: a wide strip panning across an
                 enlarged photograph (the castle of the same set).
  screen.gif     472 x 298, 380 frames: a screen recording - a text editor
                 window in which source code is typed line by line and
                 scrolls, with a moving mouse pointer; few colours, small
                 changes from frame to frame.

Needs python3-pil and jigzo-data (Debian); neither is a dependency of the
program.  Usage: make_animations.py OUTPUT_DIR
"""
import io
import os
import sys

from PIL import Image, ImageDraw, ImageFont

PUZZLES = "/usr/share/games/jigzo/puzzles/00_default"


def puzzle_photo(name):
    """The whole photograph of a puzzle file: the top-left picture of the
    texture atlas stored in it as JPEG, cut where the black background
    begins."""
    data = open(os.path.join(PUZZLES, name), "rb").read()
    best = None
    at = data.find(b"\xff\xd8\xff")
    while at >= 0:
        try:
            im = Image.open(io.BytesIO(data[at:]))
            im.load()
            if best is None or im.size[0] * im.size[1] > best.size[0] * best.size[1]:
                best = im
        except Exception:
            pass
        at = data.find(b"\xff\xd8\xff", at + 3)
    im = best.convert("RGB")
    px = im.load()

    def extent(dark, n):
        run = 0
        for i in range(n):
            run = run + 1 if dark(i) else 0
            if run >= 8:
                return i - 7
        return n

    black = lambda p: sum(p) < 15
    w = min(extent(lambda x: black(px[x, 5]), im.size[0]), extent(lambda x: black(px[x, 40]), im.size[0]))
    h = min(extent(lambda y: black(px[5, y]), im.size[1]), extent(lambda y: black(px[40, y]), im.size[1]))
    return im.crop((0, 0, w, h))


def to_gif_frame(frame):
    return frame.quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.FLOYDSTEINBERG)


def save(path, frames, delay_ms):
    frames = [to_gif_frame(f) for f in frames]
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=delay_ms, loop=0,
                   optimize=False, disposal=1)


def pan(photo, size, count, start, end, zoom_from, zoom_to):
    w, h = size
    frames = []
    for i in range(count):
        t = i / (count - 1)
        zoom = zoom_from + (zoom_to - zoom_from) * t
        cw, ch = w / zoom, h / zoom
        cx = start[0] + (end[0] - start[0]) * t
        cy = start[1] + (end[1] - start[1]) * t
        box = (cx - cw / 2, cy - ch / 2, cx + cw / 2, cy + ch / 2)
        frames.append(photo.transform(size, Image.Transform.EXTENT, box, Image.Resampling.BILINEAR))
    return frames


def screen_recording(count):
    w, h = 472, 298
    font = ImageFont.load_default()
    text = open(__file__).read().splitlines()
    frames = []
    typed = 0
    for i in range(count):
        typed += 3
        im = Image.new("RGB", (w, h), (236, 236, 236))
        d = ImageDraw.Draw(im)
        d.rectangle((0, 0, w, 22), fill=(48, 52, 64))
        d.text((8, 5), "editor - make_animations.py", fill=(230, 230, 230), font=font)
        d.rectangle((0, 22, 40, h), fill=(222, 222, 226))
        d.rectangle((40, 22, w, h), fill=(255, 255, 255))
        # The characters typed so far, scrolled so the cursor line shows.
        lines, left = [], typed
        for line in text:
            if left <= 0:
                break
            lines.append(line[:left])
            left -= len(line) + 1
        first = max(0, len(lines) - 22)
        for row, line in enumerate(lines[first:]):
            y = 26 + row * 12
            d.text((4, y), "%3d" % (first + row + 1), fill=(140, 140, 150), font=font)
            colour = (0, 110, 0) if line.lstrip().startswith("#") else (20, 20, 120) if "def " in line else (30, 30, 30)
            d.text((46, y), line, fill=colour, font=font)
        cy = 26 + (len(lines[first:]) - 1) * 12
        cx = 46 + 6 * len(lines[-1]) if lines else 46
        if (i // 8) % 2 == 0:
            d.rectangle((cx, cy, cx + 1, cy + 10), fill=(0, 0, 0))
        # A mouse pointer drifting over the window.
        mx, my = 60 + (i * 3) % (w - 80), 40 + (i * 2) % (h - 60)
        d.polygon([(mx, my), (mx, my + 14), (mx + 4, my + 10), (mx + 9, my + 10)], fill=(0, 0, 0), outline=(255, 255, 255))
        frames.append(im)
    return frames


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    gorilla = puzzle_photo("gorilla2-3x3.pzl")
    gw, gh = gorilla.size
    save(os.path.join(out, "photo.gif"),
         pan(gorilla, (400, 400), 44, (gw * 0.45, gh * 0.45), (gw * 0.55, gh * 0.55), 1.0, 1.25), 80)
    castle = puzzle_photo("castle-6x3.pzl")
    castle = castle.resize((castle.size[0] * 2, castle.size[1] * 2), Image.Resampling.BICUBIC)
    cw, ch = castle.size
    save(os.path.join(out, "panorama.gif"),
         pan(castle, (1000, 175), 259, (510, ch * 0.35), (cw - 510, ch * 0.45), 1.0, 1.0), 40)
    save(os.path.join(out, "screen.gif"), screen_recording(380), 60)


if __name__ == "__main__":
    main()
