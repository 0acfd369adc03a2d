// End to end in the test network: fifty simulated devices re-addressed in one
// step, from `setup --plan` and from the window's "Network Setup for
// Selection..." dialog, each verified by a second search after the devices'
// restart; a device that ignores its package is reported "unchanged"; a
// refused plan sends nothing; an address outside the strict rule never goes
// out, and a device that answers one keeps both its readings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <cstdio>
#include <fstream>
#include <map>

#include "app/main_form.h"
#include "net_test_support.h"
#include "ui/readdress_form.h"
#include "window_support.h"

namespace {

constexpr int kDevices = 50;

// The simulator's generated devices: MAC 02:4B:44:00:00:<n>, n from 1.
std::string Mac(int n) {
  char text[24];
  std::snprintf(text, sizeof(text), "02:4B:44:00:00:%02X", n);
  return text;
}

// Fifty devices that restart for 500 ms after a package, and a fifty-first
// that ignores every package.
std::vector<std::string> SimArgs() {
  return {"--count", std::to_string(kDevices + 1), "--models", "M100,M200", "--ports", "80,8080", "--restart-ms",
          "500", "--ignore-control", Mac(kDevices + 1)};
}

// A plan file that goes away with the test.
class PlanFile {
 public:
  explicit PlanFile(const std::string& text) {
    char name[] = "/tmp/kds_plan_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~PlanFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The devices a headless search finds, by MAC, as JSON objects.
std::map<std::string, QJsonObject> SearchByMac(const TestNetwork& net) {
  CommandResult r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "search", "--no-upnp", "--format", "json"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::map<std::string, QJsonObject> devices;
  for (const QJsonValue& v : QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array())
    devices[v.toObject()["mac"].toString().toStdString()] = v.toObject();
  return devices;
}

// `after` is `before` at the new ip, netmask, gateway and DNS, the rest as it was.
void ExpectReaddressed(const QJsonObject& before, const QJsonObject& after, const std::string& ip,
                       const std::string& what) {
  QJsonObject expected = before;
  expected["ip"] = QString::fromStdString(ip);
  expected["netmask"] = "255.255.0.0";
  expected["gateway"] = "10.99.0.254";
  expected["dns"] = "10.99.0.253";
  EXPECT_EQ(after, expected) << what;
}

// A test network whose devices side plays SimArgs(), and what a search
// found there before anything was re-addressed.
class ReaddressNet : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_NETWORK();
    network = std::make_unique<TestNetwork>();
    ASSERT_TRUE(network->Ready()) << network->Error();
    sim = network->StartDeviceSim(SimArgs());
    ASSERT_NE(sim, nullptr);
    before = SearchByMac(*network);
    ASSERT_EQ(before.size(), static_cast<std::size_t>(kDevices + 1));
  }

