"""Decodes LZW payloads of the screen stream with decoders nobody here wrote.

usage: lzw_oracle.py tiff ROW_BYTES ROWS PAYLOAD OUT
         MSB-first stream with 8-bit symbols: wrapped as the one strip of an LZW TIFF
         (8-bit greyscale, ROW_BYTES wide), decoded by Pillow (libtiff).
       lzw_oracle.py gif UNITS ROWS PAYLOAD OUT
         LSB-first stream (byte 1 = initial code width): its codes wrapped as the image
         data of a GIF (UNITS pixels wide), decoded by Pillow.
Writes the decoded symbols, one per byte, to OUT and prints the link checksum of the
payload (CRC-32 with start value 0 and no final inversion) in hex.
"""
import binascii
import io
import struct
import sys

from PIL import Image


def tiff(width, rows, data):
    tags = [
        (256, 4, 1, width),        # ImageWidth
        (257, 4, 1, rows),         # ImageLength
        (258, 3, 1, 8),            # BitsPerSample
        (259, 3, 1, 5),            # Compression: LZW
        (262, 3, 1, 1),            # Photometric: black is zero
        (273, 4, 1, 0),            # StripOffsets (filled below)
        (277, 3, 1, 1),            # SamplesPerPixel
        (278, 4, 1, rows),         # RowsPerStrip
        (279, 4, 1, len(data)),    # StripByteCounts
    ]
    ifd_size = 2 + 12 * len(tags) + 4
    data_at = 8 + ifd_size
    out = bytearray(b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", len(tags)))
    for tag, typ, count, value in tags:
        if tag == 273:
            value = data_at
        packed = struct.pack("<H", value) + b"\x00\x00" if typ == 3 else struct.pack("<I", value)
        out += struct.pack("<HHI", tag, typ, count) + packed
    out += struct.pack("<I", 0) + data
    im = Image.open(io.BytesIO(bytes(out)))
    im.load()
    assert im.mode == "L", im.mode
    assert im.size == (width, rows), im.size
    return im.tobytes()


def gif(width, rows, data):
    initial = data[1]
    root = initial - 1
    assert 2 <= root <= 8, root
    colours = 1 << root
    palette = b"".join(bytes(((i * 53 + 17) % 256, (i * 101 + 3) % 256, (255 - i * 29) % 256)) for i in range(colours))
    out = bytearray(b"GIF89a" + struct.pack("<HH", width, rows) + bytes((0x80 | (root - 1), 0, 0)) + palette)
    out += b"\x2c" + struct.pack("<HHHH", 0, 0, width, rows) + b"\x00" + bytes((root,))
    codes = data[2:]
    for i in range(0, len(codes), 255):
        block = codes[i:i + 255]
        out += bytes((len(block),)) + block
    out += b"\x00\x3b"
    im = Image.open(io.BytesIO(bytes(out)))
    im.load()
    assert im.mode == "P", im.mode
    assert im.size == (width, rows), im.size
    return im.tobytes()


def main():
    kind, units, rows, payload_path, out_path = sys.argv[1:6]
    with open(payload_path, "rb") as f:
        data = f.read()
    decoded = (tiff if kind == "tiff" else gif)(int(units), int(rows), data)
    with open(out_path, "wb") as f:
        f.write(decoded)
    print("%08x" % (binascii.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF))


main()
