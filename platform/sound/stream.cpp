// MP3 streams: libmpg123 reading through the caller's five file callbacks.
//
// Gapless decoding removes the encoder's delay and padding (LAME records
// both in its Info frame), so sample 0 of the decoded track is the first
// sample that was encoded and the last one is the last: looping is a seek to
// sample 0 when the decoder reports the end, and the loop has no seam.
#include <mpg123.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/os/log.h"
#include "platform/sound/internal.h"

namespace plat {

struct SoundStream {
    SoundFileCallbacks cb;
    void* file = nullptr;  // what cb.open returned; null once closed
    mpg123_handle* mh = nullptr;
    int channels = 2;
    int64_t length = 0;    // sample frames in one pass
    bool playing = false;
    int loops_left = 0;    // -1: without end
    // A pass that ends before yielding a single sample (a decoder error at
    // the start) must not be looped, or the mixer would spin on it.
    bool produced_since_rewind = false;
    bool reported_error = false;
    std::vector<float> pcm;  // decoded, in the stream's own channel count
    size_t pcm_pos = 0, pcm_len = 0;  // in floats
};

namespace {

// mpg123_read fills the buffer it is given, decoding as many MPEG frames
// (1152 samples a channel) as that takes. Four frames a call: the device's
// callback wakes every 23 ms to caches that other work has cooled, and
// decoding four frames on one wake-up rather than one or two costs a fifth
// less CPU over time (SDL's dummy driver: 30 us against 37 us a callback on
// average), for a longer callback now and then (four frames' decoding,
// about 0.1 ms of the 23). Reading frame by frame out of mpg123's own
// buffer (mpg123_decode_frame) saves a copy offline but, one frame a wake-up,
// costs the callback more than the copy.
constexpr size_t kPcmFloats = 1152 * 2 * 4;

bool g_mpg123_ready = false;

bool EnsureMpg123() {
    if (!g_mpg123_ready) g_mpg123_ready = mpg123_init() == MPG123_OK;
    return g_mpg123_ready;
}

// --- mpg123's reader, mapped onto the five callbacks ---------------------

mpg123_ssize_t ReadThunk(void* io, void* buffer, size_t count) {
    auto* s = static_cast<SoundStream*>(io);
    if (!s->file) return -1;
    int n = s->cb.read(buffer, static_cast<int>(std::min<size_t>(count, INT_MAX)), s->file);
    return n < 0 ? -1 : n;
}

off_t SeekThunk(void* io, off_t offset, int whence) {
    auto* s = static_cast<SoundStream*>(io);
    if (!s->file) return -1;
    // The callbacks speak 32-bit positions; nothing we embed comes near that.
    offset = std::clamp<off_t>(offset, INT_MIN, INT_MAX);
    signed char mode = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? 1 : 2;
    s->cb.seek(s->file, static_cast<int>(offset), mode);
    // mpg123 wants the new position; ask tell rather than trusting seek's
    // return value, which old callback sets used for a status instead.
    return s->cb.tell(s->file);
}

void CleanupThunk(void* io) {
    auto* s = static_cast<SoundStream*>(io);
    if (s->file) s->cb.close(s->file);
    s->file = nullptr;
}

void FreeStream(SoundStream* s) {
    if (s->mh) {
        mpg123_close(s->mh);  // runs CleanupThunk when the handle was opened
        mpg123_delete(s->mh);
    }
    CleanupThunk(s);
    delete s;
}

mpg123_handle* NewDecoder() {
    if (!EnsureMpg123()) return nullptr;
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return nullptr;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    // Float output at our rate only: anything else fails at open, which is
    // better than playing at the wrong speed.
    mpg123_format_none(mh);
    mpg123_format(mh, kSoundRate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    return mh;
}

// After the first frame has been read: a file cut short still decodes from
// the start, so compare the frame count LAME wrote in its Info frame with
// the frames actually there. (Without an Info frame there is nothing to
// compare against, and the stream is taken as it is.)
bool IsTruncated(mpg123_handle* mh) {
    long delay = -1;
    double unused = 0;
    mpg123_getstate(mh, MPG123_ENC_DELAY, &delay, &unused);
    const off_t declared = mpg123_framelength(mh);
    if (mpg123_scan(mh) != MPG123_OK) return true;
    const off_t present = mpg123_framelength(mh);
    return delay >= 0 && present < declared;
}

}  // namespace

namespace detail {

SoundStream* OpenDecoder(const SoundFileCallbacks& callbacks, const char* name, bool loop) {
    if (!callbacks.open || !callbacks.close || !callbacks.read || !callbacks.seek || !callbacks.tell) {
        Log("snd", "open stream: the file callbacks are not installed");
        return nullptr;
    }
    auto* s = new SoundStream;
    s->cb = callbacks;
    s->loops_left = loop ? -1 : 0;
    s->file = callbacks.open(name);
    if (!s->file) {
        Log("snd", "open stream: the open callback refused");
        FreeStream(s);
        return nullptr;
    }
    s->mh = NewDecoder();
    if (!s->mh) {
        Log("snd", "open stream: cannot create an MP3 decoder");
        FreeStream(s);
        return nullptr;
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_replace_reader_handle(s->mh, ReadThunk, SeekThunk, CleanupThunk) != MPG123_OK ||
        mpg123_open_handle(s->mh, s) != MPG123_OK ||
        mpg123_getformat(s->mh, &rate, &channels, &encoding) != MPG123_OK) {
        Log("snd", "open stream: not MPEG audio at %d Hz (%s)", kSoundRate, mpg123_strerror(s->mh));
        FreeStream(s);
        return nullptr;
    }
    if (IsTruncated(s->mh)) {
        Log("snd", "open stream: the data ends before the last frame its header announces");
        FreeStream(s);
        return nullptr;
    }
    s->channels = channels;
    s->length = mpg123_length(s->mh);
    if (s->length <= 0 || mpg123_seek(s->mh, 0, SEEK_SET) < 0) {
        Log("snd", "open stream: no samples to play");
        FreeStream(s);
        return nullptr;
    }
    s->pcm.resize(kPcmFloats);
    Log("snd", "opened stream: %lld samples (%.2f s), %d channel(s)", static_cast<long long>(s->length),
        static_cast<double>(s->length) / kSoundRate, channels);
    return s;
}

void CloseDecoder(SoundStream* stream) {
    if (stream) FreeStream(stream);
}

void RewindDecoder(SoundStream* s) {
    mpg123_seek(s->mh, 0, SEEK_SET);
    s->pcm_pos = s->pcm_len = 0;
    s->produced_since_rewind = false;
}

int DecodeFrames(SoundStream* s, float* out, int frames) {
    int done = 0;
    int idle = 0;  // decode calls in a row that gave nothing
    while (done < frames && s->playing) {
        if (s->pcm_pos < s->pcm_len) {
            const int have = static_cast<int>((s->pcm_len - s->pcm_pos) / s->channels);
            const int n = std::min(have, frames - done);
            const float* src = s->pcm.data() + s->pcm_pos;
            float* dst = out + 2 * done;
            if (s->channels == 2) {
                std::memcpy(dst, src, sizeof(float) * 2 * n);
            } else {
                for (int i = 0; i < n; ++i) dst[2 * i] = dst[2 * i + 1] = src[i];
            }
            s->pcm_pos += static_cast<size_t>(n) * s->channels;
            done += n;
            continue;
        }
        size_t bytes = 0;
        const int r = mpg123_read(s->mh, s->pcm.data(), s->pcm.size() * sizeof(float), &bytes);
        s->pcm_pos = 0;
        s->pcm_len = bytes / sizeof(float);
        if (s->pcm_len > 0) {
            s->produced_since_rewind = true;
            idle = 0;
            continue;
        }
        if ((r == MPG123_OK || r == MPG123_NEW_FORMAT) && ++idle < 64) continue;
        if (r != MPG123_DONE && !s->reported_error) {
            Log("snd", "stream: decoding stopped (%s)", mpg123_strerror(s->mh));
            s->reported_error = true;
        }
        // End of the pass: go round again, or stop where a later Play restarts.
        const bool again = s->loops_left != 0 && s->produced_since_rewind;
        RewindDecoder(s);
        if (again) {
            if (s->loops_left > 0) --s->loops_left;
        } else {
            s->playing = false;
        }
    }
    return done;
}

void SetDecoderPlaying(SoundStream* s, bool playing) { s->playing = playing; }
bool DecoderPlaying(const SoundStream* s) { return s->playing; }
void SetDecoderLoopCount(SoundStream* s, int count) { s->loops_left = count < 0 ? -1 : count; }
int64_t DecoderLength(const SoundStream* s) { return s->length; }

}  // namespace detail

// --- the reference decoder ------------------------------------------------

namespace {

struct MemoryReader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

mpg123_ssize_t MemRead(void* io, void* buffer, size_t count) {
    auto* m = static_cast<MemoryReader*>(io);
    const size_t n = std::min(count, m->size - m->pos);
    // An empty input may come with a null pointer: nothing to copy from it.
    if (n > 0) std::memcpy(buffer, m->data + m->pos, n);
    m->pos += n;
    return static_cast<mpg123_ssize_t>(n);
}

off_t MemSeek(void* io, off_t offset, int whence) {
    auto* m = static_cast<MemoryReader*>(io);
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<off_t>(m->pos)
                                                                   : static_cast<off_t>(m->size);
    const off_t to = base + offset;
    if (to < 0 || to > static_cast<off_t>(m->size)) return -1;
    m->pos = static_cast<size_t>(to);
    return to;
}

}  // namespace

int64_t DecodeMp3(const void* data, size_t size, std::vector<float>* stereo) {
    if (stereo) stereo->clear();
    mpg123_handle* mh = NewDecoder();
    if (!mh) return -1;
    MemoryReader reader{static_cast<const unsigned char*>(data), size, 0};
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_replace_reader_handle(mh, MemRead, MemSeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &reader) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK) {
        mpg123_delete(mh);
        return -1;
    }
    if (stereo && mpg123_length(mh) > 0) stereo->reserve(static_cast<size_t>(mpg123_length(mh)) * 2);
    std::vector<float> pcm(kPcmFloats);
    int64_t frames = 0;
    for (;;) {
        size_t bytes = 0;
        const int r = mpg123_read(mh, pcm.data(), pcm.size() * sizeof(float), &bytes);
        const size_t floats = bytes / sizeof(float);
        frames += static_cast<int64_t>(floats / channels);
        if (stereo) {
            if (channels == 2) {
                stereo->insert(stereo->end(), pcm.begin(), pcm.begin() + floats);
            } else {
                for (size_t i = 0; i < floats; ++i) stereo->insert(stereo->end(), 2, pcm[i]);
            }
        }
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return frames > 0 ? frames : -1;
}

}  // namespace plat
