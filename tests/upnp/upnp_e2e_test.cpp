// End to end: the GUPnP engine in one network namespace searches the
// simulator's root devices served from another: devices that answer at once
// or within MX, pretty-printed descriptions, announcements only, unserved and
// stalling descriptions, and what reaches standard error of
// `device-search search`.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "net_test_support.h"

namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) out.push_back(field);
  return out;
}

// What the probe printed.
struct ProbeRun {
  long elapsed_ms = -1;
  std::vector<std::vector<std::string>> results, rows;
  std::vector<std::string> messages, account, found_on;
  int merged = -1;  // rows the merge added
};

ChildProcess* StartUpnpSim(TestNetwork& net, const std::vector<std::string>& host_args, int devices,
                           std::vector<std::string> more = {"--no-udp", "--no-tcp"}) {
  std::vector<std::string> args = {"--upnp-address", TestNetwork::kDevicesAddress};
  args.insert(args.end(), host_args.begin(), host_args.end());
  args.insert(args.end(), more.begin(), more.end());
  ChildProcess* sim = net.StartDeviceSim(args);
  EXPECT_NE(sim, nullptr) << net.Error();
  if (sim) {
    EXPECT_TRUE(sim->WaitForLine("upnp ready " + std::to_string(devices) + " devices", 10000)) << sim->Output();
  }
  return sim;
}

// Runs `searches` searches on the client side, one after the other, with one
// engine; one entry per search.
std::vector<ProbeRun> Probe(TestNetwork& net, int searches = 1) {
  std::vector<ProbeRun> runs;
  CommandResult probe = net.RunInClient({KDS_UPNP_PROBE, "--searches", std::to_string(searches)}, 30000);
  EXPECT_EQ(probe.exit_code, 0) << probe.err;
  std::stringstream out(probe.out);
  for (std::string line; std::getline(out, line);) {
    std::vector<std::string> f = Split(line);
    if (f.empty()) continue;
    if (f[0] == "search") runs.emplace_back();
    if (runs.empty()) continue;
    ProbeRun& run = runs.back();
    if (f[0] == "elapsed_ms") run.elapsed_ms = std::stol(f.at(1));
    if (f[0] == "result") run.results.emplace_back(f.begin() + 1, f.end());
    if (f[0] == "row") run.rows.emplace_back(f.begin() + 1, f.end());
    if (f[0] == "message") run.messages.push_back(f.at(1));
    if (f[0] == "account") run.account.push_back(f.at(1));
    if (f[0] == "found_on") run.found_on.push_back(f.size() > 1 ? f[1] : "");
    if (f[0] == "merged") run.merged = std::stoi(f.at(1));
  }
  EXPECT_EQ(runs.size(), static_cast<std::size_t>(searches));
  return runs;
}

// The status of a GET of `path` on `ip`:`port`, from the client's side.
int HttpStatus(const TestNetwork& net, const std::string& ip, int port, const std::string& path) {
  NetnsScope client = net.EnterClient();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0) {
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + ip + "\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buffer[256];
      ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
      if (n > 0) reply.assign(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : -1;  // "HTTP/1.1 200"
}

// The M-SEARCH requests a run's account says went out on the test network's
// client interface, from port 6668; -1 when it says nothing of them.
int MsearchesSent(const ProbeRun& run, const TestNetwork& net) {
  const std::string where = "UPnP: " + net.ClientInterface() + " (" + TestNetwork::kClientAddress + "): ";
  for (const std::string& line : run.account) {
    if (line.rfind(where, 0) != 0 || line.find(" sent from UDP port 6668, ") == std::string::npos) continue;
    return std::atoi(line.c_str() + where.size());
  }
  return -1;
}

std::string RowText(const std::vector<std::string>& r) {
  return r[0] + "|" + r[2] + "|" + r[3] + "|" + r[4] + "|" + r[5] + "|" + r[6];
}

// The windows of today's search, and the slack a loaded machine may need.
constexpr long kWindowMs = 1200, kGraceMs = 500, kSlackMs = 2500;

}  // namespace

