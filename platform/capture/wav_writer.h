// platform/capture/wav_writer.h - writes 16-bit stereo PCM as a WAV file (RIFF,
// 44.1 kHz), the sound track that a capture leaves beside its frames.
//
// Lifecycle: Open -> Write* -> Close (also done by the destructor).
//
// The file is readable at every moment: the header's sizes are brought up
// to date after each second of sound (the data flushed first, so the header
// never claims bytes the file lacks) and at Close. A run killed by any
// signal, SIGKILL included, leaves a WAV of all but its last second at
// worst. When a write fails (a full disk), the file is cut back to the last
// whole sample frame that reached it and the header made to say so; the
// writer then refuses further writes and Error() says why, in the OS's
// words.
//
// RIFF sizes are 32-bit: kMaxFrames sample frames (6.8 hours) is the most a
// file can hold, and a Write past it fails. Callers that know their length
// should refuse before starting.
// Does not: write any other format, or read files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace plat {

class WavWriter {
public:
    // The most data bytes a RIFF header can state (its size field counts
    // the 36 header bytes after it too), in whole 4-byte sample frames.
    static constexpr uint64_t kMaxFrames = (0xFFFFFFFFull - 36) / 4;

    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool Open(const std::string& path, std::string* error);
    // `frames` interleaved stereo frames.
    bool Write(const int16_t* samples, size_t frames);
    // Cuts the sound back to its first `frames` sample frames (the file and
    // the header), so it ends with the last frame of pictures that did reach
    // the disk. Does nothing when it holds no more than that.
    bool KeepFirst(uint64_t frames);
    // Fixes the header; false when anything could not be written.
    bool Close();

    uint64_t Frames() const { return frames_; }
    const std::string& Error() const { return error_; }

private:
    bool UpdateHeader();
    void Fail(const std::string& what, int err);

    std::FILE* file_ = nullptr;
    std::string path_;
    uint64_t frames_ = 0;
    uint64_t frames_at_header_ = 0;  // what the header on disk says
    bool failed_ = false;
    std::string error_;
};

}  // namespace plat
