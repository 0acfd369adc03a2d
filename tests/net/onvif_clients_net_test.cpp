// The simulator's cameras and the finder against independent
// implementations, in the test network: Debian's wsdd (a computer-type
// WS-Discovery responder) on the devices' side is never listed by the
// finder, and three third-party ONVIF clients (the npm packages onvif and
// node-onvif, Debian's onvif-util) find every simulated camera, so that the
// simulator answers as cameras do and not only as the finder reads. A test
// whose tool is missing fails and says how to install it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

#include "net_test_support.h"
#include "onvif/probe_intake.h"

namespace {

constexpr int kCameras = 12;

std::string Endpoint(const std::string& address, int kind, int index) {
  in_addr a{};
  inet_pton(AF_INET, address.c_str(), &a);
  char text[64];
  std::snprintf(text, sizeof(text), "urn:uuid:%08x-%04x-4000-8000-%012x", ntohl(a.s_addr), kind, index);
  return text;
}

bool Installed(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

bool NodeClientsInstalled() {
  return Installed("/usr/bin/node") &&
         access((std::string(KDS_ONVIF_CLIENTS) + "/node_modules/onvif/package.json").c_str(), R_OK) == 0 &&
         access((std::string(KDS_ONVIF_CLIENTS) + "/node_modules/node-onvif/package.json").c_str(), R_OK) == 0;
}

#define REQUIRE_TOOL(ok, what)                                                            \
  do {                                                                                    \
    if (!(ok)) FAIL() << what << " is missing: scripts/install-deps installs it";         \
  } while (0)

ChildProcess* StartCameras(TestNetwork& net, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--no-udp", "--no-tcp", "--onvif-address", TestNetwork::kDevicesAddress,
                                   "--onvif", std::to_string(kCameras)};
  args.insert(args.end(), more.begin(), more.end());
  ChildProcess* sim = net.StartDeviceSim(args);
  EXPECT_NE(sim, nullptr) << net.Error();
  return sim;
}

// The cameras' endpoints missing from `text`.
std::vector<std::string> Missing(const std::string& text) {
  std::vector<std::string> missing;
  for (int i = 0; i < kCameras; ++i) {
    const std::string e = Endpoint(TestNetwork::kDevicesAddress, 0, i);
    if (text.find(e) == std::string::npos) missing.push_back(e);
  }
  return missing;
}

// Sends a Probe for wsdp:Device (what Windows hosts look for) from the
// client side and returns the answers that hold `endpoint`, within `ms`.
std::vector<std::string> ProbeForComputers(const TestNetwork& net, const std::string& id, const std::string& endpoint,
                                           int ms) {
  NetnsScope client = net.EnterClient();
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, TestNetwork::kClientAddress, &from.sin_addr);
  bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof(from));
  const std::string probe =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
      "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
      "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
      "xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
      "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"><soap:Header>"
      "<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
      "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>"
      "<wsa:MessageID>" + id + "</wsa:MessageID></soap:Header><soap:Body><wsd:Probe>"
      "<wsd:Types>wsdp:Device</wsd:Types></wsd:Probe></soap:Body></soap:Envelope>";
  sockaddr_in group{};
  group.sin_family = AF_INET;
  group.sin_port = htons(3702);
  inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);
  sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof(group));
  std::vector<std::string> answers;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pollfd wait{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) != 1) break;
    char buffer[65536];
    const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) continue;
    std::string answer(buffer, static_cast<std::size_t>(n));
    if (answer.find(endpoint) != std::string::npos) answers.push_back(std::move(answer));
  }
  close(fd);
  return answers;
}

}  // namespace

