// The reporting thread: queued event reports go out one after the other, in queue order, while
// the thread that queued them goes on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "net/report.h"

namespace fernlite {

class ReportQueue {
 public:
  ReportQueue() = default;
  // Stops the thread after the report it is sending and drops the rest. Only for queues whose
  // fetches end; the process-wide queue is never destroyed (QueueReport).
  ~ReportQueue();
  ReportQueue(const ReportQueue&) = delete;
  ReportQueue& operator=(const ReportQueue&) = delete;

  // Appends one event with the values already read; returns at once. The thread is made with
  // the first event, so a queue that never gets one costs nothing.
  void Queue(std::u16string event, ReportContext context);
  // Waits until every queued event has been sent or `bound` has passed, whichever comes first.
  // True when nothing is left to send.
  bool Drain(std::chrono::milliseconds bound);
  bool ThreadStarted() const;

 private:
  struct Queued {
    std::u16string event;
    ReportContext context;
  };
  void Run();

  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable idle_;
  std::deque<Queued> waiting_;
  bool sending_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace fernlite
