"""Test pictures for the image library tests, and Pillow's reading of pictures.

Run with a Python that has Pillow (SORVANE_PYTHON). Commands:
  make DIR          write BMP, GIF and PNG files made by Pillow, by ImageMagick's convert
                    and by hand (run-length data, top-down rows, odd headers, every PNG
                    colour type and depth, Adam7), each with NAME.rgb: Pillow's pixels
  decode FILE...    write FILE.rgb for each file
  make-jpeg FILE     write a 41 x 27 baseline JFIF file
  make-jpegs DIR     write baseline.jpg, progressive.jpg and grey.jpg (64 x 48), with .rgb
  gifinfo FILE      print what Pillow reads of a GIF: version, comment, size
  jpeginfo FILE     print the quantization tables and the sampling factors of a JPEG

A .rgb file is: u32 width, u32 height (little-endian), then red, green, blue bytes per
pixel, rows top first. Sixteen-bit grey samples are given by their high byte.
"""

import os
import random
import struct
import subprocess
import sys
import zlib

from PIL import Image

W, H = 37, 23  # odd sizes: every row needs padding somewhere


def pillow_rgb(path):
    im = Image.open(path)
    im.load()
    if im.mode in ("I", "I;16", "I;16B", "I;16L"):
        data = bytes(v >> 8 for v in im.getdata() for _ in range(3))
    else:
        data = im.convert("RGB").tobytes()
    return im.size, data


def write_rgb(path):
    (w, h), data = pillow_rgb(path)
    with open(path + ".rgb", "wb") as f:
        f.write(struct.pack("<II", w, h) + data)


# ---- pictures ---------------------------------------------------------------

