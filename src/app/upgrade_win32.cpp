#include <windows.h>

#include "app/upgrade.h"
#include "app/upgrade_signer.h"
#include "platform/files.h"
#include "platform/wide_win32.h"

namespace fernlite {

bool RenameFileNoReplace(const std::u16string& from, const std::u16string& to) {
  return MoveFileW(W(from), W(to)) != FALSE;
}

std::optional<std::uint64_t> FileSizeOf(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PrepareNewExecutable(const std::u16string&, const std::u16string&) {
  return true;
}

std::optional<std::string> DownloadSignerName(const std::u16string& file, const std::u16string&) {
  return VerifiedSignerName(file, {}, {});  // the signature is inside the file
}

}  // namespace fernlite
