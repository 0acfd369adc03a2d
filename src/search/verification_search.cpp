// The verification search beside the window's own.
#include "search/verification_search.h"

#include <QTimer>

VerificationSearch::VerificationSearch(DebugLog& log, MakeExchanges make_exchanges, Hooks hooks)
    : log_(log), make_exchanges_(std::move(make_exchanges)), hooks_(std::move(hooks)) {}

VerificationSearch::~VerificationSearch() = default;

void VerificationSearch::Expect() { SetPending(true, running_); }

void VerificationSearch::Start(std::function<void(std::vector<PlanDevice>)> found) {
  waiting_ = std::move(found);
  SetPending(true, running_);
  StartWhenFree();
}

void VerificationSearch::Cancel() {
  waiting_ = nullptr;
  reporting_ = nullptr;
  SetPending(false, running_);
}

void VerificationSearch::WindowSearchEnded() { StartWhenFree(); }

void VerificationSearch::StartWhenFree() {
  if (!waiting_ || running_ || (hooks_.window_searching && hooks_.window_searching())) return;
  reporting_ = std::move(waiting_);
  waiting_ = nullptr;
  // The last search is destroyed here, never inside its own callback.
  search_ = std::make_unique<StandaloneSearch>(hooks_.settings(), false, log_, make_exchanges_);
  SetPending(true, true);
  search_->Start([this] { Ended(); });
}

void VerificationSearch::Ended() {
  Found report = std::move(reporting_);
  reporting_ = nullptr;
  SetPending(waiting_ != nullptr, false);
  // One asked for meanwhile starts after this search has wound up.
  if (waiting_) QTimer::singleShot(0, &context_, [this] { StartWhenFree(); });
  if (report) report(PlanDevicesOf(search_->Table().devices));
}

void VerificationSearch::SetPending(bool expected, bool running) {
  const bool was = Pending();
  expected_ = expected;
  running_ = running;
  if (was != Pending() && hooks_.pending_changed) hooks_.pending_changed();
}
