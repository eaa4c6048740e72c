#include "check/BackgroundJobs.h"

#include <algorithm>

namespace kestrovan {

BackgroundJobs::BackgroundJobs(std::size_t threads, const std::function<void()>& setUp) {
    for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i) {
        threads_.emplace_back([this, setUp] {
            if (setUp) {
                setUp();
            }
            Work();
        });
    }
}

BackgroundJobs::~BackgroundJobs() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void BackgroundJobs::Post(Job job) {
    {
        const std::lock_guard lock(mutex_);
        queued_.push_back(std::move(job));
        ++unfinished_;
    }
    changed_.notify_one();
}

void BackgroundJobs::RunFinished() {
    std::vector<Continuation> finished;
    {
        const std::lock_guard lock(mutex_);
        finished.swap(finished_);
    }
    for (const Continuation& continuation : finished) {
        continuation();
    }
}

void BackgroundJobs::FinishAll() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return unfinished_ == 0; });
    }
    RunFinished();
}

void BackgroundJobs::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (queued_.empty()) {
            return; // stopping, and nothing left
        }
        Job job = std::move(queued_.front());
        queued_.pop_front();
        lock.unlock();
        Continuation continuation = job();
        job = nullptr; // what the job held (a page) goes now, not when the owner runs the rest
        lock.lock();
        finished_.push_back(std::move(continuation));
        --unfinished_;
        changed_.notify_all();
    }
}

} // namespace kestrovan
