"""The show's pictures. Each function returns a PIL image of the exact size
and mode the show loads; generate.py writes them.

Invented event facts, used consistently everywhere:
  KELO 2008, 15-17 August 2008, the old sawmill at Hirsiranta by Lake
  Kaarna; organised by the demo group V.E.X.A.
"""

import math

from PIL import Image

import brand as b
from brand import Canvas, rgba

EVENT_DATES = "15 \u2013 17 AUGUST 2008"
EVENT_PLACE = "THE OLD SAWMILL \u00b7 HIRSIRANTA \u00b7 LAKE KAARNA"

# The loading box: one-pixel lines at these columns and rows; the bar fills
# x 224..802, y 364..380 inside it.
BOX_X0, BOX_X1, BOX_Y0, BOX_Y1 = 218, 805, 357, 383
BOX_INK = (30, 34, 30)

# The overlay's round window, centred where the tower stands on screen
# (the default camera puts the tower's axis about 170 px right of centre).
WINDOW_CX, WINDOW_CY, WINDOW_R = 676, 384, 300
PANEL_W = 340
TEXT_AREA = (40, 350, 296, 562)   # x0, y0, x1, y1 (exclusive) kept clear


def _circle(cx, cy, r):
    """A circle as a 360-point polygon, for cutting and filling."""
    return b.meshes.circle_loop(cx, cy, r, 360)


def _rgb(img):
    """Flattens an RGBA picture onto white and returns it as RGB."""
    bg = Image.new("RGBA", img.size, (255, 255, 255, 255))
    bg.alpha_composite(img)
    return bg.convert("RGB")


def _footer_forest(cv, y, seed, x0=-20, x1=1044, tall=118, kelo_at=None):
    """Two rows of pines: a pale far ridge and a nearer, darker one."""
    b.forest(cv, x0, x1, y - 4, seed, [rgba(b.SAGE_PALE), rgba(b.SAGE_LIGHT)], tall * 0.45, tall,
             density=0.9)
    if kelo_at is not None:
        b.kelo_tree(cv, kelo_at, y + 2, tall * 1.25, rgba(b.SILVER), seed + 3)
    b.forest(cv, x0 + 17, x1, y + 4, seed + 7,
             [rgba(b.SAGE), rgba(b.FOREST)], tall * 0.22, tall * 0.66, density=0.8)


# --- loading screen: 1024 x 1024 RGB --------------------------------------------------

def loading_screen():
    cv = Canvas(1024, 1024)
    cap = 118
    w = b.logo_width(cap)
    b.kelo_logo(cv, 512 - w / 2, 268, cap)
    # A quiet row of trees low on the page, clear of the box.
    _footer_forest(cv, 742, seed=11, tall=104, kelo_at=640)
    img = cv.finish()
    b.text(img, "V.E.X.A.  PRESENTS", 512, 118, b.font("bold", 17), rgba(b.SAGE), "m", tracking=5)
    b.text(img, "2 0 0 8", 512, 318, b.font("bold", 24), rgba(b.TERRACOTTA), "m", tracking=6)
    b.text(img, "GATHERING WOOD FOR THE FIRE ...", 512, 424, b.font("cond", 15), rgba(b.SAGE), "m",
           tracking=3)
    b.text(img, EVENT_DATES, 512, 520, b.font("bold", 15), rgba(b.INK), "m", tracking=4)
    b.text(img, EVENT_PLACE, 512, 546, b.font("cond", 14), rgba(b.FOREST), "m", tracking=3)
    img = _rgb(img)
    # The box last, pixel exact, inside left white.
    px = img.load()
    for x in range(BOX_X0, BOX_X1 + 1):
        px[x, BOX_Y0] = BOX_INK
        px[x, BOX_Y1] = BOX_INK
    for y in range(BOX_Y0, BOX_Y1 + 1):
        px[BOX_X0, y] = BOX_INK
        px[BOX_X1, y] = BOX_INK
    for y in range(BOX_Y0 + 1, BOX_Y1):
        for x in range(BOX_X0 + 1, BOX_X1):
            px[x, y] = (255, 255, 255)
    return img


# --- group logo: 1024 x 1024 JPEG (picture 0, no distortion) -------------------------

