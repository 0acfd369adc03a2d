// End to end on a client with several interfaces, each its own link to a
// devices namespace: every device on every interface is found once, with
// its interface (JSON, CSV, the row's tooltip, the debug log); --interface
// limits the search; devices behind a link without a default route and in a
// foreign subnet (answering by broadcast) are re-addressed over the interface
// they were seen on, from the command line and from the Network Setup
// dialog; a device in a second subnet of the client's link is found and
// re-addressed from the client's address in its subnet; and all of it as
// root and as an unprivileged user (the window's part by running this
// program again under setpriv, see WindowChild).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "app/main_form.h"
#include "protocol/transport.h"
#include "ui/modal.h"
#include "net_test_support.h"
#include "window_support.h"

namespace {

CommandResult DeviceSearch(const TestNetwork& net, bool as_user, std::vector<std::string> args) {
  std::vector<std::string> argv = {KDS_DEVICE_SEARCH_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return as_user ? net.RunInClientAsUser(argv) : net.RunInClient(argv);
}

// ip -> interface of each row of `search --format json`.
std::map<std::string, std::string> InterfaceByIp(const CommandResult& r) {
  std::map<std::string, std::string> found;
  QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out));
  EXPECT_TRUE(doc.isArray()) << r.out << r.err;
  for (const QJsonValue& row : doc.array()) {
    QJsonObject o = row.toObject();
    std::string ip = o["ip"].toString().toStdString();
    EXPECT_EQ(found.count(ip), 0u) << ip << " listed twice";
    found[ip] = o["interface"].toString().toStdString();
  }
  return found;
}

// ip -> the tooltip of the row's Name cell, for each row of the window.
// Each row's tooltip by its IP: its last line (where it answered), or the
// whole text with `whole`.
std::map<std::string, std::string> WindowTips(TMainForm& form, bool whole = false) {
  std::map<std::string, std::string> tips;
  QAbstractItemModel* model = form.StringGrid1->model();
  for (int r = 0; r < model->rowCount(); ++r) {
    std::string ip = model->index(r, 3).data().toString().toStdString();
    std::string tip = model->index(r, 2).data(Qt::ToolTipRole).toString().toStdString();
    if (!whole && tip.rfind('\n') != std::string::npos) tip = tip.substr(tip.rfind('\n') + 1);
    if (!ip.empty()) tips[ip] = tip;
  }
  return tips;
}

// Network Setup from the window for the row whose Mac is `mac`: "Static IP",
// IP Address `ip`, Apply. Result: the message boxes shown.
std::vector<std::string> SetupFromWindow(TMainForm& form, const std::string& mac, const std::string& ip) {
  for (int r = 1; r < form.Table().grid.RowCount(); ++r)
    if (form.Table().grid.Cell(kMacColumn, r) == mac) form.Table().selected_row = r;
  std::vector<std::string> notes;
  SetMessageHook([&](QWidget*, const QString& text, const QString& caption) {
    notes.push_back((caption + "|" + text).toStdString());
  });
  SetModalHook([&](QDialog& dialog) {
    dialog.findChild<QRadioButton*>("RadioButtonStatic")->click();
    dialog.findChild<QLineEdit*>("LabeledEditIP")->setText(QString::fromStdString(ip));
    dialog.findChild<QPushButton*>("ButtonApply")->click();
    return 0;
  });
  form.NetworkSetup1Click();
  SetModalHook(nullptr);
  SetMessageHook(nullptr);
  return notes;
}

const char kSent[] = "Note|Control package sent.\nPlease try to re-search the device after one minute.";

// This program run again in the client namespace, under setpriv as an
// unprivileged user: the window's search (and, given a MAC and an address,
// its Network Setup), its results printed one per line.
std::vector<std::string> WindowAsUser(const TestNetwork& net, const std::vector<std::string>& args) {
  char self[4096] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  EXPECT_GT(n, 0);
  std::vector<std::string> argv = {self, "--window-child"};
  argv.insert(argv.end(), args.begin(), args.end());
  CommandResult r = net.RunInClientAsUser(argv, 60000);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  return Lines(r.out);
}

