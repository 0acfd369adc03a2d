// One search from the button press to the count, in the driver's order.
#include "app/search_driver.h"

#include <QString>

#include "app/grid_rules.h"
#include "protocol/intake.h"
#include "protocol/transport.h"

namespace {

class NetworkExchanges : public SearchExchanges {
 public:
  NetworkExchanges(DeviceTable& table, const SearchSettings& settings, DebugLog& log)
      : table_(table), settings_(settings), log_(log) {}

  void UdpSearch(int flag) override { UdpSearchExchange(flag, settings_, log_, Sink()); }
  void TcpRelay() override { TcpRelayExchange(settings_, log_, Sink()); }
  void HttpCmd(const std::string& path) override;

 private:
  AnswerSink Sink() {
    return [this](const unsigned char* decoded, std::size_t size, std::size_t bound) {
      ParserPlainPkg(table_, settings_, log_, decoded, size, bound);
    };
  }

  DeviceTable& table_;
  const SearchSettings& settings_;
  DebugLog& log_;
};

void NetworkExchanges::HttpCmd(const std::string& path) {
  (void)path;  // The HTTP command arrives with its own library.
}

}  // namespace

std::unique_ptr<SearchExchanges> MakeNetworkExchanges(DeviceTable& table,
                                                      const SearchSettings& settings,
                                                      DebugLog& log) {
  return std::make_unique<NetworkExchanges>(table, settings, log);
}

bool ProjectWantsUpnp(const std::string& project) {
  QString p = QString::fromStdString(project);
  return p.compare("ALL", Qt::CaseInsensitive) == 0 || p.compare("UPNP", Qt::CaseInsensitive) == 0;
}

SearchMode ModeOf(const SearchSettings& settings) {
  if (!settings.ip_relay) return SearchMode::kBroadcast;
  if (settings.relay_protocol == "HttpCmd") return SearchMode::kHttpCmd;
  if (settings.relay_protocol == "TCP") return SearchMode::kTcpRelay;
  return SearchMode::kUdpRelay;
}

SearchDriver::SearchDriver(DeviceTable& table, const SearchSettings& settings, DebugLog& log,
                           SearchControls& controls, SearchExchanges& exchanges, UpnpPhase* upnp)
    : table_(table), settings_(settings), log_(log), controls_(controls), exchanges_(exchanges),
      upnp_(upnp) {}

void SearchDriver::Button1Click() {
  if (searching_) return;  // the button is disabled while a search runs
  searching_ = true;
  const bool with_upnp = upnp_ != nullptr && ProjectWantsUpnp(settings_.project);
  if (with_upnp) upnp_->StartSearch();

  table_.devices.Clear();
  table_.row_counter = 1;
  StringGrid& grid = table_.grid;
  grid.BeginUpdate();
  grid.ClearRows(1);
  grid.SetRowCount(1);
  grid.SetFixedRows(0);  // a lone heading row is not held fixed
  grid.EndUpdate();

  controls_.SetSearchButton(false, "Searching...");

  switch (ModeOf(settings_)) {
    case SearchMode::kHttpCmd:
      exchanges_.HttpCmd("/device.get?DeviceType=" + settings_.project);
      break;
    case SearchMode::kTcpRelay:
      exchanges_.TcpRelay();
      break;
    case SearchMode::kUdpRelay:
      exchanges_.UdpSearch(2);
      break;
    case SearchMode::kBroadcast:
      exchanges_.UdpSearch(0);
      break;
  }

  if (upnp_ != nullptr && ProjectWantsUpnp(settings_.project)) {
    upnp_->StartMerge([this] { Finished(); });
    return;
  }
  FinishWithoutUpnp();
}

void SearchDriver::FinishWithoutUpnp() {
  StringGrid& grid = table_.grid;
  grid.BeginUpdate();
  if (grid.RowCount() > 1) {
    table_.sort_ascending = false;
    SortGridByColumn(table_, 0);
    controls_.SetCountLabel(StringPrintf("%d device(s) found!", grid.RowCount() - 1));
    table_.selected_row = 1;
  } else {
    grid.SetRowCount(2);
    grid.SetFixedRows(1);
    controls_.SetCountLabel("0 device(s) found!");
  }
  grid.EndUpdate();
  controls_.SetSearchButton(true, "Device Search");
  Finished();
}

void SearchDriver::Finished() {
  searching_ = false;
  if (on_finished_) on_finished_();
}

bool ComboBox1ExitRule(std::vector<std::string>& items, const std::string& text, bool entry_picked) {
  if (entry_picked || text == "0" || text.empty()) return false;
  items.push_back(text);
  return true;
}
