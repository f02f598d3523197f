// The request threads of the service: cpp-httplib's task queue, with one
// addition. A thread that has been idle for a second hands the memory its
// allocator caches for it back to the shared pool (release_thread_cache),
// so that after a burst of sessions the freed memory can go back to the
// system even on threads that serve nothing more.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tesk_privacy::cli {

class ThreadPool : public httplib::TaskQueue {
 public:
  explicit ThreadPool(size_t threads);
  ~ThreadPool() override;

  void enqueue(std::function<void()> job) override;
  // Runs the jobs already queued, then joins the threads.
  void shutdown() override;

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace tesk_privacy::cli
