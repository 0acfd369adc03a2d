// `device-search watch` end to end in the test network: devices that come,
// go, move, announce themselves and say bye-bye, each seen as its event; a
// bye-bye that another host sends for them; a stop by signal in the middle
// of a burst of events; and a reader of its output that goes away.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "net_test_support.h"

namespace {

struct Event {
  std::string event, name, ip, mac;
  QJsonObject line;
};

// Every line as an event; a line that is no whole JSON object fails the test.
std::vector<Event> EventsOf(const std::vector<std::string>& lines) {
  std::vector<Event> events;
  for (const std::string& text : lines) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    const QJsonObject o = doc.object();
    const QJsonObject row = o["row"].toObject();
    EXPECT_EQ(o["time"].toString().size(), 24) << text;  // 2026-03-01T12:00:05.123Z
    events.push_back({o["event"].toString().toStdString(), row["name"].toString().toStdString(),
                      row["ip"].toString().toStdString(), row["mac"].toString().toStdString(), o});
  }
  return events;
}

// The index of the first event `kind` of the device named `name`, or -1.
int IndexOf(const std::vector<Event>& events, const std::string& kind, const std::string& name) {
  for (std::size_t i = 0; i < events.size(); ++i)
    if (events[i].event == kind && events[i].name == name) return static_cast<int>(i);
  return -1;
}

// Whether a UDP socket on `port` is open in the network namespace of `pid`.
bool UdpPortOpen(pid_t pid, int port) {
  std::ifstream table("/proc/" + std::to_string(pid) + "/net/udp");
  for (std::string line; std::getline(table, line);) {
    unsigned local_port = 0;  // "   0: 0100007F:1A0B 00000000:0000 07 ..."
    if (std::sscanf(line.c_str(), " %*u: %*x:%x", &local_port) == 1 && local_port == static_cast<unsigned>(port))
      return true;
  }
  return false;
}

bool ExitedWithZero(ChildProcess* child, int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (child->Running() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int status = child->WaitStatus();
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// Rounds every 5 s. After the first round (the simulator's changes come 3.5 s
// after it is ready): Cam1 stops answering (gone after 3 rounds without it),
// Cam2 moves to 10.99.101.2 (changed), Cam4 appears (found); AXIS camera 1
// says bye-bye (gone at once, long before Cam1), and at 7 s AXIS camera 2
// announces itself between two rounds (found from its announcement, well
// before the round at about 10 s could find it). Between rounds no socket
// is left on port 6667. SIGTERM then ends the watch with exit status 0.
TEST(WatchNet, DevicesComeMoveGoAndAnnounceThemselves) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim(
      {"--count", "4", "--vanish", "1", "--vanish-ms", "3500", "--move", "1", "--move-ms", "3500", "--appear", "1",
       "--appear-ms", "3500", "--upnp-axis", "2", "--upnp-byebye", "1", "--upnp-byebye-ms", "3500", "--upnp-appear",
       "1", "--upnp-appear-ms", "7000", "--upnp-mx-honour", "off", "--upnp-address", TestNetwork::kDevicesAddress});
  ASSERT_NE(sim, nullptr);
  ASSERT_TRUE(sim->WaitForLine("upnp ready", 10000)) << sim->Output();
  ChildProcess* watch = net.StartInClient({KDS_DEVICE_SEARCH_PATH, "watch", "--interval", "5"});
  ASSERT_NE(watch, nullptr) << net.Error();

  ASSERT_TRUE(sim->WaitForLine("upnp alive", 20000)) << sim->Output();
  const auto alive = std::chrono::steady_clock::now();
  ASSERT_TRUE(watch->WaitForLine("AXIS Network Camera 2", 20000)) << watch->Output();
  EXPECT_LT(std::chrono::steady_clock::now() - alive, std::chrono::seconds(2)) << watch->Output();
  ASSERT_TRUE(watch->WaitForLines("\"event\":\"gone\",", 2, 60000)) << watch->Output();
  // Between rounds nothing holds the answers' port.
  bool port_free = false;
  for (int i = 0; i < 500 && !port_free; ++i) {
    port_free = !UdpPortOpen(watch->Pid(), 6667);
    if (!port_free) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(port_free);
  kill(watch->Pid(), SIGTERM);
  EXPECT_TRUE(ExitedWithZero(watch, 10000));
  watch->Stop();

  const std::vector<Event> events = EventsOf(watch->Lines());
  for (const char* name : {"Cam1", "Cam2", "Cam3", "Cam4", "AXIS Network Camera 1", "AXIS Network Camera 2"})
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [&](const Event& e) { return e.event == "found" && e.name == name; }),
              1)
        << name << "\n" << watch->Output();
  const int moved = IndexOf(events, "changed", "Cam2");
  ASSERT_GE(moved, 0) << watch->Output();
  EXPECT_EQ(events[moved].ip, "10.99.101.2");
  EXPECT_EQ(events[moved].line["changed"].toArray(), QJsonArray({"ip"}));
  EXPECT_EQ(events[moved].line["before"].toObject()["ip"].toString(), "10.99.1.2");
  const int byebye = IndexOf(events, "gone", "AXIS Network Camera 1");
  const int vanished = IndexOf(events, "gone", "Cam1");
  ASSERT_GE(byebye, 0) << watch->Output();
  ASSERT_GE(vanished, 0) << watch->Output();
  EXPECT_LT(byebye, IndexOf(events, "found", "AXIS Network Camera 2"));
  EXPECT_LT(IndexOf(events, "found", "Cam4"), vanished);
  EXPECT_EQ(events[byebye].line["row"].toObject()["source"].toString(), "upnp");
  EXPECT_EQ(IndexOf(events, "gone", "Cam2"), -1);
  EXPECT_EQ(IndexOf(events, "gone", "Cam3"), -1);
}

