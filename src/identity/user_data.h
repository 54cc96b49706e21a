// The per-game user data text beside the executable, and removal of left-over files.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace fernlite {

// Directory of the running program + GameCode + "_udata.udat".
std::u16string UserDataPath();

// Stores the text as ANSI bytes, no terminator or framing. True when every byte was written.
// The file is replaced atomically so a failed write never loses the earlier text.
bool WriteUserData(std::u16string_view text);
bool WriteUserDataAt(const std::u16string& path, std::u16string_view text);

// The stored text up to its first zero byte; empty when the file cannot be opened. A missing
// file is created empty.
std::u16string ReadUserData();
std::u16string ReadUserDataAt(const std::u16string& path);

// Sends one event code to the collectors.
using EventReporter = std::function<void(std::u16string_view event)>;

// True when nothing existed at the path. Otherwise deletes it, reports "46" when the deletion
// succeeded, and returns false either way.
bool DeleteStaleFile(const std::u16string& path, const EventReporter& report);

}  // namespace fernlite
