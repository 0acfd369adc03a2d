// Worker-to-owner hand-off in slices.
#include "search/owner_queue.h"

#include "search/queued_call.h"

void OwnerQueue::Post(std::function<void()> item) {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.push_back(std::move(item));
  PostDrainLocked();
}

void OwnerQueue::PostDrainLocked() {
  if (drain_posted_) return;
  drain_posted_ = true;
  QueueCall(owner_, [this] { Drain(); });
}

void OwnerQueue::Drain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    drain_posted_ = false;
  }
  const auto end = std::chrono::steady_clock::now() + kSlice;
  for (;;) {
    std::function<void()> item;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (items_.empty()) return;
      if (std::chrono::steady_clock::now() >= end) {
        PostDrainLocked();  // the rest in the next slice
        return;
      }
      item = std::move(items_.front());
      items_.pop_front();
    }
    item();
  }
}
