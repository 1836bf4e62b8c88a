// A private serial work queue: one worker thread runs the submitted items one at a time, in
// submission order.
//
// Threads: submit() and waitIdle() from any thread. The destructor may run on any thread,
// including the worker itself (when an item drops the last reference to the queue's owner):
// items not yet started are discarded, the worker is joined, or, when the destructor runs on
// the worker, left to end on its own once the current item returns.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace virelo {

class SerialQueue {
 public:
  // `label` names the queue; the worker thread gets its first 15 characters as its name.
  explicit SerialQueue(std::string label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }

  void submit(std::function<void()> item);
  // Blocks until every item submitted before the call has finished. Must not be called from an
  // item.
  void waitIdle();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;  // the worker: an item arrived or the queue stops
    std::condition_variable idle;  // waiters of waitIdle(): the queue ran dry
    std::deque<std::function<void()>> items;
    bool running = false;  // the worker is inside an item
    bool stopping = false;
  };
  static void work(std::shared_ptr<State> state);

  std::string label_;
  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace virelo
