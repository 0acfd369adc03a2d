// `device-search watch`: its arguments, and the line each event prints.
#include "cli/watch_command.h"

#include <gtest/gtest.h>

#include "fake_watch_search.h"
#include "records.h"

using std::chrono::seconds;

TEST(WatchArguments, TableOfCases) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // "" when the arguments parse
    long interval;
  } cases[] = {
      {{}, "", 30},
      {{"--interval", "5"}, "", 5},
      {{"--interval", "4"}, "--interval must be a whole number of seconds, at least 5, not '4'", 0},
      {{"--interval", "7.5"}, "--interval must be a whole number of seconds, at least 5, not '7.5'", 0},
      {{"--interval", " 9"}, "--interval must be a whole number of seconds, at least 5, not ' 9'", 0},
      {{"--duration", "0"}, "--duration must be a whole number of seconds, at least 1, not '0'", 0},
      {{"--format", "csv"}, "--format must be ndjson or table, not 'csv'", 0},
      {{"--protocol", "udp"}, "--protocol goes with --relay", 0},
      {{"--relay", "10.0.0.1", "--interface", "eth0"},
       "--interface does not go with --relay (a relay is reached by its route)", 0},
      {{"--pretty"}, "unknown argument '--pretty'", 0},
  };
  for (const Case& c : cases) {
    std::string error;
    std::optional<WatchCommand> cmd = ParseWatchArguments(c.args, error);
    EXPECT_EQ(error, c.error) << testing::PrintToString(c.args);
    if (cmd) {
      EXPECT_EQ(cmd->interval.count(), c.interval) << testing::PrintToString(c.args);
    }
  }
  std::string error;
  std::optional<WatchCommand> cmd =
      ParseWatchArguments({"--relay", "10.0.0.9", "--protocol", "udp", "--duration", "60", "--format", "table",
                           "--no-upnp"},
                          error);
  ASSERT_TRUE(cmd) << error;
  EXPECT_TRUE(cmd->settings.ip_relay);
  EXPECT_EQ(cmd->settings.relay_protocol, "UDP");
  EXPECT_EQ(cmd->duration, seconds(60));
  EXPECT_TRUE(cmd->table);
  EXPECT_FALSE(cmd->upnp);
}

TEST(WatchTime, UtcToTheMillisecond) {
  using namespace std::chrono;
  EXPECT_EQ(Rfc3339Utc(system_clock::time_point(milliseconds(0))), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(Rfc3339Utc(system_clock::time_point(milliseconds(1772366405123))), "2026-03-01T12:00:05.123Z");
  EXPECT_EQ(Rfc3339Utc(system_clock::time_point(microseconds(1772366405999999))), "2026-03-01T12:00:05.999Z");
}

// The lines of a found, a changed (its IP) and a note event, in both formats.
TEST(WatchEventLines, NdjsonAndTable) {
  FakeClock clock;
  FakeWatchSearch search;
  DeviceWatch watch(search, nullptr, {seconds(5), [] { return std::vector<LocalNetwork>{}; }, clock.Function()});
  std::vector<DeviceWatch::Event> events;
  watch.SetOnEvent([&](const DeviceWatch::Event& e) { events.push_back(e); });
  auto device = [](const std::string& ip, const std::string& mac, const std::string& name) {
    return WatchedDevice{{.record = MakeRecord({.model = "M", .name = name, .ip = ip, .mac = mac}), .interface = "eth0"}};
  };
  watch.Tick();
  search.Answer({device("10.0.0.1", "02:00:00:00:00:01", "Cam\x1b]0;x")});
  clock.Advance(seconds(5));
  watch.Tick();
  search.Answer({device("10.0.0.2", "02:00:00:00:00:01", "Cam\x1b]0;x"), device("10.0.0.2", "02:00:00:00:00:02", "B")});
  ASSERT_EQ(events.size(), 5u);  // found, changed, found B, two notes
  const auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1772366405123));
  const std::string row1 =
      "{\"model\":\"M\",\"proj\":\"\",\"name\":\"Cam\\u001b]0;x\",\"ip\":\"10.0.0.1\",\"trigger_port\":\"\","
      "\"netmask\":\"\",\"gateway\":\"\",\"dns\":\"\",\"mac\":\"02:00:00:00:00:01\",\"dev\":\"\",\"note\":\"\","
      "\"source\":\"protocol\",\"interface\":\"eth0\"}";
  std::string row2 = row1;
  row2.replace(row2.find("10.0.0.1"), 8, "10.0.0.2");
  EXPECT_EQ(WatchEventLine(watch, events[1], false, time),
            "{\"event\":\"changed\",\"time\":\"2026-03-01T12:00:05.123Z\",\"row\":" + row2 +
                ",\"changed\":[\"ip\"],\"before\":" + row1 + "}\n");
  EXPECT_EQ(WatchEventLine(watch, events[3], false, time).substr(0, 64),
            "{\"event\":\"note\",\"time\":\"2026-03-01T12:00:05.123Z\",\"row\":{\"model\"");
  EXPECT_NE(WatchEventLine(watch, events[3], false, time).find(",\"notes\":[{\"kind\":\"address-conflict\",\"detail\":"),
            std::string::npos);
  // The table: the time, the event's word padded, the grid's cells, the change.
  const std::string table = WatchEventLine(watch, events[1], true, time);
  EXPECT_EQ(table.substr(0, 35), "2026-03-01T12:00:05.123Z  changed  ");
  EXPECT_NE(table.find("ip 10.0.0.1 -> 10.0.0.2\n"), std::string::npos) << table;
  EXPECT_EQ(WatchEventLine(watch, events[0], true, time).substr(0, 35), "2026-03-01T12:00:05.123Z  found    ");
}
