// End to end: the WS-Discovery finder on the client side of a test network
// finds the simulator's ONVIF cameras behind two interfaces, as root and as
// an unprivileged user, and never the computer-like responders or the
// hostile ones' malformed answers; its Probes leave from port 6669, or from a
// random port (said in the account) while another program holds it; the
// interface filter keeps it off the other links; nothing holds the port
// afterwards.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

struct Device {
  long at_ms = -1;
  std::string endpoint, ip, interface, name, hardware, manufacturer, model, serial, web_page, from, types;
};

// What one run of the probe printed.
struct ProbeRun {
  int exit_code = -1;
  std::string err;
  long elapsed_ms = -1;
  int found = -1;
  std::vector<Device> devices;
  std::vector<std::string> account;
  std::map<std::string, int> port_free;
  bool Says(const std::string& start) const {
    for (const std::string& l : account)
      if (l.rfind(start, 0) == 0) return true;
    return false;
  }
};

ProbeRun ReadRun(const CommandResult& r) {
  ProbeRun run;
  run.exit_code = r.exit_code;
  run.err = r.err;
  for (const std::string& line : Lines(r.out)) {
    const std::vector<std::string> f = Split(line);
    if (f.empty()) continue;
    if (f[0] == "device" && f.size() >= 13) {
      run.devices.push_back(Device{std::stol(f[1]), f[2], f[3], f[5], f[6], f[7], f[8], f[9], f[10], f[11], f[12],
                                   f.size() > 13 ? f[13] : ""});
    }
    if (f[0] == "elapsed_ms") run.elapsed_ms = std::stol(f.at(1));
    if (f[0] == "found") run.found = std::stoi(f.at(1));
    if (f[0] == "account") run.account.push_back(f.at(1));
    if (f[0] == "port_free") run.port_free[f.at(1)] = std::stoi(f.at(2));
  }
  return run;
}

std::vector<std::string> ProbeArgs(const std::vector<std::string>& more = {}) {
  std::vector<std::string> argv = {KDS_ONVIF_PROBE};
  argv.insert(argv.end(), more.begin(), more.end());
  return argv;
}

// The simulator's endpoints: kind 0 cameras, 1 computers, 2 hostile ones,
// for the devices' address `address`.
std::string Endpoint(const std::string& address, int kind, int index) {
  in_addr a{};
  inet_pton(AF_INET, address.c_str(), &a);
  char text[64];
  std::snprintf(text, sizeof(text), "urn:uuid:%08x-%04x-4000-8000-%012x", ntohl(a.s_addr), kind, index);
  return text;
}

ChildProcess* StartOnvifSim(TestNetwork& net, int link, const std::string& address, std::vector<std::string> args) {
  args.insert(args.begin(), {"--no-udp", "--no-tcp", "--onvif-address", address});
  ChildProcess* sim = net.StartDeviceSimOn(link, args);
  EXPECT_NE(sim, nullptr) << net.Error();
  return sim;
}

// The window and grace of today's search, and the slack a loaded machine may need.
constexpr long kWindowMs = 1200, kGraceMs = 300, kSlackMs = 2500;

// Camera i of the simulator asks for credentials when i % 4 == 3.
bool AsksCredentials(int i) { return i % 4 == 3; }

