// Background deletion of a file that may still be in use for a moment (the downloaded copy
// that has just started its installed twin).
#pragma once

#include <functional>
#include <string>

namespace fernlite {

inline constexpr int kDeleteAttempts = 10;
inline constexpr int kDeleteRetryMs = 200;

// Starts a detached thread that owns `path` and deletes the file with retries. Returns at once;
// nothing is reported, and a thread that cannot be started is given up silently.
void StartDeleteFileWorker(std::u16string path);

// The retry loop: up to kDeleteAttempts calls of try_delete, sleeping kDeleteRetryMs after
// every failed one (the last included), stopping at the first success. An exception thrown by
// an attempt counts as a failure. True when the file was deleted.
bool RunDeleteAttempts(const std::u16string& path,
                       const std::function<bool(const std::u16string&)>& try_delete,
                       const std::function<void(int ms)>& sleep);

}  // namespace fernlite
