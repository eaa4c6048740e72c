#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrovan {

// A few threads for work that must not hold up the transfer loop (reading large pages). Each job
// runs on a worker and returns what is left to do on the owner's thread, which RunFinished runs.
class BackgroundJobs {
public:
    using Continuation = std::function<void()>;
    using Job = std::function<Continuation()>;

    // Each worker first runs setUp (lowering its priority, say).
    BackgroundJobs(std::size_t threads, const std::function<void()>& setUp);
    ~BackgroundJobs();
    BackgroundJobs(const BackgroundJobs&) = delete;
    BackgroundJobs& operator=(const BackgroundJobs&) = delete;

    void Post(Job job);
    // Runs the continuations of the jobs finished so far, on the calling thread.
    void RunFinished();
    // Waits for every job posted, then runs their continuations.
    void FinishAll();

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queued_;
    std::vector<Continuation> finished_;
    std::size_t unfinished_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace kestrovan
