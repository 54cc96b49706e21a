#include "app/upgrade_worker.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace fernlite {
namespace {

// Shared with the thread, so a thread that is left behind at shutdown still finds it.
struct WorkerState {
  StopSignal stop;
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
};

// Touched by the main thread only.
std::shared_ptr<WorkerState> g_state;
std::thread g_thread;

}  // namespace

bool StartUpgradeWorker(const UpgradeJob& job) {
  if (g_state) return false;
  auto state = std::make_shared<WorkerState>();
  try {
    g_thread = std::thread([state, job] {
      RunUpgradeWorker(job, state->stop);
      std::lock_guard lock(state->mutex);
      state->finished = true;
      state->ended.notify_all();
    });
  } catch (const std::system_error&) {
    return false;
  }
  g_state = std::move(state);
  return true;
}

bool UpgradeWorkerRunning() {
  if (!g_state) return false;
  std::lock_guard lock(g_state->mutex);
  return !g_state->finished;
}

bool StopUpgradeWorker(int wait_ms) {
  if (!g_state) return true;
  g_state->stop.Raise();
  bool finished;
  {
    std::unique_lock lock(g_state->mutex);
    finished = g_state->ended.wait_for(lock, std::chrono::milliseconds(std::max(wait_ms, 0)),
                                       [state = g_state.get()] { return state->finished; });
  }
  // Ending a thread from outside can leave a lock of the runtime held; one that does not end in
  // time is left to finish by itself.
  if (finished) {
    g_thread.join();
  } else {
    g_thread.detach();
  }
  g_state.reset();
  return finished;
}

}  // namespace fernlite
