#!/usr/bin/env python3
"""PSNR of decoded frames against the exact rendered frames, over all pixels
of all frames together, and the largest error of any channel.

  psnr.py RENDERED_DIR DECODED_DIR

Both folders hold frame-0001.png, ...  Prints: psnr=DB maxerr=N frames=N.
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
    squared = 0.0
    samples = 0
    largest = 0
    for name in names:
        want = np.asarray(Image.open(os.path.join(rendered_dir, name)).convert("RGB"), dtype=np.int32)
        got = np.asarray(Image.open(os.path.join(decoded_dir, name)).convert("RGB"), dtype=np.int32)
        diff = want - got
        squared += float((diff ** 2).sum())
        samples += want.size
        largest = max(largest, int(np.abs(diff).max()))
    mse = squared / samples
    psnr = "inf" if mse == 0 else "%.2f" % (10 * math.log10(255 * 255 / mse))
    print("psnr=%s maxerr=%d frames=%d" % (psnr, largest, len(names)))


if __name__ == "__main__":
    main()
