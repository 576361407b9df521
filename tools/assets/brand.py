"""The visual identity of KELO 2008, shared by every picture.

  - White pages; ink in a dark forest green, a grey-green "sage" (the text
    bar's colour), a pale sage and a peach (the overlay's tint colours) and
    a terracotta accent for the tree rings.
  - The logo: the letters K, E, L in dark green and an O drawn as a cut
    log's tree rings (a "kelo" is a silvered old pine). The letter outlines
    are the ones the 3D meshes are extruded from (meshes.py).
  - Motifs: tree rings, a row of stylised pines, one silver dead pine (the
    kelo), and a small pixel invader for the demoscene.

Drawing model: shapes are drawn on a canvas supersampled SS times and
reduced with a premultiplied box filter (deterministic, clean edges, no
colour fringes on transparent pictures); text is drawn afterwards at the
final size with FreeType's own anti-aliasing, which keeps small type sharp.
"""

import math
import random

import numpy as np
from PIL import Image, ImageDraw, ImageFont

import meshes

SS = 4

# --- palette (RGB) ---------------------------------------------------------------
WHITE = (255, 255, 255)
INK = (38, 48, 40)            # dark forest green, almost black
FOREST = (74, 90, 72)
SAGE = (139, 149, 135)        # the text bar
SAGE_LIGHT = (192, 202, 188)  # top of the overlay's tint
SAGE_PALE = (226, 231, 223)
PEACH = (240, 191, 173)       # bottom of the overlay's tint
PEACH_PALE = (250, 229, 220)
TERRACOTTA = (201, 108, 80)
RUST = (150, 72, 52)
SILVER = (168, 170, 164)

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"
_FONT_FILES = {
    "bold": FONT_DIR + "DejaVuSans-Bold.ttf",
    "regular": FONT_DIR + "DejaVuSans.ttf",
    "cond": FONT_DIR + "DejaVuSansCondensed.ttf",
    "cond_bold": FONT_DIR + "DejaVuSansCondensed-Bold.ttf",
    "light": FONT_DIR + "DejaVuSans-ExtraLight.ttf",
}
_font_cache = {}


def font(kind, size):
    key = (kind, size)
    if key not in _font_cache:
        _font_cache[key] = ImageFont.truetype(_FONT_FILES[kind], size)
    return _font_cache[key]


def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


# --- canvas -------------------------------------------------------------------------

class Canvas:
    """A supersampled RGBA drawing surface. Coordinates are final pixels."""

    def __init__(self, w, h, background=(255, 255, 255, 255)):
        self.w, self.h = w, h
        self.img = Image.new("RGBA", (w * SS, h * SS), background)

    def _paint(self, points_ss, pad, draw_fn, fill):
        """Draws on a layer covering only the bounding box of points_ss
        (supersampled pixels) plus pad, then composites it."""
        xs = [p[0] for p in points_ss]
        ys = [p[1] for p in points_ss]
        x0 = max(0, int(math.floor(min(xs) - pad)))
        y0 = max(0, int(math.floor(min(ys) - pad)))
        x1 = min(self.img.width, int(math.ceil(max(xs) + pad)) + 1)
        y1 = min(self.img.height, int(math.ceil(max(ys) + pad)) + 1)
        if x1 <= x0 or y1 <= y0:
            return
        mask = Image.new("L", (x1 - x0, y1 - y0), 0)
        draw_fn(ImageDraw.Draw(mask), x0, y0)
        self._composite_mask(mask, fill, x0, y0)

    def _composite_mask(self, mask, fill, x0=0, y0=0):
        a = fill[3] if len(fill) == 4 else 255
        if a != 255:
            mask = mask.point(lambda v: v * a // 255)
        layer = Image.new("RGBA", mask.size, (fill[0], fill[1], fill[2], 0))
        layer.putalpha(mask)
        self.img.alpha_composite(layer, (x0, y0))

    @staticmethod
    def _pts(points):
        return [(x * SS, y * SS) for x, y in points]

    def polygon(self, points, fill):
        pts = self._pts(points)
        self._paint(pts, 2, lambda d, ox, oy: d.polygon(
            [(x - ox, y - oy) for x, y in pts], fill=255), fill)

    def polygons(self, polys, fill):
        """Several polygons in one mask; those marked False are holes cut
        out of the ones drawn before them."""
        all_pts = [self._pts(p) for p, _ in polys]

        def draw(d, ox, oy):
            for pts, (_, solid) in zip(all_pts, polys):
                d.polygon([(x - ox, y - oy) for x, y in pts], fill=255 if solid else 0)
        self._paint([p for pts in all_pts for p in pts], 2, draw, fill)

    def ellipse(self, cx, cy, r, fill=None, outline=None, width=1.0):
        box = [(cx - r) * SS, (cy - r) * SS, (cx + r) * SS, (cy + r) * SS]
        colour = fill if fill is not None else outline
        wpx = max(1, int(round(width * SS)))

        def draw(d, ox, oy):
            d.ellipse([box[0] - ox, box[1] - oy, box[2] - ox, box[3] - oy],
                      fill=255 if fill is not None else None,
                      outline=255 if outline is not None else None, width=wpx)
        self._paint([(box[0], box[1]), (box[2], box[3])], 2, draw, colour)

    def line(self, points, fill, width=1.0):
        pts = self._pts(points)
        wpx = max(1, int(round(width * SS)))
        self._paint(pts, wpx + 2, lambda d, ox, oy: d.line(
            [(x - ox, y - oy) for x, y in pts], fill=255, width=wpx, joint="curve"), fill)

    def rect(self, x0, y0, x1, y1, fill):
        self.polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], fill)

    def finish(self):
        """Returns the final-size RGBA image (premultiplied box filter)."""
        a = np.asarray(self.img, dtype=np.float64)
        alpha = a[..., 3:4] / 255.0
        pre = np.concatenate([a[..., :3] * alpha, alpha], axis=2)
        pre = pre.reshape(self.h, SS, self.w, SS, 4).mean(axis=(1, 3))
        out_a = pre[..., 3:4]
        rgb = np.where(out_a > 0, pre[..., :3] / np.maximum(out_a, 1e-12), 0.0)
        out = np.concatenate([rgb, out_a * 255.0], axis=2)
        return Image.fromarray(np.clip(np.round(out), 0, 255).astype(np.uint8), "RGBA")


