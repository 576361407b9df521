// Shared by the sound and music tests: an offline sound system for the
// length of a test, the embedded soundtrack and its reference decode.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/sound/sound.h"

namespace soundtest {

// Offline sound from construction to destruction, so a test drives the music
// clock itself with Mix.
struct OfflineSound {
    OfflineSound() {
        plat::ShutdownSound();
        plat::UseOfflineSound();
        plat::InitSound();
    }
    ~OfflineSound() { plat::ShutdownSound(); }
    OfflineSound(const OfflineSound&) = delete;
    OfflineSound& operator=(const OfflineSound&) = delete;
};

// The next `frames` of the offline mix, interleaved stereo.
std::vector<int16_t> Mix(int64_t frames);

// MUSIC resource 160, and its whole decode (interleaved stereo floats),
// made once per test run by the reference decoder.
const unsigned char* MusicBytes(int32_t* size);
const std::vector<float>& DecodedTrack();

// A decoded sample as 16 bits: clamped, scaled by 32767, rounded to nearest
// (the tests allow one step either way for the rounding of ties).
inline int16_t Pcm16(float v) {
    return static_cast<int16_t>(std::lround((v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v) * 32767.0f));
}

// Largest |a[i] - Pcm16(ref[from + i])| over a's samples (interleaved).
int MaxDifference(const std::vector<int16_t>& a, const std::vector<float>& ref, size_t from);

}  // namespace soundtest