def vexa_logo():
    cv = Canvas(1024, 1024)
    cx, cy = 512, 268
    # Three growth rings around the mark, the group's nod to the event.
    for r, colour in ((192, b.PEACH), (206, b.SAGE_LIGHT), (222, b.SAGE_PALE)):
        cv.ellipse(cx, cy, r, outline=rgba(colour), width=2.0)
    b.vexa_mark(cv, cx, cy, 250)
    # A thin rule under the name with a diamond in the middle.
    cv.rect(352, 619, 496, 621, rgba(b.SAGE))
    cv.rect(528, 619, 672, 621, rgba(b.SAGE))
    cv.polygon([(512, 612), (520, 620), (512, 628), (504, 620)], rgba(b.TERRACOTTA))
    img = cv.finish()
    fnt = b.font("bold", 92)
    # The name: letters in ink, the four dots in terracotta.
    name = "V.E.X.A."
    tracking = 8
    x = 512 - b.text_width(name, fnt, tracking) / 2
    for ch in name:
        colour = b.TERRACOTTA if ch == "." else b.INK
        x += b.text(img, ch, x, 580, fnt, rgba(colour)) + tracking
    b.text(img, "A DEMOSCENE COLLECTIVE FROM THE NORTHERN WOODS", 512, 668,
           b.font("cond", 19), rgba(b.FOREST), "m", tracking=3)
    b.text(img, "P R E S E N T S", 512, 724, b.font("bold", 18), rgba(b.TERRACOTTA), "m", tracking=4)
    return _rgb(img)


# --- event intro: 1024 x 1024 JPEG (picture 1) ----------------------------------------

def kelo_intro():
    cv = Canvas(1024, 1024)
    cap = 168
    w = b.logo_width(cap)
    b.kelo_logo(cv, 512 - w / 2, 292, cap)
    cv.rect(302, 409, 488, 411, rgba(b.SAGE))
    cv.rect(536, 409, 722, 411, rgba(b.SAGE))
    cv.polygon([(512, 401), (521, 410), (512, 419), (503, 410)], rgba(b.TERRACOTTA))
    _footer_forest(cv, 770, seed=23, tall=112, kelo_at=846)
    # A little invader hiding among the trees, for those who look.
    b.invader(cv, 150, 716, 3, rgba(b.FOREST))
    img = cv.finish()
    b.text(img, "V.E.X.A.  INVITES  YOU  TO", 512, 88, b.font("bold", 19), rgba(b.SAGE), "m",
           tracking=5)
    b.text(img, "2 0 0 8", 512, 370, b.font("bold", 44), rgba(b.TERRACOTTA), "m", tracking=10)
    b.text(img, "A DEMOPARTY IN THE PINE WOODS", 512, 466, b.font("bold", 30), rgba(b.INK), "m",
           tracking=2)
    b.text(img, EVENT_DATES, 512, 512, b.font("bold", 24), rgba(b.TERRACOTTA), "m", tracking=4)
    b.text(img, EVENT_PLACE, 512, 546, b.font("cond", 20), rgba(b.FOREST), "m", tracking=3)
    b.text(img, "DEMO  \u00b7  4K INTRO  \u00b7  MUSIC  \u00b7  PIXEL GRAPHICS  \u00b7  WILD", 512, 598,
           b.font("cond_bold", 17), rgba(b.SAGE), "m", tracking=3)
    b.text(img, "SAUNA BY THE LAKE  \u00b7  CAMPFIRE  \u00b7  BRING YOUR OWN MACHINE", 512, 624,
           b.font("cond", 16), rgba(b.SAGE), "m", tracking=3)
    return _rgb(img)


# --- farewell: 1024 x 1024 JPEG (picture 2) --------------------------------------------

