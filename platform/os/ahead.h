// platform/os/ahead.h - start-up work done on a second core while the main
// thread does what only it can (the video driver, the window, the context).
//
// Offers: RunAhead queues a job for one worker thread, which runs the jobs
// in the order they came and ends when none is left; FinishAhead waits for
// it. A job that needs no device (translating an effect file, decoding a
// picture) can so be done before the device exists, and the main thread
// takes its result through the std::future it was handed.
// Lifecycle: the worker starts with the first job and is joined by
// FinishAhead, or at the latest when the process exits normally, so no job
// is still running while the libraries it uses are torn down.
// Does not: run a job twice, or drop one: when no thread can be started (too
// little memory for its stack), RunAhead runs the job at once, on the
// caller's thread, and its result is as good.
#pragma once

#include <functional>
#include <future>
#include <memory>

namespace plat {

void RunAhead(std::function<void()> job);

// A job with a result: the future is ready once the job has run, and holds
// what the job threw (std::bad_alloc, say), to be thrown again by get().
template <typename T>
std::future<T> RunAheadFor(std::function<T()> work) {
    auto task = std::make_shared<std::packaged_task<T()>>(std::move(work));
    std::future<T> result = task->get_future();
    RunAhead([task] { (*task)(); });
    return result;
}

// Waits until every queued job has run and the worker has ended.
void FinishAhead();

}  // namespace plat