  std::unique_ptr<TestNetwork> network;
  ChildProcess* sim = nullptr;
  std::map<std::string, QJsonObject> before;
};

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 60000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeout_ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace

TEST_F(ReaddressNet, FiftyDevicesFromAPlanFileComeBackAtTheirNewAddresses) {
  const TestNetwork& net = *network;

  std::string csv = "mac,ip,netmask,gateway,dns\n# the fifty cameras of the car park\n\n";
  for (int n = 1; n <= kDevices; ++n)
    csv += Mac(n) + ",10.99.20." + std::to_string(n) + ",255.255.0.0,10.99.0.254,10.99.0.253\n";
  PlanFile plan(csv);
  CommandResult r = net.RunInClient(
      {KDS_DEVICE_SEARCH_PATH, "setup", "--plan", plan.Path(), "--verify", "2", "--format", "csv"}, 60000);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  // The new addresses lie outside the client's /24: sent, each with a warning.
  std::string warnings;
  for (int line = 4; line < 4 + kDevices; ++line)
    warnings += "Warning: line " + std::to_string(line) + ": the device will not be reachable from " +
                net.ClientInterface() + " (10.99.0.1/24)\n";
  EXPECT_EQ(r.err, warnings);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kDevices + 1)) << r.out;
  for (int n = 1; n <= kDevices; ++n) {
    const std::string ip = "10.99.20." + std::to_string(n);
    EXPECT_NE(lines[n].find(",yes,at new settings," + ip), std::string::npos) << lines[n];
  }
  EXPECT_EQ(sim->CountLines("control package applied"), kDevices) << sim->Output();
  EXPECT_EQ(sim->CountLines("restarting for 500 ms"), kDevices);

  // Each device answers at its new address with its other fields unchanged.
  const std::map<std::string, QJsonObject> after = SearchByMac(net);
  ASSERT_EQ(after.size(), static_cast<std::size_t>(kDevices + 1));
  for (int n = 1; n <= kDevices; ++n)
    ExpectReaddressed(before.at(Mac(n)), after.at(Mac(n)), "10.99.20." + std::to_string(n), Mac(n));

  // The fifty-first ignores its package: "unchanged", exit status 1.
  PlanFile stubborn(Mac(kDevices + 1) + ",10.99.20.99,255.255.0.0,10.99.0.254,10.99.0.253\n");
  r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--plan", stubborn.Path(), "--verify", "2"}, 60000);
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find(Mac(kDevices + 1) + "  10.99.20.99  unchanged\n0 of 1 at new settings.\n"), std::string::npos)
      << r.out;
  EXPECT_TRUE(sim->WaitForLine("ignores control packages", 2000));
}

TEST(ReaddressNetRefused, ARefusedPlanSendsNothing) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  ChildProcess* sim = net.StartDeviceSim({"--count", "3"});
  ASSERT_NE(sim, nullptr);
  // Two devices planned onto one address; the third is fine.
  PlanFile plan(Mac(1) + ",10.99.20.1,255.255.0.0,10.99.0.254,10.99.0.253\n" + Mac(2) +
                ",10.99.20.1,255.255.0.0,10.99.0.254,10.99.0.253\n" + Mac(3) + ",dhcp\n");
  CommandResult r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--plan", plan.Path(), "--verify", "1"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err,
            "device-search: the plan is refused; nothing was sent:\n"
            "  line 1: 10.99.20.1 is planned for line 2 too\n"
            "  line 2: 10.99.20.1 is planned for line 1 too\n");
  // A dry run of a plan that holds sends nothing either.
  PlanFile fine(Mac(3) + ",dhcp\n");
  r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--plan", fine.Path(), "--dry-run"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Dry run: no control package was sent."), std::string::npos) << r.out;
  // Both searched; the simulator saw no control package.
  EXPECT_TRUE(sim->WaitForLines("udp request flag=00", 4, 2000)) << sim->Output();
  EXPECT_EQ(sim->CountLines("control "), 0) << sim->Output();
}

