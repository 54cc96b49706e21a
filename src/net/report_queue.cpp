#include "net/report_queue.h"

#include <system_error>
#include <utility>

namespace fernlite {

ReportQueue::~ReportQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ReportQueue::Queue(std::u16string event, ReportContext context) {
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back({std::move(event), std::move(context)});
    if (thread_.joinable()) {
      queued_.notify_one();
      return;
    }
    try {
      thread_ = std::thread([this] { Run(); });
      return;
    } catch (const std::system_error&) {
      // No thread to be had: this report goes out here and now rather than not at all. Nothing
      // else can be waiting, since every earlier one went the same way.
    }
  }
  Queued report;
  {
    std::lock_guard lock(mutex_);
    report = std::move(waiting_.back());
    waiting_.pop_back();
  }
  SendReport(report.event, std::move(report.context));
}

bool ReportQueue::Drain(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, bound, [this] { return waiting_.empty() && !sending_; });
}

bool ReportQueue::ThreadStarted() const {
  std::lock_guard lock(mutex_);
  return thread_.joinable();
}

void ReportQueue::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) return;
    {
      // Marked as sending before the lock goes, so a drain never sees an empty queue while a
      // report is still on its way.
      Queued report = std::move(waiting_.front());
      waiting_.pop_front();
      sending_ = true;
      lock.unlock();
      try {
        SendReport(report.event, std::move(report.context));
      } catch (...) {
        // A report that cannot be made is dropped like a failed one.
      }
    }
    lock.lock();
    sending_ = false;
    if (waiting_.empty()) idle_.notify_all();
  }
}

}  // namespace fernlite
