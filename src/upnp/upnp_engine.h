// The UPnP search engine: runs one search for UPnP root devices on a worker
// thread of its own, keeps the AXIS and Vivotek devices in `results`, gives
// the account of the search in `account`, and signals the end through the
// manual-reset event "Upnp_Search_Event". It searches only; it opens and
// forwards no ports.
//
// Threads: construction, StartSearch, destruction, CloseSearchEvent and every
// read of `owner_window` and `search_event` happen on the user-interface
// thread. The worker writes `results` and `account` only between its start
// and its signal; after search_event is set both are complete and may be
// read without a lock until the next StartSearch.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "upnp/device_information.h"
#include "upnp/search_event.h"
#include "upnp/upnp_account.h"
#include "upnp/upnp_finder.h"

extern const char kUpnpSearchEventName[];  // "Upnp_Search_Event"

class UpnpEngine {
 public:
  // Searches the network with the GUPnP finder.
  UpnpEngine();
  // Searches with `finder` (tests). Must not be null.
  explicit UpnpEngine(std::unique_ptr<UpnpFinder> finder);
  UpnpEngine(const UpnpEngine&) = delete;
  UpnpEngine& operator=(const UpnpEngine&) = delete;
  // Waits for a running worker to end, then closes the event.
  virtual ~UpnpEngine();

  // Starts a search for `owner` (the main window, or the headless mode's
  // object; only kept, never read) and returns true. Returns false and
  // changes nothing when a worker is still running (also between its signal
  // and its end) or when `owner` is null (the caller passes null for an
  // owner that is gone).
  bool StartSearch(const void* owner);

  // Called on the worker thread with each device the search keeps, as soon
  // as the finder has read it (before the search ends, and before the device
  // is in `results`). REQUIRES: no worker running (WorkerRunning false).
  void SetOnKept(std::function<void(const DeviceInformationContainer&)> on_kept);

  // True from a successful StartSearch until the worker has ended.
  bool WorkerRunning() const { return worker_running_.load(std::memory_order_acquire); }

  // Closes search_event and sets it to null (the results step does this once
  // it has merged a search); also forgets the owner.
  void CloseSearchEvent();

  // The worker of the latest search; joinable until the engine joins it (at
  // the next StartSearch or at destruction). See WorkerRunning for whether it
  // still runs.
  std::thread worker_thread;
  // The owner given to the latest StartSearch; null before the first search
  // and after CloseSearchEvent.
  const void* owner_window = nullptr;
  // The kept devices of the latest search, in the order they were found.
  std::vector<DeviceInformationContainer> results;
  // What the latest search did (upnp_account.h); written and read like
  // `results`.
  UpnpSearchAccount account;
  // Completion signal of the latest search; null before the first search and
  // after CloseSearchEvent. While it is non-null the main window refuses to
  // close.
  std::shared_ptr<SearchEvent> search_event;

 private:
  void SearchThreadProc(std::shared_ptr<SearchEvent> event,
                        std::chrono::steady_clock::time_point started);

  std::unique_ptr<UpnpFinder> finder_;
  std::atomic<bool> worker_running_{false};
};
