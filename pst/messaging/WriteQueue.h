// An ordered queue of writes to one store, run on a thread of its own once started, so that
// building an item's pages, checksums and file writes overlap with reading the next item.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvelle::pst::messaging {

class WriteQueue {
  public:
    // Room for a few thousand items (a few MB): the caller runs on while a commit is written.
    // Capacity counts the jobs' weights (Push).
    explicit WriteQueue(std::size_t capacity = 4096) : capacity_(capacity) {}
    ~WriteQueue();
    WriteQueue(const WriteQueue&) = delete;
    WriteQueue& operator=(const WriteQueue&) = delete;

    // Until started, Push runs each job at once on the caller's thread and its exception reaches
    // the caller as it is.
    void Start();
    bool Started() const { return thread_.joinable(); }

    // Queues a job (waits while the queue is full). Jobs are handed to the thread in batches;
    // an `urgent` one (a commit) is handed over at once. Once a job has failed, the jobs after
    // it are dropped and every Push and Wait throws that job's exception again. A job holding
    // more than an item's worth of data weighs more, so the queue's memory stays bounded.
    void Push(std::function<void()> job, bool urgent = false, std::size_t weight = 1);
    // Returns when every queued job has run; throws as Push does.
    void Wait();
    // Wait, then end the thread; later pushes run at once again.
    void Stop();

  private:
    void Run();
    void ThrowIfFailed();
    void WakeWriter();

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable work_;  // the thread waits here for jobs
    std::condition_variable room_;  // callers wait here for room or for the queue to empty
    std::deque<std::function<void()>> jobs_;
    std::size_t queuedWeight_ = 0;  // of jobs_
    bool busy_ = false;             // the thread is running a batch
    bool writerWaiting_ = false;
    int callersWaiting_ = 0;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace tarvelle::pst::messaging
