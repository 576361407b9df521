// platform/capture/frame_writer.h - writes captured frames as numbered PNG files.
//
// Offers: Open(dir) creates the directory (and its parents); Write(rgb)
// hands one frame (RGB8, rows top first) to a worker thread that encodes it
// as DIR/frame_NNNNNN.png, numbered from 000000 in the order written; Close
// waits for every queued frame. The queue holds a few frames: when encoding
// is slower than rendering, Write waits, so memory stays bounded.
//
// Failures: each frame is written to DIR/frame_NNNNNN.png.part and renamed
// into place only once it is whole, so a full disk or a killed run never
// leaves a truncated or empty frame under a frame's name. The first failure
// (with the OS's reason) stops the writer: later frames are dropped, so the
// frames on disk always run 000000..N-1 without a gap. Failed() tells the
// caller at once, from any thread, so it can stop rendering.
//
// Lifecycle: Open -> Write* -> Close (also done by the destructor).
// Does not: encode video (see the capture code in app/), or read anything back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plat {

class FrameWriter {
public:
    FrameWriter() = default;
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    bool Open(const std::string& dir, int width, int height, std::string* error);
    void Write(std::vector<uint8_t> rgb);
    // Waits for the queue to drain; false if any file could not be written.
    bool Close();

    uint64_t FramesQueued() const { return next_index_; }
    // Frames whole on disk so far.
    uint64_t FramesWritten() const { return written_.load(); }
    bool Failed() const { return failed_.load(); }
    // Read after Close, or once Failed() is true.
    std::string FirstError();
    static std::string FrameName(uint64_t index);

private:
    struct Job {
        uint64_t index;
        std::vector<uint8_t> rgb;
    };
    void Run();
    bool WriteFile(const std::string& path, const std::vector<uint8_t>& png);
    void Fail(const std::string& error);

    std::string dir_;
    int width_ = 0, height_ = 0;
    uint64_t next_index_ = 0;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    bool closing_ = false;
    bool open_ = false;
    std::string first_error_;
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> written_{0};
};

}  // namespace plat
