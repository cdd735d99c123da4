#!/usr/bin/python3
"""Makes the real-tool test pictures in this folder from pattern.txt.

Each picture is what ImageMagick or Pillow really writes for the palette-index
pattern, either by a route that keeps the indices or by one of the traps the
README warns about. The BMPs are committed, so the tests need neither tool;
run this again only to renew them, with Debian's imagemagick and python3-pil:

    /usr/bin/python3 tests/ecosystem/real_tools/make_pictures.py
"""

import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image

HERE = Path(__file__).resolve().parent
# Debian's ImageMagick; another "convert" may come first on PATH.
CONVERT = "/usr/bin/convert"


def read_pattern():
    rows = [line.strip() for line in (HERE / "pattern.txt").read_text().splitlines()]
    return [[int(c, 16) for c in row] for row in rows if row and not row.startswith("#")]


def display_palette():
    """The 16 colours as [r, g, b, ...]: bit 0 blue, bit 1 red, bit 2 green,
    bit 3 bright. Bright black is drawn dark grey so no colour appears twice;
    a palette holding one colour twice lets the tools merge the two indices."""
    palette = []
    for index in range(16):
        if index == 8:
            palette += [0x40, 0x40, 0x40]
            continue
        level = 0xFF if index & 8 else 0xC0
        palette += [level if index & 2 else 0, level if index & 4 else 0, level if index & 1 else 0]
    return palette


def full_palette():
    """256 entries: the display colours, then others the picture never uses."""
    extra = []
    for index in range(16, 256):
        extra += [index, 255 - index, (index * 7) % 256]
    return display_palette() + extra


def indexed_picture(pattern, palette):
    picture = Image.new("P", (len(pattern[0]), len(pattern)))
    picture.putpalette(palette)
    picture.putdata([index for row in pattern for index in row])
    return picture


def convert(source, *options_and_destination):
    subprocess.run([CONVERT, str(source), *map(str, options_and_destination)], check=True)


def main():
    pattern = read_pattern()
    # The two-colour picture: every drawn pixel in colour 1 of a 2-entry palette.
    two_colours = [[1 if index else 0 for index in row] for row in pattern]

    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch)
        # What a paint program saves: indexed PNGs, and a truecolour one.
        indexed_picture(pattern, display_palette()).save(work / "indexed16.png")
        indexed_picture(pattern, full_palette()).save(work / "indexed256.png")
        indexed_picture(two_colours, [0, 0, 0, 0xC0, 0xC0, 0xC0]).save(work / "two.png")
        indexed_picture(two_colours, display_palette()).save(work / "two16.png")
        truecolour = indexed_picture(pattern, display_palette()).convert("RGB")
        truecolour.save(work / "truecolour.png")
        palette_strip = indexed_picture([list(range(16))], display_palette())
        palette_strip.save(work / "palette.png")

        # ImageMagick, keeping the indices.
        convert(work / "indexed16.png", "-compress", "none", "BMP3:" + str(HERE / "im_bmp3_4bit.bmp"))
        convert(work / "indexed256.png", "-compress", "none", "BMP3:" + str(HERE / "im_bmp3_8bit.bmp"))
        convert(work / "indexed16.png", "-compress", "none", "BMP:" + str(HERE / "im_bmp_4bit.bmp"))
        convert(work / "indexed256.png", "-compress", "none", "BMP:" + str(HERE / "im_bmp_8bit.bmp"))
        # Two colours drawn with the whole 16-colour palette still give 4 bits.
        convert(work / "two16.png", "-compress", "none", "BMP3:" + str(HERE / "im_bmp3_two_colours.bmp"))

        # Pillow, keeping the indices: 8 bits a pixel, palettes as short as given.
        indexed_picture(pattern, display_palette()).save(HERE / "pil_16_entries.bmp")
        indexed_picture(two_colours, [0, 0, 0, 0xC0, 0xC0, 0xC0]).save(HERE / "pil_2_entries.bmp")
        truecolour.quantize(palette=palette_strip, dither=Image.Dither.NONE).save(
            HERE / "pil_quantized.bmp"
        )

        # ImageMagick's traps.
        convert(work / "indexed256.png", "BMP3:" + str(HERE / "trap_rle.bmp"))
        convert(work / "indexed16.png", "-colors", "16", "-compress", "none",
                "BMP3:" + str(HERE / "trap_colors_indexed.bmp"))
        convert(work / "truecolour.png", "-colors", "16", "-compress", "none",
                "BMP3:" + str(HERE / "trap_colors.bmp"))
        convert(work / "truecolour.png", "-remap", work / "palette.png", "-compress", "none",
                "BMP3:" + str(HERE / "trap_remap.bmp"))
        convert(work / "truecolour.png", "-type", "Palette", "-compress", "none",
                "BMP3:" + str(HERE / "trap_type_palette.bmp"))
        convert(work / "two.png", "-compress", "none", "BMP3:" + str(HERE / "trap_two_colours.bmp"))
        # Drawing a pixel in the colour it already has still turns the picture
        # into truecolour.
        red, green, blue = display_palette()[3 * pattern[0][0] : 3 * pattern[0][0] + 3]
        convert(work / "indexed16.png", "-fill", f"#{red:02x}{green:02x}{blue:02x}",
                "-draw", "point 0,0", "-compress", "none", "BMP3:" + str(HERE / "trap_drawn.bmp"))
        convert(work / "indexed16.png", "-compress", "none", "BMP2:" + str(HERE / "trap_bmp2.bmp"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
