// The per-user key-value store: on Windows the registry key HKEY_CURRENT_USER\SOFTWARE\<group>,
// on Linux one file per value in $XDG_CONFIG_HOME/<group>/ (written atomically).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fernlite {

// Longest value text read back, in UTF-16 units: the registry copy is read into a 4096-byte
// buffer, terminator included. A longer stored value reads as a failure.
inline constexpr size_t kStoreValueMaxChars = 4096 / 2 - 1;

std::optional<std::u16string> ReadStoreText(std::u16string_view group, std::u16string_view name);
bool WriteStoreText(std::u16string_view group, std::u16string_view name, std::u16string_view value);
bool DeleteStoreValue(std::u16string_view group, std::u16string_view name);

}  // namespace fernlite
