// The executable run as a person would, headless, and what it leaves
// behind: exit status and output, capture directories, frames, audio.wav.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/picture.h"
#include "tests/run_command.h"

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

}  // namespace exetest
