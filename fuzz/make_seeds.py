#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

Run it from anywhere; it rewrites only the files it names. Inputs kept from
long fuzzing runs live beside these as found_* files and are left alone.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SEPARATOR = b"@@LIST@@"


def display_colour(index):
    level = 0xFF if index & 8 else 0xCD
    return (level if index & 2 else 0, level if index & 4 else 0, level if index & 1 else 0)


def bmp_header(width, height, bits, offset=None, bits_field=None, compression=0):
    entries = 1 << bits if bits <= 8 else 0
    standard = 14 + 40 + 4 * entries
    offset = standard if offset is None else offset
    header = b"BM" + struct.pack("<IIIIiiHHIIiiII", 0, 0, offset, 40, width, height, 1,
                                 bits if bits_field is None else bits_field, compression, 0, 2835,
                                 2835, entries, 0)
    header += b"".join(bytes((i * 255 // (entries - 1),) * 3 + (0,)) for i in range(entries))
    return header[:offset].ljust(offset, b"\0")


def bmp(width, height, bits, pixel, offset=None, rows=None, bits_field=None):
    """A BMP; pixel(x, y) with y = 0 at the top, rows bottom-up (top-down for a
    negative height), indices packed at 1, 2, 4 or 8 bits, rows padded to 4
    bytes; at 24 or 32 bits each pixel in its display colour."""
    pixels = bytearray()
    order = range(abs(height)) if height < 0 else range(abs(height) - 1, -1, -1)
    for y in list(order)[:rows]:
        row = bytearray()
        if bits in (24, 32):
            for x in range(width):
                red, green, blue = display_colour(pixel(x, y) & 15)
                row += bytes((blue, green, red)) + (b"\0" if bits == 32 else b"")
        else:
            row = bytearray((width * bits + 7) // 8)
            for x in range(width):
                per_byte = 8 // bits
                row[x // per_byte] |= (pixel(x, y) & ((1 << bits) - 1)) << (8 - bits * (x % per_byte + 1))
        pixels += row + bytes(-len(row) % 4)
    return bmp_header(width, height, bits, offset, bits_field) + bytes(pixels)


def rle_bmp(width, height, bits, data):
    """A run-length compressed BMP (8 or 4 bits) with the given data."""
    return bmp_header(width, height, bits, compression=1 if bits == 8 else 2) + data


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, colour_type, rows, palette=None):
    """A non-interlaced PNG of 8 bits a channel; rows are the raw bytes of each row."""
    data = b"".join(b"\0" + row for row in rows)
    chunks = png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    if palette:
        chunks += png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    chunks += png_chunk(b"IDAT", zlib.compress(data)) + png_chunk(b"IEND", b"")
    return b"\x89PNG\r\n\x1a\n" + chunks


def logo(x, y):
    return 0 if x >= 8 else (2 if x < 4 else 6)


def triangle(x, y):
    return 4 if 8 <= x < 16 and x - 8 <= y % 8 else 0


def colours(x, y):
    return (x // 8 * 3 + y // 8 * 5 + (x ^ y)) % 16


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


PICTURES = {
    "logo8": bmp(16, 8, 8, logo),
    "logo4": bmp(16, 8, 4, logo),
    "colours8_32x24": bmp(32, 24, 8, colours),
    "values_above_15": bmp(16, 16, 8, lambda x, y: (x * 16 + y * 7) % 256),
    "offset_29": bmp(8, 8, 8, colours, offset=29),
    "depth_1": bmp(16, 8, 1, colours),
    "depth_2": bmp(16, 8, 2, colours),
    "depth_24": bmp(16, 8, 24, colours),
    "depth_32_top_down": bmp(16, -8, 32, colours),
    "depth_16": bmp(16, 8, 8, colours, bits_field=16),
    "rle8_every_code": rle_bmp(16, 8, 8, b"\x03\x05\x00\x03\x01\x02\x03\x00\x14\x06\x00\x00"
                                         b"\x00\x02\x03\x02\x02\x07\x00\x01"),
    "rle4_every_code": rle_bmp(16, 8, 4, b"\x05\x12\x00\x05\x12\x34\x50\x00\x00\x00"
                                         b"\x00\x02\x01\x01\x14\x77"),
    "rle8_cut_short": rle_bmp(16, 8, 8, b"\x00\x09\x01\x02"),
    "png_palette": png(16, 8, 3, [bytes(colours(x, y) for x in range(16)) for y in range(8)],
                       [display_colour(i) for i in range(16)]),
    "png_rgba": png(16, 8, 6, [b"".join(bytes(display_colour(colours(x, y))) + bytes((255 * (x % 3 != 0),))
                                        for x in range(16)) for y in range(8)]),
    "png_grey": png(16, 8, 0, [bytes(0xCD * (x % 2) for x in range(16)) for y in range(8)]),
    "short_pixels": bmp(16, 16, 8, colours, rows=3),
    "no_pixels": bmp(16, 16, 4, colours, rows=0),
    "largest_cut_short": bmp(1024, 1024, 4, colours, rows=1),
    "width_12": bmp(12, 8, 8, colours),
    "width_1032": bmp(1032, 8, 4, colours, rows=1),
    "top_down": bmp(16, -8, 8, colours),
    "offset_28": bmp(8, 8, 8, colours, offset=28),
    "header_cut": bmp(16, 8, 8, logo)[:24],
    "empty": b"",
}

LISTS = {
    "every_kind": b"logo=B,0,0,16,8,5\r\nfont=T,0,8,64,8,7\nship=S,16,16,16,24,7 ; the hero\n"
                  b"w=s,0,0,8,8,7\nother=Sprite,8,0,8,8,263\nlower=t,0,0,16,8,7\n",
    "comments": b"; a comment line\n; a=b,c with separators\nlogo=B,0,0,16,8,5\n"
                b"ship=S,0,0,16,16,7;x\nlogo=B,0,0,16,8,5\nhero;x=S,0,0,16,16,7\n",
    "long_comment": b";" + bytes(ord("a") + i % 26 for i in range(100)) + b"\nlogo=B,0,0,16,8,5\n",
    "names_79_80_100": b"".join(bytes(ord("a") + i % 26 for i in range(n)) + b"=B,0,0,8,8,7\n"
                                for n in (79, 80, 100)),
    "kinds_79_80": b"k=" + b"B" * 79 + b",0,0,8,8,7\nk=" + b"T" * 80 + b",0,0,8,8,7\n",
    "odd_fields": b"my ship=S, 16,0,16,16,7\nneg=B,-8,0,8,8,7\n" + b"\0=B,0,0,8,8,7\n"
                  b"ab\0cd=S,0,0,8,8,7\n=B,0,0,8,8,7\n",
    "wrapping_numbers": b"n=B,4294967296,2147483648,99999999999,4294967295,263\n"
                        b"m=S,4294967304,4294967304,4294967304,4294967304,519\n",
    "trailing_spaces": b"logo=B,0,0,8,8,7  ",
    "endless_comment": b";" * 4000,
    "empty": b"",
    # Records the one-pass reading takes (short fields, no comment), with
    # NULs in names, 15-character names, empty and long kinds, 4-digit
    # numbers and line ends of every sort, so the fuzz target compares it
    # with the byte-by-byte reading on what it does read.
    "short_records": b"".join(
        b"%s=%s,%d,%d,%d,%d,%d%s" % (name, kind, 8 * i % 1024, 1016 - i, 9999 - i, 256 + i,
                                     i * 37 % 1000, end)
        for i, (name, kind, end) in enumerate(
            (name, kind, end)
            for name in (b"a", b"abcdefghijklmno", b"x\0y", b"\0", b"n" + b"\0" * 14)
            for kind, end in ((b"B", b"\n"), (b"T", b"\r\n"), (b"", b"\n\n\n"),
                              (b"Sprite", b"\r\n\r\n"), (b"s", b"\n")))),
}


def extremes_list():
    """Every kind against coordinates and sizes at the 32-bit extremes."""
    places = [0, 8, 1016, 1017, 1024, 2147483640, 2147483647, 2147483648, 4294967288,
              4294967295, 4294967296, 4294967304]
    sizes = [0, 1, 8, 9, 2147483647, 2147483648, 4294967288, 4294967295, 4294967304]
    lines = []
    for kind in (b"B", b"T", b"S", b"s"):
        for place in places:
            for size in sizes:
                lines.append(b"x%d=%s,%d,0,%d,8,7\n" % (size, kind, place, size))
                lines.append(b"y%d=%s,0,%d,8,%d,7\n" % (size, kind, place, size))
    return b"".join(lines)


CONVERSIONS = {
    "png_every_kind": (PICTURES["png_palette"], LISTS["every_kind"]),
    "rle8_every_kind": (PICTURES["rle8_every_code"], LISTS["every_kind"]),
    "rgb_every_kind": (PICTURES["depth_24"], LISTS["every_kind"]),
    "logo8_every_kind": (PICTURES["logo8"], LISTS["every_kind"]),
    "logo4_odd_fields": (PICTURES["logo4"], LISTS["odd_fields"] + LISTS["names_79_80_100"]),
    "triangle_stores_carry": (bmp(24, 16, 8, triangle),
                              b"f=B,0,0,24,16,7\na=S,0,0,8,16,7\nz=S,8,0,0,16,7\n"
                              b"z2=S,16,4,0,2,7\nn=B,0,0,0,16,7\nbad=S,8,0,8,2000,7\n"),
    "colours_sizes": (PICTURES["colours8_32x24"],
                      b"b=B,0,0,12,12,7\nt=T,0,0,32,24,7\nh0=B,0,0,16,0,7\nt0=T,0,0,0,16,7\n"
                      b"s=S,3,5,32,24,3\ntall=S,0,0,8,256,7\nwide=T,0,0,256,8,7\n"),
    "grid_edges": (PICTURES["short_pixels"],
                      b"e=B,1016,1016,8,8,7\ne=S,0,1016,8,8,7\ne=S,1023,1020,0,4,7\n"
                      b"far=B,1024,0,8,8,7\nfar=S,0,1017,8,8,7\nfar=S,1024,0,0,8,7\n"),
    "extremes": (PICTURES["values_above_15"], extremes_list()),
    "no_list": (PICTURES["logo8"], b""),
    "bad_picture": (PICTURES["width_12"], LISTS["every_kind"]),
}

for name, data in PICTURES.items():
    write("picture", name, data)
for name, data in LISTS.items():
    write("resource_list", name, data)
for name, (picture, listing) in CONVERSIONS.items():
    write("conversion", name, picture + SEPARATOR + listing)
