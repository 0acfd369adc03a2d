// End to end: the GUPnP engine in one network namespace searches the
// simulator's root devices served from another, within the search window.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "net_test_support.h"

namespace {

using namespace std::chrono_literals;

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
  std::string label;
};

// Serves the simulator's UPnP devices (`host_args`) on the devices' side and
// runs `searches` searches on the client side, one after the other, with one
// engine; `runs` gets one entry per search.
void Search(TestNetwork& net, const std::vector<std::string>& host_args, int devices, int searches,
            std::vector<ProbeRun>& runs) {
  std::vector<std::string> args = {"--no-udp", "--no-tcp", "--upnp-address", TestNetwork::kDevicesAddress};
  args.insert(args.end(), host_args.begin(), host_args.end());
  ChildProcess* sim = net.StartDeviceSim(args);
  ASSERT_NE(sim, nullptr) << net.Error();
  ASSERT_TRUE(sim->WaitForLine("upnp ready " + std::to_string(devices) + " devices", 10000)) << sim->Output();

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
    if (f[0] == "label") run.label = f.at(1);
  }
  EXPECT_EQ(runs.size(), static_cast<std::size_t>(searches));
}

TEST(UpnpEndToEnd, FindsTheAxisAndVivotekDevicesWithinTheWindow) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  // Two searches in a row with one engine: the second finds the same.
  std::vector<ProbeRun> runs;
  Search(net, {"--upnp-axis", "4", "--upnp-vivotek", "3", "--upnp-other", "5"}, 12, 2, runs);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].results.size(), runs[0].results.size());
  EXPECT_EQ(runs[1].rows.size(), runs[0].rows.size());
  EXPECT_GE(runs[1].elapsed_ms, 1150);
  EXPECT_LE(runs[1].elapsed_ms, 3700);
  const ProbeRun& run = runs[0];
  const long elapsed_ms = run.elapsed_ms;
  const auto& results = run.results;
  const auto& rows = run.rows;
  const std::string& label = run.label;

  // The window closes 1.2 s after the first M-SEARCH; nothing was left
  // pending (the upper bound leaves room for a loaded machine).
  EXPECT_GE(elapsed_ms, 1150);
  EXPECT_LE(elapsed_ms, 3700);

  std::multiset<std::string> makers;
  std::set<std::string> udns;
  std::multiset<std::string> children, services;
  for (const auto& r : results) {
    ASSERT_EQ(r.size(), 19u);
    makers.insert(r[6]);
    udns.insert(r[17]);
    children.insert(r[0]);
    services.insert(r[15]);
    EXPECT_EQ(r[0] == "No: Zero children" ? "No" : "Yes", r[3]);  // has_children
    EXPECT_EQ(r[5], "Yes");                                        // is_root_device
    EXPECT_EQ(r[11], "This is a topmost device");                  // parent_device
    EXPECT_EQ(r[13], "This is a topmost device");                  // root_device
    EXPECT_EQ(r[4], "http://" + std::string(TestNetwork::kDevicesAddress) + ":" + r[4].substr(r[4].rfind(':') + 1));
    EXPECT_NE(r[4].find("/icon32.gif"), std::string::npos);
    EXPECT_EQ(r[16], "urn:schemas-upnp-org:device:Basic:1");
  }
  // "VIVOTEK INC." is Vivotek; "Praxis Imaging", "Axis Communications" and
  // "axis" are not AXIS; nor "Vivid Tech" Vivotek.
  EXPECT_EQ(makers, (std::multiset<std::string>{
                        "AXIS", "AXIS Communications AB", "Cameras by AXIS",
                        "AXIS and Vivotek Alliance", "VIVOTEK INC.", "Vivotek Inc.",
                        "Made by Vivotek Corporation"}));
  EXPECT_EQ(udns.size(), 7u);  // each device once
  EXPECT_EQ(children.count("No: Zero children"), 3u);
  EXPECT_EQ(children.count("Yes: One child"), 2u);
  EXPECT_EQ(children.count("Yes: 3 children"), 2u);
  EXPECT_EQ(services.count("Yes: 3 services"), 2u);
  EXPECT_EQ(services.count("Yes: One service"), 3u);

  // Rows: AXIS 1, 2 and 4 (AXIS 3's address has no path); Vivotek 1 only
  // (Vivotek 2 has no "(" in its name, Vivotek 3's address no path).
  std::multiset<std::string> row_texts;
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 7u);
    row_texts.insert(r[0] + "|" + r[2] + "|" + r[3] + "|" + r[4] + "|" + r[5] + "|" + r[6]);
  }
  const std::string ip = std::string(TestNetwork::kDevicesAddress);
  EXPECT_EQ(row_texts, (std::multiset<std::string>{
                           "Axis 200 Series|AXIS Network Camera 1|" + ip + "|8080|NULL|NULL",
                           "Axis 200 Series|AXIS Network Camera 2|" + ip + "|80|NULL|NULL",
                           "Axis 200 Series|AXIS Network Camera 4|" + ip + "|8080|NULL|NULL",
                           "VivoTek 7000 Series|Vivotek IP8332 |" + ip + "|80|NULL|NULL"}));
  EXPECT_EQ(label, "4 device(s) found!");
}

TEST(UpnpEndToEnd, AnUnservedDescriptionHoldsNothingUp) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  std::vector<ProbeRun> runs;
  Search(net, {"--upnp-axis", "1", "--upnp-silent", "1"}, 2, 1, runs);
  ASSERT_EQ(runs.size(), 1u);
  const ProbeRun& run = runs[0];
  // The silent device's description answers 404: it is given up at once.
  EXPECT_LE(run.elapsed_ms, 3700);
  ASSERT_EQ(run.results.size(), 1u);
  EXPECT_EQ(run.results[0][6], "AXIS");
  EXPECT_EQ(run.label, "1 device(s) found!");
}

}  // namespace
