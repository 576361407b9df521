// The mixer: SDL's audio device (or the silent or offline stand-ins), the
// master volume, the record of what was heard, and the spectrum taken from it.
//
// Everything is counted in sample frames from InitSound: `mixed` is how far
// the mix has gone, and the history keeps the last kHistory mono samples of
// it (after the volume), indexed by that count, so the spectrum can be taken
// at any point the device may be playing.
//
// Index of this file:
// [SECTION] Mixer state
// [SECTION] Mixing (audio thread and offline)
// [SECTION] The output device
// [SECTION] Sample conversion
// [SECTION] Start and shutdown
// [SECTION] Streams
// [SECTION] Volume, frame step and spectrum
// [SECTION] Offline mixing and statistics

#include <SDL.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/os/clock.h"
#include "platform/os/log.h"
#include "platform/sound/internal.h"

namespace plat {
namespace {

constexpr int kHistory = 1 << 15;         // frames; far more than a device buffer plus one window
constexpr int kChunk = 2048;              // frames mixed per pass through the streams
constexpr int kDeviceBufferFrames = 1024; // asked of SDL: 23 ms at 44.1 kHz
// With no device, a stall longer than this (a debugger, a suspended laptop)
// is not made up for by decoding: the music clock skips it.
constexpr double kMaxSilentCatchUp = 5.0;  // seconds

// ---------------------------------------------------------------------------
// [SECTION] Mixer state
// ---------------------------------------------------------------------------

struct MixerState {
    std::mutex mutex;
    SoundOutput output = SoundOutput::kNone;
    bool want_offline = false;
    bool skipping = false;   // between BeginSoundSkip and EndSoundSkip
    bool sdl_audio = false;  // SDL's audio subsystem is ours to quit
    SDL_AudioDeviceID device = 0;
    SoundFileCallbacks callbacks;
    std::vector<SoundStream*> streams;  // every open stream; the playing ones are mixed

    float volume = 1.0f;        // master gain asked for
    float volume_applied = 1.0f;  // gain at the end of the last block (ramps from there)
    int64_t mixed = 0;
    std::vector<float> history = std::vector<float>(kHistory, 0.0f);
    std::vector<float> mix = std::vector<float>(2 * kChunk), decoded = std::vector<float>(2 * kChunk);

    // Device timing: when the last callback ran, to move "heard" between callbacks.
    uint64_t callback_counter = 0;
    int buffer_frames = 0;
    SoundStats stats;

    double silent_start = 0.0;  // SteadySeconds at which the silent clock read 0

