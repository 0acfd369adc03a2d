// `device-search search`: its arguments.
#include "cli/search_command.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/search_options.h"
#include "cli/setup_command.h"

namespace {

std::optional<SearchCommand> Parse(std::vector<std::string> args, std::string* error_out = nullptr) {
  std::string error;
  auto cmd = ParseSearchArguments(args, error);
  if (error_out) *error_out = error;
  return cmd;
}

}  // namespace

TEST(SearchCommand, ReadsTheModesAndKeepsTheDefaults) {
  auto cmd = Parse({});
  ASSERT_TRUE(cmd);
  EXPECT_FALSE(cmd->settings.ip_relay);
  EXPECT_EQ(cmd->settings.project, "ALL");
  EXPECT_EQ(cmd->format, OutputFormat::kTable);

  cmd = Parse({"--relay", "10.0.0.2"});
  ASSERT_TRUE(cmd);
  EXPECT_TRUE(cmd->settings.ip_relay);
  EXPECT_EQ(cmd->settings.relay_protocol, "TCP");
  cmd = Parse({"--relay", "10.0.0.2", "--protocol", "httpcmd", "--project", "NVR", "--format", "json",
               "--verbose", "--no-upnp"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->settings.relay_protocol, "HttpCmd");
  EXPECT_EQ(cmd->settings.project, "NVR");
  EXPECT_EQ(cmd->format, OutputFormat::kJson);
  EXPECT_TRUE(cmd->verbose);
  EXPECT_FALSE(cmd->upnp);
  EXPECT_EQ(Parse({"--format", "ndjson"})->format, OutputFormat::kNdjson);
}

TEST(SearchCommand, RefusesBadArgumentsWithOneLineMessages) {
  std::string error;
  EXPECT_FALSE(Parse({"--relay"}, &error));
  EXPECT_EQ(error, "--relay needs a value");
  EXPECT_FALSE(Parse({"--relay", ""}, &error));
  EXPECT_EQ(error, "--relay needs an address");
  EXPECT_FALSE(Parse({"--protocol", "TCP", "--relay", "x"}, &error));
  EXPECT_FALSE(Parse({"--protocol", "udp"}, &error));
  EXPECT_EQ(error, "--protocol goes with --relay");
  EXPECT_FALSE(Parse({"--format", "xml"}, &error));
  EXPECT_FALSE(Parse({"extra"}, &error));
  EXPECT_EQ(error, "unknown argument 'extra'");
}

TEST(SearchCommand, PrettyGoesWithJsonOnly) {
  std::string error;
  auto cmd = Parse({"--pretty", "--format", "json"});
  ASSERT_TRUE(cmd);
  EXPECT_TRUE(cmd->pretty);
  EXPECT_FALSE(Parse({"--pretty", "--format", "ndjson"}, &error));
  EXPECT_EQ(error, "--pretty goes with --format json");
  EXPECT_FALSE(Parse({"--pretty"}, &error));
}

// --help wins over what follows, but not over a value or an earlier fault.
TEST(SearchCommand, HelpWinsOverWhatFollowsOnly) {
  auto cmd = Parse({"--no-upnp", "-h", "--format", "xml"});
  ASSERT_TRUE(cmd);
  EXPECT_TRUE(cmd->help);
  cmd = Parse({"--project", "--help"});
  ASSERT_TRUE(cmd);
  EXPECT_FALSE(cmd->help);
  EXPECT_EQ(cmd->settings.project, "--help");
  EXPECT_FALSE(Parse({"--format", "xml", "--help"}));
}

// --interface is repeatable, and a relay is reached by its route instead.
TEST(SearchCommand, InterfaceIsRepeatableButGoesNotWithARelay) {
  std::string error;
  auto cmd = Parse({"--interface", "eth1", "--interface", "wlan0"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->settings.interfaces, (std::vector<std::string>{"eth1", "wlan0"}));
  EXPECT_FALSE(Parse({"--interface"}, &error));
  EXPECT_EQ(error, "--interface needs a value");
  EXPECT_FALSE(Parse({"--interface", "eth1", "--relay", "10.0.0.2"}, &error));
  EXPECT_EQ(error, kInterfaceWithRelayError);
}

// --compare takes a file; one that cannot be read or parsed ends the command
// with status 2 before anything is searched.
TEST(SearchCommand, CompareTakesAFileAndAnUnreadableOneEndsWithTwo) {
  std::string error;
  auto cmd = Parse({"--compare", "saved.json", "--format", "csv"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->compare, "saved.json");
  EXPECT_FALSE(Parse({"--compare"}, &error));
  EXPECT_EQ(error, "--compare needs a value");
  EXPECT_FALSE(Parse({"--compare", ""}, &error));
  EXPECT_EQ(error, "--compare needs a file");
  EXPECT_EQ(RunSearchCommand({"--compare", "/nonexistent/saved.json"}), 2);
  EXPECT_EQ(RunSearchCommand({"--compare", "/"}), 2);
}

// --compare given a FIFO: one that nobody writes ends the command with
// status 2 and one line on stderr after the reader's 10 s, instead of
// waiting for ever; a writer that comes late is read (here it sends no list,
// so the command still ends with 2 before anything is searched).
TEST(SearchCommand, CompareGivenAFifoEndsWithTwoWhenNobodyWritesAndReadsALateWriter) {
  char folder[] = "/tmp/search_compare_fifoXXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string fifo = std::string(folder) + "/saved.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    const char* what;
    int writer_after_ms;  // -1: none
    const char* message;
  } cases[] = {
      {"nobody writes", -1, ": nothing came for 10 s (a pipe that nobody writes?)\n"},
      {"a late writer", 300, ": line 1: not a device list: the CSV heading must begin Model,Proj,Name,IP,Port,Netmask,Mac\n"},
  };
  for (const Case& c : cases) {
    std::thread writer;
    if (c.writer_after_ms >= 0)
      writer = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(c.writer_after_ms));
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd < 0) return;
        if (write(fd, "junk\n", 5) < 0) std::perror("write");
        close(fd);
      });
    const auto started = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    const int status = RunSearchCommand({"--compare", fifo});
    const std::string said = testing::internal::GetCapturedStderr();
    const auto took = std::chrono::steady_clock::now() - started;
    if (writer.joinable()) writer.join();
    EXPECT_EQ(status, 2) << c.what;
    EXPECT_EQ(said, "device-search: " + fifo + c.message) << c.what;
    EXPECT_LT(took, std::chrono::seconds(c.writer_after_ms < 0 ? 15 : 5)) << c.what;
  }
  std::remove(fifo.c_str());
  rmdir(folder);
}

