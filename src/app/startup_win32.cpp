#include <windows.h>
#include <objbase.h>

#include "app/startup_platform.h"
#include "platform/wide_win32.h"
#include "skin/gdiplus_win32.h"

namespace fernlite {
namespace {

bool StartServices() {
  // Failure leaves the browser controls without COM; start-up goes on regardless.
  CoInitialize(nullptr);
  // A system without the drawing library gets the JPG skin instead of failing to start.
  HMODULE probe = LoadLibraryW(L"Gdiplus.dll");
  if (!probe) return false;
  FreeLibrary(probe);
  return StartGdiplus();
}

void StopServices(bool drawing_started) {
  if (drawing_started) StopGdiplus();
  CoUninitialize();
}

std::intptr_t HoldMarker(const std::u16string& path) {
  HANDLE file =
      CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(file);
}

void ReleaseMarker(std::intptr_t handle) {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace

const StartupPlatform& NativeStartupPlatform() {
  static const StartupPlatform& table =
      *new StartupPlatform{&StartServices, &StopServices, &HoldMarker, &ReleaseMarker};
  return table;
}

}  // namespace fernlite
