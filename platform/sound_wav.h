// platform/sound_wav.h - writes 16-bit stereo PCM as a WAV file (RIFF,
// 44.1 kHz), the sound track that a capture leaves beside its frames.
//
// Lifecycle: Open -> Write* -> Close (also done by the destructor). The
// header's sizes are written at Open as if empty and corrected at Close, so
// a run that dies half-way leaves a file that players still read up to the
// last whole write.
// Does not: buffer beyond stdio, write any other format, or read files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace plat {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool Open(const std::string& path, std::string* error);
    // `frames` interleaved stereo frames.
    bool Write(const int16_t* samples, size_t frames);
    // Fixes the header; false when anything could not be written.
    bool Close();

    uint64_t Frames() const { return frames_; }

private:
    std::FILE* file_ = nullptr;
    uint64_t frames_ = 0;
    bool failed_ = false;
};

}  // namespace plat
