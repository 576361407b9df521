"""The five meshes of the tower scene: the letters K, E, L, O of the event's
logo, extruded with a small bevel, and a voxel invader.

Conventions (what the show relies on):
  - x to the right, y up, the readable face towards +z. The show turns each
    mesh half a turn about y and looks at it from -z with a right-handed
    camera, so on screen +x is right and the +z face is the one seen.
  - Centred on the origin; about 500 units tall, so the show's scale of
    0.005 makes each 2.5 world units.
  - Closed surfaces, flat shaded: every planar face has its own vertices,
    whose normal is the face normal, pointing out.
  - Triangles run clockwise seen from outside on the show's screen (the
    Direct3D front-face rule): (b - a) x (c - a) points into the solid.

The letter outlines live in LETTERS in "design units" (cap height 100, y up,
baseline 0); the 2D logo in the pictures is drawn from the same outlines, so
the meshes and the pictures show the same letters.
"""

import math

# --- letter outlines (design units) ------------------------------------------
# Outer loops run counter-clockwise (y up); a hole runs clockwise.

LETTER_K = [(0, 0), (26, 0), (26, 30), (36, 41), (58, 0), (90, 0), (54, 58),
            (88, 100), (56, 100), (26, 64), (26, 100), (0, 100)]
LETTER_E = [(0, 0), (70, 0), (70, 22), (26, 22), (26, 40), (60, 40), (60, 60),
            (26, 60), (26, 78), (70, 78), (70, 100), (0, 100)]
LETTER_L = [(0, 0), (64, 0), (64, 22), (26, 22), (26, 100), (0, 100)]
O_CENTRE = (51.0, 50.0)
O_OUTER = 51.0
O_INNER = 23.0
O_SEGMENTS = 72


def circle_loop(cx, cy, radius, segments, clockwise=False):
    pts = []
    for i in range(segments):
        a = 2.0 * math.pi * i / segments
        if clockwise:
            a = -a
        pts.append((cx + radius * math.cos(a), cy + radius * math.sin(a)))
    return pts


LETTER_O = [circle_loop(O_CENTRE[0], O_CENTRE[1], O_OUTER, O_SEGMENTS),
            circle_loop(O_CENTRE[0], O_CENTRE[1], O_INNER, O_SEGMENTS, clockwise=True)]

# Advance of each letter in the 2D logo (outline width plus spacing).
LETTER_WIDTH = {"K": 90, "E": 70, "L": 64, "O": 102}


def letter_loops(ch):
    if ch == "O":
        return LETTER_O
    return [{"K": LETTER_K, "E": LETTER_E, "L": LETTER_L}[ch]]


# --- small vector helpers -----------------------------------------------------

def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def normalize(v):
    length = math.sqrt(dot(v, v))
    return (v[0] / length, v[1] / length, v[2] / length)


def signed_area(loop):
    s = 0.0
    for i in range(len(loop)):
        x0, y0 = loop[i]
        x1, y1 = loop[(i + 1) % len(loop)]
        s += x0 * y1 - x1 * y0
    return s * 0.5


def offset_left(loop, d):
    """Moves every edge of the loop by d to its left (into the solid for an
    outer CCW loop and for a CW hole alike), joining them with miters."""
    out = []
    n = len(loop)
    for i in range(n):
        p0, p1, p2 = loop[i - 1], loop[i], loop[(i + 1) % n]
        e1 = (p1[0] - p0[0], p1[1] - p0[1])
        e2 = (p2[0] - p1[0], p2[1] - p1[1])
        l1 = math.hypot(*e1)
        l2 = math.hypot(*e2)
        n1 = (-e1[1] / l1, e1[0] / l1)
        n2 = (-e2[1] / l2, e2[0] / l2)
        k = 1.0 + n1[0] * n2[0] + n1[1] * n2[1]
        out.append((p1[0] + d * (n1[0] + n2[0]) / k, p1[1] + d * (n1[1] + n2[1]) / k))
    return out


def _point_in_triangle(p, a, b, c):
    def side(p, q, r):
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0])
    return side(a, b, p) >= 0 and side(b, c, p) >= 0 and side(c, a, p) >= 0


def ear_clip(loop):
    """Triangulates a simple CCW polygon; returns index triples."""
    idx = list(range(len(loop)))
    tris = []
    guard = 0
    while len(idx) > 3:
        guard += 1
        assert guard < 10000, "ear clipping did not converge"
        n = len(idx)
        for k in range(n):
            ia, ib, ic = idx[k - 1], idx[k], idx[(k + 1) % n]
            a, b, c = loop[ia], loop[ib], loop[ic]
            if (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]) <= 1e-9:
                continue  # reflex or flat corner: not an ear
            if any(_point_in_triangle(loop[j], a, b, c) for j in idx if j not in (ia, ib, ic)):
                continue
            tris.append((ia, ib, ic))
            del idx[k]
            break
    tris.append(tuple(idx))
    return tris


