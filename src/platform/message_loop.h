// What a thread's message loop decides independently of the window system: when its idle
// handlers are due, how its handler lists survive changes made while they are being called,
// and which loop belongs to which thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace fernlite {

// Messages that keep arriving while nothing really happens: pointer moves, paints and the
// caret's system timer. Idle work done once need not be repeated after them.
inline constexpr unsigned kMouseMoveMessage = 0x0200;
inline constexpr unsigned kNonClientMouseMoveMessage = 0x00A0;
inline constexpr unsigned kPaintMessage = 0x000F;
inline constexpr unsigned kSystemTimerMessage = 0x0118;

// True when the idle handlers run again after this message.
bool IsIdleMessage(unsigned message);

// Whether the idle handlers are due: when the loop starts, and after every message that
// IsIdleMessage accepts. Running them settles it until the next such message.
class IdleSchedule {
 public:
  bool Due() const { return due_; }
  void Ran() { due_ = false; }
  void AfterMessage(unsigned message);

 private:
  bool due_ = true;
};

// Handlers in registration order. A handler may add or remove handlers (itself included)
// while the list is being walked: a removed one is not called again, an added one is called
// from the next walk on.
template <class Handler>
class HandlerList {
 public:
  // False for a null handler or one that is already registered.
  bool Add(Handler* handler) {
    if (!handler || Contains(handler)) return false;
    handlers_.push_back(handler);
    return true;
  }
  bool Remove(Handler* handler) {
    const auto it = std::find(handlers_.begin(), handlers_.end(), handler);
    if (!handler || it == handlers_.end()) return false;
    if (walking_ > 0) {
      *it = nullptr;  // compacted when the last walk ends
    } else {
      handlers_.erase(it);
    }
    return true;
  }
  bool Contains(Handler* handler) const {
    return handler && std::find(handlers_.begin(), handlers_.end(), handler) != handlers_.end();
  }
  std::size_t Size() const {
    return static_cast<std::size_t>(
        std::count_if(handlers_.begin(), handlers_.end(), [](Handler* h) { return h; }));
  }

  // Calls `take` for the handlers from the last registered to the first until one returns
  // true; returns whether one did.
  template <class Take>
  bool AnyFromLast(Take take) {
    Walk walk(*this);
    for (std::size_t i = handlers_.size(); i-- > 0;) {
      if (i >= handlers_.size()) continue;
      if (Handler* handler = handlers_[i]; handler && take(handler)) return true;
    }
    return false;
  }

  // Calls `call` for every handler in registration order.
  template <class Call>
  void ForEach(Call call) {
    Walk walk(*this);
    const std::size_t count = handlers_.size();
    for (std::size_t i = 0; i < count && i < handlers_.size(); ++i) {
      if (Handler* handler = handlers_[i]) call(handler);
    }
  }

 private:
  class Walk {
   public:
    explicit Walk(HandlerList& list) : list_(list) { ++list_.walking_; }
    ~Walk() {
      if (--list_.walking_ == 0) std::erase(list_.handlers_, nullptr);
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

   private:
    HandlerList& list_;
  };

  std::vector<Handler*> handlers_;
  int walking_ = 0;
};

// One loop per thread, made and owned here, for any thread to look up.
template <class Loop, class ThreadKey>
class LoopRegistry {
 public:
  // The thread's new loop; null when the thread has one already.
  Loop* Add(ThreadKey thread) {
    std::lock_guard lock(mutex_);
    auto [it, added] = loops_.try_emplace(thread);
    if (!added) return nullptr;
    it->second = std::make_unique<Loop>();
    return it->second.get();
  }
  // Destroys the thread's loop; false when it had none.
  bool Remove(ThreadKey thread) {
    std::unique_ptr<Loop> loop;
    {
      std::lock_guard lock(mutex_);
      const auto it = loops_.find(thread);
      if (it == loops_.end()) return false;
      loop = std::move(it->second);
      loops_.erase(it);
    }
    return true;  // destroyed outside the lock
  }
  Loop* Find(ThreadKey thread) const {
    std::lock_guard lock(mutex_);
    const auto it = loops_.find(thread);
    return it == loops_.end() ? nullptr : it->second.get();
  }
  void Clear() {
    std::map<ThreadKey, std::unique_ptr<Loop>> loops;
    {
      std::lock_guard lock(mutex_);
      loops.swap(loops_);
    }
  }

 private:
  mutable std::mutex mutex_;
  std::map<ThreadKey, std::unique_ptr<Loop>> loops_;
};

}  // namespace fernlite
