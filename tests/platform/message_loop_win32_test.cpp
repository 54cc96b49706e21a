#include "platform/message_loop_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace fernlite {
namespace {

constexpr UINT kSwallowed = WM_APP + 1;
constexpr UINT kPassed = WM_APP + 2;

// Ends a loop that has gone wrong instead of hanging the test.
class Watchdog {
 public:
  explicit Watchdog(DWORD milliseconds = 5000) : thread_id_(GetCurrentThreadId()) {
    thread_ = std::thread([this, milliseconds] {
      for (DWORD waited = 0; waited < milliseconds && !done_; waited += 10) Sleep(10);
      if (!done_) PostThreadMessageW(thread_id_, WM_QUIT, 99, 0);
    });
  }
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  DWORD thread_id_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class MessageLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowModule();
    loop_ = AddMessageLoop();
    ASSERT_NE(loop_, nullptr);
  }
  void TearDown() override { RemoveMessageLoop(); }

  CMessageLoop* loop_ = nullptr;
};

std::vector<std::string>* g_log = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_log) {
    if (message == kSwallowed || message == kPassed) {
      g_log->push_back("window " + std::to_string(message - WM_APP));
    } else if (message == WM_CHAR) {
      g_log->push_back(std::string("window char ") + static_cast<char>(wparam));
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class NamedFilter : public CMessageFilter {
 public:
  NamedFilter(std::string name, UINT takes) : name_(std::move(name)), takes_(takes) {}
  BOOL PreTranslateMessage(MSG* message) override {
    if (message->message == kSwallowed || message->message == kPassed) {
      g_log->push_back(name_ + " " + std::to_string(message->message - WM_APP));
    } else if (message->message == WM_KEYDOWN) {
      g_log->push_back(name_ + " key");
    }
    return message->message == takes_ ? TRUE : FALSE;
  }

 private:
  std::string name_;
  UINT takes_;
};

TEST_F(MessageLoopTest,
       FiltersSeeEveryMessageFirstAndWhatOneTakesIsNeitherTranslatedNorDispatched) {
  std::vector<std::string> log;
  g_log = &log;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = RecordingProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"FernliteLoopTestWindow";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  NamedFilter first("first", 0);
  NamedFilter last("last", kSwallowed);
  ASSERT_TRUE(loop_->AddMessageFilter(&first));
  ASSERT_TRUE(loop_->AddMessageFilter(&last));
  EXPECT_FALSE(loop_->AddMessageFilter(&last));

  PostMessageW(window, kSwallowed, 0, 0);
  PostMessageW(window, kPassed, 0, 0);
  // A key the filters let through is translated into a character for the window.
  PostMessageW(window, WM_KEYDOWN, 'A', 1);
  PostQuitMessage(5);
  {
    Watchdog watchdog;
    EXPECT_EQ(loop_->Run(), 5);
  }

  const std::vector<std::string> expected = {"last 1",   "last 2",    "first 2",      "window 2",
                                             "last key", "first key", "window char a"};
  EXPECT_EQ(log, expected);

  // A filter that takes keys keeps the character from being made.
  log.clear();
  NamedFilter keys("keys", WM_KEYDOWN);
  ASSERT_TRUE(loop_->AddMessageFilter(&keys));
  EXPECT_TRUE(loop_->RemoveMessageFilter(&last));
  EXPECT_FALSE(loop_->RemoveMessageFilter(&last));
  PostMessageW(window, WM_KEYDOWN, 'B', 1);
  PostMessageW(window, kSwallowed, 0, 0);
  PostQuitMessage(6);
  {
    Watchdog watchdog;
    EXPECT_EQ(loop_->Run(), 6);
  }
  const std::vector<std::string> taken = {"keys key", "keys 1", "first 1", "window 1"};
  EXPECT_EQ(log, taken);

  loop_->RemoveMessageFilter(&keys);
  loop_->RemoveMessageFilter(&first);
  DestroyWindow(window);
  UnregisterClassW(window_class.lpszClassName, window_class.hInstance);
  g_log = nullptr;
}

// Posts one message at a time from its idle run and, through a one-shot thread timer, notes
// how often idle handlers ran before the queue was next woken: a message after which idle
// handlers must not run leaves the count where the posting run left it.
class IdleScript : public CIdleHandler, public CMessageFilter {
 public:
  explicit IdleScript(std::vector<UINT> script) : script_(std::move(script)) {}

  BOOL OnIdle() override {
    ++idle_runs;
    if (waiting_) return FALSE;
    if (step_ == script_.size()) {
      PostQuitMessage(9);
      return FALSE;
    }
    PostThreadMessageW(GetCurrentThreadId(), script_[step_++], 0, 0);
    timer_ = SetTimer(nullptr, 0, 40, nullptr);
    waiting_ = true;
    return FALSE;
  }

  BOOL PreTranslateMessage(MSG* message) override {
    if (message->message != WM_TIMER || message->hwnd || message->wParam != timer_) return FALSE;
    KillTimer(nullptr, timer_);
    runs_when_woken.push_back(idle_runs);
    waiting_ = false;
    return TRUE;
  }

  int idle_runs = 0;
  std::vector<int> runs_when_woken;

 private:
  std::vector<UINT> script_;
  size_t step_ = 0;
  bool waiting_ = false;
  UINT_PTR timer_ = 0;
};

TEST_F(MessageLoopTest,
       IdleHandlersRunAgainAfterRealMessagesButNotAfterMovesPaintsOrTheCaretTimer) {
  IdleScript script({WM_MOUSEMOVE, WM_NCMOUSEMOVE, WM_PAINT, 0x0118, WM_APP, WM_KEYUP});
  ASSERT_TRUE(loop_->AddIdleHandler(&script));
  ASSERT_TRUE(loop_->AddMessageFilter(&script));
  {
    Watchdog watchdog;
    EXPECT_EQ(loop_->Run(), 9);
  }
  // Runs 1 to 4 posted the quiet messages: nothing ran until the timer woke the queue. Run 5
  // posted WM_APP, after which run 6 came before the timer; run 7 posted WM_KEYUP (run 8
  // before its timer); run 9 ended the loop.
  EXPECT_EQ(script.runs_when_woken, (std::vector<int>{1, 2, 3, 4, 6, 8}));
  EXPECT_EQ(script.idle_runs, 9);
  EXPECT_TRUE(loop_->RemoveIdleHandler(&script));
  EXPECT_FALSE(loop_->RemoveIdleHandler(&script));
  loop_->RemoveMessageFilter(&script);
}

class CountingIdle : public CIdleHandler {
 public:
  BOOL OnIdle() override {
    ++runs;
    if (runs == 1) PostQuitMessage(3);
    return TRUE;  // asking for more changes nothing: one run per idle period
  }
  int runs = 0;
};

TEST_F(MessageLoopTest, IdleHandlersRunInOrderOncePerIdlePeriod) {
  CountingIdle a, b;
  loop_->AddIdleHandler(&a);
  loop_->AddIdleHandler(&b);
  {
    Watchdog watchdog;
    EXPECT_EQ(loop_->Run(), 3);
  }
  EXPECT_EQ(a.runs, 1);
  EXPECT_EQ(b.runs, 1);
  loop_->RemoveIdleHandler(&a);
  loop_->RemoveIdleHandler(&b);
}

TEST(MessageLoopRegistry, EachThreadHasItsOwnLoopAndEveryThreadCanFindIt) {
  InitWindowModule();
  const DWORD main_thread = GetCurrentThreadId();
  ASSERT_EQ(GetMessageLoop(), nullptr);
  CMessageLoop* main_loop = AddMessageLoop();
  ASSERT_NE(main_loop, nullptr);
  EXPECT_EQ(AddMessageLoop(), nullptr);  // one per thread
  EXPECT_EQ(GetMessageLoop(), main_loop);

  DWORD worker_thread = 0;
  CMessageLoop* before = reinterpret_cast<CMessageLoop*>(1);
  CMessageLoop* worker_loop = nullptr;
  CMessageLoop* found_main = nullptr;
  int worker_result = 0;
  std::thread worker([&] {
    worker_thread = GetCurrentThreadId();
    before = GetMessageLoop();
    worker_loop = AddMessageLoop();
    found_main = GetMessageLoop(main_thread);
    // The worker's loop runs on the worker's queue: its quit does not reach the main thread.
    PostQuitMessage(21);
    if (worker_loop) worker_result = worker_loop->Run();
  });
  worker.join();
  EXPECT_EQ(before, nullptr);
  ASSERT_NE(worker_loop, nullptr);
  EXPECT_NE(worker_loop, main_loop);
  EXPECT_EQ(found_main, main_loop);
  EXPECT_EQ(worker_result, 21);
  EXPECT_EQ(GetMessageLoop(worker_thread), worker_loop);
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));

  EXPECT_TRUE(RemoveMessageLoop());
  EXPECT_FALSE(RemoveMessageLoop());
  EXPECT_EQ(GetMessageLoop(), nullptr);
  EXPECT_EQ(GetMessageLoop(worker_thread), worker_loop);  // a thread's loop stays its own
  TermWindowModule();
  EXPECT_EQ(GetMessageLoop(worker_thread), nullptr);
}

}  // namespace
}  // namespace fernlite
