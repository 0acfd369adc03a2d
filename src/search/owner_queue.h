// Work handed from a worker thread to the thread of a QObject (the owner), in
// order: the items wait in a queue and run on the owner's thread in slices of
// at most kSlice, each slice one queued call (QueueCall), so that a burst of
// thousands of answers never holds the owner's event loop for long: between
// two slices it handles whatever else is waiting (the window keeps painting
// and taking input while the rows arrive).
#pragma once

#include <QObject>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

class OwnerQueue {
 public:
  static constexpr auto kSlice = std::chrono::milliseconds(15);

  // `owner` must outlive the queue; items still queued when it goes are
  // dropped with its queued calls.
  explicit OwnerQueue(QObject* owner) : owner_(owner) {}
  OwnerQueue(const OwnerQueue&) = delete;
  OwnerQueue& operator=(const OwnerQueue&) = delete;

  // Queues `item` to run on the owner's thread after the items posted before
  // it. Any thread.
  void Post(std::function<void()> item);

 private:
  void PostDrainLocked();
  // The owner's thread. An item may run a nested event loop (a message box);
  // items posted meanwhile get a drain of their own.
  void Drain();

  QObject* owner_;
  std::mutex mutex_;
  std::deque<std::function<void()>> items_;
  bool drain_posted_ = false;
};