// Checks one run against the two simulators: 12 cameras and a stalling
// hostile behind link 0 (10.99.0.2), 7 cameras behind link 1 (10.77.0.2).
void CheckTwoLinks(const ProbeRun& run, const TestNetwork& net) {
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::map<std::string, const Device*> by_endpoint;
  for (const Device& d : run.devices) {
    EXPECT_TRUE(by_endpoint.emplace(d.endpoint, &d).second) << "twice: " << d.endpoint;
    // Handed on before the search ended, each.
    EXPECT_LE(d.at_ms, run.elapsed_ms);
  }
  EXPECT_EQ(run.found, 20);
  EXPECT_EQ(run.devices.size(), 20u);
  const struct {
    const char* address;
    int cameras;
    int link;
  } sides[] = {{"10.99.0.2", 12, 0}, {"10.77.0.2", 7, 1}};
  for (const auto& side : sides) {
    for (int i = 0; i < side.cameras; ++i) {
      SCOPED_TRACE(std::string(side.address) + " camera " + std::to_string(i));
      const auto found = by_endpoint.find(Endpoint(side.address, 0, i));
      ASSERT_NE(found, by_endpoint.end());
      const Device& d = *found->second;
      EXPECT_EQ(d.ip, side.address);
      EXPECT_EQ(d.web_page, "http://" + std::string(side.address) + ":80/");
      EXPECT_EQ(d.interface, net.ClientInterface(side.link));
      EXPECT_EQ(d.name, (i % 3 == 1 ? "Entr\xC3\xA9" "e " : "Kestra Cam ") + std::to_string(i + 1));
      EXPECT_EQ(d.hardware, i % 6 == 5 ? "KR-16" : "KC-100");
      // GetDeviceInformation answered, or credentials asked: the scopes' device.
      EXPECT_EQ(d.manufacturer, AsksCredentials(i) ? "" : "Kestra");
      EXPECT_EQ(d.serial, AsksCredentials(i) ? "" : "KS" + std::to_string(100000 + i));
      // The random-port camera's answer came from another port, the others' from 3702.
      EXPECT_EQ(d.from.rfind(std::string(side.address) + ":", 0), 0u);
      if (i % 6 != 1) {
        EXPECT_EQ(d.from, std::string(side.address) + ":3702");
      }
    }
    // Neither the computers nor the hostile ones' malformed answers.
    for (int k = 0; k < 3; ++k) EXPECT_EQ(by_endpoint.count(Endpoint(side.address, 1, k)), 0u);
  }
  // The stalling one is listed, given up at its details' time.
  const auto stall = by_endpoint.find(Endpoint("10.99.0.2", 2, 4));
  ASSERT_NE(stall, by_endpoint.end());
  EXPECT_EQ(stall->second->manufacturer, "");
  for (int k = 0; k < 4; ++k) EXPECT_EQ(by_endpoint.count(Endpoint("10.99.0.2", 2, k)), 0u) << k;

  // The window closes 1.2 s after the first Probe; the grace bounds the rest.
  EXPECT_GE(run.elapsed_ms, kWindowMs - 50);
  EXPECT_LE(run.elapsed_ms, kWindowMs + kGraceMs + kSlackMs);
  for (int link = 0; link < 2; ++link) {
    const std::string address = link == 0 ? TestNetwork::kClientAddress : "10.77.0.1";
    EXPECT_TRUE(run.Says("ONVIF: " + net.ClientInterface(link) + " (" + address + "): 4 Probes sent from UDP port 6669"))
        << address;
    EXPECT_EQ(run.port_free.at(address), 1) << "port 6669 still held on " << address;
  }
  EXPECT_TRUE(run.Says("ONVIF: 20 devices listed, ")) << run.account.size();
  EXPECT_TRUE(run.Says("ONVIF: not listed (no ONVIF device): \"" + Endpoint("10.99.0.2", 1, 0)));
  EXPECT_TRUE(run.Says("ONVIF: dropped: 10.99.0.2:3702: a DTD"));
  EXPECT_TRUE(run.Says("ONVIF: dropped: 10.99.0.2:3702: not well-formed XML"));
  EXPECT_FALSE(run.Says("ONVIF: UDP port 6669 is taken"));
}

std::vector<TestLink> TwoLinks() {
  TestLink a;
  TestLink b;
  b.client_address = "10.77.0.1/24";
  b.devices_address = "10.77.0.2/24";
  b.client_default_route = false;
  return {a, b};
}

}  // namespace