// Three devices: one at 10.99.0.11, one to re-address, and one that answers
// "10.99.0.011" (so it may be at 10.99.0.11 or, as the C library reads it,
// at 10.99.0.9). No address outside the strict rule goes out, from a plan
// or from `setup`, and neither reading of the third device is given away;
// a static address outside the client's subnet is sent with a warning.
TEST(ReaddressNetAddresses, OnlyStrictAddressesGoOutAndNoReadingIsGivenAway) {
  SKIP_WITHOUT_NETWORK();
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  auto line = [](const std::string& ip, int n) {
    return "Zentravox,01,M100,P1,Cam" + std::to_string(n) + "," + ip + ",80,255.255.255.0,10.99.0.254,10.99.0.253," +
           Mac(n) + ",D1,sim\n";
  };
  PlanFile devices(line("10.99.0.11", 1) + line("10.99.0.20", 2) + line("10.99.0.011", 3));
  ChildProcess* sim = net.StartDeviceSim({"--file", devices.Path()});
  ASSERT_NE(sim, nullptr) << net.Error();

  // The device at "10.99.0.011" is listed as it answers, in conflict with
  // the one at 10.99.0.11, and reachable.
  const std::map<std::string, QJsonObject> found = SearchByMac(net);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found.at(Mac(3))["ip"].toString(), "10.99.0.011");
  const QJsonArray notes = found.at(Mac(3))["notes"].toArray();
  ASSERT_EQ(notes.size(), 1) << QJsonDocument(notes).toJson().toStdString();
  EXPECT_EQ(notes[0].toObject()["detail"].toString().toStdString(), "10.99.0.011 is also used by " + Mac(1));

  const std::string rest = ",255.255.255.0,10.99.0.254,10.99.0.253\n";
  struct Case {
    std::string plan;  // the one row's address, or its row
    std::string refusal;
  };
  const Case cases[] = {
      {"10.99.0.62 x", "line 1: Invalid IP Address - [10.99.0.62 x]: not a dotted quad"},
      {"10.99.0.012", "line 1: Invalid IP Address - [10.99.0.012]: not a dotted quad"},
      {"010.99.0.63", "line 1: Invalid IP Address - [010.99.0.63]: not a dotted quad"},
      {"0x0a.99.0.64", "line 1: Invalid IP Address - [0x0a.99.0.64]: not a dotted quad"},
      {"10.99.65", "line 1: Invalid IP Address - [10.99.65]: not a dotted quad"},
      {"10.99.0.011", "line 1: Invalid IP Address - [10.99.0.011]: not a dotted quad"},
      {"10.99.0.9", "line 1: 10.99.0.9 is held by " + Mac(3) + ", which the plan leaves as it is"},
      {"10.99.0.11", "line 1: 10.99.0.11 is held by "},  // both devices, in the order they answered
  };
  for (const Case& c : cases) {
    PlanFile plan(Mac(2) + "," + c.plan + rest);
    CommandResult r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--plan", plan.Path(), "--dry-run"});
    EXPECT_EQ(r.exit_code, 2) << c.plan << "\n" << r.out << r.err;
    EXPECT_EQ(r.err.rfind("device-search: the plan is refused; nothing was sent:\n  " + c.refusal, 0), 0u)
        << c.plan << "\n" << r.err;
  }
  PlanFile both(Mac(2) + ",10.99.0.11" + rest);
  const std::string held = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--plan", both.Path(), "--dry-run"}).err;
  EXPECT_TRUE(held.find(Mac(1) + ", " + Mac(3) + ", which the plan leaves as they are") != std::string::npos ||
              held.find(Mac(3) + ", " + Mac(1) + ", which the plan leaves as they are") != std::string::npos)
      << held;
  CommandResult r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", Mac(2), "--static", "--ip",
                                     "10.99.0.68 ;x", "--netmask", "255.255.255.0", "--gateway", "10.99.0.254"});
  EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Invalid IP Address - [10.99.0.68 ;x]"), std::string::npos) << r.err;
  r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", Mac(2), "--static", "--ip", "10.99.0.9", "--netmask",
                       "255.255.255.0", "--gateway", "10.99.0.254"});
  EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
  EXPECT_EQ(r.err, "device-search: Invalid IP Address - [10.99.0.9]: 10.99.0.9 is held by " + Mac(3) +
                       "; nothing was sent\n");
  EXPECT_EQ(sim->CountLines("control "), 0) << sim->Output();

  // Outside the client's subnet: sent, with the notes' words.
  const std::string warning =
      "Warning: the device will not be reachable from " + net.ClientInterface() + " (10.99.0.1/24)\n";
  PlanFile away(Mac(2) + ",10.98.0.20,255.255.0.0,10.98.0.254,10.98.0.253\n");
  r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--plan", away.Path(), "--dry-run"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "Warning: line 1: the device will not be reachable from " + net.ClientInterface() +
                       " (10.99.0.1/24)\n");
  r = net.RunInClient({KDS_DEVICE_SEARCH_PATH, "setup", "--mac", Mac(2), "--static", "--ip", "10.98.0.20", "--netmask",
                       "255.255.0.0", "--gateway", "10.98.0.254"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, warning);
  EXPECT_TRUE(sim->WaitForLine("control package applied", 2000)) << sim->Output();
  EXPECT_EQ(sim->CountLines("control package applied"), 1) << sim->Output();
}

