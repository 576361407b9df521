"""The text bar (256 x 32) and the bar font atlas (512 x 32), both RGB.

The overlay draws each text line on a bar and its letters on top, every
letter a 9 x 32 cell taken from the atlas at the bar's own y, so each cell
carries the bar's vertical shading behind its glyph and letters melt into
the bar.

What the overlay code relies on:
  - cell i (x = 9 * i) holds character i of CHARSET; '<', '(', '>' and the
    space are bar shading only;
  - ink only in rows 14..22 of a cell;
  - pen advances: 8, except 'I' 3, '1' 5, 'W' 9, '.' 4 and space 4. Glyph
    bodies start at column 0 of their cell and, with their one-pixel
    shadow, end before the advance, so the next cell (drawn one advance on,
    over column advance.. of this one) never covers ink.
"""

import numpy as np

CHARSET = "<(ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!?.-@> "
CELL_W, CELL_H = 9, 32
INK_TOP = 14          # first row of a glyph body
SHADOW = (1, 1)       # shadow offset (x, y): body rows 14..21, shadow to 22

BAR = (139, 149, 135)
WHITE = (255, 255, 255)
INK = (255, 255, 255)
INK_SHADOW = (78, 88, 76)

ADVANCE = {ch: 8 for ch in CHARSET}
ADVANCE.update({" ": 4, "I": 3, "1": 5, "W": 9, ".": 4})

# Bar rows, top to bottom (256 x 32): white margin, a light band fading into
# the bar colour, the bar, a darker last row, a pale shadow, white.
BAR_TOP, BAR_BOTTOM = 5, 28          # inclusive rows of the coloured bar
_BAND = [(208, 214, 205), (184, 192, 180), (164, 173, 160), (150, 159, 146)]
_BAR_LAST_ROW = (126, 136, 123)
_SHADOW_ROWS = [(206, 210, 203), (232, 234, 230)]


def bar_column():
    """The 32 colours of one column of the bar, top to bottom."""
    col = [WHITE] * CELL_H
    for r in range(BAR_TOP, BAR_BOTTOM + 1):
        col[r] = BAR
    for i, c in enumerate(_BAND):
        col[BAR_TOP + i] = c
    col[BAR_BOTTOM] = _BAR_LAST_ROW
    col[BAR_BOTTOM + 1] = _SHADOW_ROWS[0]
    col[BAR_BOTTOM + 2] = _SHADOW_ROWS[1]
    return col


def text_bar():
    """256 x 32 RGB array: the bar with a one-pixel white margin left and
    right."""
    col = np.array(bar_column(), np.uint8)            # (32, 3)
    img = np.repeat(col[:, None, :], 256, axis=1)     # (32, 256, 3)
    img[:, 0] = WHITE
    img[:, 255] = WHITE
    return img