// The child's side: "tip IP TOOLTIP" per row, then for a setup the message
// boxes ("note ...") and the log's "Control package sent on" lines ("log ...").
int WindowChild(const std::vector<std::string>& args) {
  TMainForm form;
  ShowProtocolWindow(form);
  if (getuid() == 0 || !SearchFromWindow(form)) return 1;
  for (const auto& [ip, tip] : WindowTips(form)) std::cout << "tip " << ip << " " << tip << "\n";
  if (args.size() == 2) {
    for (const std::string& note : SetupFromWindow(form, args[0], args[1])) {
      std::string one_line = note;
      for (char& c : one_line) c = c == '\n' ? ' ' : c;
      std::cout << "note " << one_line << "\n";
    }
    for (const std::string& line : form.Log().Lines())
      if (line.rfind("Control package sent on", 0) == 0) std::cout << "log " << line;
  }
  return 0;
}

TestLink Link(const std::string& client, const std::string& devices, bool client_route,
              bool devices_route = true) {
  return TestLink{client, devices, client_route, devices_route};
}

// The client's default route over the first link only.
std::vector<TestLink> ThreeLinks() {
  return {Link("10.99.0.1/24", "10.99.0.2/24", true), Link("10.77.0.1/24", "10.77.0.2/24", false),
          Link("10.55.0.1/24", "10.55.0.2/24", false)};
}

}  // namespace

