#include "identity/user_data.h"

#include "app/run_settings.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// Far beyond anything a page stores; keeps a corrupt or hostile file from exhausting memory.
constexpr size_t kMaxUserDataBytes = 64u << 20;

}  // namespace

std::u16string UserDataPath() {
  return PathAppend(PathDirectory(GetModulePath()), Settings().GameCode + u"_udata.udat");
}

bool WriteUserDataAt(const std::u16string& path, std::u16string_view text) {
  return WriteFileAtomic(path, ToAnsi(text));
}

bool WriteUserData(std::u16string_view text) {
  return WriteUserDataAt(UserDataPath(), text);
}

std::u16string ReadUserDataAt(const std::u16string& path) {
  auto bytes = ReadFileCreateIfMissing(path, kMaxUserDataBytes);
  if (!bytes) return {};
  const auto end = bytes->find('\0');
  return FromAnsi(std::string_view(*bytes).substr(0, end));
}

std::u16string ReadUserData() {
  return ReadUserDataAt(UserDataPath());
}

bool DeleteStaleFile(const std::u16string& path, const EventReporter& report) {
  if (!FileExists(path)) return true;
  if (RemoveFile(path) && report) report(u"46");
  return false;
}

}  // namespace fernlite
