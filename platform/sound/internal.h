// platform/sound/internal.h - the MP3 decoder behind a SoundStream, shared by
// the mixer (mixer.cpp) and the decoder (stream.cpp), and the
// mixer's conversion to 16 bits. Not for use outside platform/sound*.cpp and
// their tests.
//
// None of these functions lock: the mixer calls them with its mutex held, or
// on a stream that the audio thread cannot see yet (open) or any more (close).
#pragma once

#include "platform/sound/sound.h"

namespace plat::detail {

// Opens a decoder on `name` through `callbacks`; null (after one log line)
// when the data cannot be played. See OpenSoundStream.
SoundStream* OpenDecoder(const SoundFileCallbacks& callbacks, const char* name, bool loop);
void CloseDecoder(SoundStream* stream);

// Writes up to `frames` stereo frames of the playing stream to `out`
// (interleaved), looping as its loop count says. Returns the frames written;
// fewer than asked only when the stream has ended, which also clears its
// playing flag and rewinds it.
int DecodeFrames(SoundStream* stream, float* out, int frames);

void RewindDecoder(SoundStream* stream);
void SetDecoderPlaying(SoundStream* stream, bool playing);
bool DecoderPlaying(const SoundStream* stream);
void SetDecoderLoopCount(SoundStream* stream, int count);
int64_t DecoderLength(const SoundStream* stream);

// The offline mix's samples as 16 bits: each of `count` floats clamped to
// -1..1, times 32767, rounded half away from zero.
void ToPcm16(const float* in, int16_t* out, int count);

}  // namespace plat::detail
