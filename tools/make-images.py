#!/usr/bin/env python3
"""Draws the start-up images of hapticdemo into resources/images/.

    tools/make-images.py [OUTDIR]

Needs ImageMagick's convert and the DejaVu fonts (scripts/deps lists both). The
output is committed, so the program runs without this script; run it again after
changing a picture here. Every file is an uncompressed 24-bit BMP.

  msgLoading.bmp, msgError.bmp  600 x 240   the blinking start-up messages
  cursor.bmp                    32 x 32     the device cursor; pure black turns transparent
  exM.bmp, exD.bmp              1344 x 832  the menu strips: seven columns of 192 x 832,
                                            fronts (name and picture) and backs (description)
  water.bmp, sand.bmp           256 x 256   the grasp demo's bubble and sand ball; both wrap
                                            around left to right
  nano.bmp                      128 x 128   grey levels: a lattice of atoms under a probe
                                            microscope; brightness is the felt height
  plastic.bmp, stone.bmp,       256 x 256   the textures demo's tiles: fine grain, pebbles,
  silicone.bmp, motif.bmp                   soft bumps, a raised pattern; brightness is the
                                            felt height
  shadow.bmp                    256 x 256   the dynamics demo's sheet: a sphere map, bright
                                            where the surface faces the viewer, soft toward
                                            its grazing rim
  record.bmp                    256 x 256   the audio demo's record seen from above: grooved
                                            black vinyl filling the square's inscribed circle,
                                            a two-coloured label with a bar, so turning shows

The relief pictures become one vertex per pixel in the program, so their sizes
are kept small; every random picture has a fixed seed.
"""
import math
import os
import random
import subprocess
import sys
import tempfile

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT = os.path.join(FONT_DIR, "DejaVuSans.ttf")
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")

# one panel's image; the panel's on-screen shape is 0.08 x 0.347
COL_W, COL_H = 192, 832
# columns keep this margin free of drawing: the wide flanking panels stretch the
# strip's outermost texels over the sides of the view
EDGE = 10

BG_TOP, BG_BOTTOM = "#16304f", "#070f1c"
BACK_TOP, BACK_BOTTOM = "#2a1a0c", "#0d0703"
ACCENT = "#ff7a1a"
TEXT = "#f2f4f7"
MUTED = "#9fb3c8"

DEMOS = [
    ("REFLEXIONS", "potential fields",
     "Slide along two rings and two balls that push back as you press into their fields."),
    ("NANO", "height field",
     "Run the tip over a surface whose relief comes from a microscope image."),
    ("GRASP", "pick and place",
     "Grab balls and blocks, lift them and feel them press against each other."),
    ("AUDIO", "turntable",
     "Spin the record with the tip and feel its grooves run under it."),
    ("CONTACT", "tool on object",
     "Touch a tooth with a dental burr, then grab it and turn it around."),
    ("TEXTURES", "four surfaces",
     "Stroke four tiles of different relief and stiffness: plastic, stone, silicone, motif."),
    ("DYNAMICS", "deformable sheet",
     "Press into an elastic sheet and watch it bend and spring back."),
]


def run(args):
    subprocess.run(["convert"] + args, check=True)


def hexrgb(c):
    c = c.lstrip("#")
    return tuple(int(c[i:i + 2], 16) for i in (0, 2, 4))


def mix(a, b, t):
    a, b = hexrgb(a), hexrgb(b)
    return "#%02x%02x%02x" % tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


# ---- drawing primitives (ImageMagick draw commands) ----

def sphere(cx, cy, r, dark, light, steps=24):
    """A lit ball: nested discs drifting toward the highlight."""
    out = []
    for k in range(steps):
        t = k / steps
        rr = r * (1.0 - 0.92 * t)
        ox, oy = cx - 0.38 * r * t, cy - 0.38 * r * t
        out.append("fill '%s' circle %.1f,%.1f %.1f,%.1f" % (mix(dark, light, t ** 0.8), ox, oy, ox + rr, oy))
    out.append("fill '#ffffff' circle %.1f,%.1f %.1f,%.1f" % (cx - 0.42 * r, cy - 0.42 * r, cx - 0.34 * r, cy - 0.42 * r))
    return out


