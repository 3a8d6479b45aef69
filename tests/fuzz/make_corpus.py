#!/usr/bin/env python3
"""Writes the fuzz targets' seed files into tests/fuzz/corpus/<target>/.

The seeds are tiny, hand-made and committed; this script says how each one
is made and remakes them: python3 tests/fuzz/make_corpus.py
"""
import os
import shutil
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp(width, height, bits, pixels, compression=0, palette=b"", info=40):
    """A Windows bitmap (or OS/2 with info=12) around the given pixel data."""
    offset = 14 + info + len(palette)
    if info == 12:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        header = struct.pack("<IiiHHIIiiII", info, width, height, 1, bits, compression,
                             len(pixels), 2835, 2835, len(palette) // 4, 0)
        header += b"\0" * (info - len(header))
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + palette + pixels


def gif_frame(width, height, lzw, left=0, top=0, flags=0, min_code=2):
    blocks = b"".join(bytes([len(lzw[i:i + 255])]) + lzw[i:i + 255] for i in range(0, len(lzw), 255))
    return (b"," + struct.pack("<HHHHB", left, top, width, height, flags) + bytes([min_code]) +
            blocks + b"\0")


def gif(width, height, frames, extensions=b"", trailer=True):
    palette = b"\xff\x00\x00\x00\x00\xff"  # two colours: red, blue
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80, 0, 0) + palette + extensions +
            b"".join(frames) + (b";" if trailer else b""))


# LZW data (minimum code size 2) for one pixel, and for four pixels of
# colour 0 with a clear code first and an end code last.
ONE_PIXEL = b"\x44\x01"
FOUR_PIXELS = b"\x84\x51"

GRAPHIC_CONTROL = b"\x21\xf9\x04\x01\x00\x00\x01\x00"  # transparency on index 1

BMP_SEEDS = {
    "rgb24.bmp": bmp(2, 2, 24, b"\x00\x00\xff\xff\x00\x00\x00\x00" * 2),
    "topdown.bmp": bmp(2, -2, 24, b"\x00\xff\x00\x00\x00\xff\x00\x00" * 2),
    "os2.bmp": bmp(2, 1, 24, b"\x00\x00\xff\x00\xff\x00\x00\x00", info=12),
    "bitfields.bmp": bmp(1, 1, 32, b"\x00\xf8\x00\x00", compression=3,
                         palette=struct.pack("<III", 0xf800, 0x07e0, 0x001f)),
    "rle8.bmp": bmp(4, 2, 8, b"\x04\x01\x00\x00\x00\x02\x02\x01\x00\x04\x01\x02\x03\x00\x00\x01",
                    compression=1, palette=b"\0\0\0\0\xff\xff\xff\0\0\0\xff\0\0\xff\0\0"),
    "rle4.bmp": bmp(4, 1, 4, b"\x04\x12\x00\x01", compression=2,
                    palette=b"\0\0\0\0\xff\xff\xff\0\0\0\xff\0"),
}
GIF_SEEDS = {
    "onepixel.gif": gif(1, 1, [gif_frame(1, 1, ONE_PIXEL)]),
    "twoframes.gif": gif(2, 2, [gif_frame(2, 2, FOUR_PIXELS), gif_frame(1, 1, ONE_PIXEL, 1, 1)],
                         extensions=GRAPHIC_CONTROL),
    "smallframe.gif": gif(4, 4, [gif_frame(1, 1, ONE_PIXEL, 2, 2)]),
    "interlaced.gif": gif(2, 2, [gif_frame(2, 2, FOUR_PIXELS, flags=0x40)]),
}


def jpeg_segment(marker, payload):
    return bytes([0xff, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg(frame_marker, components, scan_components, extra=b""):
    frame = struct.pack(">BHHB", 8, 16, 16, components) + b"".join(
        bytes([c + 1, 0x11, 0]) for c in range(components))
    scan = bytes([scan_components]) + b"".join(
        bytes([c + 1, 0]) for c in range(scan_components)) + b"\x00\x3f\x00"
    return (b"\xff\xd8" + extra + jpeg_segment(0xdb, b"\0" + b"\x01" * 64) +
            jpeg_segment(frame_marker, frame) + jpeg_segment(0xc4, b"\0" + b"\x01" + b"\0" * 15 + b"\0") +
            jpeg_segment(0xda, scan) + b"\x00\x00\xff\xd9")


EXIF = jpeg_segment(0xe1, b"Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0")
JPEG_SEEDS = {
    "baseline.jpg": jpeg(0xc0, 3, 3),
    "progressive.jpg": jpeg(0xc2, 3, 1),
    "gray.jpg": jpeg(0xc1, 1, 1),
    "exif.jpg": jpeg(0xc0, 3, 3, extra=jpeg_segment(0xe0, b"JFIF\0\x01\x01\0\0\x01\0\x01\0\0") + EXIF),
    "fill.jpg": jpeg(0xc0, 3, 1, extra=b"\xff\xff\xff"),
    "restart.jpg": b"\xff\xd8\xff\xd0" + jpeg(0xc0, 3, 3)[2:],
}



def real_jpeg(width, height, *options):
    """A small real JPEG from cjpeg (libjpeg-turbo-progs), or None without it."""
    if not shutil.which("cjpeg"):
        return None
    ppm = b"P6 %d %d 255\n" % (width, height) + b"".join(
        bytes((x * 40 % 256, y * 60 % 256, (x + y) * 20 % 256)) for y in range(height)
        for x in range(width))
    return subprocess.run(["cjpeg", *options], input=ppm, capture_output=True, check=True).stdout


REAL_JPEGS = {name: data for name, data in {
    "real-baseline.jpg": real_jpeg(9, 7, "-quality", "50"),
    "real-progressive.jpg": real_jpeg(9, 7, "-progressive", "-sample", "2x2"),
}.items() if data}

CORPORA = {
    "fuzz_pictureheaders": {**BMP_SEEDS, **GIF_SEEDS},
    "fuzz_jpegmarkers": JPEG_SEEDS,
    "fuzz_intake": {**BMP_SEEDS, **GIF_SEEDS, **JPEG_SEEDS, **REAL_JPEGS},
}

if __name__ == "__main__":
    for target, seeds in CORPORA.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
