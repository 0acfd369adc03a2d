// The search that checks a re-addressing plan beside the window's own: what
// it finds, when it is pending, and how it waits for the window's search and
// for a cancelled one.
#include "search/verification_search.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "fake_search.h"

namespace {

// A UDP exchange that ends when the test says so, feeding one device.
struct HeldExchanges : SearchExchanges {
  HeldExchanges(DeviceTable& t, const SearchSettings& s, std::vector<std::function<void()>>& ends)
      : fake(t, s), ends_(ends) {
    fake.packets = {"Zentravox,01,M100,P1,Cam1,10.99.5.1,80,255.255.0.0,g,d,02:4B:44:00:00:01,D1,x"};
  }
  void UdpSearch(int flag, std::function<void()> done) override {
    ends_.push_back([this, flag, done] {
      fake.Feed("udp" + std::to_string(flag));
      done();
    });
  }
  void TcpRelay(std::function<void()> done) override { done(); }
  void HttpCmd(const std::string&, std::function<void()> done) override { done(); }
  FakeExchanges fake;
  std::vector<std::function<void()>>& ends_;
};

struct Verification : ::testing::Test {
  Verification()
      : search(log,
               [this](DeviceTable& t, const SearchSettings& s, DebugLog&) {
                 settings_used.push_back(s);
                 return std::make_unique<HeldExchanges>(t, s, ends);
               },
               {[this] { return settings; }, [this] { return window_searching; }, [this] { ++pending_changes; }}) {}

  // Ends the oldest search still under way.
  void EndSearch() {
    ASSERT_FALSE(ends.empty());
    auto end = ends.front();
    ends.erase(ends.begin());
    end();
  }

  NullLog log;
  SearchSettings settings;
  bool window_searching = false;
  int pending_changes = 0;
  std::vector<SearchSettings> settings_used;
  std::vector<std::function<void()>> ends;
  VerificationSearch search;
  std::vector<std::vector<PlanDevice>> reports;
  std::function<void(std::vector<PlanDevice>)> report = [this](std::vector<PlanDevice> found) {
    reports.push_back(found);
  };
};

}  // namespace

TEST_F(Verification, PendingFromExpectUntilItReportsWhatItFound) {
  EXPECT_FALSE(search.Pending());
  search.Expect();
  EXPECT_TRUE(search.Pending());
  EXPECT_EQ(pending_changes, 1);
  settings.ip_relay = true;
  settings.relay_address = "10.99.0.2";
  settings.relay_protocol = "UDP";
  search.Start(report);
  ASSERT_EQ(settings_used.size(), 1u);
  EXPECT_EQ(settings_used[0].relay_address, "10.99.0.2");  // the settings of the moment it starts
  EXPECT_TRUE(search.Pending());
  EndSearch();
  EXPECT_FALSE(search.Pending());
  EXPECT_EQ(pending_changes, 2);
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_EQ(reports[0].size(), 1u);
  EXPECT_STREQ(reports[0][0].record.ip, "10.99.5.1");
}

TEST_F(Verification, WaitsForTheWindowsSearch) {
  window_searching = true;
  search.Expect();
  search.Start(report);
  EXPECT_TRUE(settings_used.empty());
  search.WindowSearchEnded();  // still searching: the hook says so
  EXPECT_TRUE(settings_used.empty());
  window_searching = false;
  search.WindowSearchEnded();
  ASSERT_EQ(settings_used.size(), 1u);
  EndSearch();
  EXPECT_EQ(reports.size(), 1u);

  // Cancelled while it waits: it never starts.
  window_searching = true;
  search.Expect();
  search.Start(report);
  search.Cancel();
  EXPECT_FALSE(search.Pending());
  window_searching = false;
  search.WindowSearchEnded();
  EXPECT_EQ(settings_used.size(), 1u);
}

TEST_F(Verification, ACancelledSearchStaysPendingUntilItEndsAndReportsNothing) {
  search.Expect();
  search.Start(report);
  search.Cancel();
  EXPECT_TRUE(search.Pending());  // its exchange still listens
  // A new dialog's search waits for it.
  search.Expect();
  search.Start(report);
  EXPECT_EQ(settings_used.size(), 1u);
  EndSearch();
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(search.Pending());
  QCoreApplication::processEvents();
  ASSERT_EQ(settings_used.size(), 2u);
  EndSearch();
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_FALSE(search.Pending());

  // Destroyed while a search is under way: nothing is reported.
  {
    VerificationSearch gone(log, [this](DeviceTable& t, const SearchSettings& s, DebugLog&) {
      return std::make_unique<HeldExchanges>(t, s, ends);
    }, {[this] { return settings; }, nullptr, nullptr});
    gone.Expect();
    gone.Start(report);
  }
  EXPECT_EQ(reports.size(), 1u);
}
