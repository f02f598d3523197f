// OrderedExecutor: runs a work function on items in parallel and hands each
// result to a consumer in the order the items were submitted. It is how batch
// calls and the command line use several cores while their output, and
// everything done in order (numbering placeholders, drawing fake values,
// writing), stays exactly what one thread would give.
//
//   OrderedExecutor<std::string, Results> run(
//       threads, [&](std::string& text) { return analyzer.analyze(text); },
//       [&](std::string& text, Results& found) { write(found); });
//   for (std::string& text : texts) run.submit(std::move(text));
//   run.finish();
//
// With one thread no thread is started: submit() runs work and consumer at
// once. Otherwise `threads` threads run: one consumes the results, one item
// at a time in order, as soon as they are ready (even while the caller waits
// for its next item), and works on items itself while the next result is
// not ready; the others only work. At most
// `max_in_flight` items are submitted but not yet consumed; submit() waits
// while the window is full, so memory stays bounded.
//
// An exception thrown by the work function or the consumer ends the run:
// the items after it are dropped, and it is rethrown from the next submit()
// or from finish(), after every earlier item was consumed. After an
// exception the executor must not be used again; destroying it stops the
// threads and drops what was not consumed.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tesk_privacy::core {

template <class In, class Out>
class OrderedExecutor {
 public:
  using Work = std::function<Out(In&)>;
  using Consume = std::function<void(In&, Out&)>;

  OrderedExecutor(size_t threads, Work work, Consume consume, size_t max_in_flight = 0)
      : work_(std::move(work)),
        consume_(std::move(consume)),
        max_in_flight_(max_in_flight > 0 ? max_in_flight : 16 * std::max<size_t>(threads, 1)) {
    if (threads <= 1) return;
    workers_.reserve(threads);
    for (size_t i = 1; i < threads; ++i) workers_.emplace_back([this] { run_worker(); });
    workers_.emplace_back([this] { run_consumer(); });
  }
  ~OrderedExecutor() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
    }
    wake_everyone();
    for (std::thread& t : workers_) t.join();
  }
  OrderedExecutor(const OrderedExecutor&) = delete;
  OrderedExecutor& operator=(const OrderedExecutor&) = delete;

  void submit(In item) {
    if (workers_.empty()) {
      Out out = work_(item);
      consume_(item, out);
      return;
    }
    auto slot = std::make_shared<Slot>();
    slot->in = std::move(item);
    std::unique_lock<std::mutex> hold(mutex_);
    if (!error_ && window_.size() >= max_in_flight_) {
      ++caller_waiting_;
      for_caller_.wait(hold, [this] { return error_ || window_.size() < max_in_flight_; });
      --caller_waiting_;
    }
    if (error_) std::rethrow_exception(error_);
    window_.push_back(slot);
    pending_.push_back(slot);
    // A worker that waits takes it; with every worker busy, the consumer
    // does, if it waits for a result that is not ready.
    if (idle_workers_ > 0) {
      hold.unlock();
      for_work_.notify_one();
    } else if (consumer_waiting_) {
      hold.unlock();
      for_consumer_.notify_one();
    }
  }

  // Waits until every submitted item was consumed.
  void finish() {
    if (workers_.empty()) return;
    std::unique_lock<std::mutex> hold(mutex_);
    ++caller_waiting_;
    for_caller_.wait(hold, [this] { return error_ || window_.empty(); });
    --caller_waiting_;
    if (error_) std::rethrow_exception(error_);
  }

 private:
  struct Slot {
    std::optional<In> in;
    std::optional<Out> out;
    std::exception_ptr error;
    bool done = false;
  };

  void wake_everyone() {
    for_caller_.notify_all();
    for_work_.notify_all();
    for_consumer_.notify_all();
  }

  void run_worker() {
    for (;;) {
      std::shared_ptr<Slot> slot;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        ++idle_workers_;
        for_work_.wait(hold, [this] { return stopping_ || !pending_.empty(); });
        --idle_workers_;
        if (stopping_) return;
        slot = pending_.front();
        pending_.pop_front();
      }
      work_on(*slot);
    }
  }

  void work_on(Slot& slot) {
    try {
      slot.out.emplace(work_(*slot.in));
    } catch (...) {
      slot.error = std::current_exception();
    }
    bool wake = false;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      slot.done = true;
      wake = consumer_waiting_ && !window_.empty() && window_.front().get() == &slot;
    }
    // Only the result the consumer waits for is worth a wake-up: the others
    // are consumed after it without one.
    if (wake) for_consumer_.notify_one();
  }

  void run_consumer() {
    for (;;) {
      std::shared_ptr<Slot> head;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        auto ready = [this] {
          return stopping_ || (!error_ && !window_.empty() && (window_.front()->done || !pending_.empty()));
        };
        if (!ready()) {
          consumer_waiting_ = true;
          for_consumer_.wait(hold, ready);
          consumer_waiting_ = false;
        }
        if (stopping_) return;
        if (!window_.front()->done) {
          std::shared_ptr<Slot> slot = pending_.front();
          pending_.pop_front();
          hold.unlock();
          work_on(*slot);
          continue;
        }
        head = window_.front();
      }
      std::exception_ptr error = head->error;
      if (!error) {
        try {
          consume_(*head->in, *head->out);
        } catch (...) {
          error = std::current_exception();
        }
      }
      bool wake = false;
      {
        std::lock_guard<std::mutex> hold(mutex_);
        window_.pop_front();
        if (error) {
          error_ = error;
          window_.clear();
          pending_.clear();
        }
        // A caller waiting for room is woken once half the window is free,
        // not for every item: it then submits several in a row.
        wake = caller_waiting_ > 0 && (error || window_.size() <= max_in_flight_ / 2);
      }
      if (error) {
        wake_everyone();
      } else if (wake) {
        for_caller_.notify_all();
      }
    }
  }

  Work work_;
  Consume consume_;
  size_t max_in_flight_;
  std::vector<std::thread> workers_;  // the work-only threads, then the consumer
  std::mutex mutex_;
  // Each kind of thread waits on its own condition, and is woken only when
  // what it waits for came true: a wake-up costs more than a short item.
  std::condition_variable for_caller_, for_work_, for_consumer_;
  size_t caller_waiting_ = 0, idle_workers_ = 0;
  bool consumer_waiting_ = false;
  std::deque<std::shared_ptr<Slot>> window_;   // submitted, not consumed, in order
  std::deque<std::shared_ptr<Slot>> pending_;  // submitted, not started
  std::exception_ptr error_;
  bool stopping_ = false;
};

}  // namespace tesk_privacy::core