# --- glyphs: 8 rows each, '#' is ink; widths follow the advances -------------
GLYPHS = {
    "A": [".####.", "##..##", "##..##", "##..##", "######", "##..##", "##..##", "##..##"],
    "B": ["#####.", "##..##", "##..##", "#####.", "##..##", "##..##", "##..##", "#####."],
    "C": [".####.", "##..##", "##....", "##....", "##....", "##....", "##..##", ".####."],
    "D": ["####..", "##.##.", "##..##", "##..##", "##..##", "##..##", "##.##.", "####.."],
    "E": ["######", "##....", "##....", "#####.", "##....", "##....", "##....", "######"],
    "F": ["######", "##....", "##....", "#####.", "##....", "##....", "##....", "##...."],
    "G": [".####.", "##..##", "##....", "##....", "##.###", "##..##", "##..##", ".#####"],
    "H": ["##..##", "##..##", "##..##", "######", "##..##", "##..##", "##..##", "##..##"],
    "I": ["##", "##", "##", "##", "##", "##", "##", "##"],
    "J": ["....##", "....##", "....##", "....##", "....##", "##..##", "##..##", ".####."],
    "K": ["##..##", "##.##.", "####..", "###...", "####..", "##.##.", "##..##", "##..##"],
    "L": ["##....", "##....", "##....", "##....", "##....", "##....", "##....", "######"],
    "M": ["##...##", "###.###", "#######", "##.#.##", "##...##", "##...##", "##...##", "##...##"],
    "N": ["##..##", "###.##", "######", "##.###", "##..##", "##..##", "##..##", "##..##"],
    "O": [".####.", "##..##", "##..##", "##..##", "##..##", "##..##", "##..##", ".####."],
    "P": ["#####.", "##..##", "##..##", "##..##", "#####.", "##....", "##....", "##...."],
    "Q": [".####.", "##..##", "##..##", "##..##", "##..##", "##.###", ".####.", "....##"],
    "R": ["#####.", "##..##", "##..##", "#####.", "####..", "##.##.", "##..##", "##..##"],
    "S": [".####.", "##..##", "##....", ".####.", "....##", "....##", "##..##", ".####."],
    "T": ["######", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##.."],
    "U": ["##..##", "##..##", "##..##", "##..##", "##..##", "##..##", "##..##", ".####."],
    "V": ["##..##", "##..##", "##..##", "##..##", "##..##", ".####.", ".####.", "..##.."],
    "W": ["##...##", "##...##", "##...##", "##.#.##", "#######", "#######", "###.###", "##...##"],
    "X": ["##..##", "##..##", ".####.", "..##..", "..##..", ".####.", "##..##", "##..##"],
    "Y": ["##..##", "##..##", "##..##", ".####.", "..##..", "..##..", "..##..", "..##.."],
    "Z": ["######", "....##", "...##.", "..##..", ".##...", "##....", "##....", "######"],
    "0": [".####.", "##..##", "##.###", "##.###", "###.##", "###.##", "##..##", ".####."],
    "1": [".##", "###", ".##", ".##", ".##", ".##", ".##", ".##"],
    "2": [".####.", "##..##", "....##", "...##.", "..##..", ".##...", "##....", "######"],
    "3": [".####.", "##..##", "....##", "..###.", "....##", "....##", "##..##", ".####."],
    "4": ["...##.", "..###.", ".####.", "##.##.", "######", "...##.", "...##.", "...##."],
    "5": ["######", "##....", "#####.", "....##", "....##", "....##", "##..##", ".####."],
    "6": [".####.", "##..##", "##....", "#####.", "##..##", "##..##", "##..##", ".####."],
    "7": ["######", "....##", "....##", "...##.", "..##..", "..##..", "..##..", "..##.."],
    "8": [".####.", "##..##", "##..##", ".####.", "##..##", "##..##", "##..##", ".####."],
    "9": [".####.", "##..##", "##..##", "##..##", ".#####", "....##", "##..##", ".####."],
    "!": ["..##..", "..##..", "..##..", "..##..", "..##..", "......", "..##..", "..##.."],
    "?": [".####.", "##..##", "....##", "...##.", "..##..", "......", "..##..", "..##.."],
    ".": ["..", "..", "..", "..", "..", "..", "##", "##"],
    "-": ["......", "......", "......", "......", ".####.", "......", "......", "......"],
    "@": [".####.", "##..##", "##.###", "##.###", "##.###", "##....", "##...#", ".####."],
}
EMPTY_CELLS = "<(> "


def glyph_mask(ch):
    """Boolean (8, w) array of a glyph body."""
    rows = GLYPHS[ch]
    return np.array([[c == "#" for c in row] for row in rows], bool)


def font_atlas():
    """512 x 32 RGB array: the bar's shading in every column, glyphs on top."""
    col = np.array(bar_column(), np.uint8)
    img = np.repeat(col[:, None, :], 512, axis=1).copy()
    for i, ch in enumerate(CHARSET):
        if ch in EMPTY_CELLS:
            continue
        mask = glyph_mask(ch)
        h, w = mask.shape
        x0 = CELL_W * i
        ys, xs = np.nonzero(mask)
        img[INK_TOP + ys + SHADOW[1], x0 + xs + SHADOW[0]] = INK_SHADOW
        img[INK_TOP + ys, x0 + xs] = INK
    return img


def check_glyph_fit():
    """Every glyph, with its shadow, stays inside its advance and its cell."""
    for ch, rows in GLYPHS.items():
        assert len(rows) == 8, ch
        width = len(rows[0])
        assert all(len(r) == width for r in rows), ch
        # body + shadow must end before the next cell starts drawing over it
        assert width + SHADOW[0] <= ADVANCE[ch], (ch, width, ADVANCE[ch])
        assert width + SHADOW[0] <= CELL_W, ch
    assert set(GLYPHS) == set(CHARSET) - set(EMPTY_CELLS)
