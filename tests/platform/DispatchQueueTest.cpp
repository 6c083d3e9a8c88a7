#include "platform/DispatchQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using platform::DispatchQueue;

TEST(DispatchQueue, SerialQueueRunsWorkInOrderOnItsOwnThread) {
  std::mutex mutex;
  std::vector<int> order;
  std::thread::id workerThread;
  {
    DispatchQueue queue("com.vantory.test");
    for (int i = 0; i < 100; ++i) {
      queue.async([&, i] {
        std::lock_guard lock(mutex);
        order.push_back(i);
        workerThread = std::this_thread::get_id();
      });
    }
  }  // the destructor lets queued work finish
  ASSERT_EQ(order.size(), 100U);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  }
  EXPECT_NE(workerThread, std::this_thread::get_id());
}

TEST(DispatchQueue, MainQueueRunsWorkFromOtherThreadsOnTheDrainingThreadInOrder) {
  DispatchQueue& main = DispatchQueue::main();
  main.drain();
  std::atomic<int> wakes{0};
  main.setWakeHandler([&] { ++wakes; });

  std::vector<int> order;
  std::vector<std::thread::id> threads;
  std::thread producer([&] {
    for (int i = 0; i < 50; ++i) {
      main.async([&, i] {
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
  });
  producer.join();
  EXPECT_EQ(wakes.load(), 50);
  EXPECT_TRUE(order.empty()) << "nothing runs until the owner drains";

  EXPECT_TRUE(main.runUntil([&] { return order.size() == 50; }));
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(threads[static_cast<std::size_t>(i)], std::this_thread::get_id());
  }
  main.setWakeHandler({});
}

TEST(DispatchQueue, RunUntilGivesUpAfterTheTimeoutAndWorkQueuedByWorkRunsLater) {
  DispatchQueue& main = DispatchQueue::main();
  main.drain();
  EXPECT_FALSE(main.runUntil([] { return false; }, std::chrono::milliseconds(30)));

  std::vector<std::string> steps;
  main.async([&] {
    steps.emplace_back("outer");
    main.async([&] { steps.emplace_back("inner"); });
    steps.emplace_back("outer done");
  });
  EXPECT_EQ(main.drain(), 2U);
  EXPECT_EQ(steps, (std::vector<std::string>{"outer", "outer done", "inner"}));
}

// Many threads post while the owner drains, once by waiting on the queue and
// once by sleeping until the wake handler calls, as a toolkit's event loop
// does: every piece of work runs once, on the owner's thread, and no wake-up
// is missed (a missed one leaves work queued and the owner waiting).
TEST(DispatchQueue, ManyThreadsPostingWhileTheOwnerDrainsLoseNothingAndRunNothingTwice) {
  constexpr int kThreads = 8;
  constexpr int kEach = 2000;
  DispatchQueue& main = DispatchQueue::main();
  main.drain();
  for (const bool sleepUntilWoken : {false, true}) {
    std::mutex mutex;
    std::condition_variable woken;
    bool wakePending = false;
    main.setWakeHandler([&] {
      std::lock_guard lock(mutex);
      wakePending = true;
      woken.notify_one();
    });
    std::vector<int> runs(kThreads * kEach, 0);  // touched on the owner's thread only
    int ran = 0;
    const auto owner = std::this_thread::get_id();
    bool offOwner = false;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
      producers.emplace_back([&, t] {
        for (int i = 0; i < kEach; ++i) {
          main.async([&, n = t * kEach + i] {
            ++runs[static_cast<std::size_t>(n)];
            ++ran;
            offOwner = offOwner || std::this_thread::get_id() != owner;
          });
        }
      });
    }
    const auto done = [&] { return ran == kThreads * kEach; };
    if (sleepUntilWoken) {
      while (!done()) {
        std::unique_lock lock(mutex);
        if (!woken.wait_for(lock, std::chrono::seconds(10), [&] { return wakePending; })) {
          break;
        }
        wakePending = false;
        lock.unlock();
        main.drain();
      }
    } else {
      main.runUntil(done, std::chrono::seconds(10));
    }
    for (auto& producer : producers) {
      producer.join();
    }
    main.setWakeHandler({});
    EXPECT_EQ(ran, kThreads * kEach) << (sleepUntilWoken ? "woken" : "waiting");
    EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), kThreads * kEach);
    EXPECT_FALSE(offOwner);
  }
}