# --- text (final size) ---------------------------------------------------------------

def text_width(s, fnt, tracking=0.0):
    if not s:
        return 0.0
    return sum(fnt.getlength(ch) for ch in s) + tracking * (len(s) - 1)


def text(img, s, x, y, fnt, fill, anchor="l", tracking=0.0):
    """Draws s with its baseline at y on a final-size RGBA image. anchor:
    'l', 'm' or 'r' for where x is. tracking: extra pixels between letters."""
    w = text_width(s, fnt, tracking)
    if anchor == "m":
        x -= w / 2.0
    elif anchor == "r":
        x -= w
    mask = Image.new("L", img.size, 0)
    d = ImageDraw.Draw(mask)
    pen = x
    for ch in s:
        d.text((pen, y), ch, font=fnt, fill=255, anchor="ls")
        pen += fnt.getlength(ch) + tracking
    a = fill[3] if len(fill) == 4 else 255
    if a != 255:
        mask = mask.point(lambda v: v * a // 255)
    layer = Image.new("RGBA", img.size, (fill[0], fill[1], fill[2], 0))
    layer.putalpha(mask)
    img.alpha_composite(layer)
    return w


# --- motifs -------------------------------------------------------------------------------

def _ring_curve(cx, cy, r, wobble, phases, steps=360):
    pts = []
    for i in range(steps):
        t = 2.0 * math.pi * i / steps
        rr = r
        for k, (amp, ph) in enumerate(phases):
            rr += wobble * amp * math.sin((k + 2) * t + ph)
        pts.append((cx + rr * math.cos(t), cy + rr * math.sin(t)))
    return pts


def tree_rings(cv, cx, cy, radius, rings, seed, colours, line_width=1.5,
               wobble=0.02, crack=True, pith=True, fill=None, bark=None):
    """A cut log seen end-on: slightly irregular concentric rings, growing
    further apart outwards, a pith dot and one drying crack. With fill the
    log's face is painted first; with bark the outermost ring is a thick
    bark line of that colour. Every ring shares one wobble, as real growth
    rings do. The crack is an opening, drawn in the page colour (white)."""
    rnd = random.Random(seed)
    phases = [(rnd.uniform(0.4, 1.0), rnd.uniform(0, 2 * math.pi)) for _ in range(3)]
    steps = [rnd.uniform(0.8, 1.25) for _ in range(rings)]
    total = sum(steps)
    radii = []
    acc = 0.0
    for s in steps:
        acc += s
        radii.append(radius * acc / total)
    curves = [_ring_curve(cx, cy, r, wobble * r, phases) for r in radii]
    if fill is not None:
        cv.polygon(curves[-1], fill)
    for i, pts in enumerate(curves):
        if i == rings - 1 and bark is not None:
            cv.line(pts + [pts[0]], bark, line_width * 2.6)
        else:
            cv.line(pts + [pts[0]], colours[i % len(colours)], line_width)
    if pith:
        cv.ellipse(cx, cy, max(1.5, radius * 0.05), fill=colours[0])
    if crack:
        ang = rnd.uniform(0, 2 * math.pi)
        r0, r1 = radius * 0.5, radius * 1.1
        half = 0.04
        pts = [(cx + r0 * math.cos(ang), cy + r0 * math.sin(ang)),
               (cx + r1 * math.cos(ang - half), cy + r1 * math.sin(ang - half)),
               (cx + r1 * math.cos(ang + half), cy + r1 * math.sin(ang + half))]
        cv.polygon(pts, rgba(WHITE))  # an opening: the page shows through


def pine(cv, x, base_y, height, fill, tiers=4):
    """A stylised pine: stacked triangles on a short trunk."""
    trunk_w = height * 0.06
    trunk_h = height * 0.12
    cv.rect(x - trunk_w / 2, base_y - trunk_h, x + trunk_w / 2, base_y, fill)
    top = base_y - height
    crown_bottom = base_y - trunk_h * 0.6
    span = crown_bottom - top
    for i in range(tiers):
        t0 = top + span * (i / (tiers + 0.6))
        t1 = top + span * ((i + 1.6) / (tiers + 0.6))
        half = height * (0.13 + 0.07 * i)
        cv.polygon([(x, t0), (x + half, t1), (x - half, t1)], fill)


def kelo_tree(cv, x, base_y, height, fill, seed):
    """The dead silver pine: a bare, slightly leaning trunk with stubs."""
    rnd = random.Random(seed)
    lean = height * 0.03
    w0, w1 = height * 0.035, height * 0.012
    cv.polygon([(x - w0, base_y), (x + w0, base_y), (x + lean + w1, base_y - height),
                (x + lean - w1, base_y - height)], fill)
    for i in range(7):
        t = 0.3 + 0.09 * i
        yy = base_y - height * t
        xx = x + lean * t
        side = -1 if i % 2 else 1
        length = height * rnd.uniform(0.07, 0.16) * (1.1 - t * 0.6)
        cv.line([(xx, yy), (xx + side * length, yy - length * 0.45)], fill, max(1.0, height * 0.012))


def forest(cv, x0, x1, base_y, seed, colours, min_h, max_h, kelo_at=None, density=1.0):
    """A row of pines between x0 and x1 standing on base_y, their heights
    following a slow rolling envelope so the row reads as a wooded ridge."""
    rnd = random.Random(seed)
    ph1, ph2 = rnd.uniform(0, 6.28), rnd.uniform(0, 6.28)
    x = x0
    while x < x1:
        env = 0.5 + 0.3 * math.sin(x / 173.0 + ph1) + 0.2 * math.sin(x / 71.0 + ph2)
        h = min_h + (max_h - min_h) * max(0.0, min(1.0, env * rnd.uniform(0.75, 1.2)))
        if kelo_at is None or abs(x - kelo_at) > max_h * 0.18:
            pine(cv, x, base_y, h, colours[rnd.randrange(len(colours))],
                 tiers=rnd.choice((3, 4, 4, 5)))
        x += h * rnd.uniform(0.26, 0.46) / density
    if kelo_at is not None:
        kelo_tree(cv, kelo_at, base_y, max_h * 1.3, rgba(SILVER), seed + 1)


INVADER_ROWS = meshes.INVADER


def invader(cv, x, y, cell, body, eyes=None):
    """The pixel invader of the meshes, top-left at (x, y)."""
    for r, line in enumerate(INVADER_ROWS):
        for c, ch in enumerate(line):
            if ch == "#":
                cv.rect(x + c * cell, y + r * cell, x + (c + 1) * cell, y + (r + 1) * cell, body)
            elif ch == "o" and eyes is not None:
                cv.rect(x + c * cell, y + r * cell, x + (c + 1) * cell, y + (r + 1) * cell, eyes)


# --- the logo ----------------------------------------------------------------------------------

LOGO_GAP = 13.0   # design units between letters
LOGO_GAP_BEFORE_O = 7.0  # the round O needs less air to look evenly spaced


def logo_width(cap_height):
    units = sum(meshes.LETTER_WIDTH[c] for c in "KELO") + 2 * LOGO_GAP + LOGO_GAP_BEFORE_O
    return units * cap_height / 100.0


def kelo_logo(cv, x, baseline, cap_height, ink=INK, rings=True, crack_colour=WHITE):
    """The KELO logo with its left edge at x and its baseline at baseline.
    Returns the width in pixels."""
    k = cap_height / 100.0
    pen = 0.0
    for ch in "KEL":
        pts = [(x + (pen + px) * k, baseline - py * k) for px, py in meshes.letter_loops(ch)[0]]
        cv.polygon(pts, rgba(ink))
        pen += meshes.LETTER_WIDTH[ch] + (LOGO_GAP if ch != "L" else LOGO_GAP_BEFORE_O)
    # The O: a log end in terracotta, a darker bark rim, pale growth rings
    # that wander a little and one drying crack.
    cx = x + (pen + meshes.O_CENTRE[0]) * k
    cy = baseline - meshes.O_CENTRE[1] * k
    r_out, r_in = meshes.O_OUTER * k, meshes.O_INNER * k
    outer = meshes.circle_loop(cx, cy, r_out, 240)
    inner = meshes.circle_loop(cx, cy, r_in, 240)
    cv.polygons([(outer, True), (inner, False)], rgba(TERRACOTTA))
    if rings:
        lw = max(0.7, cap_height / 110.0)
        rnd = random.Random(2008)
        phases = [(rnd.uniform(0.5, 1.0), rnd.uniform(0, 2 * math.pi)) for _ in range(3)]
        for f in (0.16, 0.34, 0.49, 0.66, 0.80):
            r = r_in + (r_out - r_in) * f
            pts = _ring_curve(cx, cy, r, 0.018 * r, phases)
            cv.line(pts + [pts[0]], rgba(PEACH), lw)
        rim = (r_out - r_in) * 0.09
        rim_in = meshes.circle_loop(cx, cy, r_out - rim, 240)
        cv.polygons([(outer, True), (rim_in, False)], rgba(RUST))
        ang = math.radians(-52.0)
        r0 = r_in + (r_out - r_in) * 0.42
        half = 0.05
        cv.polygon([(cx + r0 * math.cos(ang), cy + r0 * math.sin(ang)),
                    (cx + (r_out + 1) * math.cos(ang - half), cy + (r_out + 1) * math.sin(ang - half)),
                    (cx + (r_out + 1) * math.cos(ang + half), cy + (r_out + 1) * math.sin(ang + half))],
                   rgba(crack_colour))
    pen += meshes.LETTER_WIDTH["O"]
    return pen * k


def vexa_mark(cv, cx, cy, size, ink=INK, accent=TERRACOTTA):
    """The group's mark: a diamond frame holding a V cut from two strokes,
    with four square dots at the diamond's corners (V.E.X.A.'s four dots)."""
    s = size / 2.0
    t = size * 0.07      # frame stroke
    outer = [(cx, cy - s), (cx + s, cy), (cx, cy + s), (cx - s, cy)]
    si = s - t * 1.42
    inner = [(cx, cy - si), (cx + si, cy), (cx, cy + si), (cx - si, cy)]
    cv.polygons([(outer, True), (inner, False)], rgba(ink))
    # The V: a chevron of two equal strokes, split down the middle into an
    # ink half and an accent half. The inner edges run parallel to the outer
    # ones, so both strokes have the same weight.
    w = size * 0.13
    top = cy - s * 0.40
    bottom = cy + s * 0.52
    spread = s * 0.46
    apex = bottom - w * (bottom - top) / spread
    cv.polygon([(cx - spread, top), (cx - spread + w, top), (cx, apex), (cx, bottom)], rgba(ink))
    cv.polygon([(cx + spread, top), (cx + spread - w, top), (cx, apex), (cx, bottom)], rgba(accent))
    d = size * 0.055
    for px, py in ((cx, cy - s - d * 2.4), (cx + s + d * 2.4, cy),
                   (cx, cy + s + d * 2.4), (cx - s - d * 2.4, cy)):
        cv.polygon([(px, py - d), (px + d, py), (px, py + d), (px - d, py)], rgba(accent))


def radial_glow(img, cx, cy, radius, colour, alpha):
    """Composites a soft disc on a final-size RGBA image: full alpha at the
    centre, fading smoothly to nothing at radius."""
    h, w = img.size[1], img.size[0]
    ys, xs = np.mgrid[0:h, 0:w]
    d = np.sqrt((xs + 0.5 - cx) ** 2 + (ys + 0.5 - cy) ** 2) / radius
    t = np.clip(1.0 - d, 0.0, 1.0)
    a = alpha * t * t * (3.0 - 2.0 * t)
    layer = np.zeros((h, w, 4), np.uint8)
    layer[..., 0], layer[..., 1], layer[..., 2] = colour[0], colour[1], colour[2]
    layer[..., 3] = np.round(a).astype(np.uint8)
    img.alpha_composite(Image.fromarray(layer, "RGBA"))