def torus(cx, cy, rx, ry, width, dark, light, steps=10):
    out = []
    for k in range(steps):
        t = k / steps
        w = width * (1.0 - 0.85 * t)
        out.append("fill none stroke '%s' stroke-width %.1f ellipse %.1f,%.1f %.1f,%.1f 0,360"
                   % (mix(dark, light, t), w, cx, cy - width * 0.12 * t, rx, ry))
    return out


def polygon(points, fill, stroke=None, width=1):
    pts = " ".join("%.1f,%.1f" % p for p in points)
    s = "stroke '%s' stroke-width %g" % (stroke, width) if stroke else "stroke none"
    return ["%s fill '%s' polygon %s" % (s, fill, pts), "stroke none"]


def block(cx, cy, s, top, left, right):
    """An upright cube seen from above and to the front."""
    dx, dy = s * 0.87, s * 0.5
    t = [(cx, cy - s), (cx + dx, cy - s + dy), (cx, cy - s + 2 * dy), (cx - dx, cy - s + dy)]
    l = [(cx - dx, cy - s + dy), (cx, cy - s + 2 * dy), (cx, cy + 2 * dy), (cx - dx, cy + dy)]
    r = [(cx, cy - s + 2 * dy), (cx + dx, cy - s + dy), (cx + dx, cy + dy), (cx, cy + 2 * dy)]
    return polygon(t, top) + polygon(l, left) + polygon(r, right)


def shadow(cx, cy, rx, ry):
    out = []
    for k in range(8):
        t = k / 8
        out.append("fill '%s' ellipse %.1f,%.1f %.1f,%.1f 0,360"
                   % (mix("#0b1626", "#03060c", t), cx, cy, rx * (1 - 0.6 * t), ry * (1 - 0.6 * t)))
    return out


# ---- the seven pictures, each centred on (96, 0) of a 192-wide column ----

def pic_reflexions(y):
    d = []
    d += shadow(96, y + 120, 80, 14)
    d += torus(96, y - 40, 62, 22, 16, "#7a2c05", "#ffb36b")
    d += sphere(60, y + 42, 30, "#0c3a66", "#8fd0ff")
    d += sphere(134, y + 70, 24, "#0c3a66", "#8fd0ff")
    d += torus(96, y + 60, 44, 15, 11, "#7a2c05", "#ffb36b")
    return d


def pic_nano(y):
    d = []
    rows, cols = 14, 40
    for j in range(rows):
        base = y - 90 + j * 13
        pts = []
        for i in range(cols + 1):
            x = 14 + i * (164 / cols)
            u, v = (x - 96) / 60.0, (j - rows / 2) / 4.0
            h = 38 * math.exp(-(u * u + v * v)) + 14 * math.exp(-((u - 1.2) ** 2 + (v + 1.0) ** 2) * 2)
            h += 4 * math.sin(i * 0.9 + j) * math.cos(i * 0.35)
            pts.append((x, base - h))
        poly = pts + [(pts[-1][0], base + 40), (pts[0][0], base + 40)]
        t = j / (rows - 1)
        d += polygon(poly, mix("#0b1a2e", "#0f2440", t))
        d.append("fill none stroke '%s' stroke-width 1.6 polyline %s" %
                 (mix("#2f7fc0", "#7df0ff", t), " ".join("%.1f,%.1f" % p for p in pts)))
        d.append("stroke none")
    return d


def pic_grasp(y):
    d = []
    d += shadow(96, y + 112, 82, 14)
    d += block(58, y + 30, 34, "#c9d6e3", "#7f93a8", "#5a6d82")
    d += block(138, y + 62, 26, "#ffc48a", "#d9772b", "#a9531a")
    d += sphere(136, y - 30, 28, "#0e4f2c", "#8ff0b4")
    d += sphere(70, y - 52, 20, "#5a1046", "#f59ad8")
    # two gripper fingers closing on the upper ball
    d += polygon([(108, y - 120), (118, y - 120), (116, y - 62), (110, y - 62)], "#d0d5db")
    d += polygon([(154, y - 120), (164, y - 120), (162, y - 62), (156, y - 62)], "#d0d5db")
    d += polygon([(104, y - 132), (168, y - 132), (168, y - 118), (104, y - 118)], "#9aa3ad")
    return d


