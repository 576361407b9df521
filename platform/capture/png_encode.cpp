// PNG encoding through libpng. libpng reports every failure, a failed
// allocation included, through its error callback, which jumps back here;
// the capture then stops with a message instead of the process aborting.
#include "platform/capture/png_encode.h"

#include <png.h>

#include <csetjmp>
#include <new>

namespace plat {
namespace {

// Deflate level 1: speed over size. A few percent smaller files would cost
// several times the encoding time, and capture encodes every frame.
constexpr int kDeflateLevel = 1;

struct Sink {
    std::vector<uint8_t>* out;
};

void Append(png_structp png, png_bytep data, png_size_t size) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    try {
        sink->out->insert(sink->out->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");  // does not return
    }
}

void Flush(png_structp) {}

// libpng prints warnings to stderr by default; none of those it can give
// for 8-bit RGB concerns a capture.
void IgnoreWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: png_error leaves it by longjmp.
bool Encode(const uint8_t* rgb, int width, int height, Sink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, sink, Append, Flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kDeflateLevel);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + static_cast<size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool EncodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* png) {
    if (!rgb || width <= 0 || height <= 0 || !png) return false;
    Sink sink{png};
    return Encode(rgb, width, height, &sink);
}

}  // namespace plat
