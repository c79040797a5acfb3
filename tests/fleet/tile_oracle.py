"""Checks tiles against their devices' pictures with Pillow: each line of the list file
is "DUMP<TAB>TILE<TAB>FACTOR", DUMP the simulator's picture (PPM), TILE what the screen
showed of the tile's picture (PNG), FACTOR its scale (an integer from 1 up, or 0 for a
picture shown smaller, whose size the tile decides). The tile must equal the dump resized
with nearest-neighbour sampling. Prints one line per tile that differs; exit status 1
when any did."""
import sys

from PIL import Image, ImageChops

failed = 0
with open(sys.argv[1], encoding="utf-8") as listing:
    for line in listing:
        dump, tile, factor = line.rstrip("\n").split("\t")
        want = Image.open(dump).convert("RGB")
        got = Image.open(tile).convert("RGB")
        k = int(factor)
        size = (want.width * k, want.height * k) if k > 0 else got.size
        if got.size != size:
            print(f"{tile}: {got.size[0]}x{got.size[1]}, not {size[0]}x{size[1]}")
            failed += 1
            continue
        diff = ImageChops.difference(got, want.resize(size, Image.Resampling.NEAREST))
        if diff.getbbox() is not None:
            wrong = sum(1 for p in diff.getdata() if p != (0, 0, 0))
            print(f"{tile}: {wrong} of {size[0] * size[1]} pixels differ, within {diff.getbbox()}")
            failed += 1
sys.exit(1 if failed else 0)