TEST_F(ReaddressNet, TheWindowsDialogReaddressesTheSelectionAndShowsWhoCameBack) {
  const TestNetwork& net = *network;

  NetnsScope client = net.EnterClient();
  TMainForm form;
  ShowProtocolWindow(form);
  ASSERT_TRUE(SearchFromWindow(form));
  ASSERT_EQ(form.Label1->text(), "51 device(s) found!");
  form.StringGrid1->selectAll();
  form.PopupMenu1Popup();
  ASSERT_TRUE(form.NetworkSetupSelection1->isEnabled());
  form.NetworkSetupSelection1->trigger();
  TReaddressForm* dialog = form.ReaddressForm();
  ASSERT_NE(dialog, nullptr);

  auto set_text = [&](const char* name, const char* text) { dialog->findChild<QLineEdit*>(name)->setText(text); };
  dialog->findChild<QComboBox*>("ComboBoxOrder")->setCurrentIndex(1);  // by MAC
  set_text("LabeledEditStart", "10.99.30.1");
  set_text("LabeledEditNetmask", "255.255.0.0");
  set_text("LabeledEditGateway", "10.99.0.254");
  set_text("LabeledEditDNS", "10.99.0.253");
  dialog->findChild<QSpinBox*>("SpinBoxWait")->setValue(2);
  auto* preview = dialog->findChild<QTableWidget*>("GridPreview");
  ASSERT_EQ(preview->rowCount(), kDevices + 1);
  auto cell = [&](int row, int column) { return preview->item(row, column)->text().toStdString(); };
  for (int n = 1; n <= kDevices + 1; ++n) {
    EXPECT_EQ(cell(n - 1, TReaddressForm::kMacColumn), Mac(n));
    EXPECT_EQ(cell(n - 1, TReaddressForm::kNewIpColumn), "10.99.30." + std::to_string(n));
  }

  auto* apply = dialog->findChild<QPushButton*>("ButtonApply");
  ASSERT_TRUE(apply->isEnabled());
  apply->click();
  // The window stays usable but does not search while the verification is pending.
  ASSERT_TRUE(RunUntil([&] { return dialog->Session().CurrentStage() == ReaddressSession::Stage::kCountdown; }));
  EXPECT_FALSE(form.Button1->isEnabled());
  form.Button1Click();
  EXPECT_FALSE(form.Driver().Searching());
  ASSERT_TRUE(RunUntil([&] { return dialog->Session().CurrentStage() == ReaddressSession::Stage::kDone; }));
  EXPECT_TRUE(form.Button1->isEnabled());
  EXPECT_EQ(sim->CountLines("control package applied"), kDevices);

  for (int n = 1; n <= kDevices; ++n)
    EXPECT_EQ(cell(n - 1, TReaddressForm::kStatusColumn), "at new settings") << Mac(n);
  EXPECT_EQ(cell(kDevices, TReaddressForm::kStatusColumn), "unchanged");
  EXPECT_EQ(dialog->Session().StatusLine(), "50 of 51 at new settings");
  // The window's grid still shows the search it made; a new search shows the new addresses.
  const std::map<std::string, QJsonObject> after = SearchByMac(net);
  for (int n = 1; n <= kDevices; ++n)
    ExpectReaddressed(before.at(Mac(n)), after.at(Mac(n)), "10.99.30." + std::to_string(n), Mac(n));
  dialog->close();
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
