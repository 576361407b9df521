// platform/frame_writer.h - writes captured frames as numbered PNG files.
//
// Offers: Open(dir) creates the directory (and its parents); Write(rgb)
// hands one frame (RGB8, rows top first) to a worker thread that encodes it
// as DIR/frame_NNNNNN.png, numbered from 000000 in the order written; Close
// waits for every queued frame. The queue holds a few frames: when encoding
// is slower than rendering, Write waits, so memory stays bounded.
//
// Lifecycle: Open -> Write* -> Close (also done by the destructor).
// Does not: encode video (see the capture code in app/), or read anything back.
#pragma once

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
    const std::string& FirstError() const { return first_error_; }
    static std::string FrameName(uint64_t index);

private:
    struct Job {
        uint64_t index;
        std::vector<uint8_t> rgb;
    };
    void Run();

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
};

}  // namespace plat
