#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace fernlite {
namespace {

TEST(IdleMessages, OnlyPointerMovesPaintsAndTheSystemTimerAreNotIdleMessages) {
  EXPECT_FALSE(IsIdleMessage(0x0200));  // WM_MOUSEMOVE
  EXPECT_FALSE(IsIdleMessage(0x00A0));  // WM_NCMOUSEMOVE
  EXPECT_FALSE(IsIdleMessage(0x000F));  // WM_PAINT
  EXPECT_FALSE(IsIdleMessage(0x0118));  // the caret's system timer
  // Their neighbours and the other pointer and timer messages are ordinary.
  for (unsigned message : {0x0000u, 0x0001u, 0x000Eu, 0x0010u, 0x0100u, 0x0113u, 0x0117u, 0x0119u,
                           0x009Fu, 0x00A1u, 0x01FFu, 0x0201u, 0x02A1u, 0x0400u, 0x8000u}) {
    EXPECT_TRUE(IsIdleMessage(message)) << std::hex << message;
  }
}

TEST(IdleSchedule, DueAtStartThenAgainOnlyAfterAnIdleMessage) {
  IdleSchedule idle;
  EXPECT_TRUE(idle.Due());
  idle.Ran();
  EXPECT_FALSE(idle.Due());
  for (unsigned quiet : {0x0200u, 0x00A0u, 0x000Fu, 0x0118u}) {
    idle.AfterMessage(quiet);
    EXPECT_FALSE(idle.Due()) << std::hex << quiet;
  }
  idle.AfterMessage(0x0100);  // a key press
  EXPECT_TRUE(idle.Due());
  // A quiet message after a real one does not take the pending run back.
  idle.AfterMessage(0x0200);
  EXPECT_TRUE(idle.Due());
  idle.Ran();
  EXPECT_FALSE(idle.Due());
}

struct Named {
  std::string name;
};

TEST(HandlerList, RefusesNullAndDuplicatesAndWalksBothWays) {
  HandlerList<Named> list;
  Named a{"a"}, b{"b"}, c{"c"};
  EXPECT_FALSE(list.Add(nullptr));
  EXPECT_TRUE(list.Add(&a));
  EXPECT_TRUE(list.Add(&b));
  EXPECT_FALSE(list.Add(&a));
  EXPECT_TRUE(list.Add(&c));
  EXPECT_EQ(list.Size(), 3u);

  std::string order;
  list.ForEach([&](Named* n) { order += n->name; });
  EXPECT_EQ(order, "abc");

  order.clear();
  EXPECT_TRUE(list.AnyFromLast([&](Named* n) {
    order += n->name;
    return n == &b;  // b takes it: a is never asked
  }));
  EXPECT_EQ(order, "cb");
  order.clear();
  EXPECT_FALSE(list.AnyFromLast([&](Named* n) {
    order += n->name;
    return false;
  }));
  EXPECT_EQ(order, "cba");

  EXPECT_TRUE(list.Remove(&b));
  EXPECT_FALSE(list.Remove(&b));
  EXPECT_FALSE(list.Remove(nullptr));
  EXPECT_FALSE(list.Contains(&b));
  EXPECT_EQ(list.Size(), 2u);
}

TEST(HandlerList, ChangesMadeWhileWalkingNeverReachAHandlerThatWasRemoved) {
  HandlerList<Named> list;
  Named a{"a"}, b{"b"}, c{"c"}, d{"d"};
  list.Add(&a);
  list.Add(&b);
  list.Add(&c);

  // c removes itself and a (not yet visited from the back); d is added meanwhile.
  std::string order;
  EXPECT_FALSE(list.AnyFromLast([&](Named* n) {
    order += n->name;
    if (n == &c) {
      list.Remove(&c);
      list.Remove(&a);
      list.Add(&d);
    }
    return false;
  }));
  EXPECT_EQ(order, "cb");
  EXPECT_EQ(list.Size(), 2u);

  // b removes itself and d during a forward walk; d was added after b, so it is skipped.
  order.clear();
  list.ForEach([&](Named* n) {
    order += n->name;
    if (n == &b) {
      list.Remove(&b);
      list.Remove(&d);
      list.Add(&a);
    }
  });
  EXPECT_EQ(order, "b");
  order.clear();
  list.ForEach([&](Named* n) { order += n->name; });
  EXPECT_EQ(order, "a");

  // Removed and added again within one walk: called once, from the next walk on.
  order.clear();
  list.ForEach([&](Named* n) {
    order += n->name;
    list.Remove(&a);
    list.Add(&a);
  });
  EXPECT_EQ(order, "a");
  EXPECT_EQ(list.Size(), 1u);
}

struct FakeLoop {
  int runs = 0;
};

TEST(LoopRegistry, OneLoopPerThreadVisibleFromEveryThread) {
  LoopRegistry<FakeLoop, std::thread::id> registry;
  const std::thread::id main = std::this_thread::get_id();
  FakeLoop* mine = registry.Add(main);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(registry.Add(main), nullptr);  // one per thread
  EXPECT_EQ(registry.Find(main), mine);

  FakeLoop* theirs = nullptr;
  FakeLoop* seen_from_worker = nullptr;
  std::thread::id worker_id;
  std::thread worker([&] {
    worker_id = std::this_thread::get_id();
    theirs = registry.Add(worker_id);
    seen_from_worker = registry.Find(main);
  });
  worker.join();
  ASSERT_NE(theirs, nullptr);
  EXPECT_NE(theirs, mine);
  EXPECT_EQ(seen_from_worker, mine);
  EXPECT_EQ(registry.Find(worker_id), theirs);

  EXPECT_TRUE(registry.Remove(main));
  EXPECT_FALSE(registry.Remove(main));
  EXPECT_EQ(registry.Find(main), nullptr);
  EXPECT_EQ(registry.Find(worker_id), theirs);
  // A thread may have a loop again after its last one went.
  EXPECT_NE(registry.Add(main), nullptr);
  registry.Clear();
  EXPECT_EQ(registry.Find(main), nullptr);
  EXPECT_EQ(registry.Find(worker_id), nullptr);
}

TEST(LoopRegistry, ThreadsRegisteringAtOnceEachGetTheirOwn) {
  LoopRegistry<FakeLoop, int> registry;
  constexpr int kThreads = 8;
  std::vector<FakeLoop*> made(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 200; ++round) {
        FakeLoop* loop = registry.Add(i);
        if (!loop || registry.Find(i) != loop) return;
        ++loop->runs;
        if (round + 1 < 200) {
          registry.Remove(i);
        } else {
          made[i] = loop;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_NE(made[i], nullptr) << i;
    EXPECT_EQ(registry.Find(i), made[i]);
  }
}

}  // namespace
}  // namespace fernlite
