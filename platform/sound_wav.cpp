#include "platform/sound_wav.h"

#include <bit>
#include <cerrno>
#include <cstring>

#include "platform/sound.h"

namespace plat {
namespace {

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// The 44-byte canonical header for `data_bytes` of 16-bit stereo PCM.
void Header(unsigned char* h, uint32_t data_bytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + data_bytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);                   // fmt chunk size
    Put16(h + 20, 1);                    // PCM
    Put16(h + 22, 2);                    // channels
    Put32(h + 24, kSoundRate);
    Put32(h + 28, kSoundRate * 2 * 2);  // bytes per second
    Put16(h + 32, 4);                    // bytes per frame
    Put16(h + 34, 16);                   // bits per sample
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, data_bytes);
}

}  // namespace

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Open(const std::string& path, std::string* error) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    frames_ = 0;
    failed_ = false;
    unsigned char h[44];
    Header(h, 0);
    failed_ = std::fwrite(h, 1, sizeof h, file_) != sizeof h;
    return true;
}

bool WavWriter::Write(const int16_t* samples, size_t frames) {
    if (!file_ || failed_) return false;
    // WAV is little-endian, as is every machine this builds on; swap otherwise.
    if constexpr (std::endian::native == std::endian::little) {
        failed_ = std::fwrite(samples, 4, frames, file_) != frames;
    } else {
        for (size_t i = 0; i < 2 * frames && !failed_; ++i) {
            unsigned char b[2];
            Put16(b, static_cast<uint16_t>(samples[i]));
            failed_ = std::fwrite(b, 1, 2, file_) != 2;
        }
    }
    if (!failed_) frames_ += frames;
    return !failed_;
}

bool WavWriter::Close() {
    if (!file_) return !failed_;
    // RIFF sizes are 32-bit: past 4 GiB (6.7 hours) the header says the most
    // it can and readers that trust it stop there.
    const uint64_t bytes = frames_ * 4;
    unsigned char h[44];
    Header(h, bytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(bytes));
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

}  // namespace plat
