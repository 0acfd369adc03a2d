// The stages of "Network Setup for Selection...": plan, send, count down,
// verify.
#include "netsetup/readdress_session.h"

#include <algorithm>

#include "protocol/string_printf.h"

ReaddressSession::ReaddressSession(std::vector<PlanDevice> selected, std::vector<PlanDevice> listed,
                                   std::vector<OwnAddress> own, ControlPackageSender& sender, DebugLog& log,
                                   PlanSearch& search)
    : selected_(std::move(selected)),
      listed_(std::move(listed)),
      own_(std::move(own)),
      sender_(sender),
      log_(log),
      search_(search) {
  if (!selected_.empty()) {
    const tComUnitInfo& first = selected_.front().record;
    settings_.netmask = std::string(FieldText(first.netmask));
    settings_.gateway = std::string(FieldText(first.gateway));
    settings_.dns = std::string(FieldText(first.dns));
  }
  Rebuild();
}

ReaddressSession::~ReaddressSession() {
  if (stage_ == Stage::kCountdown || stage_ == Stage::kVerifying) search_.Cancel();
}

void ReaddressSession::SetSettings(const SequentialSettings& settings) {
  if (stage_ != Stage::kEditing) return;
  settings_ = settings;
  Rebuild();
  Changed();
}

void ReaddressSession::Rebuild() {
  plan_ = SequentialPlan(selected_, settings_, listed_, own_);
  statuses_.assign(plan_.rows.size(), "");
  sent_flags_.assign(plan_.rows.size(), false);
}

std::vector<ReaddressSession::PreviewRow> ReaddressSession::Preview() const {
  std::vector<PreviewRow> rows;
  for (std::size_t i = 0; i < plan_.rows.size(); ++i) {
    const PlanRow& row = plan_.rows[i];
    const tComUnitInfo& r = row.device.record;
    rows.push_back({std::string(FieldText(r.mac)), std::string(FieldText(r.model)), std::string(FieldText(r.name)),
                    std::string(FieldText(r.ip)), row.type == NetworkType::kStatic ? row.ip : std::string(),
                    statuses_[i]});
  }
  return rows;
}

std::string ReaddressSession::Reasons() const {
  std::string text;
  for (const std::string& line : plan_.refusals) text += (text.empty() ? "" : "\n") + line;
  for (const std::string& line : plan_.warnings) text += (text.empty() ? "" : "\n") + line;
  return text;
}

bool ReaddressSession::CanApply() const {
  return stage_ == Stage::kEditing && !plan_.rows.empty() && !plan_.Refused();
}

bool ReaddressSession::Apply(int wait_seconds) {
  if (!CanApply()) return false;
  stage_ = Stage::kSending;
  wait_seconds_ = std::max(wait_seconds, 0);
  search_.Expect();
  Changed();
  return true;
}

bool ReaddressSession::SendNext() {
  if (stage_ != Stage::kSending) return false;
  if (next_ < plan_.rows.size()) {
    const bool ok = SendPlanRow(plan_.rows[next_], sender_, log_);
    statuses_[next_] = ok ? "sent" : "not sent";
    sent_flags_[next_] = ok;
    ++(ok ? sent_ : failed_);
    ++next_;
  }
  if (next_ < plan_.rows.size()) {
    Changed();
    return true;
  }
  stage_ = Stage::kCountdown;
  seconds_left_ = wait_seconds_;
  if (seconds_left_ == 0) StartVerification();
  Changed();
  return false;
}

void ReaddressSession::Tick() {
  if (stage_ != Stage::kCountdown) return;
  if (seconds_left_ > 0) --seconds_left_;
  if (seconds_left_ == 0) StartVerification();
  Changed();
}

void ReaddressSession::StartVerification() {
  stage_ = Stage::kVerifying;
  search_.Start([this](std::vector<PlanDevice> found) { Verified(found); });
}

void ReaddressSession::Verified(const std::vector<PlanDevice>& found) {
  if (stage_ != Stage::kVerifying) return;
  outcomes_ = VerifyPlan(plan_, found, sent_flags_);
  for (std::size_t i = 0; i < outcomes_.size(); ++i) statuses_[i] = OutcomeStatus(outcomes_[i]);
  stage_ = Stage::kDone;
  if (on_verified_) on_verified_(found);
  Changed();
}

void ReaddressSession::CancelVerification() {
  if (stage_ != Stage::kCountdown && stage_ != Stage::kVerifying) return;
  search_.Cancel();
  cancelled_ = true;
  stage_ = Stage::kDone;
  Changed();
}

std::string ReaddressSession::StatusLine() const {
  switch (stage_) {
    case Stage::kEditing:
      return "";
    case Stage::kSending:
      return StringPrintf("Sending control packages: %d of %d", sent_ + failed_, Total());
    case Stage::kCountdown:
      return StringPrintf("Verification search in %d s", seconds_left_);
    case Stage::kVerifying:
      return "Searching...";
    case Stage::kDone:
      break;
  }
  if (!cancelled_) return VerificationSummary(outcomes_);
  std::string line = "Verification cancelled";
  if (failed_ > 0) line += StringPrintf(" - %d not sent", failed_);
  return line;
}

void ReaddressSession::Changed() {
  if (on_changed_) on_changed_();
}
