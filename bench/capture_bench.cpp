// What a capture's writing costs per frame: PNG encoding and the file write
// of one 1024x768 frame through the frame writer's thread, and the WAV
// writer's share for one frame of sound at 60 fps. The frame is a smooth
// gradient with a little noise, which compresses about as well as the
// show's frames do, so the encoder does comparable work.
//
//   build/kelo_bench --benchmark_filter=Capture
#include <benchmark/benchmark.h>


#include <cstdint>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/capture/frame_writer.h"
#include "platform/capture/wav_writer.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kFramesPerRound = 16;  // enough to keep the writer's queue full

std::filesystem::path BenchDir(const char* name) {
    return std::filesystem::temp_directory_path() / (std::string("kelo_bench_") + name + "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
}

std::vector<uint8_t> TestFrame() {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<uint8_t>(x / 4 + (noise >> 29));
            p[1] = static_cast<uint8_t>(y / 3);
            p[2] = static_cast<uint8_t>((x + y) / 7);
        }
    }
    return rgb;
}

// Frames written per second, the queue drained at the end of each round so
// every frame counted is on disk.
void BM_CaptureFrameWriting(benchmark::State& state) {
    const std::filesystem::path dir = BenchDir("frames");
    const std::vector<uint8_t> frame = TestFrame();
    for (auto _ : state) {
        plat::FrameWriter writer;
        std::string error;
        if (!writer.Open(dir.string(), kWidth, kHeight, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        for (int i = 0; i < kFramesPerRound; ++i) writer.Write(frame);
        if (!writer.Close()) {
            state.SkipWithError(writer.FirstError().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerRound);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CaptureFrameWriting)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// One frame's sound at 60 fps (735 stereo sample frames) appended to a WAV.
void BM_CaptureWavWriting(benchmark::State& state) {
    const std::filesystem::path dir = BenchDir("wav");
    std::filesystem::create_directories(dir);
    std::vector<int16_t> samples(735 * 2, 1000);
    plat::WavWriter wav;
    std::string error;
    if (!wav.Open((dir / "audio.wav").string(), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(wav.Write(samples.data(), 735));
    wav.Close();
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CaptureWavWriting);

}  // namespace
