// Compressed X files: deflate blocks chained by preset dictionaries, read
// and written through zlib. The layout is in platform/mesh/xfile_zip.h.
#include "platform/mesh/xfile_zip.h"

#define ZLIB_CONST  // next_in as a pointer to const: the input is never written
#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace plat::xfile {
namespace {

constexpr size_t kHeaderSize = 16;     // "xof " + version (4) + format (4) + float size (4)
constexpr size_t kSizeField = 4;       // the decompressed size after the header
constexpr size_t kBlockHead = 4;       // decompressed size (2) + compressed size (2)
constexpr size_t kMaxBlock = 32768;    // the deflate window: a block's dictionary is a whole block
// The fewest bytes a block can take: its sizes, "CK" and the shortest
// deflate stream (an empty final block with fixed codes, 10 bits).
constexpr size_t kMinBlockBytes = kBlockHead + 2 + 2;
// No mesh comes near this; a file declaring more is damaged, whatever its
// blocks could hold (up to about a thousand times their size).
constexpr size_t kMaxDecompressed = 256u * 1024 * 1024;

uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool Fail(std::string* error, const char* fmt, ...) {
    char buf[200];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    *error = buf;
    return false;
}

// One inflate state for all blocks: reset between them, so only the first
// block pays for zlib's window.
class Inflater {
public:
    Inflater() { ok_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK; }  // raw deflate: no zlib header or checksum
    ~Inflater() {
        if (ok_) inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ok() const { return ok_; }
    z_stream* operator->() { return &z_; }
    z_stream* get() { return &z_; }

private:
    z_stream z_{};
    bool ok_ = false;
};

}  // namespace

bool InflateXFile(const unsigned char* b, size_t size, std::vector<unsigned char>* out, std::string* error) {
    out->clear();
    if (!b || size < kHeaderSize || std::memcmp(b, "xof ", 4) != 0) return Fail(error, "not an X file");
    const bool text = std::memcmp(b + 8, "tzip", 4) == 0;
    if (!text && std::memcmp(b + 8, "bzip", 4) != 0) return Fail(error, "not a compressed X file");
    if (size < kHeaderSize + kSizeField) {
        return Fail(error, "the file ends before its decompressed size (%zu bytes)", size);
    }
    const size_t declared = Dword(b + kHeaderSize);
    // Writers count the header in the declared size; the blocks must then
    // hold declared - 16 bytes. Some count only the blocks' output, so
    // exactly `declared` is taken too; anything else is a damaged file.
    const size_t with_header = declared >= kHeaderSize ? declared - kHeaderSize : declared;
    const size_t room = (size - kHeaderSize - kSizeField) / kMinBlockBytes * kMaxBlock;
    if (with_header > kMaxDecompressed) {
        return Fail(error, "the file declares %zu decompressed bytes; no mesh is that large", declared);
    }
    if (with_header > room) {
        return Fail(error, "the file declares %zu decompressed bytes; its %zu bytes of blocks could hold %zu at most",
                    declared, size - kHeaderSize - kSizeField, room);
    }

    Inflater z;
    if (!z.ok()) return Fail(error, "zlib could not start inflating");
    // The header first, as its uncompressed twin, so the plain readers take
    // the result unchanged. Up front, room for what the blocks must hold at
    // most, but never more than the file could plausibly inflate to.
    out->reserve(kHeaderSize + std::min(declared, size * 8));
    out->assign(b, b + kHeaderSize);
    std::memcpy(out->data() + 8, text ? "txt " : "bin ", 4);

    size_t p = kHeaderSize + kSizeField;
    size_t prev_start = kHeaderSize, prev_size = 0;  // the previous block's output: the next one's dictionary
    for (size_t block = 0; p < size; ++block) {
        const size_t at = p;
        if (size - p < kBlockHead) return Fail(error, "block %zu at byte %zu: the file ends inside its sizes", block, at);
        const size_t inflated = Word(b + p), packed = Word(b + p + 2);
        p += kBlockHead;
        if (inflated == 0 || inflated > kMaxBlock) {
            return Fail(error, "block %zu at byte %zu declares %zu decompressed bytes; a block holds 1 to %zu", block, at,
                        inflated, kMaxBlock);
        }
        if (packed > size - p) {
            return Fail(error, "block %zu at byte %zu: its %zu compressed bytes run past the end of the file", block, at,
                        packed);
        }
        if (packed < 2 || b[p] != 'C' || b[p + 1] != 'K') {
            return Fail(error, "block %zu at byte %zu does not start with the \"CK\" signature", block, at);
        }
        const size_t body = out->size() - kHeaderSize;
        if (inflated > declared - std::min(declared, body)) {
            return Fail(error, "block %zu at byte %zu: the blocks hold more than the %zu decompressed bytes the file declares",
                        block, at, declared);
        }

        // One byte more than declared: a block that inflates past its size
        // fills it instead of stopping at a full buffer, which zlib reports
        // no differently from a stream that ends exactly there.
        const size_t start = out->size();
        out->resize(start + inflated + 1);
        if (inflateReset(z.get()) != Z_OK ||
            (prev_size > 0 && inflateSetDictionary(z.get(), out->data() + prev_start, static_cast<uInt>(prev_size)) != Z_OK)) {
            out->clear();
            return Fail(error, "block %zu at byte %zu: zlib refused the previous block as its dictionary", block, at);
        }
        z->next_in = b + p + 2;
        z->avail_in = static_cast<uInt>(packed - 2);
        z->next_out = out->data() + start;
        z->avail_out = static_cast<uInt>(inflated + 1);
        const int status = inflate(z.get(), Z_FINISH);
        const size_t produced = inflated + 1 - z->avail_out;
        const size_t unused = z->avail_in;
        out->resize(start + produced);
        if (status == Z_DATA_ERROR) {
            const std::string why = z->msg ? z->msg : "no reason given";
            out->clear();
            return Fail(error, "block %zu at byte %zu: damaged deflate data (%s)", block, at, why.c_str());
        }
        if (status == Z_MEM_ERROR) {
            out->clear();
            return Fail(error, "block %zu at byte %zu: out of memory while inflating", block, at);
        }
        if (produced > inflated) {
            out->clear();
            return Fail(error, "block %zu at byte %zu inflates to more than the %zu bytes it declares", block, at, inflated);
        }
        if (status != Z_STREAM_END) {
            out->clear();
            return Fail(error, "block %zu at byte %zu: its deflate data is cut short after %zu bytes", block, at, packed);
        }
        if (produced != inflated) {
            out->clear();
            return Fail(error, "block %zu at byte %zu inflates to %zu bytes, not the %zu it declares", block, at, produced,
                        inflated);
        }
        if (unused != 0) {
            out->clear();
            return Fail(error, "block %zu at byte %zu: its deflate data ends %zu bytes before the block does", block, at,
                        unused);
        }
        prev_start = start;
        prev_size = produced;
        p += packed;
    }
    const size_t body = out->size() - kHeaderSize;
    if (body != with_header && body != declared) {
        out->clear();
        return Fail(error, "the blocks hold %zu decompressed bytes, but the file declares %zu (with the 16-byte header)",
                    body, declared);
    }
    return true;
}

std::string DeflateXFile(std::string_view file, size_t block_size) {
    if (block_size == 0 || block_size > kMaxBlock || file.size() < kHeaderSize || file.substr(0, 4) != "xof ") return {};
    const std::string_view format = file.substr(8, 4);
    if (format != "txt " && format != "bin ") return {};
    std::string out(file.substr(0, kHeaderSize));
    out.replace(8, 4, format == "txt " ? "tzip" : "bzip");
    const uint32_t total = static_cast<uint32_t>(file.size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>(total >> (8 * i));

    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    const auto* data = reinterpret_cast<const Bytef*>(file.data());
    std::vector<Bytef> packed;
    size_t prev = kHeaderSize, prev_size = 0;
    for (size_t p = kHeaderSize; p < file.size(); p += block_size) {
        const size_t n = std::min(block_size, file.size() - p);
        packed.resize(deflateBound(&z, static_cast<uLong>(n)) + 16);
        bool ok = deflateReset(&z) == Z_OK &&
                  (prev_size == 0 || deflateSetDictionary(&z, data + prev, static_cast<uInt>(prev_size)) == Z_OK);
        z.next_in = data + p;
        z.avail_in = static_cast<uInt>(n);
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        ok = ok && deflate(&z, Z_FINISH) == Z_STREAM_END;
        const size_t length = packed.size() - z.avail_out + 2;  // with "CK"
        if (!ok || length > 0xffff) {
            deflateEnd(&z);
            return {};
        }
        for (size_t v : {n, length}) out += {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
        out += "CK";
        out.append(reinterpret_cast<const char*>(packed.data()), length - 2);
        prev = p;
        prev_size = n;
    }
    deflateEnd(&z);
    return out;
}

}  // namespace plat::xfile
