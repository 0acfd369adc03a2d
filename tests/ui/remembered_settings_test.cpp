// What the window remembers between runs: the relay list's order and limit,
// a round trip through a settings file in a temporary folder, and damaged,
// unreadable and hand-edited files.
#include "ui/remembered_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

TEST(RememberedSettings, RelayListPutsTheLatestFirstOnceAndKeepsTwenty) {
  std::vector<std::string> list;
  RememberRelayAddress(list, "10.0.0.1");
  RememberRelayAddress(list, "10.0.0.2");
  RememberRelayAddress(list, "10.0.0.1");  // again: moves to the front, once
  EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  for (const char* never : {"", "0", "<Customized>", "a\nb", "tab\there"}) RememberRelayAddress(list, never);
  RememberRelayAddress(list, std::string(256, 'x'));
  EXPECT_EQ(list.size(), 2u);

  for (int i = 0; i < 25; ++i) RememberRelayAddress(list, "192.168.0." + std::to_string(i));
  ASSERT_EQ(list.size(), kRememberedRelayAddresses);
  EXPECT_EQ(list.front(), "192.168.0.24");
  EXPECT_EQ(list.back(), "192.168.0.5");

  RememberedSettings s;
  s.relay_addresses = {"b", "a"};
  EXPECT_EQ(RelayAddressList(s), (std::vector<std::string>{"<Customized>", "b", "a"}));
}

TEST(RememberedSettings, RoundTripThroughAFileInATemporaryFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("kestra/device-search.conf");  // the folder is made on writing
  MemoryLog log;
  RememberedSettings none = LoadRememberedSettings(path, log);  // no file yet: the defaults, no line
  EXPECT_FALSE(none.ip_relay);
  EXPECT_TRUE(none.relay_addresses.empty());
  EXPECT_EQ(none.relay_protocol, "TCP");
  EXPECT_TRUE(log.lines.empty());

  RememberedSettings s;
  s.ip_relay = true;
  s.relay_addresses = {"10.0.0.9", "relay.example", "10.0.0.1"};
  s.relay_protocol = "HttpCmd";
  s.geometry = std::string("\x01\xd9\xd0\xcb\x00\x03", 6) + "any bytes";
  ASSERT_TRUE(SaveRememberedSettings(path, s, log));
  RememberedSettings back = LoadRememberedSettings(path, log);
  EXPECT_TRUE(back.ip_relay);
  EXPECT_EQ(back.relay_addresses, s.relay_addresses);
  EXPECT_EQ(back.relay_protocol, "HttpCmd");
  EXPECT_EQ(back.geometry, s.geometry);
  EXPECT_TRUE(log.lines.empty());
  // Written whole and renamed into place: nothing else is left in the folder.
  EXPECT_EQ(QDir(dir.filePath("kestra")).entryList(QDir::Files), QStringList{"device-search.conf"});

  // One address: still a list.
  s.relay_addresses = {"10.0.0.7"};
  ASSERT_TRUE(SaveRememberedSettings(path, s, log));
  EXPECT_EQ(LoadRememberedSettings(path, log).relay_addresses, s.relay_addresses);
}

TEST(RememberedSettings, DamagedUnreadableOrHandEditedFilesGiveTheDefaults) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  MemoryLog log;

  // A folder where the file should be: cannot be read, one line, defaults.
  const QString folder = dir.filePath("folder.conf");
  ASSERT_TRUE(QDir().mkpath(folder));
  EXPECT_EQ(LoadRememberedSettings(folder, log).relay_protocol, "TCP");
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Settings file " + folder.toStdString() + " ignored: it cannot be read\n");

  // Bytes that are no INI file at all: ignored with a line and moved aside;
  // the next save writes a new file.
  const QString damaged = dir.filePath("damaged.conf");
  WriteFile(damaged, QByteArray("[search\n\xff\xfe\x00\x01 relay_protocol=UDP\n[[[=\n\"unterminated", 40));
  log.lines.clear();
  RememberedSettings read = LoadRememberedSettings(damaged, log);
  EXPECT_EQ(read.relay_protocol, "TCP");
  EXPECT_FALSE(read.ip_relay);
  ASSERT_EQ(log.lines.size(), 1u) << log.lines.size();
  EXPECT_EQ(log.lines[0], "Settings file " + damaged.toStdString() + " ignored: it is damaged (kept as " +
                             damaged.toStdString() + ".damaged)\n");
  EXPECT_TRUE(QFile::exists(damaged + ".damaged"));
  RememberedSettings s;
  s.relay_protocol = "UDP";
  ASSERT_TRUE(SaveRememberedSettings(damaged, s, log));
  log.lines.clear();
  EXPECT_EQ(LoadRememberedSettings(damaged, log).relay_protocol, "UDP");
  EXPECT_TRUE(log.lines.empty());

  // A readable file with values that break their rules: each is left out.
  const QString edited = dir.filePath("edited.conf");
  QByteArray addresses = "relay_addresses=10.0.0.1, 0, <Customized>, 10.0.0.1, , 10.0.0.2";
  for (int i = 0; i < 30; ++i) addresses += ", 172.16.0." + QByteArray::number(i);
  WriteFile(edited, "[search]\nmethod=sideways\nrelay_protocol=tcp\n" + addresses + "\n[window]\ngeometry=7\n");
  RememberedSettings e = LoadRememberedSettings(edited, log);
  EXPECT_FALSE(e.ip_relay);
  EXPECT_EQ(e.relay_protocol, "TCP");  // "tcp" is not one of the list's
  ASSERT_EQ(e.relay_addresses.size(), kRememberedRelayAddresses);
  EXPECT_EQ(e.relay_addresses[0], "10.0.0.1");
  EXPECT_EQ(e.relay_addresses[1], "10.0.0.2");
  EXPECT_EQ(e.relay_addresses[2], "172.16.0.0");
}
