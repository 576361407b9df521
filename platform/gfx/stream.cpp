// The streaming vertex buffer behind DrawPrimitiveUP: no allocation per draw.
#include <algorithm>
#include <cstring>

#include "platform/gfx/internal.h"
#include "platform/os/log.h"

namespace plat::gfx {
namespace {
constexpr size_t kAlign = 64;  // keeps every attribute of every vertex 4-byte aligned
constexpr size_t kSegmentSize = StreamBuffer::kCapacity / StreamBuffer::kSegments;
}  // namespace

bool StreamBuffer::Init() {
    glCreateBuffers(1, &buffer_);
    const GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    glNamedBufferStorage(buffer_, kCapacity, nullptr, flags);
    mapped_ = static_cast<uint8_t*>(glMapNamedBufferRange(buffer_, 0, kCapacity, flags));
    if (!mapped_) {
        LogError("gfx", "cannot map the streaming vertex buffer");
        return false;
    }
    glCreateBuffers(1, &big_buffer_);
    return true;
}

void StreamBuffer::Shutdown() {
    for (GLsync& f : fences_) {
        if (f) glDeleteSync(f);
        f = nullptr;
    }
    if (buffer_) {
        glUnmapNamedBuffer(buffer_);
        glDeleteBuffers(1, &buffer_);
    }
    if (big_buffer_) glDeleteBuffers(1, &big_buffer_);
    buffer_ = big_buffer_ = 0;
    mapped_ = nullptr;
}

void StreamBuffer::EnterSegment(int segment) {
    // Leaving the current segment: everything drawn from it so far is fenced.
    if (segment_ >= 0) {
        if (fences_[segment_]) glDeleteSync(fences_[segment_]);
        fences_[segment_] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    }
    // Coming back to a segment: wait until the GPU has read what was there.
    if (GLsync f = fences_[segment]) {
        while (glClientWaitSync(f, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull) == GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(f);
        fences_[segment] = nullptr;
    }
    segment_ = segment;
}

size_t StreamBuffer::Write(const void* data, size_t size, size_t align) {
    last_was_big_ = false;
    align = std::max(align, kAlign);
    head_ = (head_ + align - 1) & ~(align - 1);
    size_t aligned = (size + kAlign - 1) & ~(kAlign - 1);
    if (head_ + aligned > kCapacity) head_ = 0;
    int first = static_cast<int>(head_ / kSegmentSize);
    int last = static_cast<int>((head_ + aligned - 1) / kSegmentSize);
    for (int s = first; s <= last; ++s) {
        if (s != segment_) EnterSegment(s);
    }
    size_t offset = head_;
    // Zero bytes may come with a null pointer (an empty constant block).
    if (size > 0) std::memcpy(mapped_ + offset, data, size);
    head_ += aligned;
    return offset;
}

size_t StreamBuffer::WriteBig(const void* data, size_t size) {
    // Re-specifying the store lets the driver hand out fresh memory instead of
    // waiting for the previous draw from it.
    glNamedBufferData(big_buffer_, static_cast<GLsizeiptr>(size), data, GL_STREAM_DRAW);
    last_was_big_ = true;
    return 0;
}

}  // namespace plat::gfx
