#include "platform/message_loop_win32.h"

namespace fernlite {
namespace {

// Never destroyed: a thread that ends after main may still unregister.
LoopRegistry<CMessageLoop, DWORD>& Registry() {
  static auto* registry = new LoopRegistry<CMessageLoop, DWORD>();
  return *registry;
}

}  // namespace

int CMessageLoop::Run() {
  IdleSchedule idle;
  MSG message{};
  for (;;) {
    while (idle.Due() && !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      OnIdle();
      idle.Ran();
    }
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) continue;  // only for a bad window handle, which a null one is not
    if (!got) break;
    const UINT number = message.message;
    if (!PreTranslateMessage(&message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    idle.AfterMessage(number);
  }
  return static_cast<int>(message.wParam);
}

bool CMessageLoop::PreTranslateMessage(MSG* message) {
  return filters_.AnyFromLast(
      [message](CMessageFilter* filter) { return filter->PreTranslateMessage(message) != FALSE; });
}

void CMessageLoop::OnIdle() {
  idle_handlers_.ForEach([](CIdleHandler* handler) { handler->OnIdle(); });
}

void InitWindowModule() {
  Registry();
}

void TermWindowModule() {
  Registry().Clear();
}

CMessageLoop* AddMessageLoop() {
  return Registry().Add(GetCurrentThreadId());
}

bool RemoveMessageLoop() {
  return Registry().Remove(GetCurrentThreadId());
}

CMessageLoop* GetMessageLoop(DWORD thread_id) {
  return Registry().Find(thread_id);
}

}  // namespace fernlite
