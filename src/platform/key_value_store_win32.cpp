#include <windows.h>

#include "platform/handles_win32.h"
#include "platform/key_value_store.h"
#include "platform/key_value_store_platform.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

std::u16string KeyPath(std::u16string_view group) {
  return u"SOFTWARE\\" + std::u16string(group);
}

std::optional<std::u16string> Read(std::u16string_view group, std::u16string_view name) {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(KeyPath(group)), 0, KEY_READ | KEY_WOW64_64KEY,
                    key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  wchar_t buffer[(kStoreValueMaxChars + 1)];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const std::u16string value_name(name);
  const LONG status = RegQueryValueExW(key.get(), W(value_name), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  // ERROR_MORE_DATA (a value longer than the buffer) is a failure like any other.
  if (status != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::nullopt;
  const size_t chars = size / sizeof(wchar_t);
  if (chars == 0 || buffer[chars - 1] != L'\0') return std::nullopt;  // not terminated
  return FromWide(buffer);
}

bool Write(std::u16string_view group, std::u16string_view name, std::u16string_view value) {
  UniqueRegistryKey key;
  const std::u16string path = KeyPath(group);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, KEY_READ | KEY_WRITE, key.put()) !=
          ERROR_SUCCESS &&
      RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::u16string value_name(name);
  const std::u16string text(value);
  return RegSetValueExW(key.get(), W(value_name), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Remove(std::u16string_view group, std::u16string_view name) {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(KeyPath(group)), 0, KEY_SET_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::u16string value_name(name);
  return RegDeleteValueW(key.get(), W(value_name)) == ERROR_SUCCESS;
}

}  // namespace

const StorePlatform& NativeStorePlatform() {
  static const StorePlatform& table = *new StorePlatform{&Read, &Write, &Remove};
  return table;
}

}  // namespace fernlite
