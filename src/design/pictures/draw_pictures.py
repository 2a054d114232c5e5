#!/usr/bin/env python3
"""Draws every picture Vellmor ships and writes them next to this script.

Needs Pillow (Debian: python3-pil) and the fonts AR PL UMing (fonts-arphic-uming) and
DejaVu Sans Bold (fonts-dejavu-core). Pillow draws, quantises and writes the PNG; the GIF
and ICO/CUR files are encoded here, because Debian's Pillow (9.4) cannot give their
designed layout: it writes no .cur at all (so no hot spot), no 4-bit icon bitmaps, and
its GIF writer crops a later frame to the box of what changed, keeping the unchanged
pixels opaque, where the banner's second frame is rows 1 to 58, transparent wherever it
repeats the first. Output is byte-identical from run to run on the same Pillow and fonts.
"""

import math
import struct
import sys
from pathlib import Path

try:
    from PIL import Image, ImageDraw, ImageFont
except ImportError:
    sys.exit("draw_pictures.py needs Pillow (Debian package python3-pil)")

OUT = Path(__file__).resolve().parent
MING = "/usr/share/fonts/truetype/arphic/uming.ttc"
SANS_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

BLACK = (0, 0, 0)


def dib(pixels, palette, bits):
    """One icon image: BITMAPINFOHEADER, colour table, XOR bitmap, AND mask.

    pixels holds rows of palette indices, None where the picture is transparent. A
    transparent pixel gets AND bit 1 and colour index 0, which must be black, so that
    screen AND 1 XOR 0 leaves the screen unchanged.
    """
    assert palette[0] == BLACK and len(palette) <= 1 << bits
    height, width = len(pixels), len(pixels[0])
    xor_stride = (width * bits + 31) // 32 * 4
    and_stride = (width + 31) // 32 * 4
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bottom-up
        xor_row, and_row = bytearray(xor_stride), bytearray(and_stride)
        for x, index in enumerate(row):
            if index is None:
                and_row[x // 8] |= 0x80 >> (x % 8)
                index = 0
            if bits == 8:
                xor_row[x] = index
            else:
                xor_row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor_rows.append(bytes(xor_row))
        and_rows.append(bytes(and_row))
    image_size = (xor_stride + and_stride) * height
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, image_size, 0, 0,
                         0, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    table += bytes(4 * ((1 << bits) - len(palette)))
    return header + table + b"".join(xor_rows) + b"".join(and_rows)


def write_icon(name, pixels, palette, bits, hot_spot=None):
    """Writes a one-image .ico, or a .cur when a hot spot (column, row) is given."""
    height, width = len(pixels), len(pixels[0])
    image = dib(pixels, palette, bits)
    colours = 0 if bits == 8 else 1 << bits
    if hot_spot is None:
        kind, field1, field2 = 1, 1, bits  # planes, bit count
    else:
        kind, (field1, field2) = 2, hot_spot
    data = struct.pack("<HHH", 0, kind, 1)
    data += struct.pack("<BBBBHHII", width % 256, height % 256, colours, 0, field1, field2,
                        len(image), 6 + 16)
    (OUT / name).write_bytes(data + image)


def from_grid(grid, colours):
    """Pixel art: one character per pixel, '.' transparent, others keys of colours.

    Returns the index rows and the palette (black first, then colours in key order).
    """
    palette = [BLACK] + [c for c in colours.values() if c != BLACK]
    index = {key: palette.index(c) for key, c in colours.items()}
    width = len(grid[0])
    assert all(len(row) == width for row in grid), "ragged grid"
    pixels = [[None if ch == "." else index[ch] for ch in row] for row in grid]
    return pixels, palette


def save_preview(name, pixels, palette, scale):
    """Large PNG of an icon, for looking at while drawing (not shipped)."""
    height, width = len(pixels), len(pixels[0])
    img = Image.new("RGBA", (width, height))
    img.putdata([(0, 0, 0, 0) if i is None else palette[i] + (255,)
                 for row in pixels for i in row])
    img.resize((width * scale, height * scale), Image.Resampling.NEAREST).save(name)


def vellmor_icon():
    """White arrow pointing up-left on a green square with a darker green edge."""
    edge, shadow, white = (0, 92, 30), (30, 122, 46), (255, 255, 255)
    bands = [(126, 216, 114), (92, 198, 94), (64, 180, 76), (44, 158, 60)]  # lit from top left
    size = 16

    def arrow(x, y):
        head = x >= 2 and y >= 2 and x + y <= 11
        shaft = abs(x - y) <= 1 and x + y >= 11 and x <= 13 and y <= 13
        return head or shaft

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            border = x in (0, size - 1) or y in (0, size - 1)
            corner = x in (0, size - 1) and y in (0, size - 1)
            if corner:
                row.append(None)
            elif border:
                row.append(edge)
            elif arrow(x, y):
                row.append(white)
            elif arrow(x - 1, y - 1) and x + y > 13:
                row.append(shadow)
            else:
                row.append(bands[min(3, (x + y) // 8)])
        rows.append(row)
    palette = [BLACK, edge, shadow, white] + bands
    return [[None if c is None else palette.index(c) for c in row] for row in rows], palette


ENVELOPE = [
    "................",
    "................",
    "................",
    "OOOOOOOOOOOOOOOO",
    "OFHHHHHHHHHHHHFO",
    "OYFHHHHHHHHHHFYO",
    "OYYFHHHHHHHHFYYO",
    "OYYYFHHHHHHFYYYO",
    "OYYYYFHHHHFYYYYO",
    "OYYYYYFHHFYYYYYO",
    "OYYYyYYFFYYyYYYO",
    "OYYyYYYYYYYYyYYO",
    "OYyYYYYYYYYYYyYO",
    "OOOOOOOOOOOOOOOO",
    "................",
    "................",
]
ENVELOPE_COLOURS = {
    "O": (128, 84, 8),
    "F": (196, 134, 18),
    "H": (255, 238, 150),
    "Y": (252, 208, 52),
    "y": (226, 172, 36),
}

PERSON = [
    "........................",
    "......KKKKKK............",
    ".....KHHHHHHK...........",
    "....KHHHHHHHHK..........",
    "....KHSSSSSSHK..........",
    "....KSSSSSSSsK..........",
    "....KSSeSSeSsK..........",
    "....KSSSSSSSsK..........",
    ".....KSSSSSsK...........",
    "......KsSSsK............",
    ".......KssK.............",
    "....KKKbWWbKKK..........",
    "...KbbbbWWbbbbK.........",
    "..KbbbBBBBBBBBBK........",
    ".KbbBBBBBBBBBBBBK.......",
    ".KbBBBBBBBBBBBBBK.......",
    "KbBBBBBBBBBBBBBBBK......",
    "KbBBBBBBBBBBBBBBBK......",
    "KbBBBBBBBBBBBBBBBK......",
    "KBBBBBBBBBBBBBBBBK......",
    "KKKKKKKKKKKKKKKKKK......",
    "........................",
    "........................",
    "........................",
]
PERSON_COLOURS = {
    "K": (36, 44, 70),
    "H": (84, 54, 32),
    "e": (60, 40, 30),
    "S": (252, 214, 176),
    "s": (222, 170, 128),
    "W": (250, 250, 250),
    "b": (112, 166, 236),
    "B": (48, 104, 200),
    "E": (0, 96, 20),
    "G": (36, 176, 56),
    "g": (132, 226, 124),
}


def person_plus_icon():
    grid = [list(row) for row in PERSON]
    # Green plus at the bottom right, over the shoulder, with a dark outline.
    left, top, size, arm = 13, 11, 11, 3
    mid = left + size // 2

    def on_plus(x, y):
        inside = left < x < left + size - 1 and top < y < top + size - 1
        return inside and (abs(x - mid) <= arm // 2 or abs(y - (top + size // 2)) <= arm // 2)

    for y in range(top, top + size):
        for x in range(left, left + size):
            if on_plus(x, y):
                lit = not on_plus(x - 1, y - 1) or not on_plus(x, y - 1)
                grid[y][x] = "g" if lit and (x < mid or y < top + size // 2) else "G"
            elif any(on_plus(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                grid[y][x] = "E"
    return from_grid(["".join(row) for row in grid], PERSON_COLOURS)


PENGUIN = [
    "........................",
    "..........KKKK..........",
    "........KKKKKKKK........",
    ".......KKkkKKKKKK.......",
    "......KKkKKKKKKKKK......",
    "......KKWWKKKKWWKK......",
    "......KKWKKKKKKWKK......",
    "......KKKKOOOOKKKK......",
    "......KKKKKooKKKKK......",
    ".....KKKKWWWWWWKKKK.....",
    "....KKKKWWWWWWWWKKKK....",
    "...KKkKWWWWWWWWWWKkKK...",
    "...KkKKWWWWWWWWWWKKkK...",
    "..KkKKWWWWWWWWWWWWKKkK..",
    "..KkK.KWWWWWWWWWWK.KkK..",
    "..KK..KWWWWWWWWWWK..KK..",
    "......KwWWWWWWWWwK......",
    "......KwWWWWWWWWwK......",
    ".......KwWWWWWWwK.......",
    ".......KKwwwwwwKK.......",
    "......OOOOKKKKOOOO......",
    ".....OooooO..OooooO.....",
    "........................",
    "........................",
]
PENGUIN_COLOURS = {
    "K": (22, 24, 34),
    "k": (92, 98, 118),
    "W": (252, 252, 252),
    "w": (198, 204, 216),
    "O": (255, 160, 24),
    "o": (214, 104, 0),
}

HAND = [
    "................................",
    "...........KKK..................",
    "..........KWWWK.................",
    "..........KWWsK.................",
    "..........KWWsK.................",
    "..........KWWsK.................",
    "..........KWWsK.................",
    "..........KWWsK.................",
    "..........KWWsKKK...............",
    "..........KWWsKWsKKK............",
    "..........KWWsKWWsKWKK..........",
    "..........KWWsKWWsKWsKKK........",
    "......KK..KWWsKWWsKWWsKWK.......",
    ".....KWWK.KWWWWWWWWWWWKWsK......",
    ".....KWWWKKWWWWWWWWWWWWWsK......",
    "......KWWWKWWWWWWWWWWWWWsK......",
    ".......KWWWWWWWWWWWWWWWWsK......",
    "........KWWWWWWWWWWWWWWWsK......",
    ".........KWWWWWWWWWWWWWsK.......",
    "..........KWWWWWWWWWWWWsK.......",
    "...........KWWWWWWWWWWsK........",
    "...........KWWWWWWWWWWsK........",
    "..........KKKKKKKKKKKKKKK.......",
    "..........KLLLLLLLLLLLLLK.......",
    "..........KBBBBBBBBBBBBBK.......",
    "..........KBBBBBBBBBBBBBK.......",
    "..........KbbbbbbbbbbbbbK.......",
    "..........KKKKKKKKKKKKKKK.......",
    "................................",
    "................................",
    "................................",
    "................................",
]
HAND_COLOURS = {
    "K": BLACK,
    "W": (255, 255, 255),
    "s": (196, 200, 212),
    "L": (132, 176, 255),
    "B": (36, 84, 220),
    "b": (16, 36, 136),
}
HAND_HOT_SPOT = (12, 1)


def quantise(img, palette):
    """Maps an RGB image to the nearest colours of a fixed palette (no dithering)."""
    cache = {}

    def nearest(c):
        if c not in cache:
            cache[c] = min(range(len(palette)),
                           key=lambda i: sum((a - b) ** 2 for a, b in zip(c, palette[i])))
        return cache[c]

    data = list(img.getdata())
    width = img.width
    return [[nearest(data[y * width + x]) for x in range(width)] for y in range(img.height)]


def about_icon():
    """Large dark-blue 'VM' on teal and white, divided by a red curve."""
    ss, size = 4, 128
    big = size * ss
    teal, white, red, navy = (0, 138, 140), (255, 255, 255), (214, 30, 36), (18, 34, 118)
    img = Image.new("RGB", (big, big), white)
    draw = ImageDraw.Draw(img)

    def curve(t):  # sweeps from the top right of centre to the bottom left of centre
        x = 0.62 - 0.36 * t + 0.16 * math.sin(math.pi * t)
        return (x * big, t * big)

    steps = 64
    line = [curve(i / steps) for i in range(steps + 1)]
    draw.polygon([(0, 0)] + line + [(0, big)], fill=teal)
    draw.line(line, fill=red, width=6 * ss, joint="curve")

    def letters(colour, grow):
        u = ss  # one icon pixel
        v = [(12, 30), (30, 30), (40, 76), (50, 30), (68, 30), (48, 98), (32, 98)]
        m = [(60, 98), (66, 30), (82, 30), (93, 64), (104, 30), (120, 30), (126, 98), (112, 98),
             (109, 56), (98, 88), (88, 88), (77, 56), (74, 98)]
        for shape in (v, m):
            pts = [((64 + (x - 64) * 0.86) * u, (66 + (y - 64) * 0.86) * u) for x, y in shape]
            draw.polygon(pts, fill=colour)
            if grow:
                draw.line(pts + [pts[0]], fill=colour, width=grow * u, joint="curve")

    letters(white, 4)
    letters(navy, 0)
    draw.rectangle([0, 0, big - 1, big - 1], outline=(0, 86, 90), width=ss)
    small = img.resize((size, size), Image.Resampling.BOX)
    palette = [BLACK, teal, white, red, navy, (0, 86, 90), (128, 196, 198), (234, 140, 144),
               (112, 84, 88), (9, 86, 128), (136, 144, 186), (116, 32, 78), (64, 168, 170),
               (190, 226, 226), (70, 90, 156), (196, 200, 222)]
    return quantise(small, palette), palette


def app_png():
    """The window icon's design at 256 x 256 for desktop entries."""
    ss, size = 4, 256
    big = size * ss
    k = big / 16  # one pixel of the 16 x 16 design
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    draw.rounded_rectangle([0.2 * k, 0.2 * k, big - 0.2 * k, big - 0.2 * k], radius=1.6 * k,
                           fill=(0, 92, 30, 255))
    inner = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    ImageDraw.Draw(inner).rounded_rectangle([k, k, big - k, big - k], radius=1.0 * k,
                                            fill=(255, 255, 255, 255))
    top, bottom = (126, 216, 114), (36, 146, 54)
    gradient = Image.new("RGBA", (big, big))
    gradient.putdata([tuple(round(a + (b - a) * min(1.0, (x + y) / (2 * big - 2))) for a, b
                            in zip(top, bottom)) + (255,)
                      for y in range(big) for x in range(big)])
    img.paste(gradient, (0, 0), inner)
    arrow = [(2, 2), (11, 2), (7.25, 5.75), (13.75, 12.25), (12.25, 13.75), (5.75, 7.25),
             (2, 11)]
    shadow = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    ImageDraw.Draw(shadow).polygon([((x + 0.55) * k, (y + 0.55) * k) for x, y in arrow],
                                   fill=(10, 80, 28, 150))
    img.alpha_composite(shadow)
    draw.polygon([(x * k, y * k) for x, y in arrow], fill=(255, 255, 255, 255))
    return img.resize((size, size), Image.Resampling.BOX)


BANNER_SIZE = (468, 60)
SS = 3  # the banner is drawn this many times larger, then reduced
SLOGAN = ("免费打电话", "短信无限发")


def star(cx, cy, outer, inner, points, turn):
    pts = []
    for i in range(points * 2):
        r = outer if i % 2 == 0 else inner
        a = turn + math.pi * i / points
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def banner_frame(phase):
    """One frame of the advertisement; phase 0 or 1 turns the rays and sun bursts."""
    w, h = BANNER_SIZE[0] * SS, BANNER_SIZE[1] * SS
    img = Image.new("RGB", (w, h))
    sky_top, sky_bottom = (64, 164, 236), (170, 222, 255)
    img.putdata([tuple(round(a + (b - a) * y / (h - 1)) for a, b in zip(sky_top, sky_bottom))
                 for y in range(h) for _ in range(w)])

    # Light rays fanning out from behind the slogan's centre.
    rays = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    draw = ImageDraw.Draw(rays)
    ox, oy, reach, count = 272 * SS, 30 * SS, 400 * SS, 24
    for i in range(count):
        a0 = 2 * math.pi * (i + phase * 0.5) / count
        a1 = a0 + math.pi / count
        draw.polygon([(ox, oy), (ox + reach * math.cos(a0), oy + reach * math.sin(a0)),
                      (ox + reach * math.cos(a1), oy + reach * math.sin(a1))],
                     fill=(255, 255, 255, 70))
    img.paste(rays, (0, 0), rays)
    draw = ImageDraw.Draw(img, "RGBA")

    # Logo of the invented service "鸣雀": a round badge with a handset, and its name.
    cx, cy, r = 24 * SS, 30 * SS, 21 * SS
    draw.ellipse([cx - r - SS, cy - r - SS, cx + r + SS, cy + r + SS], fill=(255, 255, 255))
    draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(20, 150, 70))
    draw.ellipse([cx - r + 3 * SS, cy - r + 2 * SS, cx + r - 6 * SS, cy + 2 * SS],
                 fill=(70, 190, 110))
    draw_handset(draw, cx - 3 * SS, cy, 16 * SS)
    name = ImageFont.truetype(MING, 19 * SS, index=0)
    draw.text((69 * SS, 23 * SS), "鸣雀", font=name, fill=(12, 60, 140), anchor="mm",
              stroke_width=SS // 2, stroke_fill=(12, 60, 140))
    latin = ImageFont.truetype(SANS_BOLD, 8 * SS)
    draw.text((69 * SS, 42 * SS), "MINGQUE", font=latin, fill=(255, 255, 255), anchor="mm",
              stroke_width=SS, stroke_fill=(12, 60, 140))
    draw.text((69 * SS, 51 * SS), "网络电话", font=ImageFont.truetype(MING, 9 * SS, index=0),
              fill=(12, 60, 140), anchor="mm")

    # The slogan panel: a translucent white field in a white and orange frame.
    box = [94 * SS, 4 * SS, 464 * SS, 55 * SS]
    draw.rounded_rectangle(box, radius=8 * SS, fill=(255, 255, 255, 60),
                           outline=(255, 255, 255), width=3 * SS)
    inset = [box[0] + 4 * SS, box[1] + 4 * SS, box[2] - 4 * SS, box[3] - 4 * SS]
    draw.rounded_rectangle(inset, radius=5 * SS, outline=(255, 140, 30), width=SS)

    font = ImageFont.truetype(MING, 29 * SS, index=0)
    step, gap, start, baseline = 30 * SS, 18 * SS, 113 * SS, 30 * SS
    centres = []
    x = start
    for half in SLOGAN:
        for ch in half:
            centres.append((x + step // 2, baseline))
            x += step
        x += gap

    for i in (0, len(SLOGAN[0])):  # sun bursts behind the first word of each half
        bx, by = (centres[i][0] + centres[i + 1][0]) // 2, centres[i][1]
        outer = (27 + 2 * phase) * SS
        spikes = star(bx, by, outer, 17 * SS, 18, phase * math.pi / 18)
        draw.polygon([(bx + 1.35 * (x - bx), y) for x, y in spikes], fill=(255, 214, 0))
        draw.ellipse([bx - 24 * SS, by - 16 * SS, bx + 24 * SS, by + 16 * SS],
                     fill=(255, 238, 110))

    slogan_colour = (238, 72, 16)
    for (sx, sy), ch in zip(centres, "".join(SLOGAN)):
        draw.text((sx, sy), ch, font=font, fill=(255, 255, 255), anchor="mm",
                  stroke_width=3 * SS, stroke_fill=(255, 255, 255))
    for (sx, sy), ch in zip(centres, "".join(SLOGAN)):
        draw.text((sx, sy), ch, font=font, fill=slogan_colour, anchor="mm",
                  stroke_width=SS, stroke_fill=slogan_colour)

    # A thin dark line along the top and bottom edges frames the whole banner.
    draw.rectangle([0, 0, w - 1, SS - 1], fill=(24, 84, 150))
    draw.rectangle([0, h - SS, w - 1, h - 1], fill=(24, 84, 150))
    return img.resize(BANNER_SIZE, Image.Resampling.BOX)


def draw_handset(draw, cx, cy, s):
    """A telephone handset held upright, with two sound waves to its right."""
    white = (255, 255, 255)
    path = [(cx + 0.35 * s + 0.8 * s * math.cos(math.radians(a)),
             cy + 0.8 * s * math.sin(math.radians(a))) for a in range(-120, -241, -10)]
    draw.line(path, fill=white, width=round(0.32 * s), joint="curve")
    for end in (path[0], path[-1]):
        ex, ey = end[0] + 0.05 * s, end[1]
        draw.ellipse([ex - 0.32 * s, ey - 0.2 * s, ex + 0.32 * s, ey + 0.2 * s], fill=white)
    for radius in (0.5, 0.85):
        bbox = [cx + 0.1 * s - radius * s, cy - radius * s, cx + 0.1 * s + radius * s,
                cy + radius * s]
        draw.arc(bbox, -40, 40, fill=white, width=round(0.14 * s))


def lzw(indices, min_code_size=8):
    """GIF LZW: variable code width up to 12 bits, clear code when the table is full."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    acc = bits = 0

    def emit(code, width):
        nonlocal acc, bits
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    def reset():
        return {}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    prefix = indices[0]
    for value in indices[1:]:
        key = (prefix, value)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, width)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            # The decoder learns each code one step later, so widen only after the
            # code that needs the wider field has been assigned.
            if next_code > 1 << width and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = reset()
        prefix = value
    emit(prefix, width)
    emit(end, width)
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def interlaced(rows):
    order = []
    for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        order.extend(range(start, len(rows), step))
    return [v for y in order for v in rows[y]]


def sub_blocks(data):
    return b"".join(bytes((len(data[i:i + 255]),)) + data[i:i + 255]
                    for i in range(0, len(data), 255)) + b"\x00"


TRANSPARENT = 255


def write_banner():
    frames = [banner_frame(0), banner_frame(1)]
    width, height = BANNER_SIZE
    both = Image.new("RGB", (width, height * 2))
    both.paste(frames[0], (0, 0))
    both.paste(frames[1], (0, height))
    # 255 colours for the pictures; index 255 stays free for transparency.
    quantised = both.quantize(colors=255, method=Image.Quantize.MEDIANCUT,
                              dither=Image.Dither.NONE)
    flat = list(quantised.getdata())
    first = [flat[y * width:(y + 1) * width] for y in range(height)]
    second = [flat[(height + y) * width:(height + y + 1) * width] for y in range(height)]
    assert max(flat) < TRANSPARENT
    palette = quantised.getpalette()[:255 * 3]
    palette += [0] * (255 * 3 - len(palette)) + [255, 255, 255]

    # The second frame covers rows 1..58 and is transparent wherever it repeats the first.
    top, rows = 1, height - 2
    delta = [[TRANSPARENT if b == a else b for a, b in zip(first[y], second[y])]
             for y in range(top, top + rows)]
    assert all(first[y] == second[y] for y in (0, height - 1)), "edges must not change"

    gif = bytearray(b"GIF89a")
    gif += struct.pack("<HHBBB", width, height, 0xF7, TRANSPARENT, 0)
    gif += bytes(palette)
    gif += b"\x21\xff\x0bNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\x00"
    for (left, y0, w, h), rows_ in (((0, 0, width, height), first), ((0, top, width, rows), delta)):
        gif += b"\x21\xf9\x04" + struct.pack("<BHB", (1 << 2) | 1, 10, TRANSPARENT) + b"\x00"
        gif += b"\x2c" + struct.pack("<HHHHB", left, y0, w, h, 0x40)
        gif += b"\x08" + sub_blocks(lzw(interlaced(rows_)))
    gif += b"\x3b"
    (OUT / "banner.gif").write_bytes(bytes(gif))


def main():
    preview = Path(sys.argv[1]) if len(sys.argv) > 1 else None
    icons = {
        "vellmor.ico": (vellmor_icon(), 8, None),
        "envelope.ico": (from_grid(ENVELOPE, ENVELOPE_COLOURS), 8, None),
        "person_plus.ico": (person_plus_icon(), 8, None),
        "penguin.ico": (from_grid(PENGUIN, PENGUIN_COLOURS), 8, None),
        "hand.cur": (from_grid(HAND, HAND_COLOURS), 4, HAND_HOT_SPOT),
        "about.ico": (about_icon(), 4, None),
    }
    for name, ((pixels, palette), bits, hot_spot) in icons.items():
        write_icon(name, pixels, palette, bits, hot_spot)
        if preview:
            scale = 4 if len(pixels) > 64 else 16
            save_preview(preview / (name + ".png"), pixels, palette, scale)
    app_png().save(OUT / "vellmor.png", optimize=False)
    write_banner()


if __name__ == "__main__":
    main()