TEST(OnvifClientsNet, DebiansWsddIsNeverListed) {
  SKIP_WITHOUT_NETWORK();
  REQUIRE_TOOL(Installed("/usr/sbin/wsdd") || Installed("/usr/bin/wsdd"), "wsdd (Debian package wsdd)");
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(StartCameras(net, {"--onvif-plain"}), nullptr);
  const std::string uuid = "4b445353-0000-4000-8000-000000000001";
  ChildProcess* wsdd = net.StartInDevices(
      {"sh", "-c", "exec wsdd -i " + std::string(TestNetwork::kDevicesAddress) + " -4 -v -s -n KDSHOST -U " + uuid +
                       " 2>&1"});
  ASSERT_NE(wsdd, nullptr) << net.Error();
  ASSERT_TRUE(wsdd->WaitForLine("joined multicast group", 10000)) << wsdd->Output();

  // wsdd answers a Probe for its own type: a computer, which the intake
  // does not take.
  std::vector<std::string> answers;
  std::string id;
  for (int attempt = 0; attempt < 5 && answers.empty(); ++attempt)
    answers = ProbeForComputers(net, id = "urn:uuid:4b445353-0000-4000-8000-00000000010" + std::to_string(attempt), uuid, 1500);
  ASSERT_FALSE(answers.empty()) << wsdd->Output();
  const std::string& answer = answers.front();
  OnvifSearchAccount account;
  ProbeIntake intake(&account);
  intake.NoteSent(0, id);
  NetInterface on;
  on.name = "veth";
  inet_pton(AF_INET, TestNetwork::kDevicesAddress, &on.address);
  EXPECT_TRUE(intake.Take(0, answer, on.address, 3702, on).empty()) << answer;
  EXPECT_EQ(account.not_onvif, 1) << answer;
  ASSERT_EQ(account.not_onvif_list.size(), 1u);
  EXPECT_NE(account.not_onvif_list[0].find(uuid), std::string::npos);

  // The search's own Probes reach it and find the cameras, never wsdd.
  const CommandResult r = net.RunInClient({KDS_ONVIF_PROBE});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("found\t" + std::to_string(kCameras) + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(uuid), std::string::npos) << r.out;
  EXPECT_TRUE(Missing(r.out).empty());
  EXPECT_GE(wsdd->CountLines("10.99.0.1:6669"), 4) << wsdd->Output();
}

TEST(OnvifClientsNet, TheNpmPackageOnvifFindsEveryCamera) {
  SKIP_WITHOUT_NETWORK();
  REQUIRE_TOOL(NodeClientsInstalled(), "node with the npm packages of tests/net/onvif-clients");
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(StartCameras(net, {"--onvif-computer", "1", "--onvif-hostile", "truncated,dtd"}), nullptr);
  const CommandResult r =
      net.RunInClient({"/usr/bin/node", std::string(KDS_ONVIF_CLIENTS) + "/probe.js", "onvif", "3000"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(Missing(r.out).empty()) << r.out;
}

TEST(OnvifClientsNet, TheNpmPackageNodeOnvifFindsEveryCamera) {
  SKIP_WITHOUT_NETWORK();
  REQUIRE_TOOL(NodeClientsInstalled(), "node with the npm packages of tests/net/onvif-clients");
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(StartCameras(net, {"--onvif-computer", "1", "--onvif-hostile", "truncated,dtd"}), nullptr);
  const CommandResult r =
      net.RunInClient({"/usr/bin/node", std::string(KDS_ONVIF_CLIENTS) + "/probe.js", "node-onvif"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(Missing(r.out).empty()) << r.out;
  EXPECT_NE(r.out.find("done " + std::to_string(kCameras) + "\n"), std::string::npos) << r.out;
}

TEST(OnvifClientsNet, DebiansOnvifUtilFindsEveryCamera) {
  SKIP_WITHOUT_NETWORK();
  REQUIRE_TOOL(Installed("/usr/bin/onvif-util"), "onvif-util (Debian package onvif-tools)");
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  // onvif-util listens about half a second: the waiting cameras wait less.
  ASSERT_NE(StartCameras(net, {"--onvif-delay-ms", "150"}), nullptr);
  const CommandResult r = net.RunInClient({"onvif-util", "-a"}, 30000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // One line per answer: "HOST (NAME HARDWARE)", the name as the scope says it.
  for (int i = 0; i < kCameras; ++i) {
    const std::string name = (i % 3 == 1 ? "Entr\xC3\xA9" "e " : "Kestra Cam ") + std::to_string(i + 1) + " ";
    EXPECT_NE(r.out.find("(" + name), std::string::npos) << name << "\n" << r.out;
  }
}
