#!/usr/bin/python3
"""Makes the video benchmark's clips: a slow pan and zoom over a photograph
(the gorilla of the jigzo-data puzzle set), 1280 x 720, encoded by the ffmpeg
program from raw frames.

  make_clips.py DIR                 pan-10s.mp4 (H.264, 30 fps), pan-10s.webm
                                    (VP9, 30 fps), pan-60s.mp4 (H.264, 30 fps)
  make_clips.py DIR --rates         rate-15.mp4 ... rate-60.mp4, 4 s each

Needs python3-pil, jigzo-data and ffmpeg (Debian); none of them is a
dependency of the program.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "conversion"))
from make_animations import puzzle_photo  # noqa: E402

from PIL import Image  # noqa: E402

SIZE = (1280, 720)


def encode(path, photo, fps, seconds, codec):
    count = int(round(fps * seconds))
    args = {"h264": ["-c:v", "libx264", "-preset", "medium", "-crf", "20", "-pix_fmt", "yuv420p"],
            "vp9": ["-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-row-mt", "1", "-deadline", "good",
                    "-cpu-used", "4", "-pix_fmt", "yuv420p"]}[codec]
    ffmpeg = subprocess.Popen(["ffmpeg", "-y", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "rgb24",
                               "-s", "%dx%d" % SIZE, "-r", str(fps), "-i", "-"] + args + [path],
                              stdin=subprocess.PIPE)
    pw, ph = photo.size
    w, h = SIZE
    for i in range(count):
        # A slow pan across the middle of the photograph while zooming in,
        # repeated every 10 s so that longer clips look alike.
        t = (i / fps % 10.0) / 10.0
        zoom = 1.0 + 0.3 * t
        cw = min(pw, ph * w / h) / zoom
        ch = cw * h / w
        cx = pw * (0.45 + 0.1 * t)
        cy = ph * (0.48 + 0.04 * t)
        box = (cx - cw / 2, cy - ch / 2, cx + cw / 2, cy + ch / 2)
        frame = photo.transform(SIZE, Image.Transform.EXTENT, box, Image.Resampling.BILINEAR)
        ffmpeg.stdin.write(frame.tobytes())
    ffmpeg.stdin.close()
    if ffmpeg.wait() != 0:
        sys.exit("ffmpeg failed on " + path)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    photo = puzzle_photo("gorilla2-3x3.pzl")
    if "--rates" in sys.argv:
        for fps in (15, 24, 25, 30, 60):
            encode(os.path.join(out, "rate-%d.mp4" % fps), photo, fps, 4, "h264")
        return
    encode(os.path.join(out, "pan-10s.mp4"), photo, 30, 10, "h264")
    encode(os.path.join(out, "pan-10s.webm"), photo, 30, 10, "vp9")
    encode(os.path.join(out, "pan-60s.mp4"), photo, 30, 60, "h264")


if __name__ == "__main__":
    main()
