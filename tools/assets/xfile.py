"""Binary DirectX X file writer ("xof 0302bin 0032").

The binary encoding is a stream of little-endian 16-bit tokens; some tokens
carry a record (a name, an integer, a GUID, a list of integers or 32-bit
floats). A data object is written as

    NAME <template> [NAME <object name>] OBRACE  members...  CBRACE

where the members are INTEGER_LIST / FLOAT_LIST runs and nested objects.
Consecutive integers (or floats) go into one list record, which is what the
format asks writers to do.

The file starts with the template declarations it uses, as exporters do, so
the file describes itself; readers that know the standard templates skip
them.

Only what the show's meshes need is here: Mesh, MeshNormals,
MeshMaterialList and Material, plus the helper templates they refer to.
"""

import struct

TOKEN_NAME = 1
TOKEN_STRING = 2
TOKEN_INTEGER = 3
TOKEN_GUID = 5
TOKEN_INTEGER_LIST = 6
TOKEN_FLOAT_LIST = 7
TOKEN_OBRACE = 10
TOKEN_CBRACE = 11
TOKEN_OBRACKET = 14
TOKEN_CBRACKET = 15
TOKEN_DOT = 18
TOKEN_SEMICOLON = 20
TOKEN_TEMPLATE = 31
TOKEN_DWORD = 41
TOKEN_FLOAT = 42
TOKEN_ARRAY = 52

HEADER = b"xof 0302bin 0032"


class TokenStream:
    """Collects tokens and their records into bytes."""

    def __init__(self):
        self.parts = [HEADER]

    def token(self, tok):
        self.parts.append(struct.pack("<H", tok))

    def name(self, text):
        raw = text.encode("ascii")
        self.parts.append(struct.pack("<HI", TOKEN_NAME, len(raw)) + raw)

    def integer(self, value):
        self.parts.append(struct.pack("<HI", TOKEN_INTEGER, value))

    def guid(self, text):
        # "3D82AB44-62DA-11CF-AB39-0020AF71E433": DWORD, WORD, WORD, 8 bytes.
        hexes = text.replace("-", "")
        d1 = int(hexes[0:8], 16)
        d2 = int(hexes[8:12], 16)
        d3 = int(hexes[12:16], 16)
        d4 = bytes.fromhex(hexes[16:32])
        self.parts.append(struct.pack("<HIHH", TOKEN_GUID, d1, d2, d3) + d4)

    def ints(self, values):
        values = [int(v) for v in values]
        self.parts.append(struct.pack("<HI", TOKEN_INTEGER_LIST, len(values)))
        self.parts.append(struct.pack("<%dI" % len(values), *values))

    def floats(self, values):
        values = [float(v) for v in values]
        self.parts.append(struct.pack("<HI", TOKEN_FLOAT_LIST, len(values)))
        self.parts.append(struct.pack("<%df" % len(values), *values))

    def begin(self, template, obj_name=None):
        self.name(template)
        if obj_name:
            self.name(obj_name)
        self.token(TOKEN_OBRACE)

    def end(self):
        self.token(TOKEN_CBRACE)

    def bytes(self):
        return b"".join(self.parts)


# --- template declarations ---------------------------------------------------
# (name, GUID, members, restriction). A member is (type, name) for a
# primitive or another template, or (type, name, dims) for an array whose
# dimensions are member names. restriction: None (closed), "..." (open) or a
# list of (template, GUID) that may be nested.
_TEMPLATES = [
    ("Vector", "3D82AB5E-62DA-11CF-AB39-0020AF71E433",
     [("FLOAT", "x"), ("FLOAT", "y"), ("FLOAT", "z")], None),
    ("MeshFace", "3D82AB5F-62DA-11CF-AB39-0020AF71E433",
     [("DWORD", "nFaceVertexIndices"),
      ("DWORD", "faceVertexIndices", ["nFaceVertexIndices"])], None),
    ("ColorRGBA", "35FF44E0-6C7C-11CF-8F52-0040333594A3",
     [("FLOAT", "red"), ("FLOAT", "green"), ("FLOAT", "blue"), ("FLOAT", "alpha")], None),
    ("ColorRGB", "D3E16E81-7835-11CF-8F52-0040333594A3",
     [("FLOAT", "red"), ("FLOAT", "green"), ("FLOAT", "blue")], None),
    ("Material", "3D82AB4D-62DA-11CF-AB39-0020AF71E433",
     [("ColorRGBA", "faceColor"), ("FLOAT", "power"),
      ("ColorRGB", "specularColor"), ("ColorRGB", "emissiveColor")], "..."),
    ("MeshMaterialList", "F6F23F42-7686-11CF-8F52-0040333594A3",
     [("DWORD", "nMaterials"), ("DWORD", "nFaceIndexes"),
      ("DWORD", "faceIndexes", ["nFaceIndexes"])],
     [("Material", "3D82AB4D-62DA-11CF-AB39-0020AF71E433")]),
    ("MeshNormals", "F6F23F43-7686-11CF-8F52-0040333594A3",
     [("DWORD", "nNormals"), ("Vector", "normals", ["nNormals"]),
      ("DWORD", "nFaceNormals"), ("MeshFace", "faceNormals", ["nFaceNormals"])], None),
    ("Mesh", "3D82AB44-62DA-11CF-AB39-0020AF71E433",
     [("DWORD", "nVertices"), ("Vector", "vertices", ["nVertices"]),
      ("DWORD", "nFaces"), ("MeshFace", "faces", ["nFaces"])], "..."),
]

