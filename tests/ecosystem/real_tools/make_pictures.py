#!/usr/bin/python3
"""Makes the real-tool test pictures in this folder from pattern.txt.

Each picture is what ImageMagick or Pillow really writes for the palette-index
pattern (or one of its forms: two colours, four colours, or truecolour, which
has no bright black), either by a route kelvora reads right, by one it
refuses with a reason, or by the trap the README warns about (a palette put
in another order). The pictures are committed, so the tests need neither
tool; run this again only to renew them, with Debian's imagemagick and
python3-pil:

    /usr/bin/python3 tests/ecosystem/real_tools/make_pictures.py
"""

import subprocess
import sys
import tempfile
from pathlib import Path

try:
    from PIL import Image
except ImportError:
    sys.exit("make_pictures.py needs Pillow: apt-get install python3-pil, then run it "
             "with /usr/bin/python3")

HERE = Path(__file__).resolve().parent
# Debian's ImageMagick; another "convert" may come first on PATH.
CONVERT = "/usr/bin/convert"


def read_pattern():
    lines = (HERE / "pattern.txt").read_text().splitlines()
    rows = [line.strip() for line in lines]
    return [[int(c, 16) for c in row] for row in rows if row and not row.startswith("#")]


def exact_display_palette():
    """The 16 colours exactly as the display shows them (bright black is black)."""
    palette = []
    for index in range(16):
        level = 0xFF if index & 8 else 0xCD
        palette += [level if index & 2 else 0, level if index & 4 else 0, level if index & 1 else 0]
    return palette


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


def convert(source, destination, *options, writer="BMP3"):
    """Runs ImageMagick on `source`, writing `destination` here with the writer given."""
    command = [CONVERT, str(source), *map(str, options), f"{writer}:{HERE / destination}"]
    subprocess.run(command, check=True)


def main():
    if not Path(CONVERT).exists():
        sys.exit(f"make_pictures.py needs ImageMagick's {CONVERT}: apt-get install imagemagick")
    pattern = read_pattern()
    # The forms of the pattern, as the tests make them: every drawn pixel in
    # colour 1; the low two bits of each index; bright black drawn black.
    two_colours = [[1 if index else 0 for index in row] for row in pattern]
    four_colours = [[index & 3 for index in row] for row in pattern]
    rgb_form = [[0 if index == 8 else index for index in row] for row in pattern]

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
        # Truecolour in the display's own colours.
        exact = indexed_picture(rgb_form, exact_display_palette()).convert("RGB")
        exact.save(work / "exact.png")

        # ImageMagick, keeping the indices.
        uncompressed = ("-compress", "none")
        convert(work / "indexed16.png", "im_bmp3_4bit.bmp", *uncompressed)
        convert(work / "indexed256.png", "im_bmp3_8bit.bmp", *uncompressed)
        convert(work / "indexed16.png", "im_bmp_4bit.bmp", *uncompressed, writer="BMP")
        convert(work / "indexed256.png", "im_bmp_8bit.bmp", *uncompressed, writer="BMP")
        # Two colours drawn with the whole 16-colour palette still give 4 bits.
        convert(work / "two16.png", "im_bmp3_two_colours.bmp", *uncompressed)
        # 8-bit BMP3 is run-length compressed unless told otherwise, and
        # -compress RLE makes even a 16-colour picture 8-bit RLE.
        convert(work / "indexed256.png", "im_bmp3_8bit_rle.bmp")
        convert(work / "indexed16.png", "im_bmp3_16_colours_rle.bmp", "-compress", "RLE")
        # A two-entry palette is written at 1 bit per pixel.
        convert(work / "two.png", "im_bmp3_1bit.bmp", *uncompressed)
        # Drawing a pixel in the colour it already has turns the picture into
        # 24 bits; drawing with smoothing leaves colours between the display's.
        first = 3 * rgb_form[0][0]
        red, green, blue = exact_display_palette()[first : first + 3]
        convert(work / "exact.png", "im_bmp3_24bit_drawn.bmp", "-fill",
                f"#{red:02x}{green:02x}{blue:02x}", "-draw", "point 0,0", *uncompressed)
        convert(work / "exact.png", "im_bmp3_24bit_smoothed.bmp", "-fill", "#cd0000", "-draw",
                "circle 16,8 16,2", *uncompressed)
        convert(work / "exact.png", "im_png_interlaced_rgb.png", "-interlace", "PNG",
                writer="PNG24")

        # Pillow, keeping the indices: 8 bits a pixel, palettes as short as given.
        indexed_picture(pattern, display_palette()).save(HERE / "pil_16_entries.bmp")
        indexed_picture(two_colours, [0, 0, 0, 0xC0, 0xC0, 0xC0]).save(HERE / "pil_2_entries.bmp")
        quantized = truecolour.quantize(palette=palette_strip, dither=Image.Dither.NONE)
        quantized.save(HERE / "pil_quantized.bmp")
        # Pillow's other routes: 1 bit, 24 bits, and PNGs whose depth follows
        # the palette's size.
        indexed_picture(two_colours, [0, 0, 0, 0xC0, 0xC0, 0xC0]).convert("1").save(
            HERE / "pil_1bit.bmp")
        exact.save(HERE / "pil_24bit.bmp")
        indexed_picture(two_colours, [0, 0, 0, 0xC0, 0xC0, 0xC0]).save(HERE / "pil_indexed_1bit.png")
        indexed_picture(four_colours, exact_display_palette()[:12]).save(
            HERE / "pil_indexed_2bit.png")
        indexed_picture(pattern, display_palette()).save(HERE / "pil_indexed_4bit.png")
        indexed_picture(pattern, full_palette()).save(HERE / "pil_indexed_8bit.png", bits=8)
        exact.save(HERE / "pil_rgb.png")
        # Transparent where the pattern is 0, whatever colour lies under it.
        rgba = exact.convert("RGBA")
        rgba.putdata([(255, 255, 255, 0) if index == 0 else colour
                      for index, colour in zip((i for row in rgb_form for i in row),
                                               rgba.getdata())])
        rgba.save(HERE / "pil_rgba.png")

        # The trap: ImageMagick puts the palette in an order of its own.
        convert(work / "indexed16.png", "trap_colors_indexed.bmp", "-colors", 16, *uncompressed)
        convert(work / "truecolour.png", "trap_colors.bmp", "-colors", 16, *uncompressed)
        convert(work / "truecolour.png", "trap_remap.bmp", "-remap", work / "palette.png",
                *uncompressed)
        convert(work / "truecolour.png", "trap_type_palette.bmp", "-type", "Palette",
                *uncompressed)
        convert(work / "indexed16.png", "trap_png_interlaced.png", "-interlace", "PNG", writer="PNG")
        # The old 12-byte header, refused.
        convert(work / "indexed16.png", "im_bmp2.bmp", *uncompressed, writer="BMP2")
    return 0


if __name__ == "__main__":
    sys.exit(main())
