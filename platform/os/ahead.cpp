#include "platform/os/ahead.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace plat {
namespace {

class Worker {
public:
    ~Worker() { Finish(); }

    void Add(std::function<void()> job) {
        std::unique_lock<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        if (running_) return;
        // The last worker ended with its queue; a new one takes this one.
        if (thread_.joinable()) thread_.join();
        try {
            thread_ = std::thread([this] { Run(); });
            running_ = true;
        } catch (const std::system_error&) {
            // No thread to be had: the job runs here, now.
            std::function<void()> now = std::move(jobs_.back());
            jobs_.pop_back();
            lock.unlock();
            now();
        }
    }

    void Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return !running_; });
        if (thread_.joinable()) thread_.join();
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!jobs_.empty()) {
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
        running_ = false;
        idle_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    std::thread thread_;
    bool running_ = false;
};

// Made at the first job, after the libraries the jobs use have made their
// own statics, so it is destroyed (and the worker joined) before them.
Worker& TheWorker() {
    static Worker worker;
    return worker;
}

}  // namespace

void RunAhead(std::function<void()> job) { TheWorker().Add(std::move(job)); }

void FinishAhead() { TheWorker().Finish(); }

}  // namespace plat