def exit_screen():
    cv = Canvas(1024, 1024)
    cx, cy = 512, 236
    b.tree_rings(cv, cx, cy, 150, 13, seed=5, colours=[rgba(b.TERRACOTTA), rgba(b.PEACH)],
                 line_width=2.2, crack=True, pith=True, fill=rgba(b.PEACH_PALE), bark=rgba(b.RUST))
    cap = 54
    w = b.logo_width(cap)
    b.kelo_logo(cv, 512 - w / 2, 578, cap)
    _footer_forest(cv, 770, seed=41, tall=104, kelo_at=188)
    b.invader(cv, 820, 700, 3, rgba(b.SAGE))
    img = cv.finish()
    b.text(img, "THANK YOU FOR WATCHING", 512, 452, b.font("bold", 40), rgba(b.INK), "m", tracking=2)
    b.text(img, "SEE YOU IN THE WOODS!", 512, 496, b.font("bold", 22), rgba(b.TERRACOTTA), "m",
           tracking=5)
    b.text(img, EVENT_DATES, 512, 612, b.font("bold", 16), rgba(b.INK), "m", tracking=4)
    b.text(img, "V.E.X.A.  SIGNING OFF", 512, 642, b.font("cond", 15), rgba(b.SAGE), "m", tracking=4)
    return _rgb(img)


# --- background behind the tower: 1024 x 1024 RGBA -------------------------------------

def back_logo():
    """Seen through the overlay's round window, behind the tower: the tower
    stands at the heart of a huge log end. Transparent parts show white."""
    cv = Canvas(1024, 1024, background=(255, 255, 255, 0))
    cx, cy = WINDOW_CX, WINDOW_CY
    b.tree_rings(cv, cx, cy, 560, 17, seed=31,
                 colours=[rgba(b.TERRACOTTA, 80), rgba(b.SAGE, 90), rgba(b.PEACH, 160)],
                 line_width=3.0, wobble=0.025, crack=False, pith=False)
    # A pale ridge of pines across the bottom of the window.
    b.forest(cv, 300, 1060, 740, 61, [rgba(b.SAGE_LIGHT), rgba(b.SAGE_PALE)], 50, 130)
    cv.rect(0, 740, 1024, 768, rgba(b.SAGE_LIGHT))
    img = cv.finish()
    # Warm light behind the tower, under the rings' lines.
    glow = Image.new("RGBA", img.size, (255, 255, 255, 0))
    b.radial_glow(glow, cx, cy, 330, b.PEACH, 150)
    glow.alpha_composite(img)
    img = glow
    # Never on screen: keep the rows below 768 empty.
    px = img.load()
    for y in range(768, 1024):
        for x in range(1024):
            px[x, y] = (255, 255, 255, 0)
    return img


# --- overlay: 1024 x 1024 RGBA -------------------------------------------------------------

FRAME_ALPHA = 232   # the page right of the panel lets a ghost of the scene through


