// The simulator's HTTP relay: request paths, the page it builds (read back
// through the client's parser), its answers to other paths and bad options.
#include "http_relay.h"

#include <gtest/gtest.h>

#include "http_test_support.h"
#include "httpcmd/http_page.h"
#include "httpcmd/table_parser.h"

namespace {

std::vector<tComUnitInfo> Devices() {
  return {SimDevice("M1", "P1", "10.0.0.1", "00:00:00:00:00:01"),
          SimDevice("M2", "P2", "10.0.0.2", "00:00:00:00:00:02"),
          SimDevice("M3", "P1", "10.0.0.3", "00:00:00:00:00:03")};
}

// The page read as the search reads it.
DeviceTable Parse(const std::string& page) {
  std::vector<std::string> lines = SplitPageLines(page);
  ApplyNoAvailableItemsRule(lines);
  CleanHtml(lines);
  DeviceTable table;
  table.grid.SetRowCount(1);
  PhaseItem(lines, table);
  return table;
}

}  // namespace

TEST(HttpRelay, DeviceTypeOfPath) {
  std::string type;
  ASSERT_TRUE(DeviceTypeOfPath("/device.get?DeviceType=ALL", &type));
  EXPECT_EQ(type, "ALL");
  ASSERT_TRUE(DeviceTypeOfPath("/device.get?x=1&DeviceType=P%201&y=2", &type));
  EXPECT_EQ(type, "P 1");
  ASSERT_TRUE(DeviceTypeOfPath("/device.get?DeviceType=", &type));
  EXPECT_EQ(type, "");
  EXPECT_FALSE(DeviceTypeOfPath("/device.get", &type));
  EXPECT_FALSE(DeviceTypeOfPath("/device.getx?DeviceType=A", &type));
  EXPECT_FALSE(DeviceTypeOfPath("/device.get?XDeviceType=A", &type));
  EXPECT_FALSE(DeviceTypeOfPath("/", &type));
}

TEST(HttpRelay, PageListsTheDevicesOfTheAskedType) {
  const HttpRelayOptions options;
  const DeviceTable all = Parse(HttpRelayPage(Devices(), "ALL", options));
  ASSERT_EQ(all.devices.Size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(all.grid.RowAt(i + 1), GridRowOf(Devices()[static_cast<std::size_t>(i)]));

  const DeviceTable p1 = Parse(HttpRelayPage(Devices(), "P1", options));
  ASSERT_EQ(p1.devices.Size(), 2u);
  EXPECT_EQ(FieldText(p1.devices.At(1).model), "M3");
  EXPECT_EQ(Parse(HttpRelayPage(Devices(), "p1", options)).devices.Size(), 0u);

  HttpRelayOptions padded;
  padded.padding_bytes = 100;
  EXPECT_EQ(Parse(HttpRelayPage(Devices(), "ALL", padded)).devices.Size(), 3u);
  EXPECT_EQ(Parse(HttpRelayPage({}, "ALL", padded)).devices.Size(), 0u);

  HttpRelayOptions none;
  none.no_items = true;
  EXPECT_EQ(SplitPageLines(HttpRelayPage(Devices(), "ALL", none)).size(), 3u);
  EXPECT_EQ(Parse(HttpRelayPage(Devices(), "ALL", none)).devices.Size(), 0u);
}

TEST(HttpRelay, AnswersOtherPathsNotFoundAndLogsEveryRequest) {
  TestApp();
  RelayRunner relay(HttpRelayOptions{}, Devices());
  const HttpFetchResult fetch = FetchHttpBody("http://" + relay.relay_text() + "/index.html", 5000);
  EXPECT_EQ(fetch.outcome, HttpFetchOutcome::kHttpStatus);
  EXPECT_EQ(fetch.http_status, 404);
  EXPECT_EQ(FetchHttpBody("http://" + relay.relay_text() + "/device.get?DeviceType=P2", 5000).body,
            HttpRelayPage(Devices(), "P2", HttpRelayOptions{}));
  relay.Stop();
  EXPECT_EQ(relay.result(), 0);
  EXPECT_EQ(relay.log(),
            "http request /index.html from 127.0.0.1\n"
            "http request /device.get?DeviceType=P2 from 127.0.0.1\n");
}

TEST(HttpRelay, RefusesABadListenAddress) {
  DeviceSet devices;
  HttpRelayOptions options;
  options.address = "300.1.1.1";
  std::atomic<bool> stop{false};
  std::ostringstream log;
  EXPECT_EQ(RunHttpRelay(devices, options, stop, log), -1);
  EXPECT_EQ(log.str(), "http relay: bad listen address 300.1.1.1:80\n");
}
