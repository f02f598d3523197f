#include "core/ordered_executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tesk_privacy::core {
namespace {

// Work of uneven length, so that later items often finish first.
int slow_square(int& x) {
  std::this_thread::sleep_for(std::chrono::microseconds((x * 7919) % 300));
  return x * x;
}

TEST(OrderedExecutor, ConsumesInSubmissionOrderWithinTheWindow) {
  for (size_t threads : {1, 2, 4}) {
    std::vector<int> consumed;
    std::atomic<int> in_flight{0}, most_in_flight{0};
    OrderedExecutor<int, int> run(
        threads,
        [&](int& x) {
          const int now = ++in_flight;
          for (int seen = most_in_flight; now > seen && !most_in_flight.compare_exchange_weak(seen, now);) {
          }
          return slow_square(x);
        },
        [&](int& x, int& square) {
          --in_flight;
          EXPECT_EQ(square, x * x);
          consumed.push_back(x);
        },
        /*max_in_flight=*/6);
    for (int x = 0; x < 200; ++x) run.submit(x);
    run.finish();
    ASSERT_EQ(consumed.size(), 200u) << threads;
    for (int x = 0; x < 200; ++x) ASSERT_EQ(consumed[x], x) << threads;
    EXPECT_LE(most_in_flight.load(), 6) << threads;
  }
}

TEST(OrderedExecutor, OneThreadConsumesAtOnce) {
  std::vector<int> consumed;
  OrderedExecutor<int, int> run(1, slow_square, [&](int& x, int&) { consumed.push_back(x); });
  run.submit(3);
  EXPECT_EQ(consumed, std::vector<int>{3});
}

TEST(OrderedExecutor, AWorkErrorSurfacesAfterEveryEarlierItem) {
  for (size_t threads : {1, 3}) {
    std::vector<int> consumed;
    auto attempt = [&] {
      OrderedExecutor<int, int> run(
          threads,
          [](int& x) {
            if (x == 17) throw std::runtime_error("item 17");
            return slow_square(x);
          },
          [&](int& x, int&) { consumed.push_back(x); });
      for (int x = 0; x < 40; ++x) run.submit(x);
      run.finish();
    };
    EXPECT_THROW(
        {
          try {
            attempt();
          } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "item 17");
            throw;
          }
        },
        std::runtime_error);
    ASSERT_EQ(consumed.size(), 17u) << threads;
    for (int x = 0; x < 17; ++x) EXPECT_EQ(consumed[x], x);
    consumed.clear();
  }
}

TEST(OrderedExecutor, AConsumerErrorStopsTheRunAndTheThreads) {
  std::atomic<int> worked{0};
  auto attempt = [&] {
    OrderedExecutor<int, int> run(
        2,
        [&](int& x) {
          ++worked;
          return x;
        },
        [](int& x, int&) {
          if (x == 5) throw std::logic_error("consumer");
        },
        4);
    for (int x = 0; x < 1000; ++x) run.submit(x);
    run.finish();
  };
  EXPECT_THROW(attempt(), std::logic_error);
  EXPECT_LT(worked.load(), 20);  // the window stopped submission early
}

}  // namespace
}  // namespace tesk_privacy::core