def kelo_overlay():
    """The page over the tower scene: an opaque white panel on the left with
    the logo and the event's facts above and below the text bars, and a
    round window onto the tower, framed by rings and diamonds."""
    cv = Canvas(1024, 1024, background=(255, 255, 255, 0))
    cx, cy, r = WINDOW_CX, WINDOW_CY, WINDOW_R
    # The page right of the panel, with the window cut out.
    page = [(PANEL_W, 0), (1024, 0), (1024, 768), (PANEL_W, 768)]
    hole = _circle(cx, cy, r)
    cv.polygons([(page, True), (hole, False)], (255, 255, 255, FRAME_ALPHA))
    # Faint growth rings continuing outwards on the page.
    for k in range(1, 9):
        rr = r + 24 + 34 * k
        cv.ellipse(cx, cy, rr, outline=rgba(b.SAGE_PALE if k % 2 else b.PEACH_PALE), width=2.0)
    # The frame: a sage band, a thin ink line, a ring of diamonds.
    band_in, band_out = r, r + 10
    cv.polygons([(_circle(cx, cy, band_out), True), (_circle(cx, cy, band_in), False)],
                rgba(b.SAGE))
    cv.ellipse(cx, cy, r + 16, outline=rgba(b.INK), width=1.5)
    for i in range(36):
        a = 2 * math.pi * i / 36 - math.pi / 2
        big = i % 9 == 0
        d = 7.5 if big else 3.2
        rr = r + 27
        px, py = cx + rr * math.cos(a), cy + rr * math.sin(a)
        colour = b.TERRACOTTA if big or i % 3 == 0 else b.SAGE
        cv.polygon([(px, py - d), (px + d, py), (px, py + d), (px - d, py)], rgba(colour))
    # The panel: opaque white, edged by a sage rule.
    cv.rect(0, 0, PANEL_W, 768, rgba(b.WHITE))
    cv.rect(PANEL_W - 3, 24, PANEL_W - 1, 744, rgba(b.SAGE))
    # Logo near the top.
    cap = 62
    w = b.logo_width(cap)
    b.kelo_logo(cv, PANEL_W / 2 - w / 2, 112, cap)
    cv.rect(70, 186, 150, 187.5, rgba(b.SAGE))
    cv.rect(190, 186, 270, 187.5, rgba(b.SAGE))
    cv.polygon([(170, 180), (176.5, 187), (170, 194), (163.5, 187)], rgba(b.TERRACOTTA))
    # Below the text bars: the invader and a strip of pines.
    b.invader(cv, PANEL_W / 2 - 22, 598, 4, rgba(b.SAGE), rgba(b.WHITE))
    b.forest(cv, 14, PANEL_W - 14, 742, 77, [rgba(b.SAGE_LIGHT), rgba(b.SAGE)], 26, 58)
    img = cv.finish()
    b.text(img, "2 0 0 8", PANEL_W / 2, 152, b.font("bold", 19), rgba(b.TERRACOTTA), "m", tracking=5)
    b.text(img, EVENT_DATES, PANEL_W / 2, 226, b.font("bold", 14), rgba(b.INK), "m", tracking=2)
    b.text(img, "THE OLD SAWMILL AT HIRSIRANTA", PANEL_W / 2, 250, b.font("cond", 14),
           rgba(b.FOREST), "m", tracking=1)
    b.text(img, "BY LAKE KAARNA", PANEL_W / 2, 270, b.font("cond", 14), rgba(b.FOREST), "m",
           tracking=1)
    b.text(img, "Y O U   A R E   I N V I T E D", PANEL_W / 2, 326, b.font("bold", 12),
           rgba(b.SAGE), "m", tracking=1)
    b.text(img, "ORGANISED BY V.E.X.A.", PANEL_W / 2, 668, b.font("cond", 13), rgba(b.SAGE), "m",
           tracking=3)
    # Rows below 768 are never on screen and must stay empty.
    px = img.load()
    for y in range(768, 1024):
        for x in range(1024):
            px[x, y] = (255, 255, 255, 0)
    return img


# --- start-up dialog picture: 320 x 210, 24-bit BMP ----------------------------------------

def dialog_bitmap():
    cv = Canvas(320, 210)
    cap = 46
    w = b.logo_width(cap)
    b.kelo_logo(cv, 160 - w / 2, 88, cap)
    b.forest(cv, -6, 330, 212, 5, [rgba(b.SAGE_LIGHT), rgba(b.SAGE_PALE)], 20, 44)
    b.forest(cv, 0, 330, 214, 9, [rgba(b.SAGE), rgba(b.FOREST)], 12, 30, density=0.8)
    img = cv.finish()
    b.text(img, "V.E.X.A. PRESENTS", 160, 30, b.font("bold", 10), rgba(b.SAGE), "m", tracking=2)
    b.text(img, "2 0 0 8", 160, 110, b.font("bold", 13), rgba(b.TERRACOTTA), "m", tracking=2)
    b.text(img, "15 \u2013 17 AUGUST 2008", 160, 136, b.font("bold", 10), rgba(b.INK), "m", tracking=1)
    b.text(img, "THE OLD SAWMILL \u00b7 HIRSIRANTA", 160, 152, b.font("cond", 10), rgba(b.FOREST), "m",
           tracking=1)
    return _rgb(img)


# --- window icon: 64 x 64 RGBA -------------------------------------------------------------

def window_icon():
    """The logo's O on its own: a log end with its rings and crack, on a
    transparent ground, with a small ink K standing in front of it."""
    cv = Canvas(64, 64, background=(255, 255, 255, 0))
    b.tree_rings(cv, 32, 32, 29, 5, seed=64, colours=[rgba(b.TERRACOTTA), rgba(b.PEACH)],
                 line_width=1.6, wobble=0.015, crack=False, pith=True,
                 fill=rgba(b.PEACH_PALE), bark=rgba(b.RUST))
    k = 0.34
    pts = [(17 + px * k, 49 - py * k) for px, py in b.meshes.LETTER_K]
    cv.polygon(pts, rgba(b.INK))
    return cv.finish()
