// What the music costs: decoding plus the spectrum per second of music,
// against libmpg123 decoding the same bytes bare (the goal is at most 1.1
// times), the spectrum alone, and the share of one core the device's
// callback takes in real time.
//
// Both decodes ask libmpg123 for the same output (32-bit float, 44.1 kHz,
// gapless) and read it in the same pieces (mpg123_read into a buffer of four
// MPEG frames), so the ratio is what the stream's callbacks, the mix and the
// spectrum add to the same decoding. Its
// "floor" counter is the ratio the show would have if decoding and one
// spectrum a frame were all it did: the transform is a fixed cost per frame
// that no work on the mix can take away.
//
//   build/kelo_bench --benchmark_filter=Sound
#include <benchmark/benchmark.h>


#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "data/music.h"
#include "data/resource_ids.h"
#include "platform/os/clock.h"
#include "platform/os/resources.h"
#include "platform/sound/sound.h"

namespace {

constexpr double kTrackSeconds = 153.6;
constexpr int kFramesPer60th = 735;  // one frame at 60 fps

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// CPU time of this thread: the decode and the spectrum run here, and other
// processes on a busy machine do not count against them.
double CpuNow() { return plat::ThreadCpuSeconds(); }

const unsigned char* Music(size_t* size) { return plat::FindResourceBytes(plat::kResMusic, kMusicId, size); }

// The show's path over the whole track: the stream decoding through the
// memory-file callbacks, the mix, and one spectrum per frame at 60 fps.
double ShowPathSeconds(bool spectrum = true) {
    plat::ShutdownSound();
    plat::UseOfflineSound();
    plat::InitSound();
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    std::vector<int16_t> out(2 * kFramesPer60th);
    const int64_t frames = plat::SoundStreamLength(music->m_pStream);
    const double t0 = CpuNow();
    for (int64_t done = 0; done < frames; done += kFramesPer60th) {
        plat::MixSoundOffline(kFramesPer60th, out.data());
        if (!spectrum) continue;
        plat::AdvanceSoundFrame();
        benchmark::DoNotOptimize(GetSpectrum()[0]);
    }
    const double t = CpuNow() - t0;
    CloseMusic(music);
    plat::ShutdownSound();
    return t;
}

// One spectrum for every 60th of a second of the track, on a fixed window:
// the analysis with nothing around it.
double SpectraSeconds(int64_t frames) {
    std::vector<float> samples(plat::kSpectrumWindow), bands(plat::kSpectrumBands);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>((i * 7919) % 2001) / 1000.0f - 1.0f;
    const double t0 = CpuNow();
    for (int64_t done = 0; done < frames; done += kFramesPer60th) {
        plat::ComputeSpectrum(samples.data(), bands.data());
        benchmark::DoNotOptimize(bands[0]);
    }
    return CpuNow() - t0;
}

double BareDecodeSeconds() {
    size_t size = 0;
    const unsigned char* bytes = Music(&size);
    const double t0 = CpuNow();
    benchmark::DoNotOptimize(plat::DecodeMp3(bytes, size, nullptr));
    return CpuNow() - t0;
}

// Times below are CPU seconds of the main thread; ms_per_music_s is that
// per second of music.
void BM_SoundBareDecode(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        const double t = BareDecodeSeconds();
        total += t;
        state.SetIterationTime(t);
    }
    state.counters["ms_per_music_s"] = 1000.0 * total / static_cast<double>(state.iterations()) / kTrackSeconds;
}
BENCHMARK(BM_SoundBareDecode)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Arg 1: with the spectrum every 60th of a second; 0: the mix alone.
void BM_SoundShowPath(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        const double t = ShowPathSeconds(state.range(0) != 0);
        total += t;
        state.SetIterationTime(t);
    }
    state.counters["ms_per_music_s"] = 1000.0 * total / static_cast<double>(state.iterations()) / kTrackSeconds;
}
BENCHMARK(BM_SoundShowPath)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Both, back to back in each iteration so that machine load hits them alike;
// "ratio" is the show path's time over the bare decode's, "floor" the bare
// decode plus the spectra alone over the bare decode.
void BM_SoundShowPathOverBareDecode(benchmark::State& state) {
    size_t size = 0;
    const unsigned char* bytes = Music(&size);
    const int64_t frames = bytes ? plat::DecodeMp3(bytes, size, nullptr) : 0;  // the track's length
    double show = 0, bare = 0, spectra = 0;
    for (auto _ : state) {
        const double b = BareDecodeSeconds();
        const double s = ShowPathSeconds();
        const double f = SpectraSeconds(frames);
        bare += b;
        show += s;
        spectra += f;
        state.SetIterationTime(s);
    }
    state.counters["ratio"] = show / bare;
    state.counters["floor"] = (bare + spectra) / bare;
}
BENCHMARK(BM_SoundShowPathOverBareDecode)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SoundSpectrum(benchmark::State& state) {
    std::vector<float> samples(plat::kSpectrumWindow), bands(plat::kSpectrumBands);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>((i * 7919) % 2001) / 1000.0f - 1.0f;
    for (auto _ : state) {
        plat::ComputeSpectrum(samples.data(), bands.data());
        benchmark::DoNotOptimize(bands[0]);
    }
}
BENCHMARK(BM_SoundSpectrum)->Unit(benchmark::kMicrosecond);

// Real time through SDL's audio thread (the dummy driver unless
// SDL_AUDIODRIVER says otherwise): seconds spent in the callback per second
// of wall time while the music plays.
void BM_SoundCallbackShare(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    plat::ShutdownSound();
    plat::InitSound();
    if (plat::GetSoundOutput() != plat::SoundOutput::kDevice) {
        state.SkipWithError("no audio device");
        plat::ShutdownSound();
        return;
    }
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    double share = 0, per_callback_us = 0;
    for (auto _ : state) {
        const plat::SoundStats a = plat::GetSoundStats();
        const double t0 = Now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const plat::SoundStats b = plat::GetSoundStats();
        const double wall = Now() - t0;
        state.SetIterationTime(wall);
        share = (b.callback_seconds - a.callback_seconds) / wall;
        per_callback_us = 1e6 * (b.callback_seconds - a.callback_seconds) / static_cast<double>(b.callbacks - a.callbacks);
        state.counters["buffer_frames"] = b.device_buffer_frames;
    }
    state.counters["core_share_pct"] = 100.0 * share;
    state.counters["us_per_callback"] = per_callback_us;
    CloseMusic(music);
    plat::ShutdownSound();
}
BENCHMARK(BM_SoundCallbackShare)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
