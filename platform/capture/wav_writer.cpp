#include "platform/capture/wav_writer.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "platform/sound/sound.h"

namespace plat {
namespace {

constexpr uint64_t kHeaderBytes = 44;
constexpr uint64_t kFrameBytes = 4;  // 16-bit stereo

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

// The header goes in with pwrite: it leaves stdio's position at the end of
// the data, where the next Write continues.
bool PutHeader(std::FILE* file, uint64_t frames) {
    unsigned char h[kHeaderBytes];
    Header(h, static_cast<uint32_t>(frames * kFrameBytes));
    return pwrite(fileno(file), h, sizeof h, 0) == static_cast<ssize_t>(sizeof h);
}

}  // namespace

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Open(const std::string& path, std::string* error) {
    Close();
    path_ = path;
    frames_ = frames_at_header_ = 0;
    failed_ = false;
    error_.clear();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    // A second of sound is 176 kB: a buffer this size writes it in three
    // calls instead of stdio's forty-odd, so the flush before each second's
    // header update adds no calls of its own.
    std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
    unsigned char h[kHeaderBytes];
    Header(h, 0);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h || std::fflush(file_) != 0) {
        const int err = errno;
        if (error) *error = "cannot write " + path + ": " + std::strerror(err);
        std::fclose(file_);
        file_ = nullptr;
        std::remove(path.c_str());
        return false;
    }
    return true;
}

void WavWriter::Fail(const std::string& what, int err) {
    failed_ = true;
    if (error_.empty()) error_ = what + " " + path_ + ": " + std::strerror(err ? err : EIO);
    if (!file_) return;
    // What stdio still holds would otherwise be written at fclose, past the
    // cut made below.
    __fpurge(file_);
    // How much of the data reached the file is known only to the file: cut
    // it back to whole sample frames and make the header say that much. The
    // cut frees space, so on a full disk the header's rewrite (in place)
    // still succeeds.
    struct stat st {};
    const int fd = fileno(file_);
    if (fstat(fd, &st) != 0) return;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const uint64_t on_disk = size > kHeaderBytes ? std::min<uint64_t>((size - kHeaderBytes) / kFrameBytes, kMaxFrames) : 0;
    // From here on the file is the truth: a failed write may have left more
    // than the last whole append (part of the failing one) or less (what
    // stdio held), and KeepFirst and Frames() must count what is there.
    if (ftruncate(fd, static_cast<off_t>(kHeaderBytes + on_disk * kFrameBytes)) == 0 && PutHeader(file_, on_disk))
        frames_ = frames_at_header_ = on_disk;
}

bool WavWriter::UpdateHeader() {
    if (std::fflush(file_) != 0) {
        Fail("cannot write", errno);
        return false;
    }
    if (!PutHeader(file_, frames_)) {
        Fail("cannot update the header of", errno);
        return false;
    }
    frames_at_header_ = frames_;
    return true;
}

bool WavWriter::Write(const int16_t* samples, size_t frames) {
    if (!file_ || failed_) return false;
    if (frames == 0) return true;
    if (frames > kMaxFrames - frames_) {
        // What came before is good: on disk and stated, then no more.
        if (!UpdateHeader()) return false;
        failed_ = true;
        error_ = "WAV's 4 GiB limit reached in " + path_;
        return false;
    }
    // WAV is little-endian, as is every machine this builds on; swap otherwise.
    bool ok = true;
    if constexpr (std::endian::native == std::endian::little) {
        ok = std::fwrite(samples, kFrameBytes, frames, file_) == frames;
    } else {
        for (size_t i = 0; i < 2 * frames && ok; ++i) {
            unsigned char b[2];
            Put16(b, static_cast<uint16_t>(samples[i]));
            ok = std::fwrite(b, 1, 2, file_) == 2;
        }
    }
    if (!ok) {
        Fail("cannot write", errno);
        return false;
    }
    frames_ += frames;
    // A second of sound between header updates: a killed run loses at most
    // that much, and the cost (a flush and one 44-byte write) is nothing
    // beside the second's 176 kB.
    if (frames_ - frames_at_header_ >= static_cast<uint64_t>(kSoundRate)) return UpdateHeader();
    return true;
}

bool WavWriter::KeepFirst(uint64_t frames) {
    if (!file_ || frames >= frames_) return true;
    if (!failed_ && std::fflush(file_) != 0) Fail("cannot write", errno);
    const uint64_t keep = std::min(frames, failed_ ? frames_at_header_ : frames_);
    if (ftruncate(fileno(file_), static_cast<off_t>(kHeaderBytes + keep * kFrameBytes)) != 0 ||
        std::fseek(file_, 0, SEEK_END) != 0) {
        Fail("cannot shorten", errno);
        return false;
    }
    frames_ = keep;
    if (!PutHeader(file_, keep)) {
        Fail("cannot update the header of", errno);
        return false;
    }
    frames_at_header_ = keep;
    return true;
}

bool WavWriter::Close() {
    if (!file_) return !failed_;
    if (!failed_) UpdateHeader();
    if (std::fclose(file_) != 0 && !failed_) {
        // Nothing is left buffered after the flush above, so this is rare
        // (NFS reports late); the header already matches the data.
        failed_ = true;
        if (error_.empty()) error_ = "cannot close " + path_ + ": " + std::strerror(errno);
    }
    file_ = nullptr;
    return !failed_;
}

}  // namespace plat
