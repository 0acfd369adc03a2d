// The rules of "Network Setup for Selection..." without a window: the preview
// as the settings change, "Apply" only for a plan that is not refused, the
// packages one at a time, the countdown, the verification and its
// cancellation.
#include "netsetup/readdress_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "capturing_sender.h"
#include "fake_plan_search.h"
#include "protocol/ipv4_text.h"

namespace {

using ::testing::ElementsAre;

class ReaddressSessionTest : public ::testing::Test {
 protected:
  void Open(std::vector<PlanDevice> selected, std::vector<PlanDevice> listed) {
    session = std::make_unique<ReaddressSession>(std::move(selected), std::move(listed), std::vector<OwnAddress>{}, sender, log, search);
    session->SetOnChanged([this] { ++changes; });
  }
  // The start address as the user types it (a session opens without one).
  void TypeStart(const std::string& start) {
    SequentialSettings s = session->Settings();
    s.start = start;
    session->SetSettings(s);
  }
  std::vector<std::string> Column(std::string ReaddressSession::PreviewRow::*field) {
    std::vector<std::string> texts;
    for (const auto& row : session->Preview()) texts.push_back(row.*field);
    return texts;
  }

  CapturingSender sender;
  MemoryLog log;
  FakePlanSearch search;
  std::unique_ptr<ReaddressSession> session;
  int changes = 0;
};

}  // namespace

TEST_F(ReaddressSessionTest, PreviewFollowsTheSettingsAndApplyWaitsForAPlanThatHolds) {
  std::vector<PlanDevice> selected = {NumberedDevice("192.168.0.10", 1), NumberedDevice("192.168.0.10", 2)};
  Open(selected, {selected[0], selected[1], NumberedDevice("192.168.0.11", 3)});
  // The settings start from the first device, without a start address: a
  // plan from its own address would change nothing.
  EXPECT_EQ(session->Settings().start, "");
  EXPECT_EQ(session->Settings().gateway, "192.168.0.1");
  EXPECT_FALSE(session->CanApply());
  EXPECT_EQ(session->Reasons(), "Invalid Start Address - []");
  TypeStart("192.168.0.10");  // held by the second device too, the next one by the third
  changes = 0;
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::new_ip), ElementsAre("192.168.0.12", "192.168.0.13"));
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::mac), ElementsAre("02:4B:44:00:00:01", "02:4B:44:00:00:02"));
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::name), ElementsAre("Cam1", "Cam2"));
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::current_ip), ElementsAre("192.168.0.10", "192.168.0.10"));
  EXPECT_TRUE(session->CanApply());
  EXPECT_EQ(session->Reasons(), "");

  SequentialSettings s = session->Settings();
  s.start = "192.168.0.";  // being typed
  session->SetSettings(s);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(session->CanApply());
  EXPECT_FALSE(session->Apply(60));
  EXPECT_EQ(session->Reasons(), "Invalid Start Address - [192.168.0.]: " + NotStrictReason("192.168.0."));
  s.start = "192.168.0.254";
  session->SetSettings(s);
  EXPECT_EQ(session->Reasons(), "02:4B:44:00:00:02: no address left in 192.168.0.0/255.255.255.0");
  EXPECT_FALSE(session->CanApply());
  s.start = "192.168.0.20";
  s.gateway = "192.168.1.1";
  session->SetSettings(s);
  EXPECT_TRUE(session->CanApply());  // a warning does not hold it back
  EXPECT_EQ(session->Reasons(), "Unresonable Gateway - [192.168.1.1]");
  s.type = NetworkType::kDhcp;
  session->SetSettings(s);
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::new_ip), ElementsAre("", ""));
  EXPECT_TRUE(session->CanApply());
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(search.expected, 0);
}