    float spectrum[kSpectrumBands] = {};
    bool spectrum_stale = true;
    int64_t spectrum_heard = 0;  // the sample the spectrum's window ended at
    bool exit_hook = false;
};
MixerState g_mix;

// ---------------------------------------------------------------------------
// [SECTION] Mixing (audio thread and offline)
// ---------------------------------------------------------------------------

// Mono (L+R)/2 of `frames` interleaved stereo frames, four at a time where
// SSE2 is there; both paths add, then halve, so they give the same bits.
void FoldToMono(const float* stereo, float* mono, int frames) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 half = _mm_set1_ps(0.5f);
    for (; i + 4 <= frames; i += 4) {
        const __m128 a = _mm_loadu_ps(stereo + 2 * i);      // l0 r0 l1 r1
        const __m128 b = _mm_loadu_ps(stereo + 2 * i + 4);  // l2 r2 l3 r3
        const __m128 left = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 right = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        _mm_storeu_ps(mono + i, _mm_mul_ps(half, _mm_add_ps(left, right)));
    }
#endif
    for (; i < frames; ++i) mono[i] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
}

// Mixes `frames` (<= kChunk) into `out` (interleaved stereo) with the mutex
// held, applies the master gain and records the mono result. `out` is the
// device's own buffer when a device asks, so the mix is written only once.
void MixChunkLocked(float* out, int frames) {
    // The first playing stream decodes straight into the mix (the usual case
    // is one stream); any further ones are added.
    bool first = true;
    for (SoundStream* s : g_mix.streams) {
        if (!detail::DecoderPlaying(s)) continue;
        if (first) {
            const int n = detail::DecodeFrames(s, out, frames);
            std::fill(out + 2 * n, out + 2 * frames, 0.0f);
            first = false;
            continue;
        }
        const int n = detail::DecodeFrames(s, g_mix.decoded.data(), frames);
        const float* d = g_mix.decoded.data();
        for (int i = 0; i < 2 * n; ++i) out[i] += d[i];
    }
    if (first) std::fill(out, out + 2 * frames, 0.0f);
    // The volume moves in a straight line across the block rather than in
    // one step, so a fade done a frame at a time does not click. At full
    // volume the samples pass untouched.
    const float g0 = g_mix.volume_applied, g1 = g_mix.volume;
    if (g0 != g1) {
        const float step = (g1 - g0) / static_cast<float>(frames);
        for (int i = 0; i < frames; ++i) {
            const float g = g0 + step * static_cast<float>(i + 1);
            out[2 * i] *= g;
            out[2 * i + 1] *= g;
        }
    } else if (g1 != 1.0f) {
        for (int i = 0; i < 2 * frames; ++i) out[i] *= g1;
    }
    g_mix.volume_applied = g1;
    // Into the ring in at most two stretches (the second when it wraps).
    float* hist = g_mix.history.data();
    int at = static_cast<int>(g_mix.mixed & (kHistory - 1));
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, kHistory - at);
        FoldToMono(out + 2 * done, hist + at, n);
        done += n;
        at = 0;
    }
    g_mix.mixed += frames;
}

void AudioCallback(void*, Uint8* stream, int len) {
    const uint64_t t0 = SDL_GetPerformanceCounter();
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    float* dst = reinterpret_cast<float*>(stream);
    int frames = len / static_cast<int>(2 * sizeof(float));
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        MixChunkLocked(dst, n);
        dst += 2 * n;
        frames -= n;
        g_mix.stats.frames += static_cast<uint64_t>(n);
    }
    const uint64_t t1 = SDL_GetPerformanceCounter();
    g_mix.callback_counter = t1;
    g_mix.stats.callbacks++;
    g_mix.stats.callback_seconds += static_cast<double>(t1 - t0) / static_cast<double>(SDL_GetPerformanceFrequency());
}

// Silent output: decode up to the real-time position, with the mutex held.
void CatchUpSilentLocked() {
    if (g_mix.output != SoundOutput::kSilent || g_mix.skipping) return;
    double behind = (SteadySeconds() - g_mix.silent_start) - static_cast<double>(g_mix.mixed) / kSoundRate;
    if (behind > kMaxSilentCatchUp) {
        g_mix.silent_start += behind - kMaxSilentCatchUp;
        behind = kMaxSilentCatchUp;
    }
    int64_t frames = static_cast<int64_t>(behind * kSoundRate);
    while (frames > 0) {
        const int n = static_cast<int>(std::min<int64_t>(frames, kChunk));
        MixChunkLocked(g_mix.mix.data(), n);
        frames -= n;
    }
}

int64_t HeardLocked() {
    int64_t heard = g_mix.mixed;
    if (g_mix.output == SoundOutput::kDevice && g_mix.stats.callbacks > 0 && !g_mix.skipping) {
        // The device still has its buffer to play of what it was handed; it
        // has played into it for as long as the last callback is ago.
        const double since = static_cast<double>(SDL_GetPerformanceCounter() - g_mix.callback_counter) /
                             static_cast<double>(SDL_GetPerformanceFrequency());
        const int64_t into = std::min<int64_t>(static_cast<int64_t>(since * kSoundRate), g_mix.buffer_frames);
        heard = g_mix.mixed - g_mix.buffer_frames + into;
    }
    // The history must still hold the whole window that ends here.
    heard = std::max<int64_t>(heard, g_mix.mixed - kHistory + kSpectrumWindow);
    return std::max<int64_t>(heard, 0);
}

