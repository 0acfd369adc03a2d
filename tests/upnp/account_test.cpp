// The UPnP search's account as log lines, device texts made fit for a log
// line, and the finder's choice of interfaces and of its M-SEARCH port.
#include "upnp/upnp_account.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "upnp/gupnp_finder.h"

namespace {

TEST(UpnpAccount, LinesNameEachInterfaceThePortAndEveryRefusal) {
  UpnpSearchAccount account;
  account.interfaces = {
      {"eth0", "10.0.0.1", "", 6668, false, 4, 1},
      {"eth1", "10.0.1.1", "", 40211, true, 4, 0},  // 6668 was taken there
      {"tun0", "10.8.0.1", "Could not create HTTP server", 0, false, 0, 0},
  };
  account.descriptions_asked = 3;
  account.descriptions_read = 1;
  account.descriptions_refused = {"\"http://10.0.0.9:1/d.xml\": HTTP status 404"};
  account.descriptions_unfinished = 1;
  account.devices_refused = {"\"Router\" by \"Linksys\": neither AXIS nor Vivotek"};
  EXPECT_EQ(UpnpAccountLines(account),
            (std::vector<std::string>{
                "UPnP: eth0 (10.0.0.1): 4 M-SEARCHes sent from UDP port 6668, 1 reply",
                "UPnP: UDP port 6668 is taken on eth1 (10.0.1.1) (another search running?); M-SEARCH goes "
                "from port 40211 there, which the firewall profiles do not open",
                "UPnP: eth1 (10.0.1.1): 4 M-SEARCHes sent from UDP port 40211, 0 replies",
                "UPnP: no search on tun0 (10.8.0.1): Could not create HTTP server",
                "UPnP: 3 descriptions asked for, 1 read, 1 refused, 1 unfinished when the search ended",
                "UPnP: description refused: \"http://10.0.0.9:1/d.xml\": HTTP status 404",
                "UPnP: 0 kept (AXIS or Vivotek), 1 refused",
                "UPnP: device refused: \"Router\" by \"Linksys\": neither AXIS nor Vivotek",
            }));

  // No interface at all; refusals beyond the limit are counted, not listed.
  account = {};
  account.devices_refused.assign(kUpnpAccountListLimit + 3, "x");
  const std::vector<std::string> lines = UpnpAccountLines(account);
  EXPECT_EQ(lines.front(), "UPnP: no network interface to search on");
  EXPECT_EQ(lines.size(), 3 + kUpnpAccountListLimit + 1);
  EXPECT_EQ(lines.back(), "UPnP: 3 more devices refused");

  // A flood: refused descriptions are kept up to the limit and counted
  // beyond it; those dropped and the announcements not followed get a line.
  account = {};
  for (int i = 0; i < 5000; ++i) account.NoteRefusedDescription("\"http://10.0.0.66:1/f.xml\": HTTP status 500");
  account.descriptions_dropped = 1200;
  account.announcements_elsewhere = 1;
  EXPECT_EQ(account.descriptions_refused.size(), kUpnpAccountListLimit);
  const std::vector<std::string> flood = UpnpAccountLines(account);
  const auto has = [&](const std::string& line) { return std::find(flood.begin(), flood.end(), line) != flood.end(); };
  EXPECT_TRUE(has("UPnP: 0 descriptions asked for, 0 read, 5000 refused, 0 unfinished when the search ended"));
  EXPECT_TRUE(has("UPnP: 4980 more descriptions refused"));
  EXPECT_TRUE(has("UPnP: 1200 descriptions not asked for: as many fetches as a search allows were under way"));
  EXPECT_TRUE(has("UPnP: 1 announcement not followed: the LOCATION is not on the host that sent it"));
}

TEST(UpnpAccount, DeviceTextsAreQuotedCutAndFreedOfWhatATerminalActsOn) {
  struct Case {
    std::string text, quoted;
  } cases[] = {
      {"AXIS Q1615", "\"AXIS Q1615\""},
      {"", "\"\""},
      {"a\"b\\c", "\"a\\x22b\\x5Cc\""},
      {"red\x1b[31m\r\n\x7f", "\"red\\x1B[31m\\x0D\\x0A\\x7F\""},  // C0 controls and DEL
      {"C1 \xc2\x9b" "1m", "\"C1 \\xC2\\x9B1m\""},                // U+009B, a CSI of its own
      {"Caf\xc3\xa9 \xe2\x82\xac", "\"Caf\xc3\xa9 \xe2\x82\xac\""},  // UTF-8 passes
      {"Latin-1 \xe9t\xe9", "\"Latin-1 \\xE9t\\xE9\""},             // not UTF-8
      {"\xc0\xae \xed\xa0\x80", "\"\\xC0\\xAE \\xED\\xA0\\x80\""},  // overlong, surrogate
      {std::string(81, 'x'), "\"" + std::string(80, 'x') + "...\""},
      // Cut before a character that would straddle byte 80.
      {std::string(79, 'x') + "\xc3\xa9", "\"" + std::string(79, 'x') + "...\""},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotedDeviceText(c.text), c.quoted) << c.text;
}

TEST(UpnpFinderChoice, SearchesInterfacesThatAreUpAndCanMulticastOrLoopBack) {
  struct Case {
    unsigned flags;
    bool searched;
  } cases[] = {
      {IFF_UP | IFF_BROADCAST | IFF_MULTICAST, true},
      {IFF_UP | IFF_LOOPBACK, true},
      {IFF_BROADCAST | IFF_MULTICAST, false},                  // down
      {IFF_UP | IFF_BROADCAST, false},                         // cannot multicast
      {IFF_UP | IFF_MULTICAST | IFF_POINTOPOINT, false},       // a tunnel
  };
  for (const Case& c : cases) EXPECT_EQ(IsUpnpSearchInterface(c.flags), c.searched) << c.flags;
}

// A port held by another socket is not free, even where that socket allows
// address reuse (as GSSDP's M-SEARCH socket does); it is once let go.
TEST(UpnpFinderChoice, APortHeldWithOrWithoutReuseIsNotFree) {
  for (int reuse : {0, 1}) {
    const int holder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(holder, 0);
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof(at)), 0);
    socklen_t size = sizeof(at);
    getsockname(holder, reinterpret_cast<sockaddr*>(&at), &size);
    const int port = ntohs(at.sin_port);
    EXPECT_FALSE(UdpPortFree("127.0.0.1", port)) << reuse;
    close(holder);
    EXPECT_TRUE(UdpPortFree("127.0.0.1", port)) << reuse;
  }
  EXPECT_FALSE(UdpPortFree("not an address", 6668));
}

}  // namespace
