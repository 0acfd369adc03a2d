// Headless mode: argument parsing and the three output formats.
#include "app/headless.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::optional<SearchCommand> Parse(std::vector<std::string> args, std::string* error_out = nullptr) {
  std::string error;
  auto cmd = ParseSearchArguments(args, error);
  if (error_out) *error_out = error;
  return cmd;
}

DeviceTable SampleTable() {
  DeviceTable t;
  for (int c = 0; c < 7; ++c) t.grid.SetCell(c, 0, kGridHeadings[c]);
  tComUnitInfo a{};
  SetField(a.model, "M100");
  SetField(a.proj, "P1");
  SetField(a.name, "Lobby, east \"door\"");
  SetField(a.ip, "10.0.0.7");
  SetField(a.trigger_port, "80");
  SetField(a.netmask, "255.0.0.0");
  SetField(a.mac, "00:11:22:33:44:55");
  SetField(a.note, "\xe9t\xe9\n");
  tComUnitInfo b{};
  SetField(b.model, "Axis 200 Series");
  SetField(b.ip, "10.0.0.8");
  SetField(b.mac, "NULL");
  t.devices.Append(a, "eth1");
  t.devices.Append(b);
  t.grid.SetRow(1, GridRowOf(b));
  t.grid.SetRow(2, GridRowOf(a));
  t.grid.SetRowCount(3);
  return t;
}

}  // namespace

TEST(Headless, ParsesModesAndRefusesBadArguments) {
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

  std::string error;
  EXPECT_FALSE(Parse({"--relay"}, &error));
  EXPECT_EQ(error, "--relay needs a value");
  EXPECT_FALSE(Parse({"--protocol", "TCP", "--relay", "x"}, &error));
  EXPECT_FALSE(Parse({"--protocol", "udp"}, &error));
  EXPECT_EQ(error, "--protocol goes with --relay");
  EXPECT_FALSE(Parse({"--format", "xml"}, &error));
  EXPECT_FALSE(Parse({"extra"}, &error));
  EXPECT_EQ(error, "unknown argument 'extra'");

  // --interface is repeatable, and a relay is reached by its route instead.
  cmd = Parse({"--interface", "eth1", "--interface", "wlan0"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->settings.interfaces, (std::vector<std::string>{"eth1", "wlan0"}));
  EXPECT_FALSE(Parse({"--interface"}, &error));
  EXPECT_EQ(error, "--interface needs a value");
  EXPECT_FALSE(Parse({"--interface", "eth1", "--relay", "10.0.0.2"}, &error));
  EXPECT_EQ(error, kInterfaceWithRelayError);
}

TEST(Headless, PrintsRowsInGridOrderInEachFormat) {
  DeviceTable t = SampleTable();
  auto source = [](std::size_t i) { return i == 0 ? std::string("protocol") : std::string("upnp"); };
  std::ostringstream table, csv, json;
  PrintRows(t, OutputFormat::kTable, source, table);
  PrintRows(t, OutputFormat::kCsv, source, csv);
  PrintRows(t, OutputFormat::kJson, source, json);
  EXPECT_EQ(table.str(),
            "Model            Proj  Name                IP        Port  Netmask    Mac\n"
            "Axis 200 Series                            10.0.0.8                   NULL\n"
            "M100             P1    Lobby, east \"door\"  10.0.0.7  80    255.0.0.0  00:11:22:33:44:55\n");
  EXPECT_EQ(csv.str(),
            "Model,Proj,Name,IP,Port,Netmask,Mac,Interface\r\n"
            "Axis 200 Series,,,10.0.0.8,,,NULL,\r\n"
            "M100,P1,\"Lobby, east \"\"door\"\"\",10.0.0.7,80,255.0.0.0,00:11:22:33:44:55,eth1\r\n");
  const std::string j = json.str();
  EXPECT_NE(j.find("\"model\": \"Axis 200 Series\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"source\": \"upnp\", \"interface\": \"\""), std::string::npos);
  EXPECT_NE(j.find("\"source\": \"protocol\", \"interface\": \"eth1\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"name\": \"Lobby, east \\\"door\\\"\""), std::string::npos);
  EXPECT_NE(j.find("\"note\": \"\\u00e9t\\u00e9\\n\""), std::string::npos);  // Latin-1 bytes escaped
  EXPECT_LT(j.find("Axis"), j.find("M100"));

  // Nothing found: headings only, or an empty JSON array.
  DeviceTable empty;
  for (int c = 0; c < 7; ++c) empty.grid.SetCell(c, 0, kGridHeadings[c]);
  std::ostringstream none;
  PrintRows(empty, OutputFormat::kJson, source, none);
  EXPECT_EQ(none.str(), "[]\n");
}

TEST(Headless, JsonStringKeepsValidUtf8) {
  EXPECT_EQ(JsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
  EXPECT_EQ(JsonString(std::string("a\x01", 2)), "\"a\\u0001\"");
}
