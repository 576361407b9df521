// platform/mesh/xfile_reader.h - the X file format's two encodings (text and
// binary) read into one tree of data objects. Used by platform/mesh/mesh.cpp,
// which gives the tree its meaning (Mesh, MeshNormals, Frame, ...).
//
// Offers: ParseXFile checks the 16-byte header ("xof 0302bin 0032") and
// turns the rest into data objects: each with its template's name, its own
// name, the numbers it holds in file order (integers and floats alike, as
// doubles, which keep both exactly), and its nested objects and references
// ({ name }) in file order. Template declarations are read past: the
// meaning of the standard templates is known to the caller.
//
// Every count in the binary encoding is checked against the bytes left and
// nesting is limited, so no input can make it read outside the buffer,
// allocate more than about 16 bytes per byte of input, or recurse without
// bound. Strings are read past and not kept.
//
// The compressed encodings ("tzip", "bzip") are inflated first
// (platform/mesh/xfile_zip.h) and then read as text or binary: the limits above
// then hold per inflated byte. The document keeps the inflated bytes its
// names point into.
//
// Does not: check the objects against the template declarations.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat::xfile {

struct Node {
    std::string_view type;  // the template's name, e.g. "Mesh"; empty for a reference
    std::string_view name;  // the object's own name, or the name a reference points to
    bool reference = false;
    std::vector<double> numbers;
    std::vector<Node> children;  // nested objects and references, in file order
};

struct Document {
    std::string header;  // the 16 header characters, e.g. "xof 0302bin 0032"
    bool binary = false;  // "bin " or "bzip"
    bool compressed = false;  // "tzip" or "bzip"
    bool doubles = false;  // "0064": floats stored as 64 bits
    std::vector<Node> objects;  // the top-level data objects in file order
    // A compressed file's inflated bytes, which its names point into;
    // shared, so that a copy of the document points into live bytes too.
    std::shared_ptr<const std::vector<unsigned char>> inflated;
};

// Names in the tree point into `bytes` (or, for a compressed file, into
// doc->inflated): `bytes` must outlive the document.
// On failure returns false with one line in *error.
bool ParseXFile(const unsigned char* bytes, size_t size, Document* doc, std::string* error);

}  // namespace plat::xfile