# --- mesh builder ---------------------------------------------------------------

class MeshBuilder:
    """Collects planar faces; each face gets its own vertices and normal."""

    def __init__(self):
        self.positions = []
        self.normals = []
        self.triangles = []
        self.face_materials = []

    def face(self, points, triangles, outward, material=0):
        """points: 3D points of one planar face; triangles: index triples into
        points; outward: a vector on the outer side of the face."""
        a, b, c = points[triangles[0][0]], points[triangles[0][1]], points[triangles[0][2]]
        normal = normalize(cross(sub(b, a), sub(c, a)))
        if dot(normal, outward) < 0:
            normal = (-normal[0], -normal[1], -normal[2])
        base = len(self.positions)
        for p in points:
            self.positions.append(p)
            self.normals.append(normal)
        for t in triangles:
            p0, p1, p2 = points[t[0]], points[t[1]], points[t[2]]
            # Clockwise seen from outside: the cross product points inward.
            if dot(cross(sub(p1, p0), sub(p2, p0)), normal) > 0:
                t = (t[0], t[2], t[1])
            self.triangles.append((base + t[0], base + t[1], base + t[2]))
            self.face_materials.append(material)

    def quad(self, p0, p1, p2, p3, outward, material=0):
        self.face([p0, p1, p2, p3], [(0, 1, 2), (0, 2, 3)], outward, material)

    def transformed(self, offset, scale):
        """Moves every vertex by offset, then scales; normals stay."""
        self.positions = [((p[0] + offset[0]) * scale, (p[1] + offset[1]) * scale,
                           (p[2] + offset[2]) * scale) for p in self.positions]
        return self

    def bounds(self):
        lo = tuple(min(p[i] for p in self.positions) for i in range(3))
        hi = tuple(max(p[i] for p in self.positions) for i in range(3))
        return lo, hi


def extrude(loops, depth, bevel, cap_triangles):
    """Extrudes 2D loops (outer CCW first, holes CW) into a closed solid
    between z = -depth/2 and +depth/2 with a 45-degree bevel of size bevel
    on both faces. cap_triangles: triangles over the concatenated inset
    loops (the flat caps)."""
    mb = MeshBuilder()
    zf, zb = depth * 0.5, -depth * 0.5
    insets = [offset_left(loop, bevel) for loop in loops]
    cap2d = [p for loop in insets for p in loop]

    mb.face([(x, y, zf) for x, y in cap2d], cap_triangles, (0, 0, 1))
    mb.face([(x, y, zb) for x, y in cap2d], cap_triangles, (0, 0, -1))

    for loop, inset in zip(loops, insets):
        n = len(loop)
        for i in range(n):
            j = (i + 1) % n
            (x0, y0), (x1, y1) = loop[i], loop[j]
            (u0, v0), (u1, v1) = inset[i], inset[j]
            out2 = (y1 - y0, -(x1 - x0), 0.0)  # right of the edge: outside
            mb.quad((x0, y0, zf - bevel), (x1, y1, zf - bevel), (x1, y1, zb + bevel),
                    (x0, y0, zb + bevel), out2)
            mb.quad((x0, y0, zf - bevel), (x1, y1, zf - bevel), (u1, v1, zf), (u0, v0, zf),
                    (out2[0], out2[1], 1.0))
            mb.quad((x0, y0, zb + bevel), (x1, y1, zb + bevel), (u1, v1, zb), (u0, v0, zb),
                    (out2[0], out2[1], -1.0))
    return mb


def annulus_triangles(n):
    """Cap triangles between an outer loop (indices 0..n-1, CCW) and a hole
    (n..2n-1, CW, so hole vertex n + k sits at angle -k)."""
    tris = []
    for i in range(n):
        j = (i + 1) % n
        hi = n + ((n - i) % n)
        hj = n + ((n - j) % n)
        tris.append((i, j, hj))
        tris.append((i, hj, hi))
    return tris


LETTER_DEPTH = 110.0   # mesh units: 0.55 world units at the show's scale
LETTER_BEVEL = 9.0
DESIGN_TO_MESH = 5.0   # cap height 100 -> 500 mesh units


