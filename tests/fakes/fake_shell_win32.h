// The shell's desktop windows, made by a test: progman → SHELLDLL_DefView → SysListView32 (or
// the same under an untitled WorkerW), on a thread of their own whose list view answers
// accessibility requests with the test's icons, from this process or any other.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fernlite::test {

struct DesktopIcon {
  std::wstring name;
  RECT rect;
};

class FakeShell {
 public:
  enum class Tree { kProgman, kWorkerW };
  explicit FakeShell(Tree tree = Tree::kProgman, std::vector<DesktopIcon> icons = {});
  ~FakeShell();
  FakeShell(const FakeShell&) = delete;
  FakeShell& operator=(const FakeShell&) = delete;

  HWND list() const { return list_; }
  void SetIcons(std::vector<DesktopIcon> icons);
  void AddIcon(DesktopIcon icon);
  void MoveIcon(const std::wstring& name, RECT rect);
  void RemoveIcon(const std::wstring& name);

  // For the list view's accessible object.
  std::vector<DesktopIcon> Icons() const;

 private:
  void Run(Tree tree, HANDLE ready);

  mutable std::mutex mutex_;
  std::vector<DesktopIcon> icons_;
  std::thread thread_;
  DWORD thread_id_ = 0;
  std::vector<HWND> windows_;
  HWND list_ = nullptr;
};

// The desktop icon bubble's window (of this or another process) once it is visible; null when
// it did not show within the time.
HWND WaitForBubbleWindow(DWORD ms);

}  // namespace fernlite::test
