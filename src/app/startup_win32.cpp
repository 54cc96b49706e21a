#include <windows.h>
#include <objbase.h>
#include <gdiplus.h>

#include "app/startup.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

ULONG_PTR g_gdiplus_token = 0;

}  // namespace

bool StartPlatformServices() {
  // Failure leaves the browser controls without COM; start-up goes on regardless.
  CoInitialize(nullptr);
  // A system without the drawing library gets the JPG skin instead of failing to start.
  HMODULE probe = LoadLibraryW(L"Gdiplus.dll");
  if (!probe) return false;
  FreeLibrary(probe);
  Gdiplus::GdiplusStartupInput input;
  return Gdiplus::GdiplusStartup(&g_gdiplus_token, &input, nullptr) == Gdiplus::Ok;
}

void StopPlatformServices(bool drawing_started) {
  if (drawing_started) Gdiplus::GdiplusShutdown(g_gdiplus_token);
  g_gdiplus_token = 0;
  CoUninitialize();
}

std::intptr_t HoldMarkerFile(const std::u16string& path) {
  HANDLE file =
      CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(file);
}

void ReleaseMarkerFile(std::intptr_t handle) {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace fernlite
