// Two searches on one machine in the test network: they take turns on UDP
// port 6667, so each lists every device; a search that cannot get the port
// within its wait says so and exits 1 instead of listing a part, and a watch
// goes on past rounds that could not search.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "net_test_support.h"
#include "protocol/port_claim.h"

namespace {

constexpr const char* kHeldLine =
    "device-search: UDP port 6667 stayed held by another search on this machine: nothing was searched; search "
    "again when that search has ended";

CommandResult Command(const TestNetwork& net, std::vector<std::string> args, int timeout_ms = 30000) {
  args.insert(args.begin(), KDS_DEVICE_SEARCH_PATH);
  return net.RunInClient(args, timeout_ms);
}

// The data rows of `search --format csv`.
std::size_t CsvRows(const CommandResult& r) {
  const std::vector<std::string> lines = Lines(r.out);
  return lines.empty() ? 0 : lines.size() - 1;
}

// Takes the claim on port 6667 in the client's namespace, as another search would.
bool HoldPort(const TestNetwork& net, PortClaim& claim) {
  NetnsScope client = net.EnterClient();
  return client.Entered() && claim.TryTake(6667) == PortClaim::Result::kTaken;
}

}  // namespace

TEST(TwoSearchesNet, StartedTogetherBothListEveryDeviceOrTheLaterSaysWhy) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(net.StartDeviceSim({"--count", "20"}), nullptr) << net.Error();
  for (int run = 0; run < 3; ++run) {
    const std::vector<std::string> args = {"search", "--no-upnp", "--format", "csv"};
    auto first = std::async(std::launch::async, [&] { return Command(net, args); });
    auto second = std::async(std::launch::async, [&] { return Command(net, args); });
    for (const CommandResult& r : {first.get(), second.get()}) {
      ASSERT_TRUE(r.started) << r.err;
      if (r.exit_code == 1) {  // the port stayed held for all of its wait
        EXPECT_EQ(r.err, std::string(kHeldLine) + "\n") << run;
        EXPECT_EQ(r.out, "") << run;
        continue;
      }
      EXPECT_EQ(r.exit_code, 0) << run << " " << r.err;
      EXPECT_EQ(CsvRows(r), 20u) << run << "\n" << r.out;
      EXPECT_EQ(r.err, "") << run;
    }
  }
}

TEST(TwoSearchesNet, APortHeldForTheWholeWaitEndsEachCommandWithStatusOne) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(net.StartDeviceSim({"--count", "3"}), nullptr) << net.Error();
  const std::string saved = "/tmp/kds-two-searches-" + std::to_string(getpid()) + ".csv";
  {
    std::ofstream out(saved);
    out << "Model,Proj,Name,IP,Port,Netmask,Mac\n";  // every device would be new: status 3
  }
  PortClaim claim;
  ASSERT_TRUE(HoldPort(net, claim));
  struct Case {
    const char* what;
    std::vector<std::string> args;
  } cases[] = {
      {"search", {"search", "--no-upnp"}},
      {"search with a comparison that differs", {"search", "--no-upnp", "--compare", saved}},
      {"setup", {"setup", "--mac", "00:11:22:33:44:55", "--dhcp"}},
      {"watch, at its first round", {"watch", "--no-upnp", "--duration", "20"}},
  };
  // All at once: each waits its 5 s beside the others.
  std::vector<std::future<CommandResult>> results;
  const auto start = std::chrono::steady_clock::now();
  for (const Case& c : cases) results.push_back(std::async(std::launch::async, [&] { return Command(net, c.args); }));
  for (std::size_t i = 0; i < results.size(); ++i) {
    const CommandResult r = results[i].get();
    EXPECT_EQ(r.exit_code, 1) << cases[i].what << "\n" << r.err;
    EXPECT_EQ(r.err, std::string(kHeldLine) + "\n") << cases[i].what;
    EXPECT_EQ(r.out, "") << cases[i].what;
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));

  // Freed: the next search lists every device.
  claim.Release();
  const CommandResult after = Command(net, {"search", "--no-upnp", "--format", "csv"});
  EXPECT_EQ(after.exit_code, 0) << after.err;
  EXPECT_EQ(CsvRows(after), 3u) << after.out;
  std::remove(saved.c_str());
}

TEST(TwoSearchesNet, AWatchSaysARoundThatCouldNotSearchAndGoesOn) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(net.StartDeviceSim({"--count", "3"}), nullptr) << net.Error();
  auto watch = std::async(std::launch::async, [&] {
    return Command(net, {"watch", "--no-upnp", "--interval", "5", "--duration", "13"});
  });
  // The first round (at 0 s) is over well before the second (at 5 s).
  std::this_thread::sleep_for(std::chrono::seconds(3));
  PortClaim claim;
  ASSERT_TRUE(HoldPort(net, claim));
  const CommandResult r = watch.get();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find(std::string(kHeldLine) + " (this round); the watch goes on\n"), std::string::npos) << r.err;
  std::size_t found = 0, gone = 0;
  for (const std::string& line : Lines(r.out)) {
    found += line.find("\"event\":\"found\"") != std::string::npos;
    gone += line.find("\"event\":\"gone\"") != std::string::npos;
  }
  EXPECT_EQ(found, 3u) << r.out;
  EXPECT_EQ(gone, 0u) << r.out;
}
