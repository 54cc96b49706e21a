// The background upgrade check of the running launcher.
#pragma once

#include <functional>

namespace fernlite {

struct UpgradeEnvironment;

bool StartUpgradeWorker();           /* starts the worker thread */
void StopUpgradeWorker(int wait_ms); /* signals stop, waits up to wait_ms, then abandons */

// The same worker with parts of its environment replaced by `adjust` (tests). The stop-aware
// `wait` and `stopped` are already in place when `adjust` runs. False when a worker is already
// running or the thread could not be created.
bool StartUpgradeWorker(const std::function<void(UpgradeEnvironment&)>& adjust);
// True while a started worker has not yet ended.
bool UpgradeWorkerRunning();

}  // namespace fernlite
