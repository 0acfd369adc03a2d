// The ONVIF search's account as log lines: the port taken said plainly,
// lists bounded, device text quoted through the shown-text rule.
#include "onvif/onvif_account.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(OnvifAccount, SaysWhereItProbedFromAndWhenThePortWasTaken) {
  OnvifSearchAccount a;
  a.sockets.push_back({"eth0", "10.99.0.1", "", 6669, false, 4, 9});
  a.sockets.push_back({"eth1", "10.77.0.1", "", 40123, true, 4, 1});
  a.sockets.push_back({"eth2", "10.55.0.1", "Cannot assign requested address", 0, false, 0, 0});
  a.devices = 5;
  a.details_asked = 4;
  a.details_read = 2;
  a.details_credentials = 1;
  a.details_given_up = 1;
  const std::vector<std::string> lines = OnvifAccountLines(a);
  EXPECT_TRUE(Has(lines, "ONVIF: eth0 (10.99.0.1): 4 Probes sent from UDP port 6669, 9 answers")) << lines[0];
  EXPECT_TRUE(Has(lines,
                  "ONVIF: UDP port 6669 is taken on eth1 (10.77.0.1) (another search running?); Probes go from port "
                  "40123 there, which the firewall profiles do not open"));
  EXPECT_TRUE(Has(lines, "ONVIF: eth1 (10.77.0.1): 4 Probes sent from UDP port 40123, 1 answer"));
  EXPECT_TRUE(Has(lines, "ONVIF: no search on eth2 (10.55.0.1): Cannot assign requested address"));
  EXPECT_TRUE(Has(lines, "ONVIF: 5 devices listed, 0 repeated answers, 0 from responders that are no ONVIF device"));
  EXPECT_TRUE(Has(lines,
                  "ONVIF: details: 4 asked, 2 read, 1 asked for credentials, 0 SOAP faults, 0 failed, 1 given up "
                  "when the search ended, 0 not asked (no XAddr on the host that answered)"));
  // Nothing dropped, nothing cut: no lines for them.
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind("ONVIF: ", 0), 0u);
    EXPECT_EQ(line.find("dropped"), std::string::npos) << line;
  }
  EXPECT_EQ(a.Probes(), 8);
  EXPECT_EQ(a.Answers(), 10);
  EXPECT_TRUE(Has(OnvifAccountLines(OnvifSearchAccount{}), "ONVIF: no network interface to search on"));
}

TEST(OnvifAccount, ListsAreBoundedAndDeviceTextCannotActOnATerminal) {
  OnvifSearchAccount a;
  for (int i = 0; i < 25; ++i) a.NoteDropped("d" + std::to_string(i));
  for (int i = 0; i < 22; ++i) a.NoteNotOnvif("n" + std::to_string(i));
  a.malformed = 25;
  a.not_onvif = 22;
  const std::vector<std::string> lines = OnvifAccountLines(a);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("ONVIF: dropped: d", 0) == 0; }), 20);
  EXPECT_TRUE(Has(lines, "ONVIF: 5 more dropped"));
  EXPECT_TRUE(Has(lines, "ONVIF: 2 more responders not listed"));
  EXPECT_TRUE(Has(lines, "ONVIF: not listed (no ONVIF device): n0"));

  struct Case {
    std::string text, quoted;
  } cases[] = {
      {"Cam", "\"Cam\""},
      {"a\x1b]0;owned\x07" "b", "\"a\\x1b]0;owned\\x07b\""},
      {"say \"hi\" \\", "\"say \\x22hi\\x22 \\\\\""},
      {"\xE2\x80\xAE" "evil", "\"\\u{202e}evil\""},
      {std::string(79, 'a') + "\xC3\xA9", "\"" + std::string(79, 'a') + "...\""},
      {"caf\xE9", "\"caf\xC3\xA9\""},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotedOnvifText(c.text), c.quoted);
}
