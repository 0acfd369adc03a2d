// `device-search search`: its arguments.
#include "cli/search_command.h"

#include <gtest/gtest.h>

#include "cli/search_options.h"

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
