#include "serve/thread_pool.h"

#include <chrono>

#include "serve/memory.h"

namespace tesk_privacy::cli {

ThreadPool::ThreadPool(size_t threads) {
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() { shutdown(); }

void ThreadPool::enqueue(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    jobs_.push_back(std::move(job));
  }
  ready_.notify_one();
}

void ThreadPool::shutdown() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
}

void ThreadPool::work() {
  bool cached = false;  // ran a job since the cache was last handed back
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto has_work = [&] { return !jobs_.empty() || stopping_; };
      if (!ready_.wait_for(lock, std::chrono::seconds(1), has_work)) {
        if (cached) {
          lock.unlock();
          release_thread_cache();
          cached = false;
        }
        continue;
      }
      if (jobs_.empty()) return;  // stopping, nothing left
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
    cached = true;
  }
}

}  // namespace tesk_privacy::cli
