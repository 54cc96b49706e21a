#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/upgrade.h"
#include "app/upgrade_worker.h"
#include "net/http_fetch.h"

namespace fernlite {

namespace {

// Shared with the thread, so a thread that is abandoned at shutdown still finds it.
struct WorkerState {
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool finished = false;
  std::atomic<bool> stop_flag{false};
};

// Touched by the main thread only.
std::shared_ptr<WorkerState> g_state;
std::thread g_thread;

}  // namespace

bool StartUpgradeWorker() {
  return StartUpgradeWorker(nullptr);
}

bool StartUpgradeWorker(const std::function<void(UpgradeEnvironment&)>& adjust) {
  if (g_state) return false;
  auto state = std::make_shared<WorkerState>();
  UpgradeEnvironment env = PlatformUpgradeEnvironment();
  env.wait = [state](std::uint32_t ms) {
    std::unique_lock lock(state->mutex);
    return !state->changed.wait_for(lock, std::chrono::milliseconds(ms),
                                    [&] { return state->stop; });
  };
  env.stopped = [state] { return state->stop_flag.load(); };
  // Downloads watch the same flag, so a stop during a slow transfer ends it promptly.
  env.fetch = [state](const std::u16string& url, const std::u16string& path) {
    FetchTimeouts limits = kDownloadTimeouts;
    limits.cancel = &state->stop_flag;
    return Fetch(url, path, limits);
  };
  if (adjust) adjust(env);
  try {
    g_thread = std::thread([state, env = std::move(env)] {
      RunUpgradeWorker(env);
      std::lock_guard lock(state->mutex);
      state->finished = true;
      state->changed.notify_all();
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

void StopUpgradeWorker(int wait_ms) {
  if (!g_state) return;
  {
    std::lock_guard lock(g_state->mutex);
    g_state->stop = true;
    g_state->stop_flag = true;
  }
  g_state->changed.notify_all();
  bool finished;
  {
    std::unique_lock lock(g_state->mutex);
    finished = g_state->changed.wait_for(lock, std::chrono::milliseconds(std::max(wait_ms, 0)),
                                         [&] { return g_state->finished; });
  }
  // A worker stuck in a transfer is left to end on its own; the process does not wait for it.
  if (finished) {
    g_thread.join();
  } else {
    g_thread.detach();
  }
  g_state.reset();
}

}  // namespace fernlite
