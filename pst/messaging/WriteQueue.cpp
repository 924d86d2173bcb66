#include "pst/messaging/WriteQueue.h"

namespace tarvelle::pst::messaging {

WriteQueue::~WriteQueue() {
    try {
        Stop();
    } catch (...) {
        // A failure was already reported to the caller, or nobody is left to report it to.
    }
}

void WriteQueue::Start() {
    if (Started()) return;
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
}

void WriteQueue::ThrowIfFailed() {
    if (failure_) std::rethrow_exception(failure_);
}

void WriteQueue::Push(std::function<void()> job) {
    if (!Started()) {
        job();
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || jobs_.size() < capacity_; });
    ThrowIfFailed();
    jobs_.push_back(std::move(job));
    changed_.notify_all();
}

void WriteQueue::Wait() {
    if (!Started()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || (jobs_.empty() && !busy_); });
    ThrowIfFailed();
}

void WriteQueue::Stop() {
    if (!Started()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    thread_.join();
    ThrowIfFailed();
}

void WriteQueue::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and everything queued has run
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        changed_.notify_all();  // room for one more
        lock.unlock();
        std::exception_ptr failed;
        try {
            job();
        } catch (...) {
            failed = std::current_exception();
        }
        job = nullptr;  // its captured data is released outside the lock
        lock.lock();
        busy_ = false;
        if (failed && !failure_) failure_ = failed;
        if (failure_) jobs_.clear();
        changed_.notify_all();
    }
}

}  // namespace tarvelle::pst::messaging
