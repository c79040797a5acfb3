"""Checks recorded checkpoints and failed checks' pictures with Pillow alone.

  crop DUMP X Y W H PNG          PNG is W x H and its pixels are DUMP's at X, Y
  diff EXPECTED ACTUAL DIFF      prints the percent of ACTUAL's pixels that match
                                 EXPECTED (each channel within 8 of 255), cut to one
                                 decimal; fails unless DIFF is pure red exactly where
                                 they do not match

Exit 0 when the check holds, 1 with the reason otherwise.
"""
import math
import sys

from PIL import Image


def rgb(path):
    return Image.open(path).convert("RGB")


def crop(dump, x, y, w, h, png):
    want = rgb(dump).crop((int(x), int(y), int(x) + int(w), int(y) + int(h)))
    got = rgb(png)
    if got.size != want.size:
        return f"{png} is {got.size}, not {want.size}"
    if list(got.getdata()) != list(want.getdata()):
        return f"{png} differs from the dump's region"
    return None


def diff(expected, actual, difference):
    e, a, d = rgb(expected), rgb(actual), rgb(difference)
    if not (e.size == a.size == d.size):
        return f"sizes differ: {e.size} {a.size} {d.size}"
    matching = 0
    for i, (p, q, r) in enumerate(zip(e.getdata(), a.getdata(), d.getdata())):
        same = all(abs(u - v) <= 8 for u, v in zip(p, q))
        matching += same
        if (r == (255, 0, 0)) == same:
            return f"pixel {i % e.size[0]},{i // e.size[0]}: {p} vs {q} is {'red' if not same else r}"
    print(f"{math.floor(1000 * matching / (e.size[0] * e.size[1])) / 10:.1f}")
    return None


if __name__ == "__main__":
    problem = {"crop": crop, "diff": diff}[sys.argv[1]](*sys.argv[2:])
    if problem:
        print(problem)
        sys.exit(1)
