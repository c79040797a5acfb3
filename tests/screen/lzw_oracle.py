#!/usr/bin/python3
"""LZW streams made by other people's encoders, with the pixels their decoders give.

  lzw_oracle.py tiff OUTDIR
      Writes TIFF files with libtiff's LZW coder (through Pillow) for a set of chosen
      pictures and extracts every strip. For each strip NAME: NAME.lzw (the strip's
      bytes), NAME.raw (the pixel bytes Pillow/libtiff decode for its rows) and a line
      "NAME ROWBYTES ROWS" in OUTDIR/tiff.txt.

  lzw_oracle.py gif OUTDIR FILE.gif...
      Parses GIF files (written by giflib in the test) into the payload layout of the
      LSB-first variant: one ignored byte, the initial code width (minimum code size
      + 1), then the image's sub-block data joined. For each FILE: FILE-stem.lzw,
      FILE-stem.idx (palette indices as Pillow decodes them, one byte a pixel) and a
      line "STEM WIDTH HEIGHT" in OUTDIR/gif.txt.

Exits non-zero on any problem (Pillow missing included), so the calling test fails.
"""

import io
import os
import random
import sys

from PIL import Image  # a missing Pillow must fail the test, not skip it


def pictures():
    """Deterministic pictures: (name, mode, width, height, bytes)."""
    rnd = random.Random(20240611)
    out = []

    def flat_ui(w, h):
        px = bytearray([0xF0]) * (w * h)
        for _ in range(40):  # windows, buttons, bars
            x0, y0 = rnd.randrange(w), rnd.randrange(h)
            x1, y1 = min(w, x0 + rnd.randrange(4, w)), min(h, y0 + rnd.randrange(2, 60))
            v = rnd.choice([0x00, 0x20, 0x80, 0xC0, 0xFF, 0x3C])
            for y in range(y0, y1):
                px[y * w + x0:y * w + x1] = bytes([v]) * (x1 - x0)
        for _ in range(600):  # glyph-like specks
            x, y = rnd.randrange(w), rnd.randrange(h)
            px[y * w + x] = 0x10
        return bytes(px)

    def gradient(w, h):
        return bytes(((x * 255) // max(1, w - 1) + (y // 8)) & 0xFF for y in range(h) for x in range(w))

    out.append(("flat_ui", "L", 240, 320, flat_ui(240, 320)))
    out.append(("gradient", "L", 200, 150, gradient(200, 150)))
    out.append(("noise", "L", 256, 200, bytes(rnd.randrange(256) for _ in range(256 * 200))))
    out.append(("zeros", "L", 640, 480, bytes(640 * 480)))
    out.append(("odd_rgb", "RGB", 61, 37, bytes(rnd.choice([0, 7, 255, (i * 13) & 0xFF])
                                             for i in range(61 * 37 * 3))))
    out.append(("one_pixel", "L", 1, 1, b"\x5a"))
    out.append(("short_row", "L", 3, 2, b"abcabc"))
    return out


def tiff(outdir):
    lines = []
    for name, mode, w, h, data in pictures():
        im = Image.frombytes(mode, (w, h), data)
        buf = io.BytesIO()
        im.save(buf, "TIFF", compression="tiff_lzw")
        raw = buf.getvalue()
        back = Image.open(io.BytesIO(raw))
        if back.info.get("compression") != "tiff_lzw":
            sys.exit(f"{name}: not written with LZW: {back.info.get('compression')}")
        decoded = back.tobytes()
        if decoded != data:
            sys.exit(f"{name}: libtiff did not give back the chosen pixels")
        tags = back.tag_v2
        if tags.get(317, 1) != 1:
            sys.exit(f"{name}: a predictor was applied")
        offsets, counts = tags[273], tags[279]
        rows_per_strip = tags.get(278, h)
        row_bytes = w * len(mode)
        for k, (off, cnt) in enumerate(zip(offsets, counts)):
            first = k * rows_per_strip
            rows = min(rows_per_strip, h - first)
            strip = f"{name}_s{k}"
            with open(os.path.join(outdir, strip + ".lzw"), "wb") as f:
                f.write(raw[off:off + cnt])
            with open(os.path.join(outdir, strip + ".raw"), "wb") as f:
                f.write(decoded[first * row_bytes:(first + rows) * row_bytes])
            lines.append(f"{strip} {row_bytes} {rows}\n")
    with open(os.path.join(outdir, "tiff.txt"), "w") as f:
        f.writelines(lines)


def gif_lzw_stream(data):
    """The LZW minimum code size and the joined sub-blocks of the first image."""
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        sys.exit("not a GIF")
    pos = 13
    flags = data[10]
    if flags & 0x80:
        pos += 3 << ((flags & 7) + 1)
    while True:
        tag = data[pos]
        if tag == 0x21:  # extension: label, then sub-blocks
            pos += 2
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif tag == 0x2C:  # image descriptor
            iflags = data[pos + 9]
            pos += 10
            if iflags & 0x80:
                pos += 3 << ((iflags & 7) + 1)
            min_code_size = data[pos]
            pos += 1
            joined = bytearray()
            while data[pos]:
                n = data[pos]
                joined += data[pos + 1:pos + 1 + n]
                pos += n + 1
            return min_code_size, bytes(joined)
        else:
            sys.exit(f"unexpected GIF block 0x{tag:02x}")


def gif(outdir, files):
    lines = []
    for path in files:
        stem = os.path.splitext(os.path.basename(path))[0]
        with open(path, "rb") as f:
            data = f.read()
        min_code_size, joined = gif_lzw_stream(data)
        im = Image.open(io.BytesIO(data))
        if im.mode != "P":
            sys.exit(f"{stem}: Pillow reads mode {im.mode}")
        with open(os.path.join(outdir, stem + ".lzw"), "wb") as f:
            f.write(bytes([0, min_code_size + 1]) + joined)
        with open(os.path.join(outdir, stem + ".idx"), "wb") as f:
            f.write(im.tobytes())
        lines.append(f"{stem} {im.size[0]} {im.size[1]}\n")
    with open(os.path.join(outdir, "gif.txt"), "w") as f:
        f.writelines(lines)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    kind, outdir = sys.argv[1], sys.argv[2]
    if kind == "tiff":
        tiff(outdir)
    elif kind == "gif":
        gif(outdir, sys.argv[3:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
