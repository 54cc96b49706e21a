#include "app/delete_file_worker.h"

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "platform/files.h"

namespace fernlite {

bool RunDeleteAttempts(const std::u16string& path,
                       const std::function<bool(const std::u16string&)>& try_delete,
                       const std::function<void(int ms)>& sleep) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    bool deleted = false;
    try {
      deleted = try_delete(path);
    } catch (...) {
      deleted = false;
    }
    if (deleted) return true;
    sleep(kDeleteRetryMs);
  }
  return false;
}

void StartDeleteFileWorker(std::u16string path) {
  try {
    std::thread([owned = std::move(path)] {
      try {
        RunDeleteAttempts(
            owned, [](const std::u16string& p) { return RemoveFile(p); },
            [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
      } catch (...) {
        // Nothing may escape a detached thread: it would end the process.
      }
    }).detach();
  } catch (const std::exception&) {
    // No thread: the file stays, which is no worse than a failed deletion.
  }
}

}  // namespace fernlite