_PRIMITIVES = {"DWORD": TOKEN_DWORD, "FLOAT": TOKEN_FLOAT}


def _type_token(ts, type_name):
    if type_name in _PRIMITIVES:
        ts.token(_PRIMITIVES[type_name])
    else:
        ts.name(type_name)


def _write_templates(ts):
    for name, guid, members, restriction in _TEMPLATES:
        ts.token(TOKEN_TEMPLATE)
        ts.name(name)
        ts.token(TOKEN_OBRACE)
        ts.guid(guid)
        for member in members:
            if len(member) == 3:
                type_name, member_name, dims = member
                ts.token(TOKEN_ARRAY)
                _type_token(ts, type_name)
                ts.name(member_name)
                for dim in dims:
                    ts.token(TOKEN_OBRACKET)
                    ts.name(dim)
                    ts.token(TOKEN_CBRACKET)
            else:
                type_name, member_name = member
                _type_token(ts, type_name)
                ts.name(member_name)
            ts.token(TOKEN_SEMICOLON)
        if restriction == "...":
            ts.token(TOKEN_OBRACKET)
            for _ in range(3):
                ts.token(TOKEN_DOT)
            ts.token(TOKEN_CBRACKET)
        elif restriction:
            ts.token(TOKEN_OBRACKET)
            for rname, rguid in restriction:
                ts.name(rname)
                ts.guid(rguid)
            ts.token(TOKEN_CBRACKET)
        ts.token(TOKEN_CBRACE)


def write_mesh(mesh_name, positions, normals, triangles, face_materials, materials):
    """Returns the bytes of a binary X file holding one mesh.

    positions, normals: lists of (x, y, z), one normal per vertex.
    triangles: list of (i0, i1, i2) vertex indices.
    face_materials: material index of each triangle.
    materials: list of dicts with 'diffuse' (r, g, b, a), 'power',
    'specular' (r, g, b), 'emissive' (r, g, b) and 'name'.
    """
    assert len(positions) == len(normals)
    assert len(face_materials) == len(triangles)
    # Faces grouped by material (stable): each subset is then one run of
    # faces, which is what a loader that splits by material finds easiest.
    order = sorted(range(len(triangles)), key=lambda i: face_materials[i])
    triangles = [triangles[i] for i in order]
    face_materials = [face_materials[i] for i in order]
    ts = TokenStream()
    _write_templates(ts)

    ts.begin("Mesh", mesh_name)
    ts.ints([len(positions)])
    ts.floats([c for p in positions for c in p])
    face_list = [len(triangles)]
    for tri in triangles:
        face_list += [3, tri[0], tri[1], tri[2]]
    ts.ints(face_list)

    ts.begin("MeshNormals")
    ts.ints([len(normals)])
    ts.floats([c for n in normals for c in n])
    # Flat shading: every vertex carries its own face's normal, so the normal
    # faces index the normals exactly as the faces index the positions.
    ts.ints(face_list)
    ts.end()

    ts.begin("MeshMaterialList")
    ts.ints([len(materials), len(face_materials)] + list(face_materials))
    for mat in materials:
        ts.begin("Material", mat["name"])
        ts.floats(list(mat["diffuse"]) + [mat["power"]] +
                  list(mat["specular"]) + list(mat["emissive"]))
        ts.end()
    ts.end()

    ts.end()
    return ts.bytes()
