#include "pst/messaging/WriteQueue.h"

namespace tarvelle::pst::messaging {

namespace {
// The writer is woken once this many jobs wait (or when someone waits for it), not for every
// job: a wake-up costs more than a small job, and the jobs are many and small.
constexpr std::size_t kWakeBatch = 32;
}  // namespace

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

void WriteQueue::WakeWriter() {
    if (writerWaiting_) work_.notify_one();
}

void WriteQueue::Push(std::function<void()> job, bool urgent, std::size_t weight) {
    if (!Started()) {
        job();
        return;
    }
    std::unique_lock lock(mutex_);
    if (!failure_ && queuedWeight_ >= capacity_) {
        WakeWriter();
        ++callersWaiting_;
        room_.wait(lock, [&] { return failure_ || queuedWeight_ < capacity_; });
        --callersWaiting_;
    }
    ThrowIfFailed();
    jobs_.push_back(std::move(job));
    queuedWeight_ += weight == 0 ? 1 : weight;
    if (urgent || jobs_.size() >= kWakeBatch) WakeWriter();
}

void WriteQueue::Wait() {
    if (!Started()) return;
    std::unique_lock lock(mutex_);
    WakeWriter();
    ++callersWaiting_;
    room_.wait(lock, [&] { return failure_ || (jobs_.empty() && !busy_); });
    --callersWaiting_;
    ThrowIfFailed();
}

void WriteQueue::Stop() {
    if (!Started()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        work_.notify_one();
    }
    thread_.join();
    ThrowIfFailed();
}

void WriteQueue::Run() {
    std::deque<std::function<void()>> batch;
    std::unique_lock lock(mutex_);
    while (true) {
        if (jobs_.empty() && !stopping_) {
            writerWaiting_ = true;
            work_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            writerWaiting_ = false;
        }
        if (jobs_.empty()) return;  // stopping, and everything queued has run
        // Everything queued is taken at once; the callers may queue more meanwhile.
        batch.swap(jobs_);
        queuedWeight_ = 0;
        busy_ = true;
        if (callersWaiting_ > 0) room_.notify_all();
        lock.unlock();
        std::exception_ptr failed;
        try {
            while (!batch.empty()) {
                batch.front()();
                batch.pop_front();  // its captured data is released outside the lock
            }
        } catch (...) {
            failed = std::current_exception();
            batch.clear();
        }
        lock.lock();
        busy_ = false;
        if (failed && !failure_) failure_ = failed;
        if (failure_) {
            jobs_.clear();
            queuedWeight_ = 0;
        }
        if (callersWaiting_ > 0) room_.notify_all();
    }
}

}  // namespace tarvelle::pst::messaging