// Four AXIS, three Vivotek and five other devices, served plainly to devices
// that wait up to MX before answering, and pretty-printed to devices that
// answer at once: both list the same devices with the same texts.
TEST(UpnpEndToEnd, FindsTheAxisAndVivotekDevicesAsTheyWriteThemselves) {
  SKIP_WITHOUT_NETWORK();
  const std::string ip = TestNetwork::kDevicesAddress;
  for (const std::vector<std::string>& style :
       {std::vector<std::string>{"--upnp-mx-honour", "on"},
        std::vector<std::string>{"--upnp-mx-honour", "off", "--upnp-pretty"}}) {
    SCOPED_TRACE(style.back());
    TestNetwork net;
    ASSERT_TRUE(net.Ready()) << net.Error();
    std::vector<std::string> args = {"--upnp-axis", "4", "--upnp-vivotek", "3", "--upnp-other", "5"};
    args.insert(args.end(), style.begin(), style.end());
    ChildProcess* sim = StartUpnpSim(net, args, 12);
    ASSERT_NE(sim, nullptr);
    // Two searches in a row with one engine: the second finds the same.
    std::vector<ProbeRun> runs = Probe(net, 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].results.size(), runs[0].results.size());
    EXPECT_EQ(runs[1].rows.size(), runs[0].rows.size());
    for (const ProbeRun& run : runs) {
      // The window closes 1.2 s after the first M-SEARCH; nothing was pending.
      EXPECT_GE(run.elapsed_ms, kWindowMs - 50);
      EXPECT_LE(run.elapsed_ms, kWindowMs + kSlackMs);
    }
    // The M-SEARCH goes out twice at the start (GSSDP's third follows at 500
    // ms), from the fixed port, and the account counts what the devices heard.
    const std::string from = "upnp search from " + std::string(TestNetwork::kClientAddress);
    EXPECT_GE(sim->CountLines(from + ":"), 4) << sim->Output();
    EXPECT_EQ(sim->CountLines(from + ":6668 "), sim->CountLines(from + ":"));
    EXPECT_EQ(sim->CountLines(from + ":"), MsearchesSent(runs[0], net) + MsearchesSent(runs[1], net));
    EXPECT_EQ(runs[0].found_on.size(), runs[0].results.size());
    for (const std::string& interface : runs[0].found_on) EXPECT_EQ(interface, net.ClientInterface());

    const ProbeRun& run = runs[0];
    std::multiset<std::string> makers;
    std::set<std::string> udns;
    std::multiset<std::string> children, services;
    for (const auto& r : run.results) {
      ASSERT_EQ(r.size(), 19u);
      makers.insert(r[6]);
      udns.insert(r[17]);
      children.insert(r[0]);
      services.insert(r[15]);
      EXPECT_EQ(r[0] == "No: Zero children" ? "No" : "Yes", r[3]);  // has_children
      EXPECT_EQ(r[5], "Yes");                                        // is_root_device
      EXPECT_EQ(r[11], "This is a topmost device");                  // parent_device
      EXPECT_EQ(r[13], "This is a topmost device");                  // root_device
      EXPECT_EQ(r[4].rfind("http://" + ip + ":", 0), 0u) << r[4];
      EXPECT_EQ(r[4].substr(r[4].rfind('/')), "/icon32.gif");
      EXPECT_EQ(r[16], "urn:schemas-upnp-org:device:Basic:1");
      EXPECT_EQ(r[17].rfind("uuid:", 0), 0u) << r[17];
      // The icons and service descriptions a description names are served.
      const int port = std::atoi(r[4].c_str() + r[4].rfind(':') + 1);
      EXPECT_EQ(HttpStatus(net, ip, port, "/icon32.gif"), 200);
      EXPECT_EQ(HttpStatus(net, ip, port, "/icon48.png"), 200);
      for (const char* scpd : {"/scpd1.xml", "/scpd2.xml", "/scpd3.xml"})
        EXPECT_EQ(HttpStatus(net, ip, port, scpd), 200) << scpd;
    }
    // "VIVOTEK INC." is Vivotek; "Praxis Imaging", "Axis Communications" and
    // "axis" are not AXIS; nor "Vivid Tech" Vivotek.
    EXPECT_EQ(makers, (std::multiset<std::string>{"AXIS", "AXIS Communications AB", "Cameras by AXIS",
                                                  "AXIS and Vivotek Alliance", "VIVOTEK INC.",
                                                  "Vivotek Inc.", "Made by Vivotek Corporation"}));
    EXPECT_EQ(udns.size(), 7u);  // each device once
    EXPECT_EQ(children.count("No: Zero children"), 3u);
    EXPECT_EQ(children.count("Yes: One child"), 2u);
    EXPECT_EQ(children.count("Yes: 3 children"), 2u);
    EXPECT_EQ(services.count("Yes: 3 services"), 2u);
    EXPECT_EQ(services.count("Yes: One service"), 3u);

    // Rows: AXIS 1, 2 and 4 (AXIS 3's address has no path) with the ports of
    // their presentation addresses, not of the description server; Vivotek 1
    // only (Vivotek 2 has no "(" in its name, Vivotek 3's address no path).
    std::multiset<std::string> row_texts;
    for (const auto& r : run.rows) {
      ASSERT_EQ(r.size(), 7u);
      row_texts.insert(RowText(r));
    }
    EXPECT_EQ(row_texts, (std::multiset<std::string>{
                             "Axis 200 Series|AXIS Network Camera 1|" + ip + "|8080|NULL|NULL",
                             "Axis 200 Series|AXIS Network Camera 2|" + ip + "|80|NULL|NULL",
                             "Axis 200 Series|AXIS Network Camera 4|" + ip + "|8080|NULL|NULL",
                             "VivoTek 7000 Series|Vivotek IP8332 |" + ip + "|80|NULL|NULL"}));
    EXPECT_EQ(run.merged, 4);
  }
}

