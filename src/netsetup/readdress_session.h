// What "Network Setup for Selection..." does, apart from any window: the plan
// for the selected devices rebuilt whenever a setting changes, its preview
// and the reasons it is refused; then "Apply": the control packages sent one
// at a time (so that a view can show the progress), a countdown, and a
// verification search whose results fill each row's status.
//
// The stages, in order: editing -> sending -> countdown -> verifying -> done.
// Closing during the countdown or the verification cancels only the
// verification (CancelVerification); what was sent stays sent.
//
// Nothing here keeps time or runs a loop: the view calls SendNext() until it
// returns false and Tick() once a second during the countdown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "netsetup/control_sender.h"
#include "netsetup/readdress_plan.h"
#include "protocol/debug_log.h"

// The search that checks a plan, as the session sees it.
class PlanSearch {
 public:
  virtual ~PlanSearch() = default;
  // A search will be asked for (after a countdown): from now until it has
  // reported or is cancelled, it is pending, and the owner starts no search
  // of its own.
  virtual void Expect() {}
  // Starts the search; `found` is called once, on this thread, with every
  // device it found, unless Cancel() comes first.
  virtual void Start(std::function<void(std::vector<PlanDevice> found)> found) = 0;
  // The search is no longer wanted (expected or running): `found` is not
  // called.
  virtual void Cancel() = 0;
};

class ReaddressSession {
 public:
  enum class Stage { kEditing, kSending, kCountdown, kVerifying, kDone };

  static constexpr int kDefaultWaitSeconds = 60;

  // `selected`: the devices to re-address, in the grid's order; `listed`:
  // every device of the search (whose addresses a new one must not take);
  // `own`: this PC's addresses (which no device is given either).
  // `sender`, `log` and `search` must outlive the session. The settings
  // start from the first selected device: static, its netmask, gateway and
  // DNS, and no start address until the user gives one.
  ReaddressSession(std::vector<PlanDevice> selected, std::vector<PlanDevice> listed, std::vector<OwnAddress> own,
                   ControlPackageSender& sender, DebugLog& log, PlanSearch& search);
  ~ReaddressSession();

  Stage CurrentStage() const { return stage_; }
  const SequentialSettings& Settings() const { return settings_; }
  // New settings rebuild the plan (only while editing; ignored afterwards).
  void SetSettings(const SequentialSettings& settings);
  const ReaddressPlan& Plan() const { return plan_; }

  // One line per device of the plan: MAC, model, name, current IP, new IP
  // (empty for DHCP and where none was found) and status ("" while editing,
  // then "sent" or "not sent", then the verification's OutcomeStatus; a row
  // never sent stays "not sent").
  struct PreviewRow {
    std::string mac, model, name, current_ip, new_ip, status;
  };
  std::vector<PreviewRow> Preview() const;
  // Why the plan is refused, then its warnings, one a line; "" for none.
  std::string Reasons() const;

  // "Apply" can be pressed: editing, with a plan that is not refused.
  bool CanApply() const;
  // Starts sending (CanApply only), the verification search to follow
  // `wait_seconds` (at least 0) after the last package.
  bool Apply(int wait_seconds);
  // Sends the next package; false when none was left to send. After the last
  // one the countdown starts, or the search at once for a wait of 0.
  bool SendNext();
  // One second of the countdown passed; at 0 the verification search starts.
  void Tick();
  // Ends the countdown or the running verification without results (any
  // other stage: nothing happens). The stage becomes done.
  void CancelVerification();

  int Sent() const { return sent_; }
  int Failed() const { return failed_; }
  int Total() const { return static_cast<int>(plan_.rows.size()); }
  int SecondsLeft() const { return seconds_left_; }
  // Sending: "Sending control packages: N of M"; countdown: "Verification
  // search in N s"; verifying: "Searching..."; done: VerificationSummary
  // ("N of M at new settings", with what answered by DHCP and what was not
  // sent), or "Verification cancelled" (with " - N not sent"); editing: "".
  std::string StatusLine() const;
  // The verification's outcome of each plan row; empty until it reported.
  const std::vector<RowOutcome>& Outcomes() const { return outcomes_; }

  // Called after every change that a view shows (on the caller's thread).
  void SetOnChanged(std::function<void()> changed) { on_changed_ = std::move(changed); }
  // Called once when the verification search reported, with every device it
  // found, before the change is shown (on the caller's thread).
  void SetOnVerified(std::function<void(const std::vector<PlanDevice>& found)> verified) {
    on_verified_ = std::move(verified);
  }

 private:
  void Rebuild();
  void StartVerification();
  void Verified(const std::vector<PlanDevice>& found);
  void Changed();

  std::vector<PlanDevice> selected_;
  std::vector<PlanDevice> listed_;
  std::vector<OwnAddress> own_;
  ControlPackageSender& sender_;
  DebugLog& log_;
  PlanSearch& search_;
  SequentialSettings settings_;
  ReaddressPlan plan_;
  Stage stage_ = Stage::kEditing;
  std::vector<std::string> statuses_;  // by plan row
  std::vector<bool> sent_flags_;       // by plan row: its package went out
  std::vector<RowOutcome> outcomes_;   // by plan row, once verified
  std::size_t next_ = 0;
  int sent_ = 0;
  int failed_ = 0;
  int wait_seconds_ = kDefaultWaitSeconds;
  int seconds_left_ = 0;
  bool cancelled_ = false;
  std::function<void()> on_changed_;
  std::function<void(const std::vector<PlanDevice>&)> on_verified_;
};