// A relay address that does not suit its protocol is refused by `search`
// and `setup` alike (exit status 2), before anything is sent: tcp and udp
// relays read the text with inet_addr, which makes 255.255.255.255 (a
// broadcast) or another address of anything but a dotted quad.
TEST(SearchCommand, RelayAddressesThatDoNotSuitTheirProtocolAreRefused) {
  const std::string digits(100 * 1024, '7');
  struct Case {
    std::string address, protocol;
    bool taken;
  };
  const Case cases[] = {
      {"10.99.0.2", "tcp", true},
      {"10.99.0.2", "udp", true},
      {"999.1.1.1", "tcp", false},
      {"http://x/", "udp", false},
      {"10.1", "tcp", false},        // inet_addr: 10.0.0.1
      {"1 @evil.example", "udp", false},
      {digits, "tcp", false},
      {"relay.example", "tcp", false},
      {"10.99.0.2", "httpcmd", true},
      {"relay-1.example:8080", "httpcmd", true},  // not looked up while parsing
      {"localhost", "httpcmd", true},
      {"http://x/", "httpcmd", false},
      {"999.1.1.1", "httpcmd", false},  // no name, and no address either
      {"relay.example:0", "httpcmd", false},
      {"relay..example", "httpcmd", false},
      {digits, "httpcmd", false},
  };
  for (const Case& c : cases) {
    const std::string shown = c.address.size() > 40 ? c.address.substr(0, 40) + "..." : c.address;
    SCOPED_TRACE(shown + " " + c.protocol);
    std::string search_error, setup_error;
    EXPECT_EQ(ParseSearchArguments({"--relay", c.address, "--protocol", c.protocol}, search_error).has_value(),
              c.taken);
    EXPECT_EQ(ParseSetupArguments({"--mac", "00:11:22:33:44:55", "--dhcp", "--relay", c.address, "--protocol",
                                   c.protocol},
                                  setup_error)
                  .has_value(),
              c.taken);
    EXPECT_EQ(search_error, setup_error);
    if (c.taken) continue;
    EXPECT_EQ(search_error, c.protocol == "httpcmd"
                                ? "--relay needs a host name or an IPv4 address with --protocol httpcmd, not '" +
                                      shown + "'"
                                : "--relay needs an IPv4 address such as 192.168.1.20 with --protocol " + c.protocol +
                                      ", not '" + shown + "'");
  }

  // An httpcmd host must resolve; an address needs no lookup.
  SearchSettings s;
  s.ip_relay = true;
  s.relay_protocol = "HttpCmd";
  std::vector<std::string> looked_up;
  auto nowhere = [&](const std::string& host) -> std::optional<std::string> {
    looked_up.push_back(host);
    return std::nullopt;
  };
  std::string error;
  s.relay_address = "relay.example:8080";
  EXPECT_FALSE(CheckRelayHost(s, &error, nowhere));
  EXPECT_EQ(error, "the relay host 'relay.example' cannot be found");
  s.relay_address = "10.99.0.2:8080";
  EXPECT_TRUE(CheckRelayHost(s, &error, nowhere));
  EXPECT_EQ(looked_up, std::vector<std::string>{"relay.example"});
  s.relay_address = "localhost:8080";
  EXPECT_TRUE(CheckRelayHost(s, &error));
  // setup's control package goes to the host's address, by UDP.
  EXPECT_EQ(HttpRelayAddress(s), "127.0.0.1");
  s.relay_address = "10.99.0.2:8080";
  EXPECT_EQ(HttpRelayAddress(s, nowhere), "10.99.0.2");
  s.relay_protocol = "TCP";
  s.relay_address = "relay.example";
  EXPECT_TRUE(CheckRelayHost(s, &error, nowhere));  // not for tcp: its parse refused the name
}