TEST(OnvifNet, FindsEveryCameraOnTwoInterfacesAsRootAndAsAUser) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net(TwoLinks());
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* a = StartOnvifSim(net, 0, "10.99.0.2",
                                  {"--onvif", "12", "--onvif-computer", "2", "--onvif-hostile",
                                   "truncated,dtd,foreign,no-xaddrs,stall"});
  ChildProcess* b = StartOnvifSim(net, 1, "10.77.0.2", {"--onvif", "7", "--onvif-computer", "1"});
  ASSERT_TRUE(a && b);
  {
    SCOPED_TRACE("root");
    CheckTwoLinks(ReadRun(net.RunInClient(ProbeArgs())), net);
  }
  {
    SCOPED_TRACE("user 65534");
    CheckTwoLinks(ReadRun(net.RunInClientAsUser(ProbeArgs())), net);
  }
  // Each search sent two rounds of two Probes on each link, from port 6669.
  EXPECT_EQ(a->CountLines("onvif probe from 10.99.0.1:6669 "), 8) << a->Output();
  EXPECT_EQ(a->CountLines("onvif probe from "), 8);
  EXPECT_EQ(b->CountLines("onvif probe from 10.77.0.1:6669 "), 8) << b->Output();
  EXPECT_EQ(a->CountLines("types=NetworkVideoTransmitter id=urn:uuid:"), 4);
  EXPECT_EQ(a->CountLines("types=Device id=urn:uuid:"), 4);
  // Details were asked of cameras only, never with credentials, at most once
  // a device a search.
  EXPECT_EQ(a->CountLines("credentials=yes"), 0);
  EXPECT_EQ(a->CountLines(" credentials=no"), 2 * 13);
  EXPECT_EQ(b->CountLines(" credentials=no"), 2 * 7);
  EXPECT_EQ(a->CountLines("onvif details " + Endpoint("10.99.0.2", 1, 0)), 0);
}

TEST(OnvifNet, ProbesFromARandomPortWhile6669IsTakenAndSaySo) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = StartOnvifSim(net, 0, TestNetwork::kDevicesAddress, {"--onvif", "6", "--onvif-plain"});
  ASSERT_NE(sim, nullptr);
  int holder = -1;
  {
    NetnsScope client = net.EnterClient();
    ASSERT_TRUE(client.Entered()) << client.Error();
    holder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(6669);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof(at)), 0);  // 0.0.0.0:6669
  }
  const ProbeRun run = ReadRun(net.RunInClientAsUser(ProbeArgs()));
  close(holder);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.found, 6);
  const std::string where = net.ClientInterface() + " (" + TestNetwork::kClientAddress + ")";
  EXPECT_TRUE(run.Says("ONVIF: UDP port 6669 is taken on " + where +
                       " (another search running?); Probes go from port "));
  EXPECT_FALSE(run.Says("ONVIF: " + where + ": 4 Probes sent from UDP port 6669,"));
  EXPECT_EQ(sim->CountLines("onvif probe from 10.99.0.1:6669 "), 0);
  EXPECT_EQ(sim->CountLines("onvif probe from 10.99.0.1:"), 4) << sim->Output();
}

TEST(OnvifNet, TheInterfaceFilterKeepsTheSearchOffTheOtherLinks) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net(TwoLinks());
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* a = StartOnvifSim(net, 0, "10.99.0.2", {"--onvif", "3"});
  ChildProcess* b = StartOnvifSim(net, 1, "10.77.0.2", {"--onvif", "4"});
  ASSERT_TRUE(a && b);
  const ProbeRun run = ReadRun(net.RunInClient(ProbeArgs({"--interface", net.ClientInterface(1)})));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.found, 4);
  for (const Device& d : run.devices) EXPECT_EQ(d.interface, net.ClientInterface(1));
  EXPECT_EQ(a->CountLines("onvif probe from "), 0);
  EXPECT_EQ(b->CountLines("onvif probe from 10.77.0.1:6669 "), 4);
  // No interface by that name: no search at all.
  const ProbeRun none = ReadRun(net.RunInClient(ProbeArgs({"--interface", "nosuch0"})));
  EXPECT_EQ(none.found, 0);
  EXPECT_TRUE(none.Says("ONVIF: no network interface to search on"));
}