TEST_F(ReaddressSessionTest, ApplySendsOneAtATimeThenCountsDownAndVerifies) {
  std::vector<PlanDevice> selected = {NumberedDevice("192.168.0.10", 1), NumberedDevice("192.168.0.10", 2),
                                      NumberedDevice("192.168.0.10", 3)};
  Open(selected, selected);
  SequentialSettings s = session->Settings();
  s.start = "192.168.0.101";
  session->SetSettings(s);
  ASSERT_TRUE(session->Apply(2));
  EXPECT_EQ(search.expected, 1);  // pending from here: the owner does not search
  EXPECT_EQ(session->CurrentStage(), ReaddressSession::Stage::kSending);
  EXPECT_FALSE(session->CanApply());
  s.start = "10.0.0.1";
  session->SetSettings(s);  // too late: ignored
  EXPECT_EQ(session->Plan().rows[0].ip, "192.168.0.101");

  EXPECT_TRUE(session->SendNext());
  EXPECT_EQ(session->StatusLine(), "Sending control packages: 1 of 3");
  EXPECT_EQ(sender.sent.size(), 1u);
  sender.result = -1;  // the second one fails
  EXPECT_TRUE(session->SendNext());
  sender.result = 0;
  EXPECT_FALSE(session->SendNext());
  EXPECT_FALSE(session->SendNext());  // nothing more
  EXPECT_EQ(sender.sent.size(), 3u);
  EXPECT_EQ(PlainText(sender.sent[2]),
            "Zentravox,03,M100,P1,Cam3,192.168.0.103,80,255.255.255.0,192.168.0.1,192.168.0.2,02:4B:44:00:00:03,D1,"
            "static");
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::status), ElementsAre("sent", "not sent", "sent"));
  EXPECT_EQ(session->Sent(), 2);
  EXPECT_EQ(session->Failed(), 1);

  EXPECT_EQ(session->CurrentStage(), ReaddressSession::Stage::kCountdown);
  EXPECT_EQ(session->StatusLine(), "Verification search in 2 s");
  session->Tick();
  EXPECT_EQ(session->SecondsLeft(), 1);
  EXPECT_EQ(search.starts, 0);
  session->Tick();
  EXPECT_EQ(search.starts, 1);
  EXPECT_EQ(session->CurrentStage(), ReaddressSession::Stage::kVerifying);
  EXPECT_EQ(session->StatusLine(), "Searching...");
  session->Tick();  // nothing happens any more
  EXPECT_EQ(search.starts, 1);

  PlanDevice moved = selected[0];
  SetField(moved.record.ip, "192.168.0.101");
  // The second device answers as it was: its package never went out, so
  // that says nothing of it; it stays "not sent".
  std::vector<PlanDevice> found_by_search;
  session->SetOnVerified([&](const std::vector<PlanDevice>& found) { found_by_search = found; });
  search.Answer({moved, selected[1]});
  EXPECT_EQ(session->CurrentStage(), ReaddressSession::Stage::kDone);
  EXPECT_EQ(found_by_search.size(), 2u);
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::status), ElementsAre("at new settings", "not sent", "not found"));
  EXPECT_EQ(session->StatusLine(), "1 of 3 at new settings - 1 not sent");
  session.reset();
  EXPECT_EQ(search.cancels, 0);
}

TEST_F(ReaddressSessionTest, ClosingCancelsOnlyTheVerification) {
  std::vector<PlanDevice> selected = {NumberedDevice("10.0.0.1", 1), NumberedDevice("10.0.0.2", 2)};
  Open(selected, selected);
  TypeStart("10.0.0.11");
  ASSERT_TRUE(session->Apply(60));
  while (session->SendNext()) {
  }
  EXPECT_EQ(sender.sent.size(), 2u);
  session->Tick();
  session->CancelVerification();
  EXPECT_EQ(search.cancels, 1);
  EXPECT_EQ(session->CurrentStage(), ReaddressSession::Stage::kDone);
  EXPECT_EQ(session->StatusLine(), "Verification cancelled");
  EXPECT_THAT(Column(&ReaddressSession::PreviewRow::status), ElementsAre("sent", "sent"));
  for (int i = 0; i < 60; ++i) session->Tick();
  EXPECT_EQ(search.starts, 0);
  session.reset();
  EXPECT_EQ(search.cancels, 1);

  // A wait of 0 searches right after the last package; destroying the
  // session during the search cancels it.
  Open(selected, selected);
  TypeStart("10.0.0.11");
  ASSERT_TRUE(session->Apply(0));
  while (session->SendNext()) {
  }
  EXPECT_EQ(search.starts, 1);
  session.reset();
  EXPECT_EQ(search.cancels, 2);
}
