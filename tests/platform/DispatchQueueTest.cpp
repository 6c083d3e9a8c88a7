#include "platform/DispatchQueue.h"

#include <gtest/gtest.h>

#include <atomic>
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
