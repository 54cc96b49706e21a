// The background upgrade check of the running launcher: one worker thread at a time.
#pragma once

#include "app/upgrade.h"

namespace fernlite {

// Starts the worker thread on the job. False when a worker is already running or the thread
// could not be created.
bool StartUpgradeWorker(const UpgradeJob& job = CurrentUpgradeJob());
// Raises the stop signal and waits up to wait_ms for the thread to end; a thread that has not
// ended by then is left to finish on its own (everything it uses stays alive for it). True
// when the thread ended (or none ran).
bool StopUpgradeWorker(int wait_ms);
// True while a started worker has not yet ended.
bool UpgradeWorkerRunning();

}  // namespace fernlite