def pic_audio(y):
    d = []
    d += polygon([(16, y - 92), (176, y - 92), (176, y + 96), (16, y + 96)], "#3a3f46", "#59606a", 2)
    cx, cy, r = 86, y, 66
    d.append("fill '#0a0a0c' circle %d,%d %d,%d" % (cx, cy, cx + r, cy))
    for k in range(9):
        rr = 26 + k * 4.4
        d.append("fill none stroke '%s' stroke-width 1 circle %d,%d %.1f,%d" % ("#2b2d33" if k % 2 else "#1a1b20", cx, cy, cx + rr, cy))
    d.append("stroke '#3c3f48' stroke-width 2 fill none arc %d,%d %d,%d 200,250" % (cx - 58, cy - 58, cx + 58, cy + 58))
    d.append("stroke none fill '%s' circle %d,%d %d,%d" % (ACCENT, cx, cy, cx + 20, cy))
    d.append("fill '#f2f4f7' circle %d,%d %d,%d" % (cx, cy, cx + 3, cy))
    # tone arm from its pivot to the outer grooves
    d.append("fill '#9aa3ad' circle 160,%d 171,%d" % (y - 70, y - 70))
    d.append("stroke '#d0d5db' stroke-width 5 line 160,%d 146,%d" % (y - 70, y + 30))
    d.append("stroke '#d0d5db' stroke-width 5 line 146,%d 126,%d" % (y + 30, y + 46))
    d.append("stroke none")
    d += polygon([(118, y + 40), (132, y + 52), (126, y + 60), (112, y + 48)], "#e9ecef")
    return d


def pic_contact(y):
    d = []
    d += shadow(88, y + 110, 64, 12)
    # a molar: crown with two cusps and two roots, shaded in layers
    def tooth(s, col):
        return ["fill '%s' path 'M %.1f,%.1f C %.1f,%.1f %.1f,%.1f %.1f,%.1f C %.1f,%.1f %.1f,%.1f %.1f,%.1f "
                "C %.1f,%.1f %.1f,%.1f %.1f,%.1f C %.1f,%.1f %.1f,%.1f %.1f,%.1f C %.1f,%.1f %.1f,%.1f %.1f,%.1f "
                "C %.1f,%.1f %.1f,%.1f %.1f,%.1f C %.1f,%.1f %.1f,%.1f %.1f,%.1f Z'" % ((col,) + tuple(
                    v * s + (88 if i % 2 == 0 else y) * (1 - s) + (0 if i % 2 == 0 else 0)
                    for i, v in enumerate([
                        40, y - 40,
                        44, y - 80, 70, y - 82, 80, y - 62,
                        90, y - 78, 128, y - 86, 136, y - 40,
                        140, y - 10, 130, y + 10, 124, y + 40,
                        120, y + 80, 108, y + 100, 102, y + 70,
                        98, y + 40, 80, y + 40, 76, y + 70,
                        70, y + 100, 56, y + 90, 52, y + 40,
                        48, y + 10, 36, y - 10, 40, y - 40])))]
    for k in range(10):
        t = k / 10
        d += tooth(1.0 - 0.45 * t, mix("#b9ac8f", "#fffaf0", t ** 0.7))
    # the burr: shank from the upper right, round cutting head on the crown
    d.append("stroke '#8c96a1' stroke-width 9 line 176,%d 120,%d" % (y - 150, y - 92))
    d.append("stroke '#d0d5db' stroke-width 3 line 174,%d 122,%d" % (y - 152, y - 95))
    d.append("stroke none")
    d += sphere(114, y - 86, 12, "#7a1500", "#ffb08a", 12)
    return d