// ---------------------------------------------------------------------------
// [SECTION] The output device
// ---------------------------------------------------------------------------

bool OpenDevice() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        Log("snd", "no audio (%s): the show runs silent", SDL_GetError());
        return false;
    }
    g_mix.sdl_audio = true;
    SDL_AudioSpec want{}, have{};
    want.freq = kSoundRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kDeviceBufferFrames;
    want.callback = AudioCallback;
    // No changes allowed: SDL converts to whatever the hardware takes, so the
    // mixer always works at 44.1 kHz stereo float.
    g_mix.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (g_mix.device == 0) {
        Log("snd", "no audio device (%s): the show runs silent", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_mix.sdl_audio = false;
        return false;
    }
    g_mix.buffer_frames = have.samples;
    g_mix.stats.device_buffer_frames = have.samples;
    Log("snd", "audio device: %s, %d Hz, buffer %d frames", SDL_GetCurrentAudioDriver(), have.freq, have.samples);
    return true;
}

void ShutdownAtExit() { ShutdownSound(); }

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Sample conversion
// ---------------------------------------------------------------------------

namespace detail {

void ToPcm16(const float* in, int16_t* out, int count) {
    // Clamped to +-1, scaled by 32767, rounded half away from zero by adding
    // a half of the sample's sign and truncating (lrint would be a library
    // call per sample). Eight at a time where SSE2 is there, in the same
    // operations as the scalar loop, so both give the same numbers.
    int i = 0;
#if defined(__SSE2__)
    const __m128 lo = _mm_set1_ps(-1.0f), hi = _mm_set1_ps(1.0f), full = _mm_set1_ps(32767.0f);
    const __m128 sign = _mm_set1_ps(-0.0f), half = _mm_set1_ps(0.5f);
    const auto convert = [&](const float* p) {
        // max first and min second, as std::clamp reads for every number
        // (a NaN would go its own way, but a decoder does not make them).
        const __m128 v = _mm_mul_ps(_mm_min_ps(_mm_max_ps(_mm_loadu_ps(p), lo), hi), full);
        return _mm_cvttps_epi32(_mm_add_ps(v, _mm_or_ps(_mm_and_ps(v, sign), half)));
    };
    for (; i + 8 <= count; i += 8) {
        // The pack saturates, but the clamp has kept every value in range.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(convert(in + i), convert(in + i + 4)));
    }
#endif
    for (; i < count; ++i) {
        const float v = std::clamp(in[i], -1.0f, 1.0f) * 32767.0f;
        out[i] = static_cast<int16_t>(v + std::copysign(0.5f, v));
    }
}

}  // namespace detail

void UseOfflineSound() { g_mix.want_offline = true; }

// ---------------------------------------------------------------------------
// [SECTION] Start and shutdown
// ---------------------------------------------------------------------------

bool InitSound() {
    if (g_mix.output != SoundOutput::kNone) return true;
    if (!g_mix.exit_hook) {
        // Registered after every static object of ours is constructed, so it
        // runs before their destructors: the audio thread is gone first.
        std::atexit(ShutdownAtExit);
        g_mix.exit_hook = true;
    }
    if (g_mix.want_offline) {
        g_mix.output = SoundOutput::kOffline;
        Log("snd", "offline mix: the music clock is the frame clock");
    } else if (OpenDevice()) {
        g_mix.output = SoundOutput::kDevice;
        // A skip keeps the device paused: it would otherwise play (and move
        // the music on) by the wall clock while the show runs ahead of it.
        SDL_PauseAudioDevice(g_mix.device, g_mix.skipping ? 1 : 0);
    } else {
        g_mix.output = SoundOutput::kSilent;
        g_mix.silent_start = SteadySeconds();
    }
    return true;
}

