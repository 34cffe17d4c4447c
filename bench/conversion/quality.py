#!/usr/bin/env python3
"""Quality of a converted animation against the exact rendered frames.

  quality.py RENDERED_DIR DECODED_DIR

RENDERED_DIR holds the converter's --png-frames output (frame-0001.png, ...),
DECODED_DIR the converted GIF's frames as `quillframe-cli frames` writes them.
A frame with at most 256 colours must decode exactly; for the others (the
quantised frames) it prints the PSNR over all their pixels together.  Prints
one line: exact=N/M mismatched=K quantised=Q psnr=DB.
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
    exact = mismatched = quantised = 0
    squared = 0.0
    samples = 0
    for name in names:
        want = np.asarray(Image.open(os.path.join(rendered_dir, name)).convert("RGB"), dtype=np.int32)
        got = np.asarray(Image.open(os.path.join(decoded_dir, name)).convert("RGB"), dtype=np.int32)
        packed = (want[..., 0] << 16) | (want[..., 1] << 8) | want[..., 2]
        if len(np.unique(packed)) <= 256:
            exact += 1
            mismatched += int(not np.array_equal(want, got))
        else:
            quantised += 1
            squared += float(((want - got) ** 2).sum())
            samples += want.size
    psnr = "n/a"
    if samples:
        mse = squared / samples
        psnr = "inf" if mse == 0 else "%.2f" % (10 * math.log10(255 * 255 / mse))
    print("exact=%d/%d mismatched=%d quantised=%d psnr=%s" % (exact, len(names), mismatched, quantised, psnr))


if __name__ == "__main__":
    main()
