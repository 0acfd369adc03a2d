// One search from the button press to the count, in the driver's order.
#include "search/search_driver.h"

#include <algorithm>
#include <memory>

#include "protocol/string_printf.h"
#include "search/firewall_hint.h"
#include "search/grid_sort.h"
#include "upnp/upnp_merge.h"

const char kPortHeldText[] =
    "UDP port 6667 stayed held by another search on this machine: nothing was searched; search again when that "
    "search has ended";
const char kPortHeldLabel[] = "Port 6667 busy: not searched!";

namespace {
class OfflineExchanges : public SearchExchanges {
 public:
  void UdpSearch(int, std::function<void()> done) override { done(); }
  void TcpRelay(std::function<void()> done) override { done(); }
  void HttpCmd(const std::string&, std::function<void()> done) override { done(); }
};
}  // namespace

std::unique_ptr<SearchExchanges> MakeOfflineExchanges() { return std::make_unique<OfflineExchanges>(); }

SearchDriver::SearchDriver(DeviceTable& table, const SearchSettings& settings, SearchControls& controls,
                           SearchExchanges& exchanges, UpnpPhase* upnp, DebugLog* log)
    : table_(table), settings_(settings), controls_(controls), exchanges_(exchanges), upnp_(upnp), log_(log) {}

void SearchDriver::Start() {
  if (searching_) return;  // the button is disabled while a search runs
  searching_ = true;
  port_held_ = false;
  const SearchMode mode = ModeOf(settings_);
  broadcast_ = mode == SearchMode::kBroadcast && exchanges_.CanBroadcast();
  with_upnp_ = upnp_ != nullptr && ProjectWantsUpnp(settings_.project) &&
               (mode != SearchMode::kBroadcast || broadcast_);
  if (with_upnp_) upnp_->StartSearch();

  table_.devices.Clear();
  exchange_records_ = SIZE_MAX;
  table_.row_counter = 1;
  StringGrid& grid = table_.grid;
  grid.BeginUpdate();
  grid.ClearRows(1);
  grid.SetRowCount(1);
  grid.SetFixedRows(0);  // a lone heading row is not held fixed
  grid.EndUpdate();

  controls_.SetSearchButton(false, "Searching...");

  auto after = [this] { AfterExchange(); };
  switch (mode) {
    case SearchMode::kHttpCmd:
      exchanges_.HttpCmd("/device.get?DeviceType=" + settings_.project, after);
      break;
    case SearchMode::kTcpRelay:
      exchanges_.TcpRelay(after);
      break;
    case SearchMode::kUdpRelay:
      exchanges_.UdpSearch(2, after);
      break;
    case SearchMode::kBroadcast:
      exchanges_.UdpSearch(0, after);
      break;
  }
}

void SearchDriver::AfterExchange() {
  exchange_records_ = table_.devices.Size();
  port_held_ = exchanges_.PortHeld();
  if (on_exchange_done_) on_exchange_done_();
  if (with_upnp_) {
    controls_.SetSearchButton(false, "Search Upnp...");
    upnp_->StartMerge([this] { Finish(); });
    return;
  }
  Finish();
}

void SearchDriver::Finish() {
  StringGrid& grid = table_.grid;
  grid.BeginUpdate();
  if (port_held_) {  // a part of the answers is no list: none is shown
    table_.devices.Clear();
    exchange_records_ = 0;
    grid.ClearRows(1);
    grid.SetRowCount(1);
  }
  const int found = std::max(grid.RowCount() - 1, 0);
  if (found == 0) {
    grid.ClearRows(1);
    grid.SetRowCount(2);  // one empty row under the heading
  } else if (!with_upnp_) {  // after a UPnP merge neither sort nor selected_row change
    table_.sort_ascending = false;
    SortGridByColumn(table_, kModelColumn);
    table_.selected_row = 1;
  }
  grid.SetFixedRows(1);
  grid.EndUpdate();
  controls_.SetCountLabel(port_held_ ? std::string(kPortHeldLabel) : StringPrintf("%d device(s) found!", found));
  controls_.SetSearchButton(true, "Device Search");
  heard_nothing_ = !port_held_ && ::HeardNothing({broadcast_, exchanges_.AnswersHeard(), with_upnp_,
                                                  with_upnp_ ? upnp_->RepliesHeard() : std::nullopt});
  if (heard_nothing_ && log_ != nullptr) log_->Append(kFirewallHintLog);
  if (port_held_ && log_ != nullptr) log_->Append(kPortHeldText);
  searching_ = false;
  if (on_finished_) on_finished_();
}
