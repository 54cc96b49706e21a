#include <windows.h>

#include "platform/key_value_store.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

std::u16string KeyPath(std::u16string_view group) {
  return u"SOFTWARE\\" + std::u16string(group);
}

}  // namespace

std::optional<std::u16string> ReadStoreText(std::u16string_view group, std::u16string_view name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(KeyPath(group)), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  wchar_t buffer[4096 / sizeof(wchar_t)];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const std::u16string value_name(name);
  const LONG status =
      RegQueryValueExW(key, W(value_name), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  // ERROR_MORE_DATA (a value longer than the buffer) is a failure like any other.
  if (status != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::nullopt;
  const size_t chars = size / sizeof(wchar_t);
  if (chars == 0 || buffer[chars - 1] != L'\0') return std::nullopt;  // not terminated
  return FromWide(buffer);
}

bool WriteStoreText(std::u16string_view group, std::u16string_view name,
                    std::u16string_view value) {
  HKEY key = nullptr;
  const std::u16string path = KeyPath(group);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS &&
      RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::u16string value_name(name);
  const std::u16string text(value);
  const LONG status =
      RegSetValueExW(key, W(value_name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool DeleteStoreValue(std::u16string_view group, std::u16string_view name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(KeyPath(group)), 0, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::u16string value_name(name);
  const LONG status = RegDeleteValueW(key, W(value_name));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace fernlite
