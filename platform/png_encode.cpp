#include "platform/png_encode.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace plat {
namespace {

constexpr int kDeflateLevel = 1;
constexpr int kBytesPerPixel = 3;

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// A chunk's length, type and data are already at png[start...]; its CRC
// covers the type and the data.
void EndChunk(std::vector<uint8_t>* png, size_t start) {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, png->data() + start + 4, static_cast<uInt>(png->size() - start - 4)));
    uint8_t c[4];
    Put32(c, crc);
    png->insert(png->end(), c, c + 4);
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Filters `row` (with `prev` the row above, or zeros) into out[0..n] with
// filter type kType; returns the sum of the output bytes read as signed.
// One instance per type, so the inner loop has no branch on it.
template <int kType>
unsigned Filter(const uint8_t* row, const uint8_t* prev, size_t n, uint8_t* out) {
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const int a = i >= kBytesPerPixel ? row[i - kBytesPerPixel] : 0;
        const int b = prev[i];
        const int c = i >= kBytesPerPixel ? prev[i - kBytesPerPixel] : 0;
        int predicted = 0;
        if constexpr (kType == 1) predicted = a;
        if constexpr (kType == 2) predicted = b;
        if constexpr (kType == 3) predicted = (a + b) / 2;
        if constexpr (kType == 4) predicted = Paeth(a, b, c);
        (void)a, (void)b, (void)c;
        const uint8_t v = static_cast<uint8_t>(row[i] - predicted);
        out[i] = v;
        sum += v < 128 ? v : 256u - v;
    }
    return sum;
}

unsigned Filter(int type, const uint8_t* row, const uint8_t* prev, size_t n, uint8_t* out) {
    switch (type) {
        case 1: return Filter<1>(row, prev, n, out);
        case 2: return Filter<2>(row, prev, n, out);
        case 3: return Filter<3>(row, prev, n, out);
        case 4: return Filter<4>(row, prev, n, out);
        default: return Filter<0>(row, prev, n, out);
    }
}

bool Encode(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* png) {
    const size_t stride = static_cast<size_t>(width) * kBytesPerPixel;
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png->insert(png->end(), kSignature, kSignature + 8);

    uint8_t ihdr[8 + 13] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    Put32(ihdr + 8, static_cast<uint32_t>(width));
    Put32(ihdr + 12, static_cast<uint32_t>(height));
    ihdr[16] = 8;  // bits per channel
    ihdr[17] = 2;  // truecolour
    size_t start = png->size();
    png->insert(png->end(), ihdr, ihdr + sizeof ihdr);
    EndChunk(png, start);

    z_stream z{};
    if (deflateInit(&z, kDeflateLevel) != Z_OK) return false;
    const size_t raw = (stride + 1) * static_cast<size_t>(height);
    const size_t bound = deflateBound(&z, static_cast<uLong>(raw));
    start = png->size();
    // The IDAT chunk's length goes in once deflate is done.
    png->resize(start + 8 + bound);
    std::memcpy(png->data() + start + 4, "IDAT", 4);
    z.next_out = png->data() + start + 8;
    z.avail_out = static_cast<uInt>(bound);

    // Five candidate rows side by side, filter type byte first in each.
    thread_local std::vector<uint8_t> candidates, zeros;
    candidates.resize(5 * (stride + 1));
    zeros.assign(stride, 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgb + static_cast<size_t>(y) * stride;
        const uint8_t* prev = y > 0 ? row - stride : zeros.data();
        int best = 0;
        unsigned best_sum = ~0u;
        for (int type = 0; type < 5; ++type) {
            uint8_t* out = &candidates[static_cast<size_t>(type) * (stride + 1)];
            out[0] = static_cast<uint8_t>(type);
            const unsigned sum = Filter(type, row, prev, stride, out + 1);
            if (sum < best_sum) {
                best_sum = sum;
                best = type;
            }
        }
        z.next_in = &candidates[static_cast<size_t>(best) * (stride + 1)];
        z.avail_in = static_cast<uInt>(stride + 1);
        const bool last = y + 1 == height;
        const int r = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        // deflateBound leaves room for everything, so anything short of this
        // is a failed allocation inside zlib.
        if (last ? r != Z_STREAM_END : r != Z_OK) {
            deflateEnd(&z);
            return false;
        }
    }
    const size_t compressed = bound - z.avail_out;
    deflateEnd(&z);
    png->resize(start + 8 + compressed);
    Put32(png->data() + start, static_cast<uint32_t>(compressed));
    EndChunk(png, start);

    static const uint8_t kEnd[8] = {0, 0, 0, 0, 'I', 'E', 'N', 'D'};
    start = png->size();
    png->insert(png->end(), kEnd, kEnd + 8);
    EndChunk(png, start);
    return true;
}

}  // namespace

bool EncodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* png) {
    if (width <= 0 || height <= 0) return false;
    const size_t before = png->size();
    try {
        if (Encode(rgb, width, height, png)) return true;
    } catch (const std::bad_alloc&) {
    }
    png->resize(before);
    return false;
}

}  // namespace plat
