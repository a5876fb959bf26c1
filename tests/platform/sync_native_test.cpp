// The operating system's locks behind the kernel's mutex: timed waits,
// ownership and recursion.
#include "platform/sync_native.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/errors.h"

TEST(Mutex, TimedWaitsAndOwnership) {
  auto mutex = platform::CreateMutex(false);
  ASSERT_TRUE(mutex->Lock(FBL_MutexNative::kInfinite));
  EXPECT_TRUE(mutex->Lock(0));  // its owner may take it again
  std::atomic<int> seen{-1};
  std::thread other([&] {
    seen = mutex->Lock(0) ? 1 : 0;  // held elsewhere: false at once
    try {
      mutex->Unlock();  // not the owner
      seen = 2;
    } catch (const xFBL_Exception& e) {
      if (e.Code != 307) seen = 3;
    }
  });
  other.join();
  EXPECT_EQ(seen, 0);
  mutex->Unlock();
  mutex->Unlock();
  EXPECT_THROW(mutex->Unlock(), xFBL_Exception);  // no longer held

  std::thread later([&] {
    seen = mutex->Lock(1000) ? 1 : 0;
    mutex->Unlock();
  });
  later.join();
  EXPECT_EQ(seen, 1);
}

TEST(Mutex, SerialisesThreads) {
  auto mutex = platform::CreateMutex(false);
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        mutex->Lock(FBL_MutexNative::kInfinite);
        ++counter;
        mutex->Unlock();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}
