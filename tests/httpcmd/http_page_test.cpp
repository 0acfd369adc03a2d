// The HTTP command fetch: line splitting, the "No available items" rule, and
// fetches from local servers on 127.0.0.1 (normal, oversized, slow, failing).
#include "httpcmd/http_page.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "http_test_support.h"
#include "httpcmd/table_parser.h"

namespace {

using Lines = std::vector<std::string>;
const std::string kAllPath = "/device.get?DeviceType=ALL";

std::vector<tComUnitInfo> ThreeDevices() {
  return {SimDevice("M1", "P1", "10.0.0.1", "00:00:00:00:00:01"),
          SimDevice("M2", "P2", "10.0.0.2", "00:00:00:00:00:02"),
          SimDevice("M3", "P1", "10.0.0.3", "00:00:00:00:00:03")};
}

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  return server.serverPort();
}

}  // namespace

TEST(PageLines, SplitAtCrLfOrCrLf) {
  EXPECT_EQ(SplitPageLines(""), Lines{});
  EXPECT_EQ(SplitPageLines("a"), Lines{"a"});
  EXPECT_EQ(SplitPageLines("a\r\nb\nc\rd\r\n"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitPageLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two breaks
  EXPECT_EQ(SplitPageLines("\n\n"), (Lines{"", ""}));
  EXPECT_EQ(SplitPageLines("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(PageLines, NoAvailableItemsClearsOnlyShortPages) {
  Lines two = {"<html>", "<body>No available items</body></html>"};
  ApplyNoAvailableItemsRule(two);
  EXPECT_TRUE(two.empty());
  Lines four = {"a", "b", "c", "xNo available itemsx"};
  ApplyNoAvailableItemsRule(four);
  EXPECT_TRUE(four.empty());
  const Lines five = {"a", "No available items", "c", "d", "e"};
  Lines kept = five;
  ApplyNoAvailableItemsRule(kept);
  EXPECT_EQ(kept, five);
  Lines lower = {"no available items"};  // case-sensitive
  ApplyNoAvailableItemsRule(lower);
  EXPECT_EQ(lower.size(), 1u);
}

TEST(HttpFetch, SendsThePathAsItStandsAndKeepsTextUpToZero) {
  TestApp();
  CannedServer server;
  server.Answer(kAllPath, HttpResponse("200 OK", std::string("<html>\r\nline 2\n\0hidden\r\n", 24)));
  EXPECT_EQ(FetchHttpCmdPage(server.relay_text(), kAllPath, 5000), (Lines{"<html>", "line 2"}));
  ASSERT_EQ(server.request_lines.size(), 1u);
  EXPECT_EQ(server.request_lines[0], "GET /device.get?DeviceType=ALL HTTP/1.1");
}

TEST(HttpFetch, FailuresGiveNoLines) {
  TestApp();
  CannedServer server, other;
  server.Answer(kAllPath, HttpResponse("404 Not Found", "<html>\r\n<td>x</td>\r\n</html>"));
  other.Answer("/", HttpResponse("200 OK", "elsewhere"));
  server.Answer("/moved", HttpResponse("302 Found", "", "Location: http://127.0.0.1:" +
                                                           std::to_string(other.port()) + "/\r\n"));
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(FetchHttpCmdPage(server.relay_text(), kAllPath, 5000), Lines{});  // HTTP error
  EXPECT_EQ(FetchHttpCmdPage(server.relay_text(), "/moved", 5000), Lines{});  // other port
  EXPECT_EQ(FetchHttpCmdPage("<Customized>", kAllPath, 5000), Lines{});
  EXPECT_EQ(FetchHttpBody("http://<Customized>" + kAllPath, 5000).outcome,
            HttpFetchOutcome::kInvalidUrl);
  EXPECT_EQ(FetchHttpCmdPage("", kAllPath, 5000), Lines{});
  const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
  EXPECT_EQ(FetchHttpCmdPage(closed, kAllPath, 5000), Lines{});
  EXPECT_EQ(FetchHttpBody("http://" + closed + "/", 5000).outcome, HttpFetchOutcome::kNetworkError);
  EXPECT_LT(clock.elapsed(), 4000);  // none of these waits for the bound
  EXPECT_EQ(other.request_lines.size(), 0u);
}

TEST(HttpFetch, FollowsRedirectsOnTheSameHostOnly) {
  TestApp();
  CannedServer server;
  server.Answer("/old", HttpResponse("301 Moved Permanently", "", "Location: " + kAllPath + "\r\n"));
  server.Answer(kAllPath, HttpResponse("200 OK", "moved here\r\n"));
  EXPECT_EQ(FetchHttpCmdPage(server.relay_text(), "/old", 5000), Lines{"moved here"});
}

TEST(HttpFetch, RelayPageBecomesDevices) {
  TestApp();
  RelayRunner relay(HttpRelayOptions{}, ThreeDevices());
  Lines lines = FetchHttpCmdPage(relay.relay_text(), kAllPath, 5000);
  CleanHtml(lines);
  DeviceTable table;
  table.grid.SetRowCount(1);
  PhaseItem(lines, table);
  ASSERT_EQ(table.devices.Size(), 3u);
  EXPECT_EQ(table.grid.RowCount(), 4);
  EXPECT_EQ(table.grid.RowAt(3), GridRowOf(ThreeDevices()[2]));
  relay.Stop();
  EXPECT_NE(relay.log().find("http request /device.get?DeviceType=ALL from 127.0.0.1\n"),
            std::string::npos)
      << relay.log();
}

TEST(HttpFetch, RelaySayingNoAvailableItemsGivesNoLines) {
  TestApp();
  HttpRelayOptions options;
  options.no_items = true;
  RelayRunner relay(options, ThreeDevices());
  EXPECT_EQ(FetchHttpCmdPage(relay.relay_text(), kAllPath, 5000), Lines{});
}

TEST(HttpFetch, KeepsExactlyTheFirstMebibyteOfALargerPage) {
  TestApp();
  HttpRelayOptions options;
  options.padding_bytes = 3 * kHttpPageLimit;
  RelayRunner relay(options, ThreeDevices());
  const std::string page = HttpRelayPage(ThreeDevices(), "ALL", options);
  ASSERT_GT(page.size(), 3 * kHttpPageLimit);

  const HttpFetchResult fetch = FetchHttpBody("http://" + relay.relay_text() + kAllPath, 5000);
  EXPECT_EQ(fetch.outcome, HttpFetchOutcome::kLimitReached);
  ASSERT_EQ(fetch.body.size(), kHttpPageLimit);
  EXPECT_TRUE(fetch.body == page.substr(0, kHttpPageLimit));

  // The devices come before the padding, which sits in an eighth cell.
  Lines lines = FetchHttpCmdPage(relay.relay_text(), kAllPath, 5000);
  std::size_t text_size = 0;
  for (const std::string& line : lines) text_size += line.size() + 2;  // CR LF each
  EXPECT_EQ(text_size - 2, kHttpPageLimit);  // the last line has no break
  CleanHtml(lines);
  DeviceTable table;
  PhaseItem(lines, table);
  EXPECT_EQ(table.devices.Size(), 3u);
}

TEST(HttpFetch, SlowRelaysEndByTheBoundWhileEventsRun) {
  TestApp();
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
  ticker.start(50);

  HttpRelayOptions silent;
  silent.delay_ms = 60000;
  RelayRunner never_answers(silent, ThreeDevices());
  QElapsedTimer clock;
  clock.start();
  const HttpFetchResult fetch = FetchHttpBody("http://" + never_answers.relay_text() + kAllPath, 1000);
  const qint64 elapsed = clock.elapsed();
  EXPECT_EQ(fetch.outcome, HttpFetchOutcome::kTimeout);
  EXPECT_TRUE(fetch.body.empty());
  EXPECT_GE(elapsed, 990);
  EXPECT_LT(elapsed, 3000);
  EXPECT_GE(ticks, 5);  // the caller's timer kept firing during the wait (about 20 times)
  never_answers.Stop();
}

// A relay that sends its page and keeps the connection open: at the bound the
// fetch goes on with what arrived. Rows that arrived whole are kept; a last
// line cut in the middle would make a device of half a row (and the values of
// the row before), so it is dropped.
TEST(HttpFetch, RelayThatNeverClosesGivesTheRowsThatArrivedWhole) {
  TestApp();
  const std::string page = HttpRelayPage(ThreeDevices(), "ALL", HttpRelayOptions{});
  const std::size_t third_row = page.find("<tr><td>M3");
  ASSERT_NE(third_row, std::string::npos);
  auto devices_by_the_bound = [&](const HttpRelayOptions& options) {
    RelayRunner relay(options, ThreeDevices());
    Lines lines = FetchHttpCmdPage(relay.relay_text(), kAllPath, 1000);
    CleanHtml(lines);
    DeviceTable table;
    table.grid.SetRowCount(1);
    PhaseItem(lines, table);
    std::vector<StringGrid::Row> rows;
    for (int r = 1; r < table.grid.RowCount(); ++r) rows.push_back(table.grid.RowAt(r));
    EXPECT_EQ(rows.size(), table.devices.Size());
    return rows;
  };
  const std::vector<StringGrid::Row> all = {GridRowOf(ThreeDevices()[0]), GridRowOf(ThreeDevices()[1]),
                                            GridRowOf(ThreeDevices()[2])};
  const std::vector<StringGrid::Row> first_two(all.begin(), all.begin() + 2);

  HttpRelayOptions endless;  // the page, then a line break now and then
  endless.endless_body = true;
  EXPECT_EQ(devices_by_the_bound(endless), all);
  HttpRelayOptions silent;  // the page, then nothing
  silent.stall_after = static_cast<long long>(page.size());
  EXPECT_EQ(devices_by_the_bound(silent), all);
  HttpRelayOptions between_rows;
  between_rows.stall_after = static_cast<long long>(third_row);
  EXPECT_EQ(devices_by_the_bound(between_rows), first_two);
  HttpRelayOptions mid_row;  // "<tr><td>M3</td><td>P1</td><td>Na"
  mid_row.stall_after = static_cast<long long>(third_row + 30);
  EXPECT_EQ(devices_by_the_bound(mid_row), first_two);

  // The body itself comes back as it arrived, with the status.
  RelayRunner relay(mid_row, ThreeDevices());
  const HttpFetchResult fetch = FetchHttpBody("http://" + relay.relay_text() + kAllPath, 1000);
  EXPECT_EQ(fetch.outcome, HttpFetchOutcome::kTimeout);
  EXPECT_EQ(fetch.http_status, 200);
  EXPECT_EQ(fetch.body, page.substr(0, third_row + 30));
}

// Quitting the application ends every event loop, the fetch's too; the fetch
// must not take the cut-off answer for a page. Runs in a fresh process, since
// a quitting application runs no further event loops.
TEST(HttpFetchDeathTest, ApplicationQuitEndsTheWaitWithoutAPage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TestApp();
        HttpRelayOptions endless;
        endless.endless_body = true;
        RelayRunner relay(endless, ThreeDevices());
        QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
        QElapsedTimer clock;
        clock.start();
        const HttpFetchResult fetch = FetchHttpBody("http://" + relay.relay_text() + kAllPath, 10000);
        relay.Stop();
        const bool sound = fetch.outcome == HttpFetchOutcome::kCancelled && fetch.body.empty() &&
                           clock.elapsed() < 5000;
        std::_Exit(sound ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