def pic_textures(y):
    d = []
    rnd = random.Random(7)
    s, g = 70, 8
    x0, y0 = 96 - s - g / 2, y - s - g / 2
    tiles = [(x0, y0), (x0 + s + g, y0), (x0, y0 + s + g), (x0 + s + g, y0 + s + g)]
    # plastic: smooth glossy gradient
    x, yy = tiles[0]
    for k in range(12):
        t = k / 12
        d += polygon([(x + t * 10, yy + t * 10), (x + s, yy + t * 10), (x + s, yy + s), (x + t * 10, yy + s)],
                     mix("#0b5aa8", "#7cc4ff", t))
    # stone: irregular pebbles
    x, yy = tiles[1]
    d += polygon([(x, yy), (x + s, yy), (x + s, yy + s), (x, yy + s)], "#4a4640")
    for _ in range(26):
        px, py, r = x + 6 + rnd.random() * (s - 12), yy + 6 + rnd.random() * (s - 12), 4 + rnd.random() * 6
        d.append("fill '%s' ellipse %.1f,%.1f %.1f,%.1f 0,360" % (mix("#6e6a62", "#c2bbb0", rnd.random()), px, py, r, r * 0.8))
    # silicone: soft bumps
    x, yy = tiles[2]
    d += polygon([(x, yy), (x + s, yy), (x + s, yy + s), (x, yy + s)], "#b3475e")
    for i in range(4):
        for j in range(4):
            cx, cy = x + 9 + i * 17.5, yy + 9 + j * 17.5
            for k in range(5):
                t = k / 5
                d.append("fill '%s' circle %.1f,%.1f %.1f,%.1f" % (mix("#b3475e", "#ffb8c8", t), cx - t * 2, cy - t * 2, cx - t * 2 + 7 * (1 - 0.7 * t), cy - t * 2))
    # motif: diamonds
    x, yy = tiles[3]
    d += polygon([(x, yy), (x + s, yy), (x + s, yy + s), (x, yy + s)], "#e0a41c")
    for i in range(4):
        for j in range(4):
            cx, cy = x + 9 + i * 17.5, yy + 9 + j * 17.5
            d += polygon([(cx, cy - 8), (cx + 8, cy), (cx, cy + 8), (cx - 8, cy)], "#6b4300")
    return d


def pic_dynamics(y):
    d = []
    n = 10
    def pt(i, j):
        u, v = i - (n - 1) / 2, j - (n - 1) / 2
        h = 46 * math.exp(-(u * u + v * v) / 6.0)
        return (96 + (i - j) * 8.6, y - 40 + (i + j) * 5.2 + h)
    for j in range(n - 1):
        for i in range(n - 1):
            quad = [pt(i, j), pt(i + 1, j), pt(i + 1, j + 1), pt(i, j + 1)]
            shade = 0.35 + 0.65 * ((i + j) / (2 * n - 4))
            d += polygon(quad, mix("#12355c", "#3f8fd6", shade), "#9fd3ff", 1)
    c = pt(4.5, 4.5)
    d += sphere(c[0], c[1] - 26, 20, "#7a2c05", "#ffb36b", 16)
    d.append("stroke '#d0d5db' stroke-width 5 line %.1f,%.1f %.1f,%.1f" % (c[0] + 10, c[1] - 44, c[0] + 52, c[1] - 120))
    d.append("stroke none")
    return d


PICTURES = [pic_reflexions, pic_nano, pic_grasp, pic_audio, pic_contact, pic_textures, pic_dynamics]


# ---- composition ----

def draw_args(cmds):
    args = []
    for c in cmds:
        args += ["-draw", c]
    return args


