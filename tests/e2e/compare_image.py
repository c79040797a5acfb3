"""Compares an image file written by sorvane-cli with the simulator's PPM dump, with
Pillow as the reader nobody here wrote.

usage: compare_image.py OURS REFERENCE.ppm exact|psnr:MIN
"""
import math
import sys

from PIL import Image


def main():
    ours, reference, mode = sys.argv[1:4]
    a = Image.open(ours).convert("RGB")
    b = Image.open(reference).convert("RGB")
    if a.size != b.size:
        print(f"size {a.size} != {b.size}")
        return 1
    pa, pb = a.tobytes(), b.tobytes()
    if mode == "exact":
        if pa != pb:
            bad = next(i for i in range(len(pa)) if pa[i] != pb[i])
            print(f"first difference at byte {bad}: {pa[bad]} != {pb[bad]}")
            return 1
        return 0
    limit = float(mode.split(":")[1])
    se = sum((x - y) * (x - y) for x, y in zip(pa, pb))
    psnr = float("inf") if se == 0 else 10 * math.log10(255 * 255 * len(pa) / se)
    if psnr < limit:
        print(f"PSNR {psnr:.1f} dB below {limit}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
