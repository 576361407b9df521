#include "data/music.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "data/creators.h"
#include "platform/os/log.h"
#include "platform/sound/sound.h"

const unsigned char* g_pMusicData = nullptr;
int32_t g_nMusicSize = 0;

// --- the memory file ---------------------------------------------------------

void* MemoryFileOpen(const char*) {
    auto* file = new (std::nothrow) MemoryFile{};
    if (!file) return nullptr;
    file->m_nSize = g_nMusicSize;
    file->m_nPosition = 0;
    file->m_pData = g_pMusicData;
    return file;
}

void MemoryFileClose(void* handle) { delete static_cast<MemoryFile*>(handle); }

int MemoryFileRead(void* buffer, int size, void* handle) {
    auto* file = static_cast<MemoryFile*>(handle);
    int count = std::max(size, 0);
    // At or past the end, only what is left; in 64 bits so a huge count
    // cannot wrap the sum.
    if (static_cast<int64_t>(file->m_nPosition) + count >= file->m_nSize) count = file->m_nSize - file->m_nPosition;
    if (count <= 0) return 0;
    std::memcpy(buffer, file->m_pData + file->m_nPosition, static_cast<size_t>(count));
    file->m_nPosition += count;
    return count;
}

int MemoryFileSeek(void* handle, int pos, signed char mode) {
    auto* file = static_cast<MemoryFile*>(handle);
    int64_t to = file->m_nPosition;
    if (mode == 0) to = pos;
    else if (mode == 1) to = static_cast<int64_t>(file->m_nPosition) + pos;
    else if (mode == 2) to = static_cast<int64_t>(file->m_nSize) + pos;
    // Past the end stops at the end; before the start stops at the start, so
    // a later read never copies from in front of the data.
    file->m_nPosition = static_cast<int32_t>(std::clamp<int64_t>(to, 0, file->m_nSize));
    return file->m_nPosition;
}

int MemoryFileTell(void* handle) { return static_cast<MemoryFile*>(handle)->m_nPosition; }

// --- the music ---------------------------------------------------------------

bool InitSound() {
    plat::InitSound();
    return true;
}

const float* GetSpectrum() { return plat::GetSoundSpectrum(); }

void SetMasterVolume(int volume) { plat::SetSoundMasterVolume(volume & 0xFF); }

CMusic* OpenMusic(uint32_t id) {
    size_t size = 0;
    const unsigned char* data = LoadResourceBytes(id, RT_MUSIC, &size);
    if (!data || size > INT32_MAX) {
        plat::Log("snd", "music %u: no such resource", id);
        return new CMusic;
    }
    return OpenMusicFromMemory(data, static_cast<int32_t>(size));
}

CMusic* OpenMusicFromMemory(const unsigned char* data, int32_t size) {
    auto* music = new CMusic;
    g_pMusicData = data;
    g_nMusicSize = std::max(size, 0);
    plat::SoundFileCallbacks callbacks;
    callbacks.open = MemoryFileOpen;
    callbacks.close = MemoryFileClose;
    callbacks.read = MemoryFileRead;
    callbacks.seek = MemoryFileSeek;
    callbacks.tell = MemoryFileTell;
    plat::SetSoundFileCallbacks(callbacks);
    // The old library took a file name; the callbacks ignore it, so the
    // data's address stands in for one.
    music->m_pStream = plat::OpenSoundStream(reinterpret_cast<const char*>(data), true);
    return music;
}

void PlayMusic(CMusic* music, bool loop) {
    if (!music || !music->m_pStream) return;
    if (loop) plat::SetSoundStreamLoopCount(music->m_pStream, -1);
    plat::PlaySoundStream(music->m_pStream);
}

void StopMusic(CMusic* music) {
    if (music && music->m_pStream) plat::StopSoundStream(music->m_pStream);
}

void CloseMusic(CMusic* music) {
    if (!music) return;
    if (music->m_pStream) plat::CloseSoundStream(music->m_pStream);
    delete music;
}
