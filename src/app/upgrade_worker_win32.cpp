#include <windows.h>

#include <algorithm>
#include <atomic>

#include "app/upgrade.h"
#include "app/upgrade_worker.h"

namespace fernlite {

namespace {

// Owned by the thread once started; an abandoned thread keeps it (and the event) alive.
struct WorkerContext {
  HANDLE stop_event = nullptr;  // UpgradeStopEvent: manual reset, initially not signalled
  UpgradeEnvironment env;
  std::atomic<bool> finished{false};
};

// Touched by the main thread only.
WorkerContext* g_context = nullptr;
HANDLE g_thread = nullptr;

DWORD WINAPI WorkerMain(void* parameter) {
  auto* context = static_cast<WorkerContext*>(parameter);
  RunUpgradeWorker(context->env);
  context->finished = true;
  return 0;
}

}  // namespace

bool StartUpgradeWorker() {
  return StartUpgradeWorker(nullptr);
}

bool StartUpgradeWorker(const std::function<void(UpgradeEnvironment&)>& adjust) {
  if (g_context) return false;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event) return false;
  auto* context = new WorkerContext;
  context->stop_event = event;
  context->env = PlatformUpgradeEnvironment();
  context->env.wait = [event](std::uint32_t ms) {
    return WaitForSingleObject(event, ms) == WAIT_TIMEOUT;
  };
  context->env.stopped = [event] { return WaitForSingleObject(event, 0) != WAIT_TIMEOUT; };
  if (adjust) adjust(context->env);
  HANDLE thread = CreateThread(nullptr, 0, &WorkerMain, context, 0, nullptr);
  if (!thread) {
    CloseHandle(event);
    delete context;
    return false;
  }
  g_context = context;
  g_thread = thread;
  return true;
}

bool UpgradeWorkerRunning() {
  return g_context && !g_context->finished;
}

void StopUpgradeWorker(int wait_ms) {
  if (!g_context) return;
  SetEvent(g_context->stop_event);
  const DWORD waited = WaitForSingleObject(g_thread, static_cast<DWORD>(std::max(wait_ms, 0)));
  CloseHandle(g_thread);
  if (waited == WAIT_OBJECT_0) {
    CloseHandle(g_context->stop_event);
    delete g_context;
  }
  // Otherwise the worker is left to end on its own (terminating a thread can leave the heap
  // locked); its context stays alive for it and the process does not wait for it.
  g_context = nullptr;
  g_thread = nullptr;
}

}  // namespace fernlite
