// platform/sound/sound.h - music playback and its spectrum: what the FMOD 3 calls
// gave the show, on SDL2 audio, libmpg123 and KissFFT.
//
// Offers:
//   - an output: an SDL audio device driven by SDL's callback (44.1 kHz,
//     stereo, float). When no device opens, sound runs silent: nothing is
//     heard, but streams are still decoded against the real-time clock, so
//     the music position and the spectrum move as if it were playing. In
//     offline mode (capture) nothing is mixed until MixSoundOffline asks for
//     the next samples, so the music clock is the frame clock.
//   - MP3 streams decoded by libmpg123 through five file callbacks (open,
//     close, read, seek, tell) that the caller installs, gapless, so a looped
//     track has no seam: the decoded loop is the decoded track, end to start.
//   - a master volume 0..255, a gain applied before both the output and the
//     analysis (255 leaves the samples as decoded).
//   - the spectrum: 512 bands from 0 to 1, lowest to highest. Defined as:
//     mono (L+R)/2 after the volume; the 1024 samples that end at the sample
//     being heard; periodic Hann window; real FFT; the analysis
//     a[i] = min(1, 2|X[i+1]| / sum of the window x SpectrumTilt(i)), DC
//     dropped, band 511 at 22050 Hz, so a sine of amplitude a centred on
//     band i reads a x SpectrumTilt(i) there: a in bands 0 to 2, rising by
//     3 dB an octave above. Each band then holds its peaks: band i =
//     max(a[i], its last value x 2^(-t / kSpectrumHold)), t the music time
//     between the two analyses; a window of pure silence reads 0 at once.
//     spectrum.cpp says why this scale. "Being heard": the samples
//     handed to the device minus the device's buffer, moved on by the time
//     since the last callback (offline: the samples mixed so far).
//     Recomputed at most once per AdvanceSoundFrame.
//
// Lifecycle: [UseOfflineSound] -> InitSound -> streams: Open -> Play / Stop
//   (any number of times) -> Close. ShutdownSound closes the device and every
//   stream still open; it also runs at exit, before static destructors, so
//   the audio thread never outlives the state it reads. InitSound after
//   ShutdownSound starts afresh (tests do that).
//
// Threads: the public calls are for the main thread. The device's callback
//   runs on SDL's audio thread, and the file callbacks are called from there
//   too (decoding happens as the device asks for samples); one mutex guards
//   everything the two threads share, held for a block's mix at a time.
//
// Does not: resample (streams must be 44.1 kHz, mono or stereo), play more
//   than a handful of streams at once (every playing stream is mixed), or
//   report errors to the viewer: failures log one "snd:" line and give a null
//   stream or a silent output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat {

inline constexpr int kSoundRate = 44100;     // samples per second per channel
inline constexpr int kSpectrumBands = 512;   // bands returned by GetSoundSpectrum
inline constexpr int kSpectrumWindow = 1024; // samples per analysis
// Half-life of a band's held peak, seconds: a kick (one every 0.48 s in the
// soundtrack) has fallen to a thirtieth by the next, the sixteenth notes of
// the hats (0.12 s) blur into a level that rises and falls with the bar.
inline constexpr double kSpectrumHold = 0.1;

// The five file callbacks every stream reads through, in the shapes of the
// old library's: open returns a handle (null: cannot open); read returns the
// bytes copied; seek's mode is 0 from the start, 1 from the current
// position, 2 from the end; tell returns the position.
struct SoundFileCallbacks {
    void* (*open)(const char* name) = nullptr;
    void (*close)(void* handle) = nullptr;
    int (*read)(void* buffer, int size, void* handle) = nullptr;
    int (*seek)(void* handle, int pos, signed char mode) = nullptr;
    int (*tell)(void* handle) = nullptr;
};

enum class SoundOutput {
    kNone,     // before InitSound
    kDevice,   // an SDL audio device plays the mix
    kSilent,   // no device: mixed against the real-time clock, never heard
    kOffline,  // capture: mixed only by MixSoundOffline
};