// Announcements heard during the window count like answers; an unserved
// description is told in the log and holds nothing up.
TEST(UpnpEndToEnd, AnnouncedDevicesAreKeptAndUnservedOnesTold) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(StartUpnpSim(net, {"--upnp-axis", "2", "--upnp-silent", "1", "--upnp-notify-only"}, 3), nullptr);
  std::vector<ProbeRun> runs = Probe(net);
  ASSERT_EQ(runs.size(), 1u);
  const ProbeRun& run = runs[0];
  std::set<std::string> makers;
  for (const auto& r : run.results) makers.insert(r.at(6));
  EXPECT_EQ(makers, (std::set<std::string>{"AXIS", "AXIS Communications AB"}));
  EXPECT_EQ(run.merged, 2);
  int told = 0;
  for (const std::string& m : run.account)
    told += m.find("description refused: \"http://") == 6 && m.find("/missing-1.xml\": HTTP status 404") != std::string::npos;
  EXPECT_EQ(told, 1);
  EXPECT_LE(run.elapsed_ms, kWindowMs + kSlackMs);
}

// With UDP port 6668 held on the client's address (by a socket bound with
// address reuse, as GSSDP binds it, so that a plain bind would share it), the
// search sends from a random port there, says so, and lists every device.
TEST(UpnpEndToEnd, ATakenMsearchPortGivesWayToARandomOne) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = StartUpnpSim(net, {"--upnp-axis", "2"}, 2);
  ASSERT_NE(sim, nullptr);
  int holder = -1;
  {
    NetnsScope client = net.EnterClient();
    ASSERT_TRUE(client.Entered()) << client.Error();
    holder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(6668);
    inet_pton(AF_INET, TestNetwork::kClientAddress, &at.sin_addr);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof(at)), 0);
  }
  std::vector<ProbeRun> runs = Probe(net);
  close(holder);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].results.size(), 2u);
  const std::string taken = "UPnP: UDP port 6668 is taken on " + net.ClientInterface() + " (" +
                            TestNetwork::kClientAddress + ")";
  int told = 0;
  for (const std::string& line : runs[0].account) told += line.rfind(taken, 0) == 0;
  EXPECT_EQ(told, 1);
  const std::string from = "upnp search from " + std::string(TestNetwork::kClientAddress);
  EXPECT_GE(sim->CountLines(from + ":"), 4) << sim->Output();
  EXPECT_EQ(sim->CountLines(from + ":6668 "), 0) << sim->Output();
}