def letter_mesh(ch):
    loops = letter_loops(ch)
    bevel_design = LETTER_BEVEL / DESIGN_TO_MESH
    if ch == "O":
        caps = annulus_triangles(O_SEGMENTS)
    else:
        caps = ear_clip(offset_left(loops[0], bevel_design))
    depth_design = LETTER_DEPTH / DESIGN_TO_MESH
    mb = extrude(loops, depth_design, bevel_design, caps)
    lo, hi = mb.bounds()
    centre = tuple(-(lo[i] + hi[i]) * 0.5 for i in range(3))
    return mb.transformed(centre, DESIGN_TO_MESH)


# --- voxel invader -----------------------------------------------------------------

# '#' body, 'o' eye (recessed: only the back layer is filled, so the eyes
# read as pockets in any shading), '.' empty. Row 0 is the top.
INVADER = [
    "..#.....#..",
    "...#...#...",
    "..#######..",
    ".##o###o##.",
    "###########",
    "#.#######.#",
    "#.#.....#.#",
    "...##.##...",
]
VOXEL = 48.0


def invader_mesh():
    rows, cols = len(INVADER), len(INVADER[0])
    # cell (layer, row, col) -> material; layer 0 is the front (+z) layer.
    cells = {}
    for r, line in enumerate(INVADER):
        for c, ch in enumerate(line):
            if ch == "#":
                cells[(0, r, c)] = 0
                cells[(1, r, c)] = 0
            elif ch == "o":
                cells[(1, r, c)] = 1
    mb = MeshBuilder()
    s = VOXEL
    x0 = -cols * s * 0.5
    y0 = rows * s * 0.5
    neighbours = [((-1, 0, 0), (0, 0, 1)), ((1, 0, 0), (0, 0, -1)),
                  ((0, -1, 0), (0, 1, 0)), ((0, 1, 0), (0, -1, 0)),
                  ((0, 0, -1), (-1, 0, 0)), ((0, 0, 1), (1, 0, 0))]
    for (layer, r, c) in sorted(cells):
        mat = cells[(layer, r, c)]
        # Voxel bounds in mesh units.
        xa, xb = x0 + c * s, x0 + (c + 1) * s
        ya, yb = y0 - (r + 1) * s, y0 - r * s
        za, zb = (0.0, s) if layer == 0 else (-s, 0.0)
        for (dl, dr, dc), n in neighbours:
            if (layer + dl, r + dr, c + dc) in cells:
                continue
            if n == (0, 0, 1):
                pts = [(xa, ya, zb), (xb, ya, zb), (xb, yb, zb), (xa, yb, zb)]
            elif n == (0, 0, -1):
                pts = [(xa, ya, za), (xb, ya, za), (xb, yb, za), (xa, yb, za)]
            elif n == (0, 1, 0):
                pts = [(xa, yb, za), (xb, yb, za), (xb, yb, zb), (xa, yb, zb)]
            elif n == (0, -1, 0):
                pts = [(xa, ya, za), (xb, ya, za), (xb, ya, zb), (xa, ya, zb)]
            elif n == (-1, 0, 0):
                pts = [(xa, ya, za), (xa, yb, za), (xa, yb, zb), (xa, ya, zb)]
            else:
                pts = [(xb, ya, za), (xb, yb, za), (xb, yb, zb), (xb, ya, zb)]
            mb.quad(*pts, outward=n, material=mat)
    return mb


# --- materials -----------------------------------------------------------------------

def material(name, rgb, power=24.0, specular=(0.25, 0.25, 0.25)):
    return {"name": name, "diffuse": (rgb[0], rgb[1], rgb[2], 1.0), "power": power,
            "specular": specular, "emissive": (0.0, 0.0, 0.0)}


LETTER_MATERIALS = {
    "K": material("kelo_sage_dark", (0.29, 0.35, 0.28)),
    "E": material("kelo_sage", (0.55, 0.58, 0.53)),
    "L": material("kelo_sage_dark", (0.29, 0.35, 0.28)),
    "O": material("kelo_ring_terracotta", (0.81, 0.44, 0.33)),
}
INVADER_MATERIALS = [material("invader_body", (0.55, 0.62, 0.50)),
                     material("invader_eyes", (0.16, 0.17, 0.16), power=8.0)]


def all_meshes():
    """Returns [(file name, mesh name, MeshBuilder, materials)] in file order."""
    out = []
    for i, ch in enumerate("KELO"):
        out.append(("kelo_3d%d.x" % (i + 1), "kelo_" + ch, letter_mesh(ch), [LETTER_MATERIALS[ch]]))
    out.append(("spaceinvader.x", "space_invader", invader_mesh(), INVADER_MATERIALS))
    return out