// Call before InitSound to mix offline (no device is opened).
void UseOfflineSound();
// Opens the device (or falls back to silent). Always true, as the old call
// was treated; GetSoundOutput says what was obtained.
bool InitSound();
void ShutdownSound();
SoundOutput GetSoundOutput();

// Installed callbacks serve every later OpenSoundStream.
void SetSoundFileCallbacks(const SoundFileCallbacks& callbacks);

struct SoundStream;
// Opens `name` through the callbacks (the name is handed to open as it is)
// and checks that it decodes: null, with a log line, for data that has no
// MPEG audio, is not 44.1 kHz, or is shorter than its own header says
// (a truncated file). A looping stream repeats without end by default.
SoundStream* OpenSoundStream(const char* name, bool loop);
// Stops and frees; the file's close callback runs. Null is ignored.
void CloseSoundStream(SoundStream* stream);
// -1 repeats without end, 0 plays once, n > 0 plays n more times.
void SetSoundStreamLoopCount(SoundStream* stream, int count);
// Plays from where the stream stands (the start, after Open or Stop).
void PlaySoundStream(SoundStream* stream);
// Stops and rewinds to the start.
void StopSoundStream(SoundStream* stream);
bool IsSoundStreamPlaying(const SoundStream* stream);
// Sample frames in one pass of the track (gapless: delay and padding removed).
int64_t SoundStreamLength(const SoundStream* stream);

// 0 silent .. 255 full; other values are clamped.
void SetSoundMasterVolume(int volume);

// Once per frame, before the frame reads the spectrum: moves the silent
// clock on and lets the next GetSoundSpectrum recompute.
void AdvanceSoundFrame();
// 512 bands (see the top of this file), owned here, valid until the next
// AdvanceSoundFrame. Zeros before InitSound and while nothing plays.
const float* GetSoundSpectrum();
// The sample being heard now, counted from InitSound: the music clock.
int64_t SoundSamplesHeard();

// Offline mode only: mixes the next `frames` sample frames into `out`
// (interleaved stereo, 16-bit) and advances the music clock by as much.
// Returns false (out untouched) when sound is not offline.
bool MixSoundOffline(int frames, int16_t* out);

// Skipping ahead (--start in a person's run), so that the music and its
// spectrum reach a point exactly as a capture does. From BeginSoundSkip
// (which may come before InitSound) nothing is output and the music clock
// moves only by SkipSound, which mixes the next `frames` sample frames as if
// they were heard: the history the spectrum is taken from holds them, and
// the hold measures its fall by them. EndSoundSkip gives the output back,
// going on from where the skip left the music. Offline, SkipSound mixes as
// MixSoundOffline does, without handing out the samples.
void BeginSoundSkip();
void SkipSound(int64_t frames);
void EndSoundSkip();

// How busy the device's callback has been since InitSound.
struct SoundStats {
    uint64_t callbacks = 0;
    uint64_t frames = 0;          // sample frames handed to the device
    double callback_seconds = 0;  // time spent inside the callback
    int device_buffer_frames = 0; // the device's buffer, as obtained
};
SoundStats GetSoundStats();

// The analysis alone, without the hold: bands of `samples` (kSpectrumWindow
// mono samples, oldest first) into `bands` (kSpectrumBands). Used by the
// mixer; public so tests can feed it known signals.
void ComputeSpectrum(const float* samples, float* bands);
// The weight of band i against the plain per-band amplitude: 1 for bands
// 0 to 2, sqrt((i + 1) / 3) above.
double SpectrumTilt(int band);

// Decodes a whole MP3 from memory with libmpg123 directly (no callbacks, no
// mixer, gapless), to interleaved stereo floats at 44.1 kHz. The reference
// the tests compare the stream against and the baseline the benchmark
// measures. Returns the sample frames decoded, or -1 for data that does not
// decode; `stereo` may be null to decode and discard (the benchmark's case).
int64_t DecodeMp3(const void* data, size_t size, std::vector<float>* stereo);

}  // namespace plat
