// Manual-reset event over a mutex and a condition variable.
#include "upnp/search_event.h"

void SearchEvent::Set() {
  // Notified under the lock: a waiter that returns may destroy the event at
  // once, and must not find this call still inside it.
  std::lock_guard<std::mutex> lock(mutex_);
  set_ = true;
  cv_.notify_all();
}

bool SearchEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return set_;
}

void SearchEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return set_; });
}

bool SearchEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [this] { return set_; });
}
