// The window's "Compare..." reads its saved list off the window's thread: a
// list given by a FIFO or a slow device may take up to the reader's quiet
// limit (lists/saved_list.h), and the window must go on meanwhile. No
// widgets: the owner starts a read and gets its result back by a callback.
//
// Threads: the object lives on its owner's thread, whose Qt event loop must
// run; Start() and destruction come from that thread; each read runs on a
// thread of its own; `done` runs on the owner's thread.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lists/device_changes.h"
#include "lists/saved_list.h"

class SavedListReading {
 public:
  // The list read (ReadSavedList), or none with the one-line message that
  // says why (it begins with the path).
  using Done = std::function<void(std::optional<std::vector<ListedDevice>> devices, const std::string& error)>;

  SavedListReading();
  // A read still running is let go without waiting for it: its `done` never
  // runs, and its thread ends by itself within the quiet limit.
  ~SavedListReading();
  SavedListReading(const SavedListReading&) = delete;
  SavedListReading& operator=(const SavedListReading&) = delete;

  // Starts reading the file at `path` (a local path in the file system's
  // encoding); `done` runs once, later, on the owner's thread, never inside
  // Start(). False, and `done` never runs, while an earlier read is still
  // running.
  bool Start(const std::string& path, Done done,
             std::chrono::milliseconds quiet_limit = kSavedListQuietLimit);
  // True from Start() until its `done` is called.
  bool Running() const { return running_; }

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;  // with the reads' threads
  bool running_ = false;
};