// SIGINT in the middle of the first round's 2,000 found events: every line
// printed is whole, and the exit status is 0.
TEST(WatchNet, SigintEndsWithExitZeroAndWholeLines) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "2000", "--per-datagram", "20"});
  ASSERT_NE(sim, nullptr);
  ChildProcess* watch = net.StartInClient({KDS_DEVICE_SEARCH_PATH, "watch", "--no-upnp"});
  ASSERT_NE(watch, nullptr) << net.Error();
  ASSERT_TRUE(watch->WaitForLine("\"event\":\"found\"", 30000)) << watch->Output();
  kill(watch->Pid(), SIGINT);
  EXPECT_TRUE(ExitedWithZero(watch, 10000));
  watch->Stop();
  const std::vector<std::string> lines = watch->Lines();
  ASSERT_FALSE(lines.empty());
  const std::vector<Event> events = EventsOf(lines);
  EXPECT_TRUE(events.back().line["row"].toObject().contains("interface")) << lines.back();
}

// An ssdp:byebye of a listed AXIS camera sent by another host on the link
// (here the client itself, whose multicast comes back to its own listener)
// changes nothing; the camera's own byebye makes it gone.
TEST(WatchNet, ByebyeCountsOnlyFromTheDevicesOwnAddress) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "1", "--upnp-axis", "1", "--upnp-mx-honour", "off",
                                          "--upnp-byebye", "1", "--upnp-byebye-ms", "9000", "--upnp-address",
                                          TestNetwork::kDevicesAddress});
  ASSERT_NE(sim, nullptr);
  ASSERT_TRUE(sim->WaitForLine("upnp ready", 10000)) << sim->Output();
  ChildProcess* watch = net.StartInClient({KDS_DEVICE_SEARCH_PATH, "watch", "--interval", "30"});
  ASSERT_NE(watch, nullptr) << net.Error();
  ASSERT_TRUE(watch->WaitForLine("AXIS Network Camera 1", 20000)) << watch->Output();
  const std::string udn =
      EventsOf(watch->Lines()).back().line["row"].toObject()["upnp"].toObject()["unique_device_name"].toString()
          .toStdString();
  ASSERT_EQ(udn.rfind("uuid:", 0), 0u) << watch->Output();
  {
    NetnsScope client = net.EnterClient();
    ASSERT_TRUE(client.Entered()) << client.Error();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    in_addr own{};
    inet_pton(AF_INET, TestNetwork::kClientAddress, &own);
    ASSERT_EQ(setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &own, sizeof(own)), 0);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(1900);
    inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);
    const std::string byebye = "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
                               "NTS: ssdp:byebye\r\nUSN: " + udn + "::upnp:rootdevice\r\n\r\n";
    for (int i = 0; i < 3; ++i)
      sendto(fd, byebye.data(), byebye.size(), 0, reinterpret_cast<const sockaddr*>(&group), sizeof(group));
    close(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(watch->CountLines("\"event\":\"gone\""), 0) << watch->Output();
  ASSERT_TRUE(sim->WaitForLine("upnp byebye", 20000)) << sim->Output();
  EXPECT_TRUE(watch->WaitForLine("\"event\":\"gone\"", 5000)) << watch->Output();
  watch->Stop();
}

// `watch | head -1`: head ends after the one device's "found" line, and with
// nothing new to report watch notices the closed pipe long before its next
// round (30 s) and ends as a line written into it would have ended it, by
// SIGPIPE (status 141); with and without the UPnP search, which is still
// under way when the line comes.
TEST(WatchNet, EndsSoonAfterTheReaderOfItsOutputHasGone) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ASSERT_NE(net.StartDeviceSim({"--count", "1"}), nullptr) << net.Error();
  for (const char* upnp : {"--no-upnp", ""}) {
    const auto start = std::chrono::steady_clock::now();
    const CommandResult r = net.RunInClient(
        {"bash", "-c", "\"$0\" watch $1 --interval 30 | head -n 1; echo \"watch ${PIPESTATUS[0]}\"",
         KDS_DEVICE_SEARCH_PATH, upnp},
        25000);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(r.timed_out) << upnp << "\n" << r.out << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << upnp << "\n" << r.out << r.err;
    EXPECT_EQ(EventsOf({lines[0]}).at(0).event, "found") << lines[0];
    EXPECT_EQ(lines[1], "watch 141") << upnp;
    EXPECT_LT(took, std::chrono::seconds(10)) << upnp;
    std::printf("%s: ended after %.2f s\n", *upnp ? upnp : "with UPnP",
                std::chrono::duration<double>(took).count());
  }
}
