// The search that checks a re-addressing plan from the window: a search of
// its own (StandaloneSearch, without UPnP, whose devices cannot be
// re-addressed) with the window's search settings of the moment it starts,
// beside the window's grid, which it leaves alone.
//
// It is pending from Expect() until it has reported, or, when cancelled,
// until a search already under way has ended: meanwhile the window starts no
// search of its own, since both would listen on the same port. A search
// asked for while the window's own search (or a cancelled one) still runs
// starts when that one has ended.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "netsetup/readdress_session.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "search/standalone_search.h"

class VerificationSearch : public PlanSearch {
 public:
  // What it needs of the window; each is called on the window's thread.
  struct Hooks {
    std::function<SearchSettings()> settings;  // the search settings the window shows now
    std::function<bool()> window_searching;    // the window's own search is under way
    std::function<void()> pending_changed;     // Pending() changed
  };
  // `log` must outlive it. A search still under way when it is destroyed
  // is waited for (it is bounded in time) and reports nothing.
  VerificationSearch(DebugLog& log, MakeExchanges make_exchanges, Hooks hooks);
  ~VerificationSearch() override;

  void Expect() override;
  void Start(std::function<void(std::vector<PlanDevice>)> found) override;
  void Cancel() override;

  bool Pending() const { return expected_ || running_; }
  // Tells it that the window's own search has ended.
  void WindowSearchEnded();

 private:
  void StartWhenFree();
  void Ended();
  void SetPending(bool expected, bool running);

  DebugLog& log_;
  MakeExchanges make_exchanges_;
  Hooks hooks_;
  using Found = std::function<void(std::vector<PlanDevice>)>;
  bool expected_ = false;  // asked for and not yet reported or cancelled
  bool running_ = false;   // a search is under way
  Found waiting_;          // asked for, not yet started
  Found reporting_;        // the one under way reports here (null: cancelled)
  std::unique_ptr<StandaloneSearch> search_;  // the last one; kept until the next
  QObject context_;        // later starts; dropped with it
};
