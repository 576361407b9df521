#include "tests/support/sound_test_util.h"

#include <algorithm>
#include <cstdlib>

#include "platform/os/resources.h"

namespace soundtest {

std::vector<int16_t> Mix(int64_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    plat::MixSoundOffline(static_cast<int>(frames), out.data());
    return out;
}

const unsigned char* MusicBytes(int32_t* size) {
    size_t n = 0;
    const unsigned char* bytes = plat::FindResourceBytes(plat::kResMusic, 160, &n);
    if (size) *size = static_cast<int32_t>(n);
    return bytes;
}

const std::vector<float>& DecodedTrack() {
    static const std::vector<float> track = [] {
        std::vector<float> pcm;
        int32_t size = 0;
        const unsigned char* bytes = MusicBytes(&size);
        if (bytes) plat::DecodeMp3(bytes, static_cast<size_t>(size), &pcm);
        return pcm;
    }();
    return track;
}

int MaxDifference(const std::vector<int16_t>& a, const std::vector<float>& ref, size_t from) {
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const int expect = from + i < ref.size() ? Pcm16(ref[from + i]) : 0;
        worst = std::max(worst, std::abs(a[i] - expect));
    }
    return worst;
}

}  // namespace soundtest
