// A named manual-reset event: once set it stays set, and every waiter,
// present or later, returns at once. The UPnP search signals its end with one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

class SearchEvent {
 public:
  // Starts not set.
  explicit SearchEvent(std::string name) : name_(std::move(name)) {}
  SearchEvent(const SearchEvent&) = delete;
  SearchEvent& operator=(const SearchEvent&) = delete;

  const std::string& Name() const { return name_; }

  // Sets the event and wakes every waiter. Safe from any thread. Writes made
  // before Set are visible to a thread after its Wait returns.
  void Set();
  bool IsSet() const;
  // Blocks until the event is set.
  void Wait();
  // Blocks until the event is set or `timeout` has passed; true when set.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  const std::string name_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};
