// platform/mesh/xfile_zip.h - the compressed X file encodings ("tzip": text,
// "bzip": binary) turned into the plain ones, and back. Used by
// platform/mesh/xfile_reader.cpp, which then reads the result as "txt " or
// "bin "; the writer serves the tests and the fuzz seeds, so no compressed
// file has to be committed to be tested.
//
// The layout after the 16-byte header:
//   uint32  decompressed size: writers count the 16 header bytes in it;
//           a size that counts only the blocks' output is taken as well
//   blocks, to the end of the file, each:
//     uint16  its decompressed size, 1..32768
//     uint16  its compressed size, the "CK" signature included
//     "CK", then one whole raw deflate stream
// Each block inflates with the previous block's output as its preset
// dictionary: a writer's matches may reach back into it, never further.
// All numbers little-endian.
//
// Every size is checked against the bytes there really are: a declared
// size larger than the blocks could ever produce is refused before
// anything is allocated, and output grows only as blocks really inflate,
// one block (at most 32 KB) at a time. Nothing is thrown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plat::xfile {

// `bytes` is a whole file whose header says "tzip" or "bzip". On success
// *out holds the same file uncompressed: the header with "txt " or "bin "
// in place of the compressed format, then the inflated blocks. On failure
// returns false with one line in *error.
bool InflateXFile(const unsigned char* bytes, size_t size, std::vector<unsigned char>* out, std::string* error);

// The inverse: `file` is a whole "txt " or "bin " X file; the result is
// its "tzip" or "bzip" twin with blocks of at most `block_size` bytes
// (1..32768), the size field counting the header, as writers wrote it.
// Empty when `file` is not a plain X file or block_size is out of range.
std::string DeflateXFile(std::string_view file, size_t block_size = 32768);

}  // namespace plat::xfile
