// A private serial work queue: one worker thread runs the submitted items one at a time, in
// submission order.
//
// Threads: submit(), waitIdle(), abandon() and stop() from any thread but the worker's own items
// (stop() from an item only detaches the worker, which then ends once the item returns). stop(),
// also run by the destructor, discards the items not yet started and waits for the running one;
// abandon() discards them too but never waits.
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
  // `label` names the queue (reverse-DNS); the worker thread is named "vl-" and the label's last
  // component, cut to 15 characters.
  explicit SerialQueue(std::string label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }

  // Items submitted after stop() are discarded.
  void submit(std::function<void()> item);
  // Discards the items not yet started, waits for the running one to return and ends the
  // worker. Idempotent.
  void stop();
  // Discards the items not yet started and returns at once: the running item, if any, goes on,
  // and the worker ends when it returns. Every later submit() is discarded; stop() still joins.
  void abandon();
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
