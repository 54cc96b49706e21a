#include <windows.h>

#include "platform/text_platform.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

// The thread's code page, not the system's: a thread that switched its locale converts the
// way its other text calls do.
std::string ToThreadAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, out.data(), needed, nullptr, nullptr);
  return out;
}

std::u16string FromThreadAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string out(static_cast<size_t>(needed), u'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), length,
                      reinterpret_cast<wchar_t*>(out.data()), needed);
  return out;
}

}  // namespace

const TextPlatform& NativeTextPlatform() {
  static const TextPlatform& table = *new TextPlatform{&ToThreadAnsi, &FromThreadAnsi};
  return table;
}

}  // namespace fernlite