// Twenty description servers that never answer beside fifty real devices:
// every real device is listed, and the search ends after its grace.
TEST(UpnpEndToEnd, StallingDescriptionServersHoldUpNoRealDevice) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  std::string stalls = "stall";
  for (int i = 1; i < 20; ++i) stalls += ",stall";
  ChildProcess* sim =
      StartUpnpSim(net, {"--upnp-axis", "25", "--upnp-vivotek", "25", "--upnp-hostile", stalls}, 70);
  ASSERT_NE(sim, nullptr);
  std::vector<ProbeRun> runs = Probe(net);
  ASSERT_EQ(runs.size(), 1u);
  const ProbeRun& run = runs[0];
  std::set<std::string> udns;
  for (const auto& r : run.results) udns.insert(r.at(17));
  EXPECT_EQ(run.results.size(), 50u);
  EXPECT_EQ(udns.size(), 50u);
  EXPECT_EQ(sim->CountLines("upnp hostile stall request"), 20) << sim->Output();
  // The stalled fetches are given up when the grace ends.
  EXPECT_GE(run.elapsed_ms, kWindowMs + kGraceMs - 50);
  EXPECT_LE(run.elapsed_ms, kWindowMs + kGraceMs + kSlackMs);
  int told = 0;
  for (const std::string& m : run.account) told += m.find(", 20 unfinished when the search ended") != std::string::npos;
  EXPECT_EQ(told, 1);
}

// The default search against 100 protocol devices and 50 UPnP root devices
// that wait up to MX before answering: everything is listed, the UPnP rows
// with the interface they answered on.
TEST(UpnpEndToEnd, DefaultSearchListsEveryDeviceOfDevicesThatHonourMx) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(StartUpnpSim(net, {"--upnp-axis", "25", "--upnp-vivotek", "25", "--upnp-mx-honour", "on"}, 50,
                         {"--count", "100", "--no-tcp"}),
            nullptr);
  CommandResult r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "search", "--format", "json"}, 30000);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
  std::set<QString> macs, udns;
  for (const QJsonValue& v : rows) {
    QJsonObject row = v.toObject();
    if (row.value("source").toString() == "protocol") macs.insert(row.value("mac").toString());
    if (row.value("source").toString() == "upnp") {
      udns.insert(row.value("upnp").toObject().value("unique_device_name").toString());
      EXPECT_EQ(row.value("interface").toString().toStdString(), net.ClientInterface());
    }
  }
  EXPECT_EQ(macs.size(), 100u);
  // The rows the merge's rules give for 25 AXIS and 25 Vivotek devices of the
  // simulator's plan: 17 AXIS with a path, 9 Vivotek with "(" and a path.
  EXPECT_EQ(udns.size(), 26u);
  EXPECT_EQ(rows.size(), 126);
}

// A reply without Cache-Control and a malformed description: standard error
// stays empty without --verbose; with it, both show in the debug log there.
TEST(UpnpEndToEnd, LibraryMessagesGoToTheDebugLogOnly) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(StartUpnpSim(net, {"--upnp-axis", "1", "--upnp-hostile", "malformed", "--upnp-no-cache-control"}, 2,
                         {"--count", "2", "--no-tcp"}),
            nullptr);
  CommandResult quiet = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "search", "--format", "csv"}, 30000);
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
  // The heading, two devices, the AXIS one (and what libxml2 recovered of the
  // malformed description, if anything).
  EXPECT_GE(Lines(quiet.out).size(), 4u) << quiet.out;

  CommandResult verbose = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "search", "--format", "csv", "--verbose"}, 30000);
  ASSERT_EQ(verbose.exit_code, 0) << verbose.err;
  // The same rows; the two devices' replies may come in either order.
  std::vector<std::string> quiet_rows = Lines(quiet.out), verbose_rows = Lines(verbose.out);
  std::sort(quiet_rows.begin(), quiet_rows.end());
  std::sort(verbose_rows.begin(), verbose_rows.end());
  EXPECT_EQ(verbose_rows, quiet_rows);
  EXPECT_NE(verbose.err.find("Cache-Control"), std::string::npos) << verbose.err;
  EXPECT_NE(verbose.err.find("libxml2 "), std::string::npos) << verbose.err;
  EXPECT_NE(verbose.err.find("hostile-malformed.xml"), std::string::npos) << verbose.err;
}
