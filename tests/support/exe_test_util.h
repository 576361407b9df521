// The executable run as a person would, headless, and what it leaves
// behind: exit status and output, capture directories, frames, audio.wav.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gfx/picture.h"
#include "tests/support/run_command.h"

namespace exetest {

namespace fs = std::filesystem;

inline constexpr const char* kHeadless = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy";

struct ExeRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// `wrapper` goes in front (e.g. "timeout -s TERM 2"); env is VAR=value ...
inline ExeRun RunKelo(const std::string& env, const std::string& args, const std::string& wrapper = "") {
    auto [status, output] = RunCommand(wrapper + " env " + env + " " KELO_EXE " " + args);
    return {status, output};
}

// An empty directory name of this process's own under the temp directory.
inline fs::path TempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("kelo_test_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    return dir;
}

// The frame_NNNNNN.png files of a capture directory, sorted.
inline std::vector<fs::path> Frames(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("frame_", 0) == 0 && e.path().extension() == ".png") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The lines of `text` that contain `containing`.
inline std::vector<std::string> Lines(const std::string& text, const std::string& containing) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.find(containing) != std::string::npos) out.push_back(line);
        start = end + 1;
    }
    return out;
}

struct Wav {
    int format = 0, channels = 0, rate = 0, bits = 0;
    std::vector<int16_t> samples;  // interleaved
};

// The canonical 44-byte header our writer makes, then the data.
inline bool ReadWav(const fs::path& file, Wav* wav) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVEfmt ", 8) != 0 || std::memcmp(bytes.data() + 36, "data", 4) != 0)
        return false;
    auto u16 = [&](size_t o) { return bytes[o] | bytes[o + 1] << 8; };
    auto u32 = [&](size_t o) { return static_cast<uint32_t>(u16(o) | u16(o + 2) << 16); };
    wav->format = u16(20);
    wav->channels = u16(22);
    wav->rate = static_cast<int>(u32(24));
    wav->bits = u16(34);
    const uint32_t data = u32(40);
    if (u32(4) != 36 + data || bytes.size() != 44 + data) return false;
    wav->samples.resize(data / 2);
    std::memcpy(wav->samples.data(), bytes.data() + 44, data);
    return true;
}

// What a capture run must leave in its log, however it ended: no warning,
// no GL error, and a closing health line with none of either and no tower
// vertex gone bad.
inline void ExpectCleanLog(const std::string& output) {
    EXPECT_TRUE(Lines(output, "kelo: warning:").empty()) << output;
    EXPECT_TRUE(Lines(output, "gfx: GL error").empty()) << output;
    const std::vector<std::string> health = Lines(output, "capture: health:");
    ASSERT_EQ(health.size(), 1u) << output;
    EXPECT_NE(health[0].find("GL errors 0; warnings 0; frames with non-finite tower vertices 0"), std::string::npos)
        << health[0];
}

// A pixel of a captured frame.
struct Rgb {
    int r, g, b;
    int Sum() const { return r + g + b; }
};

inline Rgb Pixel(const plat::PicturePixels& p, int x, int y) {
    const uint8_t* q = &p.rgba[(static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)) * 4];
    return {q[0], q[1], q[2]};
}

inline bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// Points of a 16-pixel grid over [x0, x1) x [y0, y1) that are not white.
inline int NonWhite(const plat::PicturePixels& p, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; y += 16)
        for (int x = x0; x < x1; x += 16) n += Pixel(p, x, y).Sum() != 3 * 255;
    return n;
}

}  // namespace exetest
