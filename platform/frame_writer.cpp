#include "platform/frame_writer.h"

#include <stb_image_write.h>

#include <cstdio>
#include <filesystem>

#include "platform/log.h"

namespace plat {
namespace {

constexpr size_t kMaxQueued = 4;

// Speed over size: a level above 1 costs several times the encoding time for
// a few percent smaller files.
constexpr int kPngCompression = 1;

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    auto* bytes = static_cast<uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

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
    open_ = true;
    worker_ = std::thread(&FrameWriter::Run, this);
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
    stbi_write_png_compression_level = kPngCompression;
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
        png.clear();
        const std::string path = dir_ + "/" + FrameName(job.index);
        bool ok = job.rgb.size() == static_cast<size_t>(width_) * height_ * 3 &&
                  stbi_write_png_to_func(AppendBytes, &png, width_, height_, 3, job.rgb.data(), width_ * 3) != 0;
        if (ok) {
            FILE* f = std::fopen(path.c_str(), "wb");
            ok = f && std::fwrite(png.data(), 1, png.size(), f) == png.size();
            if (f && std::fclose(f) != 0) ok = false;
        }
        if (!ok) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (first_error_.empty()) {
                first_error_ = "cannot write " + path;
                LogError("cap", "%s", first_error_.c_str());
            }
        }
    }
}

}  // namespace plat
