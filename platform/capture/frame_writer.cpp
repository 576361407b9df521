#include "platform/capture/frame_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/os/log.h"
#include "platform/capture/png_encode.h"

namespace plat {
namespace {

constexpr size_t kMaxQueued = 4;

}  // namespace

FrameWriter::~FrameWriter() { Close(); }

std::string FrameWriter::FrameName(uint64_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(index));
    return name;
}

bool FrameWriter::Open(const std::string& dir, int width, int height, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        if (error) *error = "cannot create the capture directory " + dir + (ec ? " (" + ec.message() + ")" : "");
        return false;
    }
    dir_ = dir;
    width_ = width;
    height_ = height;
    next_index_ = 0;
    closing_ = false;
    first_error_.clear();
    failed_ = false;
    written_ = 0;
    try {
        worker_ = std::thread(&FrameWriter::Run, this);
    } catch (const std::system_error& e) {
        // Out of memory for its stack, or out of threads: nothing can be
        // written. The first is what an address-space limit gives (EAGAIN).
        const int err = e.code().value();
        if (error) {
            *error = std::string(err == EAGAIN || err == ENOMEM ? "out of memory while starting"
                                                                : "cannot start") +
                     " the frame writer's thread (" + std::strerror(err) + ")";
        }
        return false;
    }
    open_ = true;
    return true;
}

std::string FrameWriter::FirstError() {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_error_;
}

void FrameWriter::Fail(const std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!first_error_.empty()) return;
    first_error_ = error;
    failed_ = true;
    LogError("cap", "%s", first_error_.c_str());
}

bool FrameWriter::WriteFile(const std::string& path, const std::vector<uint8_t>& png) {
    const std::string part = path + ".part";
    FILE* f = std::fopen(part.c_str(), "wb");
    if (!f) {
        Fail("cannot create " + part + ": " + std::strerror(errno));
        return false;
    }
    // fwrite may keep the failure in its buffer until fclose: both checked,
    // and errno read right after the call that failed.
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    int err = ok ? 0 : errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        std::remove(part.c_str());
        Fail("cannot write " + path + ": " + std::strerror(err ? err : EIO));
        return false;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        err = errno;
        std::remove(part.c_str());
        Fail("cannot rename " + part + " to " + path + ": " + std::strerror(err));
        return false;
    }
    return true;
}

void FrameWriter::Write(std::vector<uint8_t> rgb) {
    if (!open_) return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    queue_.push_back(Job{next_index_++, std::move(rgb)});
    changed_.notify_all();
}

bool FrameWriter::Close() {
    if (!open_) return first_error_.empty();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    worker_.join();
    open_ = false;
    return first_error_.empty();
}

void FrameWriter::Run() {
    std::vector<uint8_t> png;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
        }
        // After a failure the rest are dropped: a frame written after a
        // lost one would sit under the lost one's successor's number.
        if (failed_) continue;
        png.clear();
        const std::string path = dir_ + "/" + FrameName(job.index);
        if (job.rgb.size() != static_cast<size_t>(width_) * height_ * 3) {
            Fail("frame " + std::to_string(job.index) + " has the wrong size; not written to " + path);
            continue;
        }
        if (!EncodePng(job.rgb.data(), width_, height_, &png)) {
            Fail("out of memory while encoding " + path);
            continue;
        }
        if (WriteFile(path, png)) ++written_;
    }
}

}  // namespace plat
