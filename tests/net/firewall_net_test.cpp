// A host firewall on the client side (nftables, input policy drop): a search
// finds nothing and says that a firewall may drop its replies, on a terminal
// and in the debug log; with the rules of the package's firewall profile, and
// nothing else, it finds every device again.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "net_test_support.h"
#include "search/firewall_hint.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The UDP ports the ufw profile opens ("ports=6667,6668/udp").
std::set<int> UfwPorts(const std::string& profile) {
  std::set<int> ports;
  const std::string text = ReadFile(profile);
  const std::string head = "\nports=";
  const std::size_t at = text.find(head);
  if (at == std::string::npos) return ports;
  const std::size_t end = text.find("/udp\n", at);
  if (end == std::string::npos) return ports;
  std::stringstream list(text.substr(at + head.size(), end - at - head.size()));
  for (std::string port; std::getline(list, port, ',');) ports.insert(std::stoi(port));
  return ports;
}

// The value of attribute NAME in the element text TAG, or "".
std::string Attribute(const std::string& tag, const std::string& name) {
  const std::string head = name + "=\"";
  const std::size_t at = tag.find(head);
  if (at == std::string::npos) return "";
  const std::size_t end = tag.find('"', at + head.size());
  return end == std::string::npos ? "" : tag.substr(at + head.size(), end - at - head.size());
}

// The ports the firewalld service opens, each "udp/6667".
std::set<std::string> FirewalldPorts(const std::string& service) {
  std::set<std::string> ports;
  const std::string text = ReadFile(service);
  for (std::size_t at = text.find("<port "); at != std::string::npos; at = text.find("<port ", at + 1)) {
    const std::size_t end = text.find("/>", at);
    if (end == std::string::npos) break;
    const std::string tag = text.substr(at, end - at);
    ports.insert(Attribute(tag, "protocol") + "/" + Attribute(tag, "port"));
  }
  return ports;
}

// How many rows of each source an ndjson search printed.
std::pair<int, int> ProtocolAndUpnpRows(const std::string& ndjson) {
  std::pair<int, int> rows;
  for (const std::string& line : Lines(ndjson)) {
    rows.first += line.find("\"source\":\"protocol\"") != std::string::npos;
    rows.second += line.find("\"source\":\"upnp\"") != std::string::npos;
  }
  return rows;
}

int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(FirewallProfiles, OpenTheAnswersPortAndTheMsearchPortAndNothingElse) {
  EXPECT_EQ(UfwPorts(KDS_UFW_PROFILE), (std::set<int>{6667, 6668}));
  EXPECT_EQ(FirewalldPorts(KDS_FIREWALLD_SERVICE), (std::set<std::string>{"udp/6667", "udp/6668"}));
}

TEST(FirewallNet, DropPolicyHidesEveryDeviceAndTheProfilesRulesBringThemBack) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  if (net.RunInClient({"nft", "list", "tables"}).exit_code != 0) GTEST_SKIP() << "no nft (scripts/install-deps)";
  ChildProcess* sim = net.StartDeviceSim({"--count", "5", "--upnp-axis", "2", "--upnp-vivotek", "1",
                                          "--upnp-address", TestNetwork::kDevicesAddress, "--no-tcp"});
  ASSERT_NE(sim, nullptr) << net.Error();
  ASSERT_TRUE(sim->WaitForLine("upnp ready", 10000)) << sim->Output();
  const std::vector<std::string> search = {KDS_DEVICE_SEARCH_PATH, "search", "--format", "ndjson"};

  // Without a firewall: 5 protocol devices, 3 listed UPnP devices.
  CommandResult open = net.RunInClient(search);
  ASSERT_EQ(open.exit_code, 0) << open.err;
  EXPECT_EQ(ProtocolAndUpnpRows(open.out), std::make_pair(5, 3)) << open.out;

  // A desktop firewall's input policy: only what conntrack takes for a reply.
  for (const std::vector<std::string>& rule :
       {std::vector<std::string>{"nft", "add", "table", "inet", "host"},
        {"nft", "add", "chain", "inet", "host", "input", "{ type filter hook input priority 0; policy drop; }"},
        {"nft", "add", "rule", "inet", "host", "input", "ct", "state", "established,related", "accept"},
        {"nft", "add", "rule", "inet", "host", "input", "iif", "lo", "accept"}}) {
    CommandResult r = net.RunInClient(rule);
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  CommandResult dropped = net.RunInClient(search);
  ASSERT_EQ(dropped.exit_code, 0) << dropped.err;
  EXPECT_EQ(ProtocolAndUpnpRows(dropped.out), std::make_pair(0, 0)) << dropped.out;
  EXPECT_EQ(dropped.err, "");  // no terminal, no --verbose: standard error stays empty
  CommandResult verbose = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "search", "--verbose"});
  EXPECT_EQ(Count(verbose.err, kFirewallHintLog), 1) << verbose.err;
  // On a terminal (script gives it one) the hint is said once.
  CommandResult terminal =
      net.RunInClient({"script", "-qec", std::string(KDS_DEVICE_SEARCH_PATH) + " search", "/dev/null"});
  EXPECT_EQ(Count(terminal.out, std::string("device-search: ") + kFirewallHintLog), 1) << terminal.out;

  // The profile's ports, and nothing else, bring every device back.
  for (int port : UfwPorts(KDS_UFW_PROFILE)) {
    CommandResult r = net.RunInClient(
        {"nft", "add", "rule", "inet", "host", "input", "udp", "dport", std::to_string(port), "accept"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  CommandResult allowed = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "search", "--format", "ndjson", "--verbose"});
  ASSERT_EQ(allowed.exit_code, 0) << allowed.err;
  EXPECT_EQ(ProtocolAndUpnpRows(allowed.out), std::make_pair(5, 3)) << allowed.out << allowed.err;
  EXPECT_EQ(Count(allowed.err, kFirewallHintLog), 0) << allowed.err;
}
