// UPnP phase: engine start, off-thread wait, merge on the owner's thread.
#include "search/engine_upnp_phase.h"

#include "protocol/string_printf.h"
#include "search/queued_call.h"
#include "upnp/library_log.h"
#include "upnp/upnp_account.h"
#include "upnp/upnp_merge.h"

EngineUpnpPhase::EngineUpnpPhase(QObject* owner, DeviceTable& table, const SearchSettings& settings,
                                 DebugLog& log, std::unique_ptr<UpnpEngine> engine)
    : owner_(owner), table_(table), settings_(settings), log_(log),
      engine_(engine ? std::move(engine) : std::make_unique<UpnpEngine>()) {
  RouteLibraryMessages();
}

EngineUpnpPhase::~EngineUpnpPhase() {
  JoinResultsThread();
  engine_.reset();
}

void EngineUpnpPhase::StartSearch() { engine_->StartSearch(owner_.data()); }

void EngineUpnpPhase::StartMerge(std::function<void()> merged) {
  JoinResultsThread();
  std::shared_ptr<SearchEvent> event = engine_->search_event;
  QObject* context = &context_;
  // The phase joins this thread before `context_` goes, so the queued call
  // always has a live receiver (and is dropped with it).
  results_thread_ = std::thread([this, event, context, merged = std::move(merged)] {
    if (event) event->Wait();
    QueueCall(context, [this, merged] {
      for (const std::string& line : UpnpAccountLines(engine_->account)) log_.Append(line);
      for (const std::string& message : TakeLibraryMessages()) log_.Append(message);
      const int added = MergeUpnpResults(table_, engine_->results, ProjectIsUpnpOnly(settings_.project), &merged_);
      LogMerge(added);
      replies_ = static_cast<std::size_t>(engine_->account.Replies());
      engine_->CloseSearchEvent();
      merged();
    });
  });
}

void EngineUpnpPhase::LogMerge(int added) {
  log_.Append(StringPrintf("UPnP: %d %s added", added, added == 1 ? "row" : "rows"));
  for (const DeviceInformationContainer& device : engine_->results) {
    if (!UpnpRecordOf(device))
      log_.Append("UPnP: device not listed: " + QuotedDeviceText(device.friendly_name) + " at " +
                  QuotedDeviceText(device.presentation_url) +
                  ": no address in its presentation URL, or a Vivotek name without \"(\"");
  }
}

void EngineUpnpPhase::SetOnKept(std::function<void(const DeviceInformationContainer&)> on_kept) {
  if (!on_kept) return engine_->SetOnKept(nullptr);
  QObject* context = &context_;
  // The worker queues each device before it signals the search's end, and
  // the merge is queued after that signal: the devices come first. The
  // engine's worker ends before `context_` goes.
  engine_->SetOnKept([context, on_kept = std::move(on_kept)](const DeviceInformationContainer& device) {
    QueueCall(context, [on_kept, device] { on_kept(device); });
  });
}

bool EngineUpnpPhase::InProgress() const { return engine_->search_event != nullptr; }

void EngineUpnpPhase::JoinResultsThread() {
  if (results_thread_.joinable()) results_thread_.join();
}