def rgb_picture(w=W, h=H, seed=1):
    rnd = random.Random(seed)
    px = []
    for y in range(h):
        for x in range(w):
            if x < w // 3:
                px.append((x * 255 // w, y * 255 // h, (x * y) & 255))
            elif y < h // 2:
                px.append((200, 30, 90) if (x // 4 + y // 3) % 2 else (20, 220, 140))
            else:
                px.append((rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)))
    im = Image.new("RGB", (w, h))
    im.putdata(px)
    return im


def palette_picture(colours, w=W, h=H, seed=2):
    rnd = random.Random(seed)
    pal = [rnd.randrange(256) for _ in range(3 * colours)]
    im = Image.new("P", (w, h))
    im.putpalette(pal + [0] * (768 - len(pal)))
    im.putdata([(x * 7 + y * 3 + (x * y) // 5) % colours for y in range(h) for x in range(w)])
    return im


def bilevel_picture(w=W, h=H):
    im = Image.new("1", (w, h))
    im.putdata([255 if (x ^ y) & 4 or x == y else 0 for y in range(h) for x in range(w)])
    return im


# ---- BMP by hand ------------------------------------------------------------

def bmp(bits, width, height, rows, palette=b"", compression=0, image_size=None, masks=b""):
    """rows: the stored rows (already padded) as one bytes object."""
    offset = 14 + 40 + len(masks) + len(palette)
    size = image_size if image_size is not None else len(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, size, 2835, 2835,
                       len(palette) // 4, 0)
    head = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    return head + info + masks + palette + rows


def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def bmp_palette(im, count):
    pal = im.getpalette()[: 3 * count]
    return b"".join(bytes((pal[3 * i + 2], pal[3 * i + 1], pal[3 * i], 0)) for i in range(count))


def pack_indices(indices, bits, width):
    out = bytearray(stride(width, bits))
    for x, v in enumerate(indices):
        if bits == 8:
            out[x] = v
        elif bits == 4:
            out[x // 2] |= v << (4 if x % 2 == 0 else 0)
        else:
            out[x // 8] |= v << (7 - x % 8)
    return bytes(out)


def rle8_span(row, x, end):
    out = bytearray()
    while x < end:
        run = 1
        while x + run < end and row[x + run] == row[x] and run < 255:
            run += 1
        if run >= 3:
            out += bytes((run, row[x]))
            x += run
            continue
        n = min(end - x, 5 + (x % 3))
        if n >= 3:
            out += bytes((0, n)) + bytes(row[x:x + n]) + (b"\0" if n % 2 else b"")
        else:
            for v in row[x:x + n]:
                out += bytes((1, v))
        x += n
    return out


def rle8(rows, delta):
    """Encodes rows (lists of indices, bottom row first) with runs, literal runs,
    end-of-line codes and, with delta, one move: from (3, 2) 4 right and 1 up, leaving
    the pixels passed over at index 0 (rows[2][3:] and rows[3][:7] are set to 0)."""
    out = bytearray()
    y = 0
    while y < len(rows):
        if delta and y == 2:
            rows[2][3:] = [0] * (len(rows[2]) - 3)
            rows[3][:7] = [0] * 7
            out += rle8_span(rows[2], 0, 3) + bytes((0, 2, 4, 1))
            out += rle8_span(rows[3], 7, len(rows[3])) + b"\0\0"
            y += 2
            continue
        out += rle8_span(rows[y], 0, len(rows[y])) + b"\0\0"
        y += 1
    out += b"\0\1"
    return bytes(out)


def rle4(rows, odd):
    """Encodes rows of 4-bit indices; literal runs have odd lengths only with odd."""
    out = bytearray()
    for row in rows:
        x = 0
        while x < len(row):
            # a run of two alternating nibbles
            run = 2
            while x + run < len(row) and row[x + run] == row[x + run % 2] and run < 255:
                run += 1
            if run >= 4:
                out += bytes((run, (row[x] << 4) | row[x + 1]))
                x += run
                continue
            n = min(len(row) - x, 3 + (x % 5))
            if not odd and n % 2 and n >= 3:
                n -= 1
            if n >= 3:
                vals = row[x:x + n] + [0]
                data = bytes((vals[i] << 4) | vals[i + 1] for i in range(0, n, 2))
                out += bytes((0, n)) + data + (b"\0" if len(data) % 2 else b"")
            else:
                out += bytes((n, (row[x] << 4) | (row[x + 1] if n > 1 else 0)))
            x += n
        out += b"\0\0"
    out += b"\0\1"
    return bytes(out)


INTENDED = {}  # file name -> expected pixels where Pillow cannot be asked


def intended_pixels(im, stored_rows):
    """The .rgb content of index rows stored bottom row first, through im's palette."""
    pal = im.getpalette()
    rgb = b"".join(bytes(pal[3 * v:3 * v + 3]) for row in reversed(stored_rows) for v in row)
    return struct.pack("<II", len(stored_rows[0]), len(stored_rows)) + rgb


def make_bmps(d):
    rgb = rgb_picture()
    p200 = palette_picture(200)
    p16 = palette_picture(16, seed=3)
    bilevel = bilevel_picture()

    bilevel.save(f"{d}/pil_1bit.bmp")
    p200.save(f"{d}/pil_8bit_palette.bmp")
    rgb.convert("L").save(f"{d}/pil_8bit_grey.bmp")
    rgb.save(f"{d}/pil_24bit.bmp")
    rgba = rgb.copy()
    rgba.putalpha(Image.linear_gradient("L").resize(rgb.size))
    rgba.save(f"{d}/pil_32bit.bmp")

    p16.save(f"{d}/p16.png")
    p200.save(f"{d}/p200.png")
    rgb.save(f"{d}/rgb.png")
    rgba.save(f"{d}/rgba.png")
    two = palette_picture(2, seed=9)
    two.save(f"{d}/p2.png")
    im = [
        ("im_4bit.bmp", ["p16.png", "-colors", "16", "BMP3:"]),
        ("im_rle8.bmp", ["p200.png", "-type", "Palette", "-compress", "RLE", "BMP3:"]),
        ("im_565.bmp", ["rgb.png", "-define", "bmp:subtype=RGB565", "BMP:"]),
        ("im_555.bmp", ["rgb.png", "-define", "bmp:subtype=RGB555", "BMP:"]),
        ("im_32bit_v5.bmp", ["rgba.png", "BMP:"]),
        ("im_os2_24bit.bmp", ["rgb.png", "BMP2:"]),
        ("im_os2_8bit.bmp", ["p200.png", "-type", "Palette", "BMP2:"]),
        ("im_1bit_colours.bmp", ["p2.png", "-colors", "2", "BMP3:"]),
    ]
    for name, args in im:
        src, rest = args[0], args[1:]
        rest[-1] = rest[-1] + f"{d}/{name}"
        subprocess.run(["convert", f"{d}/{src}"] + rest, check=True)
    for name, bits in (("im_4bit.bmp", 4), ("im_rle8.bmp", 8), ("im_565.bmp", 16), ("im_1bit_colours.bmp", 1)):
        with open(f"{d}/{name}", "rb") as f:
            head = f.read(30)
        got = struct.unpack_from("<H", head, 28)[0]
        if got != bits:
            sys.exit(f"convert wrote {name} with {got} bits per pixel, not {bits}")
    for src in ("p16.png", "p200.png", "rgb.png", "rgba.png", "p2.png"):
        os.remove(f"{d}/{src}")

    # By hand: run-length data, top-down rows, implicit 5-5-5, inverted 1-bit palette.
    idx16 = list(p16.getdata())
    rows16 = [idx16[y * W:(y + 1) * W] for y in reversed(range(H))]
    for r in rows16[5:9]:
        r[:] = [r[0]] * 10 + [r[1], r[2]] * 6 + r[22:]
    # Pillow reads the move code and literal runs of odd length in RLE4 wrongly, so
    # the files with them carry the picture we encoded as their expected pixels.
    for odd in (False, True):
        name = "hand_rle4_odd.bmp" if odd else "hand_rle4.bmp"
        with open(f"{d}/{name}", "wb") as f:
            f.write(bmp(4, W, H, rle4(rows16, odd), bmp_palette(p16, 16), compression=2))
        if odd:
            INTENDED[name] = intended_pixels(p16, rows16)
    idx200 = list(p200.getdata())
    for delta in (False, True):
        rows200 = [idx200[y * W:(y + 1) * W] for y in reversed(range(H))]
        for r in rows200[3:7]:
            r[:] = [r[0]] * 12 + r[12:]
        name = "hand_rle8_delta.bmp" if delta else "hand_rle8.bmp"
        with open(f"{d}/{name}", "wb") as f:
            f.write(bmp(8, W, H, rle8(rows200, delta), bmp_palette(p200, 200), compression=1))
        if delta:
            INTENDED[name] = intended_pixels(p200, rows200)

    rgbdata = rgb.tobytes()
    rows = b"".join(
        bytes(c for x in range(W) for c in reversed(rgbdata[3 * (y * W + x):3 * (y * W + x) + 3]))
        + b"\0" * (stride(W, 24) - 3 * W) for y in range(H))
    with open(f"{d}/hand_topdown_24bit.bmp", "wb") as f:
        f.write(bmp(24, W, -H, rows))
    rows = b"".join(pack_indices(idx200[y * W:(y + 1) * W], 8, W) for y in range(H))
    with open(f"{d}/hand_topdown_8bit.bmp", "wb") as f:
        f.write(bmp(8, W, -H, rows, bmp_palette(p200, 200)))
    rows = b"".join(pack_indices(idx16[y * W:(y + 1) * W], 4, W) for y in reversed(range(H)))
    with open(f"{d}/hand_4bit.bmp", "wb") as f:
        f.write(bmp(4, W, H, rows, bmp_palette(p16, 16)))

    px = list(rgb.getdata())
    rows = b""
    for y in reversed(range(H)):
        row = b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3) for r, g, b in px[y * W:(y + 1) * W])
        rows += row + b"\0" * (stride(W, 16) - len(row))
    with open(f"{d}/hand_555_plain.bmp", "wb") as f:
        f.write(bmp(16, W, H, rows))

    bits = list(bilevel.getdata())
    rows = b"".join(pack_indices([0 if v else 1 for v in bits[y * W:(y + 1) * W]], 1, W) for y in reversed(range(H)))
    with open(f"{d}/hand_1bit_inverted.bmp", "wb") as f:
        f.write(bmp(1, W, H, rows, bytes((255, 255, 255, 0, 0, 0, 0, 0))))


# ---- GIF --------------------------------------------------------------------

def gif_blocks(data):
    """Splits a GIF into (header, screen descriptor, global table, blocks before the
    image, image descriptor, image data and trailer)."""
    flags = data[10]
    gct_len = 3 << ((flags & 7) + 1) if flags & 0x80 else 0
    pos = 13 + gct_len
    start_blocks = pos
    while data[pos] == 0x21:
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C
    return data[:6], data[6:13], data[13:13 + gct_len], data[start_blocks:pos], data[pos:pos + 10], data[pos + 10:]


def make_gifs(d):
    p200 = palette_picture(200, w=45, h=31)
    p200.save(f"{d}/pil_interlaced.gif", interlace=True)
    p200.save(f"{d}/pil_plain.gif", interlace=False)
    palette_picture(16, seed=5).save(f"{d}/pil_16colours.gif")
    palette_picture(2, seed=6).save(f"{d}/pil_2colours.gif")
    palette_picture(100, seed=7).save(f"{d}/pil_transparent.gif", transparency=3)
    rgb_picture(45, 31).save(f"{d}/rgb.png")
    subprocess.run(["convert", f"{d}/rgb.png", "-colors", "64", "-interlace", "GIF", f"{d}/im_interlaced.gif"],
                   check=True)
    os.remove(f"{d}/rgb.png")

    with open(f"{d}/pil_plain.gif", "rb") as f:
        head, screen, gct, blocks, desc, rest = gif_blocks(f.read())
    # The same picture with its colours in a local table and a grey global table.
    size_bits = screen[4] & 7
    grey = bytes(v for i in range(len(gct) // 3) for v in (i, i, i))
    local_desc = desc[:9] + bytes((desc[9] | 0x80 | size_bits,))
    with open(f"{d}/hand_local_table.gif", "wb") as f:
        f.write(head + screen + grey + blocks + local_desc + gct + rest)
    # The picture placed at (5, 3) on a larger screen.
    w, h = struct.unpack_from("<HH", desc, 5)
    big = struct.pack("<HH", w + 9, h + 6) + screen[4:]
    moved = desc[:1] + struct.pack("<HH", 5, 3) + desc[5:]
    with open(f"{d}/hand_offset.gif", "wb") as f:
        f.write(head + big + gct + blocks + moved + rest)


# ---- PNG by hand --------------------------------------------------------------

ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def filter_rows(rows, bpp):
    out = bytearray()
    prior = bytes(len(rows[0])) if rows else b""
    for n, row in enumerate(rows):
        kind = n % 5
        f = bytearray()
        for i, v in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prior[i]
            c = prior[i - bpp] if i >= bpp else 0
            if kind == 0:
                p = 0
            elif kind == 1:
                p = a
            elif kind == 2:
                p = b
            elif kind == 3:
                p = (a + b) // 2
            else:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                p = a if pa <= pb and pa <= pc else b if pb <= pc else c
            f.append((v - p) & 255)
        out += bytes((kind,)) + f
        prior = row
    return bytes(out)


def pack_samples(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    out = bytearray((len(samples) * depth + 7) // 8)
    for i, s in enumerate(samples):
        bit = i * depth
        out[bit // 8] |= s << (8 - depth - bit % 8)
    return bytes(out)


def png(colour_type, depth, width, height, sample_at, interlace, palette=None, trns=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    bpp = max(1, channels * depth // 8)
    passes = ADAM7 if interlace else ((0, 0, 1, 1),)
    raw = b""
    for x0, y0, dx, dy in passes:
        xs = range(x0, width, dx)
        ys = range(y0, height, dy)
        if not xs or not ys:
            continue
        rows = [pack_samples([s for x in xs for s in sample_at(x, y)], depth) for y in ys]
        raw += filter_rows(rows, bpp)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace))
    out += chunk(b"tEXt", b"Comment\0made for the tests")
    if palette:
        out += chunk(b"PLTE", palette)
    if trns is not None:
        out += chunk(b"tRNS", trns)
    z = zlib.compress(raw, 9)
    half = len(z) // 2
    out += chunk(b"IDAT", z[:half]) + chunk(b"IDAT", z[half:])  # data split over two chunks
    out += chunk(b"IEND", b"")
    return out


def make_pngs(d):
    w, h = 19, 13
    rnd = random.Random(4)
    cells = {(x, y): [rnd.randrange(65536) for _ in range(4)] for x in range(w) for y in range(h)}
    for depth in (1, 2, 4, 8, 16):
        combos = [(0, depth)]
        if depth <= 8:
            combos.append((3, depth))
        if depth >= 8:
            combos += [(2, depth), (4, depth), (6, depth)]
        for ct, dp in combos:
            channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ct]
            top = (1 << dp) - 1
            colours = min(top + 1, 180)
            palette = None
            trns = None
            if ct == 3:
                palette = bytes(rnd.randrange(256) for _ in range(3 * colours))
                trns = bytes(rnd.randrange(256) for _ in range(min(colours, 5)))
            elif ct == 0 and dp == 8:
                trns = struct.pack(">H", 7)
            elif ct == 2 and dp == 8:
                trns = struct.pack(">HHH", 1, 2, 3)

            def sample(x, y, ct=ct, channels=channels, top=top, colours=colours):
                vals = cells[(x, y)][:channels]
                if ct == 3:
                    return [vals[0] % colours]
                return [v % (top + 1) for v in vals]

            for interlace in (0, 1):
                name = f"hand_ct{ct}_d{dp}{'_adam7' if interlace else ''}.png"
                with open(f"{d}/{name}", "wb") as f:
                    f.write(png(ct, dp, w, h, sample, interlace, palette, trns))

    rgb = rgb_picture()
    rgb.save(f"{d}/pil_rgb.png")
    rgba = rgb.copy()
    rgba.putalpha(Image.linear_gradient("L").resize(rgb.size))
    rgba.save(f"{d}/pil_rgba.png")
    rgb.convert("L").save(f"{d}/pil_grey.png")
    rgba.convert("LA").save(f"{d}/pil_grey_alpha.png")
    bilevel_picture().save(f"{d}/pil_1bit.png")
    palette_picture(16, seed=8).save(f"{d}/pil_palette4.png", bits=4)
    palette_picture(200, seed=8).save(f"{d}/pil_palette8_trns.png", transparency=bytes(range(0, 250, 5)))
    grey16 = Image.new("I;16", (W, H))
    grey16.putdata([(x * 1800 + y * 977) % 65536 for y in range(H) for x in range(W)])
    grey16.save(f"{d}/pil_grey16.png")
    subprocess.run(["convert", f"{d}/pil_rgb.png", "-depth", "16", "-evaluate", "multiply", "0.7",
                    f"PNG48:{d}/im_rgb16.png"], check=True)
    subprocess.run(["convert", f"{d}/pil_rgba.png", "-depth", "16", f"PNG64:{d}/im_rgba16.png"], check=True)
    subprocess.run(["convert", f"{d}/pil_rgb.png", "-interlace", "PNG", f"{d}/im_rgb_interlaced.png"], check=True)
    subprocess.run(["convert", f"{d}/pil_palette8_trns.png", "-interlace", "PNG", f"PNG8:{d}/im_palette_interlaced.png"],
                   check=True)


def main():
    cmd = sys.argv[1]
    if cmd == "make":
        d = sys.argv[2]
        os.makedirs(d, exist_ok=True)
        make_bmps(d)
        make_gifs(d)
        make_pngs(d)
        for name in sorted(os.listdir(d)):
            if name in INTENDED:
                with open(f"{d}/{name}.rgb", "wb") as f:
                    f.write(INTENDED[name])
            elif name.endswith((".bmp", ".gif", ".png")):
                write_rgb(f"{d}/{name}")
    elif cmd == "decode":
        for path in sys.argv[2:]:
            write_rgb(path)
    elif cmd == "make-jpeg":
        rgb_picture(41, 27).save(sys.argv[2], quality=90)
    elif cmd == "make-jpegs":
        d = sys.argv[2]
        smooth = Image.linear_gradient("L").resize((64, 48)).convert("RGB")
        smooth.save(f"{d}/baseline.jpg", quality=95)
        smooth.save(f"{d}/progressive.jpg", quality=95, progressive=True)
        smooth.convert("L").save(f"{d}/grey.jpg", quality=95)
        for name in ("baseline.jpg", "progressive.jpg", "grey.jpg"):
            write_rgb(f"{d}/{name}")
    elif cmd == "gifinfo":
        im = Image.open(sys.argv[2])
        comment = im.info.get("comment", b"").decode("latin-1")
        with open(sys.argv[2], "rb") as f:
            version = f.read(6).decode("latin-1")
        print(f"version={version}\nsize={im.size[0]}x{im.size[1]}\ncomment={comment}")
    elif cmd == "jpeginfo":
        im = Image.open(sys.argv[2])
        for n, table in sorted(im.quantization.items()):
            print(f"q{n}=" + ",".join(str(v) for v in table))
        print("sampling=" + ";".join(f"{c[1]}x{c[2]}" for c in im.layer))
        print(f"app={','.join(sorted(im.applist[i][0] for i in range(len(im.applist))))}")
        im = im.convert("RGB")
        with open(sys.argv[2] + ".rgb", "wb") as f:
            f.write(struct.pack("<II", *im.size) + im.tobytes())
    else:
        sys.exit(f"unknown command {cmd}")


if __name__ == "__main__":
    main()
