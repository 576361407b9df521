// data/music.h - the soundtrack: the MP3 carried as resource 160 of type
// "MUSIC", played as a looping stream straight from the executable's bytes,
// its spectrum, and the master volume the exit screen fades.
//
// The stream reads its bytes through five memory-file callbacks over
// g_pMusicData / g_nMusicSize; each open gets its own MemoryFile record, so
// two opens read independently. The sound layer may call the callbacks from
// its audio thread; they touch only their own record and the two globals,
// which are written before the stream opens and never while it plays.
//
// Lifecycle: InitSound (once, before the device) -> OpenMusic -> PlayMusic
//   -> StopMusic -> CloseMusic. Every call takes a null handle, and a handle
//   whose stream failed to open: playing it does nothing and the show runs
//   silent, with a spectrum of zeros.
#pragma once

#include <cstdint>

#include "platform/sound/sound.h"

// The spectrum's size is the sound layer's; the show names it without the
// namespace.
using plat::kSpectrumBands;

// The music source: set by OpenMusic, read by the memory-file callbacks.
extern const unsigned char* g_pMusicData;
extern int32_t g_nMusicSize;

// One open of the memory file.
struct MemoryFile {
    int32_t m_nSize;      // bytes in the source
    int32_t m_nPosition;  // read position, 0..m_nSize
    const unsigned char* m_pData;
};

// The five callbacks. Handles are MemoryFile addresses.
void* MemoryFileOpen(const char* name);  // name ignored; a record over the globals
void MemoryFileClose(void* handle);
// Copies up to `size` bytes from the position; returns the count (0 at the end).
int MemoryFileRead(void* buffer, int size, void* handle);
// mode 0 from the start, 1 from the position, 2 from the end; any other mode
// leaves the position. The result is clamped to 0..size and returned.
int MemoryFileSeek(void* handle, int pos, signed char mode);
int MemoryFileTell(void* handle);

// The music handle; owns its stream (null when the stream did not open).
class CMusic {
public:
    plat::SoundStream* m_pStream = nullptr;
};

// Starts the sound output (a device, or silence when there is none).
// Always true.
bool InitSound();
// kSpectrumBands (512) bands, 0 to 1, lowest (43 Hz) to highest (22050 Hz),
// of what is heard now; owned by the sound layer and valid during the frame.
const float* GetSpectrum();
// The low 8 bits count: 0 silent .. 255 full.
void SetMasterVolume(int volume);

// A new handle for MUSIC resource `id`, never null; its stream is null when
// the resource is missing or does not decode.
CMusic* OpenMusic(uint32_t id);
// The same from bytes in memory (they must outlive the handle): what
// OpenMusic does once it has found the resource.
CMusic* OpenMusicFromMemory(const unsigned char* data, int32_t size);
// With loop, repeats without end; without, the stream's default count.
void PlayMusic(CMusic* music, bool loop);
// Stops and rewinds.
void StopMusic(CMusic* music);
// Closes the stream and frees the handle, also when the stream is null.
void CloseMusic(CMusic* music);
