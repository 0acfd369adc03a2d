// The UPnP phase of a search as the window and the headless mode run it: the
// engine's search started with the search, and at the end the wait on a
// thread of its own followed by the merge on the owner's thread. The
// search's account (upnp_account.h) and the messages of the libraries under
// it (library_log.h) go to the debug log just before the merge, and a line
// on the rows it added (and the kept devices it could not list) after it.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstddef>
#include <memory>
#include <optional>
#include <thread>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "search/search_driver.h"
#include "upnp/upnp_engine.h"
#include "upnp/upnp_merge.h"

class EngineUpnpPhase : public UpnpPhase {
 public:
  // `owner` is the engine's owner (the window): once it is gone the engine
  // refuses to start. The merge writes `table`, reads `settings.project`
  // ("UPNP" replaces the exchange's rows) and appends the library messages
  // to `log`. All must outlive the phase. `engine` may be given (tests, the
  // load benchmark); by default the GUPnP engine is used. Routes the library
  // messages.
  EngineUpnpPhase(QObject* owner, DeviceTable& table, const SearchSettings& settings, DebugLog& log,
                  std::unique_ptr<UpnpEngine> engine = nullptr);
  // Waits for a waiting results thread (the engine's search is bounded),
  // then for the engine's worker.
  ~EngineUpnpPhase() override;

  void StartSearch() override;
  // The merge also closes the engine's search_event: from then on the
  // window may close.
  void StartMerge(std::function<void()> merged) override;
  bool InProgress() const override;
  // The replies the engine's account counted, known once a search is merged.
  std::optional<std::size_t> RepliesHeard() const override { return replies_; }

  // Called on the owner's thread with each device the engine keeps, as soon
  // as it is read (UpnpEngine::SetOnKept), before the search's merge; the
  // merge still makes its row. REQUIRES: no search under way.
  void SetOnKept(std::function<void(const DeviceInformationContainer&)> on_kept);

  UpnpEngine& Engine() { return *engine_; }
  // What the last merge made records of (MergeUpnpResults' snapshot): what
  // "Detail Info." shows for them. On the owner's thread; the engine's own
  // results are its worker's while a search runs.
  const UpnpSnapshot& Merged() const { return merged_; }

 private:
  void JoinResultsThread();
  // The merge's line in the log, with one for each kept device it could not list.
  void LogMerge(int added);

  QPointer<QObject> owner_;
  DeviceTable& table_;
  const SearchSettings& settings_;
  DebugLog& log_;
  std::unique_ptr<UpnpEngine> engine_;
  UpnpSnapshot merged_;
  QObject context_;  // receives the merge on the owner's thread
  std::thread results_thread_;
  std::optional<std::size_t> replies_;  // of the last merged search
};
