// The capture's writers on their own: PNG frames that decode to exactly the
// pixels given, whatever the width, and a WAV that is readable at every
// moment, cut back on request, and refuses to pass the RIFF limit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gfx/picture.h"
#include "platform/capture/png_encode.h"
#include "platform/sound/sound.h"
#include "platform/capture/wav_writer.h"

namespace {

namespace fs = std::filesystem;

fs::path TempFile(const std::string& name) {
    return fs::temp_directory_path() / ("kelo_test_" + std::to_string(getpid()) + "_" + name);
}

// The data size the header states, and what the file holds after it.
std::pair<uint32_t, uint64_t> WavSizes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char h[44] = {};
    in.read(reinterpret_cast<char*>(h), sizeof h);
    const uint32_t stated = static_cast<uint32_t>(h[40] | h[41] << 8 | h[42] << 16 | h[43] << 24);
    return {stated, fs::file_size(file) - 44};
}

// Rows that each favour a different PNG filter (flat, noise, horizontal
// and vertical ramps), odd widths so rows do not end on a pixel boundary
// of any word size, and a one-pixel picture.
TEST(PngEncode, DecodesToExactlyThePixelsGiven) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{1024, 768}}) {
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        uint32_t noise = 99;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                noise = noise * 1664525u + 1013904223u;
                uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
                switch (y % 4) {
                    case 0: p[0] = p[1] = p[2] = 200; break;
                    case 1: p[0] = static_cast<uint8_t>(noise >> 24), p[1] = static_cast<uint8_t>(noise >> 16), p[2] = static_cast<uint8_t>(noise >> 8); break;
                    case 2: p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(x * 3), p[2] = 7; break;
                    default: p[0] = static_cast<uint8_t>(y), p[1] = 255, p[2] = static_cast<uint8_t>(x ^ y); break;
                }
            }
        }
        std::vector<uint8_t> png = {1, 2, 3};  // appended to, not replaced
        ASSERT_TRUE(plat::EncodePng(rgb.data(), w, h, &png));
        ASSERT_EQ(png[0], 1);
        const fs::path file = TempFile("frame.png");
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data() + 3), static_cast<std::streamsize>(png.size() - 3));
        plat::PicturePixels back;
        ASSERT_TRUE(plat::ReadPictureFile(file.string(), &back)) << w << "x" << h;
        ASSERT_EQ(back.width, w);
        ASSERT_EQ(back.height, h);
        for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
            ASSERT_EQ(std::memcmp(&back.rgba[i * 4], &rgb[i * 3], 3), 0) << w << "x" << h << " pixel " << i;
            ASSERT_EQ(back.rgba[i * 4 + 3], 255);
        }
        fs::remove(file);
    }
    std::vector<uint8_t> png;
    EXPECT_FALSE(plat::EncodePng(nullptr, 0, 10, &png));
}

TEST(WavWriter, HeaderFollowsEachSecondAndTheEndAndKeepFirstCutsBoth) {
    const fs::path file = TempFile("audio.wav");
    std::vector<int16_t> frame(2 * 735, 1000);
    {
        plat::WavWriter wav;
        ASSERT_TRUE(wav.Open(file.string(), nullptr));
        // 59 frames at 60 fps: under a second, the header still says 0 (the
        // data may sit in stdio's buffer).
        for (int i = 0; i < 59; ++i) ASSERT_TRUE(wav.Write(frame.data(), 735));
        EXPECT_EQ(WavSizes(file).first, 0u);
        // The 60th makes a second: flushed and stated, as a kill would find it.
        ASSERT_TRUE(wav.Write(frame.data(), 735));
        EXPECT_EQ(WavSizes(file), std::make_pair(44100u * 4, uint64_t{44100 * 4}));
        ASSERT_TRUE(wav.Write(frame.data(), 735));
        ASSERT_TRUE(wav.KeepFirst(1000));
        EXPECT_EQ(WavSizes(file), std::make_pair(4000u, uint64_t{4000}));
        EXPECT_EQ(wav.Frames(), 1000u);
        ASSERT_TRUE(wav.Write(frame.data(), 10));
        ASSERT_TRUE(wav.Close());
    }
    EXPECT_EQ(WavSizes(file), std::make_pair(4040u, uint64_t{4040}));

    // One write past the RIFF limit is refused whole, before reading a byte.
    plat::WavWriter wav;
    ASSERT_TRUE(wav.Open(file.string(), nullptr));
    ASSERT_TRUE(wav.Write(frame.data(), 735));
    EXPECT_FALSE(wav.Write(frame.data(), plat::WavWriter::kMaxFrames));
    EXPECT_NE(wav.Error().find("4 GiB"), std::string::npos) << wav.Error();
    EXPECT_FALSE(wav.Write(frame.data(), 1)) << "refuses everything after a failure";
    EXPECT_FALSE(wav.Close());
    EXPECT_EQ(WavSizes(file), std::make_pair(735u * 4, uint64_t{735 * 4}));
    fs::remove(file);
}

// A write that fails part-way (the disk filled during stdio's flush) leaves
// in the file more than the last whole append: part of the failing one.
// What the writer counts from then on is what the file holds, so cutting
// back to the frames that were written whole really cuts, and the header
// says what is there. A file-size limit plays the full disk.
TEST(WavWriter, AWriteFailingPartWayIsCountedAsTheFileHoldsIt) {
    const fs::path file = TempFile("partial.wav");
    constexpr size_t kChunk = 4410;  // one frame's sound at 10 fps
    std::vector<int16_t> chunk(2 * kChunk, 500);
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
    // Three chunks fit in stdio's 64 kB buffer; the fourth fills it, and the
    // flush stops 1000 bytes past the third chunk's end.
    const uint64_t limit = 44 + 3 * kChunk * 4 + 1000;
    struct rlimit small = saved;
    small.rlim_cur = limit;
    {
        plat::WavWriter wav;
        ASSERT_TRUE(wav.Open(file.string(), nullptr));
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(wav.Write(chunk.data(), kChunk));
        EXPECT_FALSE(wav.Write(chunk.data(), kChunk));
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_NE(wav.Error().find("File too large"), std::string::npos) << wav.Error();
        EXPECT_EQ(wav.Frames(), (limit - 44) / 4) << "counts what reached the file";
        EXPECT_EQ(WavSizes(file), std::make_pair(static_cast<uint32_t>(wav.Frames() * 4), wav.Frames() * 4));
        // The frames that were written whole keep their sound, no more.
        wav.KeepFirst(3 * kChunk);
        EXPECT_EQ(wav.Frames(), 3 * kChunk);
        wav.Close();
    }
    std::signal(SIGXFSZ, saved_handler);
    EXPECT_EQ(WavSizes(file), std::make_pair(static_cast<uint32_t>(3 * kChunk * 4), uint64_t{3 * kChunk * 4}));
    fs::remove(file);
}

}  // namespace
