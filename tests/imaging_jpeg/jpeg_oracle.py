"""Pillow as the JPEG oracle of the image library's tests.

Commands (paths are files; every answer is one line per input on stdout):
  write-pillow SRC.ppm OUTDIR   write Pillow's variants of SRC (baseline and
                                progressive, 4:4:4 / 4:2:2 / 4:2:0, greyscale) into
                                OUTDIR; print their names
  decode FILE...                decode each JPEG to FILE.raw (packed RGB or L rows);
                                print "FILE WIDTH HEIGHT MODE"
  inspect FILE                  print "MODE SAMPLING" (the sampling of the first
                                component), then its quantization tables (natural
                                order), one line each
  annex-k                       print the Annex K example tables (natural order) as
                                libjpeg writes them at quality 50, one line each
  same-tables SRC.ppm OPTIONS OUT.jpg
                                write SRC with the quantization tables of the Pillow
                                quality-50 (Annex K) tables scaled as the writer's
                                options say, 4:4:4, and print "SIZE PSNR"
"""
import io
import math
import os
import sys

from PIL import Image, JpegImagePlugin


def write_pillow(src, outdir):
    img = Image.open(src).convert("RGB")
    names = []
    for sub, tag in ((0, "444"), (1, "422"), (2, "420")):
        for prog in (False, True):
            name = "pil_%s_%s.jpg" % ("prog" if prog else "base", tag)
            img.save(os.path.join(outdir, name), quality=88, subsampling=sub, progressive=prog)
            names.append(name)
    for prog in (False, True):
        name = "pil_%s_grey.jpg" % ("prog" if prog else "base")
        img.convert("L").save(os.path.join(outdir, name), quality=80, progressive=prog)
        names.append(name)
    name = "pil_base_q100.jpg"
    img.save(os.path.join(outdir, name), quality=100, subsampling=0)
    names.append(name)
    print("\n".join(names))


def decode(files):
    for f in files:
        img = Image.open(f)
        img.load()
        if img.mode not in ("RGB", "L"):
            img = img.convert("RGB")
        with open(f + ".raw", "wb") as out:
            out.write(img.tobytes())
        print(f, img.size[0], img.size[1], img.mode)


def psnr_of(a, b):
    pa, pb = a.tobytes(), b.tobytes()
    mse = sum((x - y) * (x - y) for x, y in zip(pa, pb)) / len(pa)
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


def inspect(f):
    img = Image.open(f)
    img.load()
    sampling = JpegImagePlugin.get_sampling(img) if img.mode != "L" else -1
    print(img.mode, sampling)
    print_tables(img.quantization)


def print_tables(quantization):
    for k in sorted(quantization):
        print(" ".join(str(v) for v in quantization[k]))


def annex_k_tables():
    # libjpeg's tables at quality 50 are the Annex K example tables unscaled.
    ref = io.BytesIO()
    Image.new("RGB", (8, 8)).save(ref, "JPEG", quality=50)
    return Image.open(io.BytesIO(ref.getvalue())).quantization


def same_tables(src, options, out):
    annex_k = annex_k_tables()
    scale = [lambda v: v // 4, lambda v: v // 2, lambda v: v, lambda v: v * 2][options & 3]
    tables = [[scale(v) & 0xFF for v in annex_k[i]] for i in (0, 1)]
    img = Image.open(src).convert("RGB")
    img.save(out, qtables=tables, subsampling=0)
    dec = Image.open(out)
    dec.load()
    print(os.path.getsize(out), "%.3f" % psnr_of(img, dec))


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "write-pillow":
        write_pillow(args[0], args[1])
    elif cmd == "decode":
        decode(args)
    elif cmd == "inspect":
        inspect(args[0])
    elif cmd == "annex-k":
        print_tables(annex_k_tables())
    elif cmd == "same-tables":
        same_tables(args[0], int(args[1]), args[2])
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