void ShutdownSound() {
    if (g_mix.device) SDL_CloseAudioDevice(g_mix.device);  // waits for a running callback
    if (g_mix.sdl_audio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    std::vector<SoundStream*> streams;
    {
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        streams.swap(g_mix.streams);
        g_mix.device = 0;
        g_mix.sdl_audio = false;
        g_mix.output = SoundOutput::kNone;
        g_mix.want_offline = false;
        g_mix.skipping = false;
        g_mix.volume = g_mix.volume_applied = 1.0f;
        g_mix.mixed = 0;
        std::fill(g_mix.history.begin(), g_mix.history.end(), 0.0f);
        g_mix.callback_counter = 0;
        g_mix.buffer_frames = 0;
        g_mix.stats = SoundStats{};
        std::fill(std::begin(g_mix.spectrum), std::end(g_mix.spectrum), 0.0f);
        g_mix.spectrum_stale = true;
        g_mix.spectrum_heard = 0;
    }
    for (SoundStream* s : streams) detail::CloseDecoder(s);
}

SoundOutput GetSoundOutput() { return g_mix.output; }

// ---------------------------------------------------------------------------
// [SECTION] Streams
// ---------------------------------------------------------------------------

void SetSoundFileCallbacks(const SoundFileCallbacks& callbacks) {
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    g_mix.callbacks = callbacks;
}

SoundStream* OpenSoundStream(const char* name, bool loop) {
    SoundFileCallbacks cb;
    {
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        cb = g_mix.callbacks;
    }
    // Opening reads the whole file once (to check it is all there); the
    // audio thread cannot see the stream yet, so that happens unlocked.
    SoundStream* s = detail::OpenDecoder(cb, name, loop);
    if (!s) return nullptr;
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    g_mix.streams.push_back(s);
    return s;
}

void CloseSoundStream(SoundStream* stream) {
    if (!stream) return;
    {
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        auto it = std::find(g_mix.streams.begin(), g_mix.streams.end(), stream);
        if (it == g_mix.streams.end()) return;  // not ours, or already closed by ShutdownSound
        g_mix.streams.erase(it);
    }
    detail::CloseDecoder(stream);
}

void SetSoundStreamLoopCount(SoundStream* stream, int count) {
    if (!stream) return;
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    detail::SetDecoderLoopCount(stream, count);
}

void PlaySoundStream(SoundStream* stream) {
    if (!stream) return;
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    CatchUpSilentLocked();  // so the stream starts now, not at the last catch-up
    detail::SetDecoderPlaying(stream, true);
    Log("snd", "play at sample %lld", static_cast<long long>(g_mix.mixed));
}

void StopSoundStream(SoundStream* stream) {
    if (!stream) return;
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    CatchUpSilentLocked();
    detail::SetDecoderPlaying(stream, false);
    detail::RewindDecoder(stream);
}

bool IsSoundStreamPlaying(const SoundStream* stream) {
    if (!stream) return false;
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    return detail::DecoderPlaying(stream);
}

int64_t SoundStreamLength(const SoundStream* stream) { return stream ? detail::DecoderLength(stream) : 0; }

// ---------------------------------------------------------------------------
// [SECTION] Volume, frame step and spectrum
// ---------------------------------------------------------------------------

void SetSoundMasterVolume(int volume) {
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    CatchUpSilentLocked();  // what was due before the change keeps the old volume
    g_mix.volume = static_cast<float>(std::clamp(volume, 0, 255)) / 255.0f;
}

void AdvanceSoundFrame() {
    // A device that went away (unplugged, the sound server gone) stops
    // calling back; from then on the music goes on silently from where the
    // device left it. Closing waits for the callback, so not under the lock.
    if (g_mix.output == SoundOutput::kDevice && SDL_GetAudioDeviceStatus(g_mix.device) == SDL_AUDIO_STOPPED) {
        SDL_CloseAudioDevice(g_mix.device);
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        g_mix.device = 0;
        g_mix.output = SoundOutput::kSilent;
        g_mix.silent_start = SteadySeconds() - static_cast<double>(g_mix.mixed) / kSoundRate;
        Log("snd", "the audio device stopped: the show goes on silent");
    }
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    CatchUpSilentLocked();
    g_mix.spectrum_stale = true;
}

const float* GetSoundSpectrum() {
    if (!g_mix.spectrum_stale) return g_mix.spectrum;
    float window[kSpectrumWindow];
    int64_t heard = 0;
    {
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        CatchUpSilentLocked();
        // The window ends at the sample heard; before sample 0 is silence.
        // In the ring it is at most two stretches (when it wraps).
        heard = HeardLocked();
        const int64_t first = heard - kSpectrumWindow;
        const int lead = static_cast<int>(std::clamp<int64_t>(-first, 0, kSpectrumWindow));
        std::fill(window, window + lead, 0.0f);
        const float* hist = g_mix.history.data();
        for (int i = lead; i < kSpectrumWindow;) {
            const int at = static_cast<int>((first + i) & (kHistory - 1));
            const int n = std::min(kSpectrumWindow - i, kHistory - at);
            std::copy(hist + at, hist + at + n, window + i);
            i += n;
        }
    }
    // The transform runs outside the lock: the audio thread waits for
    // nothing but a copy.
    float fresh[kSpectrumBands];
    ComputeSpectrum(window, fresh);
    // The hold: a band rises at once to what it hears and falls back at
    // kSpectrumHold's pace, measured in music time, so the fall is the same
    // at any frame rate and a frame that hears nothing new (no samples
    // mixed since) changes nothing. Pure silence (every band 0) is 0 at
    // once rather than a tail that never quite gets there.
    const double since = static_cast<double>(std::max<int64_t>(heard - g_mix.spectrum_heard, 0)) / kSoundRate;
    const float fall = static_cast<float>(std::exp2(-since / kSpectrumHold));
    const bool silent = std::all_of(fresh, fresh + kSpectrumBands, [](float b) { return b == 0.0f; });
    for (int i = 0; i < kSpectrumBands; ++i) {
        const float held = g_mix.spectrum[i] * fall;
        // Below a millionth a held band is 0: nothing the tower shows, and
        // it keeps denormals out of the next frames' products.
        g_mix.spectrum[i] = silent ? 0.0f : std::max(fresh[i], held >= 1e-6f ? held : 0.0f);
    }
    g_mix.spectrum_heard = heard;
    g_mix.spectrum_stale = false;
    return g_mix.spectrum;
}

// ---------------------------------------------------------------------------
// [SECTION] Offline mixing and statistics
// ---------------------------------------------------------------------------

int64_t SoundSamplesHeard() {
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    CatchUpSilentLocked();
    return HeardLocked();
}

bool MixSoundOffline(int frames, int16_t* out) {
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    if (g_mix.output != SoundOutput::kOffline) return false;
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        MixChunkLocked(g_mix.mix.data(), n);
        detail::ToPcm16(g_mix.mix.data(), out, 2 * n);
        out += 2 * n;
        frames -= n;
    }
    return true;
}

void BeginSoundSkip() {
    {
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        CatchUpSilentLocked();  // what was due before the skip is heard as usual
        g_mix.skipping = true;
    }
    // Pausing waits for a running callback, which takes the mutex: not under it.
    if (g_mix.device) SDL_PauseAudioDevice(g_mix.device, 1);
}

void SkipSound(int64_t frames) {
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    if (g_mix.output == SoundOutput::kNone) return;
    while (frames > 0) {
        const int n = static_cast<int>(std::min<int64_t>(frames, kChunk));
        MixChunkLocked(g_mix.mix.data(), n);
        frames -= n;
    }
}

void EndSoundSkip() {
    {
        std::lock_guard<std::mutex> lock(g_mix.mutex);
        if (!g_mix.skipping) return;
        g_mix.skipping = false;
        // The silent clock goes on from the skip's end, not from where the
        // wall clock has got to meanwhile.
        g_mix.silent_start = SteadySeconds() - static_cast<double>(g_mix.mixed) / kSoundRate;
    }
    if (g_mix.device) SDL_PauseAudioDevice(g_mix.device, 0);
}

SoundStats GetSoundStats() {
    std::lock_guard<std::mutex> lock(g_mix.mutex);
    return g_mix.stats;
}

}  // namespace plat
