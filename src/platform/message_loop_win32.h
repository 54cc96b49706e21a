// The per-thread message loop of the Windows windows: message filters see every message
// first, idle handlers run when the queue has gone empty, and each thread's loop is
// registered so that a window can find the loop it runs in.
#pragma once

#include <windows.h>

#include "platform/message_loop.h"

namespace fernlite {

class CMessageFilter {
 public:
  virtual ~CMessageFilter() = default;
  // TRUE when the message has been dealt with and must not be translated or dispatched.
  virtual BOOL PreTranslateMessage(MSG* message) = 0;
};

class CIdleHandler {
 public:
  virtual ~CIdleHandler() = default;
  virtual BOOL OnIdle() = 0;
};

class CMessageLoop {
 public:
  // False for a null or an already registered handler; false from Remove when it was not
  // registered. Handlers may register and remove handlers while they are being called.
  bool AddMessageFilter(CMessageFilter* filter) { return filters_.Add(filter); }
  bool RemoveMessageFilter(CMessageFilter* filter) { return filters_.Remove(filter); }
  bool AddIdleHandler(CIdleHandler* handler) { return idle_handlers_.Add(handler); }
  bool RemoveIdleHandler(CIdleHandler* handler) { return idle_handlers_.Remove(handler); }

  // Runs until WM_QUIT and returns its exit code.
  int Run();

  // The filters, the last registered first, until one takes the message.
  bool PreTranslateMessage(MSG* message);
  void OnIdle();

 private:
  HandlerList<CMessageFilter> filters_;
  HandlerList<CIdleHandler> idle_handlers_;
};

// The window module: the registry of the threads' loops.
void InitWindowModule();
// Destroys every registered loop; none may be running.
void TermWindowModule();

// Makes a loop and registers it for the calling thread; null when the thread has one already.
CMessageLoop* AddMessageLoop();
// Unregisters and destroys the calling thread's loop (not while it runs); false when it had
// none.
bool RemoveMessageLoop();
// The loop registered for the thread; null when there is none.
CMessageLoop* GetMessageLoop(DWORD thread_id = GetCurrentThreadId());

}  // namespace fernlite