TEST(Interfaces, EveryDeviceOnEveryInterfaceIsFoundOnceWithItsInterface) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net(ThreeLinks());
  ASSERT_TRUE(net.Ready()) << net.Error();
  const std::string if0 = net.ClientInterface(0), if1 = net.ClientInterface(1), if2 = net.ClientInterface(2);
  // Behind the third link two devices of its own and, as on a bridged
  // segment, the same three as behind the second.
  DeviceFile own({DeviceLine("Gate1", "10.55.1.1", "02:4B:44:55:00:01"),
                  DeviceLine("Gate2", "10.55.1.2", "02:4B:44:55:00:02")});
  ChildProcess* sims[3] = {net.StartDeviceSimOn(0, {"--count", "3", "--ip-base", "10.99.1.1"}),
                           net.StartDeviceSimOn(1, {"--count", "3", "--ip-base", "10.77.1.1"}),
                           net.StartDeviceSimOn(2, {"--file", own.Path(), "--count", "3", "--ip-base", "10.77.1.1"})};
  for (ChildProcess* sim : sims) ASSERT_NE(sim, nullptr) << net.Error();

  for (bool as_user : {false, true}) {
    SCOPED_TRACE(as_user ? "as user 65534" : "as root");
    CommandResult r = DeviceSearch(net, as_user, {"search", "--no-upnp", "--format", "json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::map<std::string, std::string> found = InterfaceByIp(r);
    EXPECT_EQ(found.size(), 8u) << r.out;
    for (const char* ip : {"10.99.1.1", "10.99.1.2", "10.99.1.3"}) EXPECT_EQ(found[ip], if0) << ip;
    for (const char* ip : {"10.77.1.1", "10.77.1.2", "10.77.1.3"})
      EXPECT_TRUE(found[ip] == if1 || found[ip] == if2) << ip << " on '" << found[ip] << "'";
    for (const char* ip : {"10.55.1.1", "10.55.1.2"}) EXPECT_EQ(found[ip], if2) << ip;
  }
  for (ChildProcess* sim : sims) EXPECT_EQ(sim->CountLines("udp request flag=00"), 4) << sim->Output();

  // CSV names the interface in its column before the notes.
  CommandResult csv = DeviceSearch(net, false, {"search", "--no-upnp", "--format", "csv"});
  std::vector<std::string> lines = Lines(csv.out);
  ASSERT_EQ(lines.size(), 9u) << csv.out;
  EXPECT_EQ(lines[0], "Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes");
  int on_if2 = 0;
  for (const std::string& line : lines) {
    const std::size_t notes = line.rfind(',');
    on_if2 += notes != std::string::npos && line.substr(0, notes).ends_with("," + if2);
  }
  EXPECT_GE(on_if2, 2) << csv.out;

  // --interface: the request goes out of the named interface only.
  CommandResult only = DeviceSearch(net, false, {"search", "--no-upnp", "--format", "json", "--interface", if1});
  ASSERT_EQ(only.exit_code, 0) << only.err;
  std::map<std::string, std::string> found = InterfaceByIp(only);
  EXPECT_EQ(found, (std::map<std::string, std::string>{{"10.77.1.1", if1}, {"10.77.1.2", if1}, {"10.77.1.3", if1}}));
  EXPECT_EQ(sims[0]->CountLines("udp request flag=00"), 6);  // the CSV search's two
  EXPECT_EQ(sims[1]->CountLines("udp request flag=00"), 8);
  EXPECT_EQ(sims[2]->CountLines("udp request flag=00"), 6);
  // An unknown name is a usage error that lists the interfaces there are.
  CommandResult unknown = DeviceSearch(net, true, {"search", "--interface", "nope0"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("no interface 'nope0'"), std::string::npos) << unknown.err;
  EXPECT_NE(unknown.err.find(if0 + ", " + if1 + ", " + if2), std::string::npos) << unknown.err;
  EXPECT_EQ(DeviceSearch(net, false, {"setup", "--mac", "x", "--dhcp", "--interface", "nope0"}).exit_code, 2);

  // The window: the same devices, each row's tooltip and the log naming its interface.
  std::map<std::string, std::string> root_tips;
  {
    NetnsScope client = net.EnterClient();
    TMainForm form;
    ShowProtocolWindow(form);
    ASSERT_TRUE(SearchFromWindow(form));
    EXPECT_EQ(form.Label1->text(), "8 device(s) found!");
    root_tips = WindowTips(form);
    EXPECT_EQ(root_tips["10.55.1.1"], "Answered on " + if2 + " at 10.55.0.1");
    EXPECT_EQ(root_tips["10.99.1.3"], "Answered on " + if0 + " at 10.99.0.1");
    // The devices behind if2 lie outside its subnet: their rows say so.
    EXPECT_NE(WindowTips(form, true)["10.55.1.1"].find("Warning: not reachable from " + if2 + " (10.55.0.1/24)"),
              std::string::npos);
    const std::vector<std::string>& log = form.Log().Lines();
    EXPECT_NE(std::find(log.begin(), log.end(), "Device 10.55.1.2 [02:4B:44:55:00:02] answered on " + if2 + "\n"),
              log.end());
  }
  // ... and the window as a normal user.
  std::vector<std::string> user_tips = WindowAsUser(net, {});
  EXPECT_EQ(user_tips.size(), 8u);
  for (const std::string& ip : {std::string("10.55.1.1"), std::string("10.99.1.3")})
    EXPECT_NE(std::find(user_tips.begin(), user_tips.end(), "tip " + ip + " " + root_tips[ip]), user_tips.end());
}

TEST(Interfaces, DevicesWithoutARouteOrInAForeignSubnetAreReaddressedOverTheirInterface) {
  SKIP_WITHOUT_NETWORK();
  // Link 1: a network without the client's default route. Link 2: the
  // device's namespace holds 192.168.0.100/24 where the client is
  // 10.77.0.1/24, and has no route at all: it can answer only by broadcast.
  TestNetwork net({Link("10.99.0.1/24", "10.99.0.2/24", true), Link("10.66.0.1/24", "10.66.0.2/24", false),
                   Link("10.77.0.1/24", "192.168.0.100/24", false, false)});
  ASSERT_TRUE(net.Ready()) << net.Error();
  const std::string if1 = net.ClientInterface(1), if2 = net.ClientInterface(2);
  const std::string mac_b = "02:4B:44:66:00:05", mac_c = "02:4B:44:77:00:64";
  DeviceFile b({DeviceLine("Routeless", "10.66.1.5", mac_b)});
  DeviceFile c({DeviceLine("Foreign", "192.168.0.100", mac_c)});
  ASSERT_NE(net.StartDeviceSimOn(0, {"--count", "2"}), nullptr) << net.Error();
  ChildProcess* sim_b = net.StartDeviceSimOn(1, {"--file", b.Path()});
  ChildProcess* sim_c = net.StartDeviceSimOn(2, {"--file", c.Path(), "--answer-broadcast"});
  ASSERT_NE(sim_b, nullptr) << net.Error();
  ASSERT_NE(sim_c, nullptr) << net.Error();

  CommandResult r = DeviceSearch(net, true, {"search", "--no-upnp", "--format", "json"});
  std::map<std::string, std::string> found = InterfaceByIp(r);
  EXPECT_EQ(found.size(), 4u) << r.out;
  EXPECT_EQ(found["10.66.1.5"], if1);
  EXPECT_EQ(found["192.168.0.100"], if2);
  EXPECT_NE(sim_c->Output().find("udp answer to 255.255.255.255:6667"), std::string::npos) << sim_c->Output();

  // From the command line: the foreign device as root, the routeless one as a normal user.
  r = DeviceSearch(net, false, {"setup", "--verbose", "--mac", mac_c, "--static", "--ip", "10.77.0.60", "--netmask",
                       "255.255.255.0", "--gateway", "10.77.0.1"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Control package sent.\nPlease try to re-search the device after one minute.\n");
  EXPECT_NE(r.err.find("Control package sent on " + if2 + "\n"), std::string::npos) << r.err;
  ASSERT_TRUE(sim_c->WaitForLine("control Zentravox,03,", 2000)) << sim_c->Output();
  r = DeviceSearch(net, true, {"setup", "--mac", mac_b, "--static", "--ip", "10.66.1.50", "--netmask", "255.255.255.0",
                      "--gateway", "10.66.1.1"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(sim_b->WaitForLine("control Zentravox,03,", 2000)) << sim_b->Output();

  // The next search shows both at their new addresses, all else unchanged:
  // the foreign one now in its interface's subnet, the routeless one not.
  CommandResult csv = DeviceSearch(net, true, {"search", "--no-upnp", "--format", "csv"});
  std::vector<std::string> rows = Lines(csv.out);
  EXPECT_NE(std::find(rows.begin(), rows.end(),
                      "M200,P1,Foreign,10.77.0.60,80,255.255.255.0," + mac_c + "," + if2 + ","),
            rows.end())
      << csv.out;
  EXPECT_NE(std::find(rows.begin(), rows.end(),
                      "M200,P1,Routeless,10.66.1.50,80,255.255.255.0," + mac_b + "," + if1 + ",not-reachable"),
            rows.end())
      << csv.out;

  // From the Network Setup dialog: as root, then as a normal user.
  {
    NetnsScope client = net.EnterClient();
    TMainForm form;
    ShowProtocolWindow(form);
    ASSERT_TRUE(SearchFromWindow(form));
    EXPECT_EQ(SetupFromWindow(form, mac_c, "10.77.0.61"), std::vector<std::string>{kSent});
    const std::vector<std::string>& log = form.Log().Lines();
    EXPECT_NE(std::find(log.begin(), log.end(), "Control package sent on " + if2 + "\n"), log.end());
    ASSERT_TRUE(sim_c->WaitForLines("control Zentravox,03,", 2, 2000)) << sim_c->Output();
  }
  std::vector<std::string> child = WindowAsUser(net, {mac_b, "10.66.1.51"});
  // By broadcast: which address of the client it answered is not known.
  EXPECT_NE(std::find(child.begin(), child.end(), "tip 10.77.0.61 Answered on " + if2), child.end());
  EXPECT_NE(std::find(child.begin(), child.end(), "note Note|Control package sent. Please try to re-search the device after one minute."),
            child.end());
  EXPECT_NE(std::find(child.begin(), child.end(), "log Control package sent on " + if1), child.end());
  ASSERT_TRUE(sim_b->WaitForLines("control Zentravox,03,", 2, 2000)) << sim_b->Output();
  csv = DeviceSearch(net, false, {"search", "--no-upnp", "--format", "csv"});
  EXPECT_NE(csv.out.find(",10.66.1.51,"), std::string::npos) << csv.out;
}

// A second subnet on the client's link, as an installer adds 192.168.0.1/24
// beside the office address to reach cameras at their factory address: the
// camera there, with no route beyond its own subnet, can answer only the
// request sent from the client's address in that subnet. A normal user finds
// it and re-addresses it, the package leaving from that address.
TEST(Interfaces, ADeviceInASecondSubnetOfTheLinkIsFoundAndReaddressed) {
  SKIP_WITHOUT_NETWORK();
  TestLink link = Link("10.99.0.1/24", "192.168.0.100/24", true, false);
  link.more_client_addresses = {"192.168.0.1/24"};
  TestNetwork net({link});
  ASSERT_TRUE(net.Ready()) << net.Error();
  const std::string if0 = net.ClientInterface(0);
  const std::string mac = "02:4B:44:C0:A8:64";
  DeviceFile file({DeviceLine("Factory", "192.168.0.100", mac)});
  ChildProcess* sim = net.StartDeviceSim({"--file", file.Path()});
  ASSERT_NE(sim, nullptr) << net.Error();

  CommandResult r = DeviceSearch(net, true, {"search", "--no-upnp", "--format", "json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(InterfaceByIp(r), (std::map<std::string, std::string>{{"192.168.0.100", if0}})) << sim->Output();
  // Both passes went out from both addresses.
  EXPECT_EQ(sim->CountLines("udp request flag=00 from 10.99.0.1:"), 2) << sim->Output();
  EXPECT_EQ(sim->CountLines("udp request flag=00 from 192.168.0.1:"), 2) << sim->Output();

  r = DeviceSearch(net, true, {"setup", "--mac", mac, "--static", "--ip", "192.168.0.150", "--netmask",
                               "255.255.255.0", "--gateway", "192.168.0.254"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_TRUE(sim->WaitForLine("control package applied", 2000)) << sim->Output();
  EXPECT_EQ(sim->CountLines("udp package flag=03 from "), 1) << sim->Output();
  EXPECT_EQ(sim->CountLines("udp package flag=03 from 192.168.0.1:"), 1) << sim->Output();

  // The window, as a normal user, finds it at its new address and says
  // which of the client's addresses it answered.
  std::vector<std::string> tips = WindowAsUser(net, {});
  EXPECT_EQ(tips, std::vector<std::string>{"tip 192.168.0.150 Answered on " + if0 + " at 192.168.0.1"});
}

TEST(Interfaces, WithoutAnInterfaceTheWindowsSearchEndsAtOnceSayingWhy) {
  NetnsScope scope = NetnsScope::PrivateLoopback();  // loopback only
  if (!scope.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope.Error();
  TMainForm form;
  form.UseNetwork();  // with its UPnP phase, which this search goes without
  form.show();
  ASSERT_TRUE(SearchFromWindow(form));
  EXPECT_EQ(form.Label1->text(), "0 device(s) found!");
  EXPECT_EQ(form.Button1->text(), "Device Search");
  const std::vector<std::string>& log = form.Log().Lines();
  EXPECT_NE(std::find(log.begin(), log.end(), std::string(kNoInterfaceLog)), log.end());
  EXPECT_TRUE(form.close());  // no UPnP search holds it
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--window-child")
    return WindowChild(std::vector<std::string>(argv + 2, argv + argc));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
