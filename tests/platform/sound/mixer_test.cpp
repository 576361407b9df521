// The offline mix's 16-bit samples: clamped at full scale on both sides
// (the soundtrack itself never gets there, so the mixing tests cannot see
// it), rounded half away from zero, and the same wherever a sample falls in
// a block, since blocks are converted several samples at a time with the
// odd ones left over.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/sound/internal.h"

namespace {

TEST(SoundMixer, SixteenBitSamplesClampAndRoundHalfAwayFromZeroAtEveryPlace) {
    struct Case {
        float in;
        int16_t out;
    };
    // Halves and quarters of full scale are exact in float, so the ties are
    // real ties: 0.5 * 32767 = 16383.5.
    const Case cases[] = {
        {0.0f, 0},         {-0.0f, 0},         {1.0f, 32767},       {-1.0f, -32767},   {1.5f, 32767},
        {-1.5f, -32767},   {100.0f, 32767},    {-100.0f, -32767},   {0.5f, 16384},     {-0.5f, -16384},
        {0.25f, 8192},     {-0.25f, -8192},    {1e-5f, 0},          {-1e-5f, 0},       {2.0f / 32767.0f, 2},
    };
    for (int count = 0; count <= 19; ++count) {
        for (int at = 0; at < count; ++at) {
            for (const Case& c : cases) {
                std::vector<float> in(static_cast<size_t>(count), 0.25f);
                in[static_cast<size_t>(at)] = c.in;
                std::vector<int16_t> out(static_cast<size_t>(count) + 1, 12345);
                plat::detail::ToPcm16(in.data(), out.data(), count);
                ASSERT_EQ(out[static_cast<size_t>(at)], c.out) << c.in << " at " << at << " of " << count;
                for (int i = 0; i < count; ++i) {
                    if (i == at) continue;
                    ASSERT_EQ(out[static_cast<size_t>(i)], 8192) << "neighbour " << i << " of " << count;
                }
                ASSERT_EQ(out.back(), 12345) << "nothing written past the count " << count;
            }
        }
    }
}

}  // namespace
