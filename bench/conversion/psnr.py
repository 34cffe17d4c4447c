#!/usr/bin/env python3
"""PSNR of decoded frames against the exact rendered frames, over all pixels
of all frames together, and the largest error of any channel.

  psnr.py RENDERED_DIR DECODED_DIR [DELAYS]

Both folders hold frame-0001.png, ...  Prints: psnr=DB maxerr=N frames=N.
When the decoded animation has fewer frames (an encoder that merges repeated
frames into longer ones), DELAYS, its frame delays separated by spaces, tell
which decoded frame shows at the middle of each rendered frame's time; the
rendered frames are taken to last equally long.
"""
import glob
import math
import os
import sys

import numpy as np
from PIL import Image


def main():
    rendered_dir, decoded_dir = sys.argv[1], sys.argv[2]
    names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(rendered_dir, "frame-*.png")))
    decoded = sorted(os.path.basename(p) for p in glob.glob(os.path.join(decoded_dir, "frame-*.png")))
    shown = dict(zip(names, decoded))
    if len(decoded) < len(names) and len(sys.argv) <= 3:
        sys.exit("psnr.py: %d decoded frames for %d rendered ones: give their delays" % (len(decoded), len(names)))
    if len(decoded) < len(names):
        delays = [max(1, int(d)) for d in sys.argv[3].split()]
        ends = np.cumsum(delays)
        for i, name in enumerate(names):
            middle = (i + 0.5) * ends[-1] / len(names)
            shown[name] = decoded[min(int(np.searchsorted(ends, middle, side="right")), len(decoded) - 1)]
    squared = 0.0
    samples = 0
    largest = 0
    for name in names:
        want = np.asarray(Image.open(os.path.join(rendered_dir, name)).convert("RGB"), dtype=np.int32)
        got = np.asarray(Image.open(os.path.join(decoded_dir, shown[name])).convert("RGB"), dtype=np.int32)
        diff = want - got
        squared += float((diff ** 2).sum())
        samples += want.size
        largest = max(largest, int(np.abs(diff).max()))
    mse = squared / samples
    psnr = "inf" if mse == 0 else "%.2f" % (10 * math.log10(255 * 255 / mse))
    print("psnr=%s maxerr=%d frames=%d" % (psnr, largest, len(names)))


if __name__ == "__main__":
    main()