def front_tile(k, path):
    name, sub, _ = DEMOS[k]
    args = ["-size", "%dx%d" % (COL_W, COL_H), "gradient:%s-%s" % (BG_TOP, BG_BOTTOM)]
    # a soft halo behind the picture
    args += ["(", "-size", "%dx%d" % (COL_W - 2 * EDGE, COL_W - 2 * EDGE),
             "radial-gradient:#2d5f93-none", ")", "-geometry", "+%d+%d" % (EDGE, 400 - (COL_W - 2 * EDGE) // 2),
             "-composite"]
    args += draw_args(PICTURES[k](400))
    args += ["-fill", ACCENT, "-draw", "rectangle %d,120 %d,123" % (EDGE + 26, COL_W - EDGE - 26)]
    args += ["-fill", ACCENT, "-draw", "rectangle %d,690 %d,693" % (EDGE + 26, COL_W - EDGE - 26)]
    args += ["-gravity", "north", "-font", FONT_BOLD, "-pointsize", "22", "-fill", TEXT,
             "-annotate", "+0+80", name]
    args += ["-font", FONT, "-pointsize", "13", "-fill", MUTED, "-annotate", "+0+138", sub]
    args += ["-font", FONT_BOLD, "-pointsize", "40", "-fill", "#24456b", "-annotate", "+0+712", "%d" % (k + 1)]
    args += ["-alpha", "off", "-type", "TrueColor", path]
    run(args)


def back_tile(k, path):
    name, _, text = DEMOS[k]
    args = ["-size", "%dx%d" % (COL_W, COL_H), "gradient:%s-%s" % (BACK_TOP, BACK_BOTTOM)]
    args += ["-gravity", "north", "-font", FONT_BOLD, "-pointsize", "22", "-fill", ACCENT,
             "-annotate", "+0+80", name]
    args += ["-fill", ACCENT, "-draw", "rectangle %d,120 %d,123" % (EDGE + 26, COL_W - EDGE - 26)]
    args += ["(", "-size", "%dx300" % (COL_W - 2 * EDGE - 20), "-background", "none", "-fill", TEXT,
             "-font", FONT, "-pointsize", "17", "-gravity", "center", "caption:" + text, ")",
             "-gravity", "north", "-geometry", "+0+250", "-composite"]
    args += ["-font", FONT_BOLD, "-pointsize", "15", "-fill", ACCENT, "-annotate", "+0+640", "CLICK TO START"]
    args += ["-font", FONT, "-pointsize", "12", "-fill", "#c8a888", "-annotate", "+0+664", "Esc returns to the menu"]
    # the panel shows its back turned by half a revolution: store it mirrored
    args += ["-flop", "-alpha", "off", "-type", "TrueColor", path]
    run(args)


def message(path, title, lines, error):
    w, h = 600, 240
    args = ["-size", "%dx%d" % (w, h), "xc:black"]
    colour = "#ff5a3c" if error else ACCENT
    args += ["-fill", "none", "-stroke", "#2a4466", "-strokewidth", "2",
             "-draw", "roundrectangle 6,6 %d,%d 18,18" % (w - 7, h - 7), "-stroke", "none"]
    if error:
        # a warning sign
        args += ["-fill", colour, "-draw", "polygon 70,70 120,160 20,160",
                 "-fill", "black", "-draw", "rectangle 66,95 74,135", "-draw", "circle 70,147 70,152"]
    else:
        # a row of dots, as in a progress indicator
        for i in range(3):
            args += ["-fill", mix("#16304f", ACCENT, (i + 1) / 3), "-draw",
                     "circle %d,120 %d,120" % (42 + i * 28, 52 + i * 28)]
    args += ["-gravity", "northwest", "-font", FONT_BOLD, "-pointsize", "30", "-fill", TEXT,
             "-annotate", "+150+62", title]
    y = 112
    for text, col in lines:
        args += ["-font", FONT, "-pointsize", "17", "-fill", col, "-annotate", "+150+%d" % y, text]
        y += 28
    args += ["-alpha", "off", "-type", "TrueColor", path]
    run(args)


def cursor(path):
    # an arrow whose tip is the image's lower-left pixel: the program places the
    # bitmap's lower-left corner at the device position
    args = ["-size", "32x32", "xc:black",
            "-fill", "#ffffff", "-stroke", ACCENT, "-strokewidth", "2",
            "-draw", "polygon 1,30 1,6 8,13 20,1 30,11 18,23 25,30",
            "-alpha", "off", "-type", "TrueColor", path]
    run(args)


# ---- sphere textures: pixels computed here, written as a PPM for convert ----

def pixels(path, w, h, colour_at):
    """Writes the image colour_at(x, y) -> (r, g, b) in 0..1 through convert."""
    data = bytearray()
    for y in range(h):
        for x in range(w):
            data += bytes(max(0, min(255, round(255 * c))) for c in colour_at(x, y))
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        f.write(bytes(data))
        ppm = f.name
    try:
        run([ppm, "-alpha", "off", "-type", "TrueColor", path])
    finally:
        os.unlink(ppm)


def water(path):
    # a water surface: deep blue with bright caustic lines where crossing ripples
    # meet; whole wave numbers across so the seam round the sphere does not show
    size = 256
    waves = [(3, 1, 0.0), (-2, 3, 1.3), (1, -4, 2.1), (5, 2, 0.7), (-4, -1, 2.9)]
    deep, light = hexrgb("#06305e"), hexrgb("#5fb8e8")

    def colour(x, y):
        u, v = 2 * math.pi * x / size, 2 * math.pi * y / size
        h = sum(math.sin(a * u + b * v + ph) for a, b, ph in waves) / len(waves)
        caustic = (1.0 - abs(math.sin(3.0 * h + 0.8 * math.sin(2 * u + v)))) ** 6
        t = 0.35 + 0.35 * h + 0.55 * caustic
        t = max(0.0, min(1.0, t))
        return tuple((deep[i] + (light[i] - deep[i]) * t) / 255.0 + 0.25 * caustic for i in range(3))

    pixels(path, size, size, colour)


def sand(path):
    # sand: a warm base speckled with grains of one to two pixels, lighter and
    # darker; grains wrap at the left and right edges
    size = 256
    rnd = random.Random(11)
    base = [[0.0] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            base[y][x] = rnd.uniform(-0.06, 0.06)
    for _ in range(9000):
        cx, cy, r = rnd.randrange(size), rnd.randrange(size), rnd.choice((0.7, 1.0, 1.5))
        shade = rnd.choice((-0.22, -0.12, 0.1, 0.18))
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                if dx * dx + dy * dy <= r * r and 0 <= cy + dy < size:
                    base[cy + dy][(cx + dx) % size] = shade + rnd.uniform(-0.04, 0.04)
    tone = [c / 255.0 for c in hexrgb("#c8a56e")]

    def colour(x, y):
        d = base[y][x]
        return (tone[0] + d, tone[1] + d * 0.95, tone[2] + d * 0.85)

    pixels(path, size, size, colour)


# ---- reliefs: the brightness of these pictures is the height the program feels ----

def smoothstep(a, b, x):
    t = max(0.0, min(1.0, (x - a) / (b - a)))
    return t * t * (3 - 2 * t)


def value_noise(size, cells, rnd):
    """Smooth noise that wraps at the edges: a grid of random values, cosine-blended."""
    grid = [[rnd.random() for _ in range(cells)] for _ in range(cells)]

    def at(x, y):
        u, v = x * cells / size, y * cells / size
        i, j = int(u), int(v)
        fu, fv = u - i, v - j
        fu, fv = (1 - math.cos(math.pi * fu)) / 2, (1 - math.cos(math.pi * fv)) / 2
        a, b = grid[j % cells][i % cells], grid[j % cells][(i + 1) % cells]
        c, d = grid[(j + 1) % cells][i % cells], grid[(j + 1) % cells][(i + 1) % cells]
        return (a * (1 - fu) + b * fu) * (1 - fv) + (c * (1 - fu) + d * fu) * fv

    return at


def nano(path):
    # a close-packed lattice of atoms as a probe microscope sees it: soft round
    # bumps on a darker ground, one missing atom, a gentle tilt of the terrace
    # and a faint scan noise; the rows run at a slant so strokes cross them
    size = 128
    rnd = random.Random(5)
    noise = value_noise(size, 32, rnd)
    a = 13.0
    angle = math.radians(12)
    ca, sa = math.cos(angle), math.sin(angle)
    e1 = (a * ca, a * sa)
    e2 = (a * math.cos(angle + math.pi / 3), a * math.sin(angle + math.pi / 3))
    det = e1[0] * e2[1] - e1[1] * e2[0]
    vacancy = (1, -2)
    sigma = 0.3 * a

    def grey(x, y):
        px, py = x - size / 2, y - size / 2
        # lattice coordinates of the point; the atoms are at whole numbers
        u = (px * e2[1] - py * e2[0]) / det
        v = (py * e1[0] - px * e1[1]) / det
        h = 0.0
        for du in (-1, 0, 1, 2):
            for dv in (-1, 0, 1, 2):
                i, j = math.floor(u) + du, math.floor(v) + dv
                if (i, j) == vacancy:
                    continue
                cx, cy = i * e1[0] + j * e2[0], i * e1[1] + j * e2[1]
                d2 = (px - cx) ** 2 + (py - cy) ** 2
                h += math.exp(-d2 / (2 * sigma * sigma))
        # the terrace rises a little to the upper right
        g = 0.1 + 0.7 * min(h, 1.05) + 0.06 * (x + (size - y)) / (2 * size) + 0.05 * (noise(x, y) - 0.5)
        return (g, g, g)

    pixels(path, size, size, grey)


def plastic(path):
    # moulded plastic: a flat blue with a fine, even grain
    size = 256
    rnd = random.Random(21)
    fine = value_noise(size, 128, rnd)
    medium = value_noise(size, 32, rnd)
    base = [c / 255.0 for c in hexrgb("#2f6fb8")]

    def colour(x, y):
        d = 0.18 * (fine(x, y) - 0.5) + 0.08 * (medium(x, y) - 0.5)
        return tuple(c * (1.0 + d * 1.6) + 0.02 for c in base)

    pixels(path, size, size, colour)


def stone(path):
    # a bed of pebbles: rounded stones of several greys and browns, bright on top
    # and darker towards their rims, with dark gaps between them
    size = 256
    rnd = random.Random(33)
    stones = []
    for _ in range(48):
        tint = rnd.choice(("#9a9286", "#b3ab9d", "#857a6c", "#a4957f", "#c1bbb1", "#7b7f82"))
        stones.append((rnd.uniform(0, size), rnd.uniform(0, size), [c / 255.0 for c in hexrgb(tint)],
                       rnd.uniform(0.85, 1.1)))
    speck = value_noise(size, 96, rnd)

    def colour(x, y):
        # the nearest and second-nearest centres (wrapping), giving each pebble's
        # distance to its rim
        best, second, which = 1e9, 1e9, None
        for cx, cy, tint, bright in stones:
            dx = min(abs(x - cx), size - abs(x - cx))
            dy = min(abs(y - cy), size - abs(y - cy))
            d = math.sqrt(dx * dx + dy * dy)
            if d < best:
                best, second, which = d, best, (tint, bright)
            elif d < second:
                second = d
        rim = (second - best) / 2.0
        dome = smoothstep(0.0, 14.0, rim) ** 0.7
        t = which[1] * (0.25 + 0.75 * dome) + 0.12 * (speck(x, y) - 0.5)
        return tuple(c * t for c in which[0])

    pixels(path, size, size, colour)


def silicone(path):
    # soft silicone: a pale pink sheet with broad, smooth bumps and a soft sheen
    size = 256
    rnd = random.Random(47)
    bumps = [(rnd.uniform(0, size), rnd.uniform(0, size), rnd.uniform(10, 18)) for _ in range(40)]
    base, light = [c / 255.0 for c in hexrgb("#b85d6c")], [c / 255.0 for c in hexrgb("#f3c4c8")]
    wobble = value_noise(size, 8, rnd)

    def colour(x, y):
        h = 0.0
        for cx, cy, r in bumps:
            dx = min(abs(x - cx), size - abs(x - cx))
            dy = min(abs(y - cy), size - abs(y - cy))
            h += math.exp(-(dx * dx + dy * dy) / (2 * r * r))
        t = 0.1 + 0.8 * math.tanh(0.9 * h) + 0.1 * wobble(x, y)
        return tuple(base[i] + (light[i] - base[i]) * t for i in range(3))

    pixels(path, size, size, colour)


def motif(path):
    # a raised pattern on a dark tile: a grid of bevelled diamonds, each with a
    # round boss in the middle, ringed by a raised border
    size = 256
    cell = 32.0
    ground, raised = [c / 255.0 for c in hexrgb("#3a2a1c")], [c / 255.0 for c in hexrgb("#e0b464")]

    def colour(x, y):
        u, v = (x + 0.5) % cell - cell / 2, (y + 0.5) % cell - cell / 2
        diamond = smoothstep(12.5, 10.5, abs(u) + abs(v))
        boss = smoothstep(5.0, 3.5, math.hypot(u, v))
        hole = smoothstep(7.5, 6.5, abs(u) + abs(v)) - boss
        edge = min(x + 0.5, y + 0.5, size - x - 0.5, size - y - 0.5)
        border = smoothstep(1.0, 2.5, edge) * smoothstep(7.0, 5.5, edge)
        t = max(diamond - 0.55 * max(hole, 0.0), border)
        return tuple(ground[i] + (raised[i] - ground[i]) * t for i in range(3))

    pixels(path, size, size, colour)


def shadow_map(path):
    # a sphere map: the texel at radius r seen through a normal tilted by asin(r);
    # a broad soft glow for surfaces facing the viewer, a highlight up and to
    # the left, and a cool dim rim, so a dent shows as a ring of shade
    size = 256
    cool, warm = hexrgb("#2b3a52"), hexrgb("#e8e2d4")

    def colour(x, y):
        u = (x + 0.5) / size * 2.0 - 1.0
        v = (y + 0.5) / size * 2.0 - 1.0
        r = min(1.0, math.hypot(u, v))
        facing = math.sqrt(max(0.0, 1.0 - r * r))
        t = facing ** 1.6
        hx, hy = u + 0.35, v + 0.35
        glow = 0.35 * math.exp(-(hx * hx + hy * hy) / 0.08)
        return tuple((cool[i] + (warm[i] - cool[i]) * t) / 255.0 + glow for i in range(3))

    pixels(path, size, size, colour)


def record(path):
    # black vinyl with fine grooves that catch the light along one diagonal, a
    # plain run-out band, and a label: orange with a dark half-moon and a cream bar
    # across one side, so any turn of the disc shows; the spindle hole in the middle
    size = 256
    vinyl, groove = hexrgb("#0b0b0d"), hexrgb("#3a3a44")
    orange, dark, cream = hexrgb("#ff7a1a"), hexrgb("#7a2a08"), hexrgb("#f4ead2")

    def colour(x, y):
        u = (x + 0.5) / size * 2.0 - 1.0
        v = (y + 0.5) / size * 2.0 - 1.0
        r = math.hypot(u, v)
        if r > 1.0:
            return (0.0, 0.0, 0.0)
        if r < 0.025:
            return (0.02, 0.02, 0.02)
        if r < 0.34:
            c = orange
            if v > 0.0 and math.hypot(u - 0.08, v - 0.05) < 0.24:
                c = dark
            if 0.12 < u < 0.30 and abs(v) < 0.04:
                c = cream
            return tuple(k / 255.0 for k in c)
        if r < 0.38 or r > 0.97:
            return tuple(k / 255.0 for k in vinyl)
        sheen = 0.5 + 0.5 * math.cos(2.0 * math.atan2(v, u) - 1.6)
        t = (0.5 + 0.5 * math.sin(r * 420.0)) * (0.15 + 0.6 * sheen ** 3)
        return tuple(mix_unit(vinyl[i], groove[i], t) for i in range(3))

    pixels(path, size, size, colour)


def mix_unit(a, b, t):
    return (a + (b - a) * t) / 255.0


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                              "resources", "images")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        fronts, backs = [], []
        for k in range(7):
            fronts.append(os.path.join(tmp, "f%d.png" % k))
            backs.append(os.path.join(tmp, "b%d.png" % k))
            front_tile(k, fronts[k])
            back_tile(k, backs[k])
        run(fronts + ["+append", "-alpha", "off", "-type", "TrueColor", "BMP3:" + os.path.join(out, "exM.bmp")])
        run(backs + ["+append", "-alpha", "off", "-type", "TrueColor", "BMP3:" + os.path.join(out, "exD.bmp")])
    message("BMP3:" + os.path.join(out, "msgLoading.bmp"), "Loading demos",
            [("Building the seven demonstrations.", MUTED),
             ("The menu appears in a moment.", MUTED)], False)
    message("BMP3:" + os.path.join(out, "msgError.bmp"), "No haptic device found",
            [("Connect a device and start the program again.", MUTED),
             ("Press any key or click to quit.", ACCENT)], True)
    cursor("BMP3:" + os.path.join(out, "cursor.bmp"))
    water("BMP3:" + os.path.join(out, "water.bmp"))
    sand("BMP3:" + os.path.join(out, "sand.bmp"))
    nano("BMP3:" + os.path.join(out, "nano.bmp"))
    plastic("BMP3:" + os.path.join(out, "plastic.bmp"))
    stone("BMP3:" + os.path.join(out, "stone.bmp"))
    silicone("BMP3:" + os.path.join(out, "silicone.bmp"))
    motif("BMP3:" + os.path.join(out, "motif.bmp"))
    shadow_map("BMP3:" + os.path.join(out, "shadow.bmp"))
    record("BMP3:" + os.path.join(out, "record.bmp"))


if __name__ == "__main__":
    main()
