// Window captions as the window system shows them: under a virtual X server
// (Xvfb) in the test network's client namespace, the program's main window
// and, in this process on the same server, every dialog and message box of
// the program, read back with xprop from _NET_WM_NAME. Qt adds to what
// windowTitle() returns when an application display name is set, so only the
// window system's own record shows what the user reads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app/display_check.h"
#include "app/main_form.h"
#include "capturing_sender.h"
#include "fake_search.h"
#include "net_test_support.h"
#include "records.h"
#include "ui/detail_info.h"
#include "ui/modal.h"
#include "ui/network_setup.h"

namespace {

const std::string kMainCaption = "Kestra Device Search - " KDS_TEST_VERSION;

// What xprop says a window's _NET_WM_NAME is: the text between its quotes, or
// the whole answer (for the failure message) when it has none.
std::string NetWmName(const std::string& window_id) {
  CommandResult r = RunCommand({"xprop", "-id", window_id, "_NET_WM_NAME"}, "", 10000);
  const std::size_t open = r.out.find('"');
  const std::size_t close = r.out.rfind('"');
  if (r.exit_code != 0 || open == std::string::npos || close == open) return "xprop: " + r.out + r.err;
  return r.out.substr(open + 1, close - open - 1);
}

std::string NetWmName(QWidget& window) {
  if (!QTest::qWaitForWindowExposed(&window, 10000)) return "never shown";
  return NetWmName(std::to_string(window.winId()));
}

// Catches each message box while it runs its modal loop, notes its caption
// and closes it.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(std::vector<std::string>& captions) : captions_(captions) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      captions_.push_back(NetWmName(*box));
      box->done(QMessageBox::Ok);
    });
    timer_.start(20);
  }

 private:
  std::vector<std::string>& captions_;
  QTimer timer_;
};

// Starts Xvfb in the client namespace; result: the display (":N") or "".
std::string StartXServer(TestNetwork& net) {
  ChildProcess* x = net.StartInClient({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                                       "1280x1024x24"});
  if (x == nullptr || !x->WaitForLine("", 20000)) return "";
  return ":" + x->Lines().front();
}

bool HaveTools(std::string* missing) {
  for (const char* tool : {"Xvfb", "xprop", "xdotool"}) {
    CommandResult r = RunCommand({"sh", "-c", std::string("command -v ") + tool}, "", 10000);
    if (r.exit_code != 0) *missing += std::string(" ") + tool;
  }
  return missing->empty();
}

}  // namespace

TEST(CaptionsNet, ReadAsDesignedOnTheWindowSystem) {
  SKIP_WITHOUT_NETWORK();
  std::string missing;
  ASSERT_TRUE(HaveTools(&missing)) << "missing" << missing << " (scripts/install-deps installs them)";
  TestNetwork net;
  ASSERT_TRUE(net.Ready()) << net.Error();
  const std::string display = StartXServer(net);
  ASSERT_FALSE(display.empty()) << net.Error();
  setenv("DISPLAY", display.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  // A display that answers passes the program's check before the window.
  EXPECT_EQ(DisplayProblem({.display = display}), "");
  // The program reads its remembered settings from a folder of its own, not
  // from the user's.
  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);

  // The program itself.
  ChildProcess* program = net.StartInClient({KDS_DEVICE_SEARCH_PATH});
  ASSERT_NE(program, nullptr) << net.Error();
  CommandResult found = net.RunInClient({"xdotool", "search", "--sync", "--name", "^Kestra Device Search"}, 20000);
  ASSERT_EQ(found.exit_code, 0) << found.err;
  EXPECT_EQ(NetWmName(Lines(found.out).front()), kMainCaption);
  program->Stop();

  // Every dialog and message box, owned by a main window of this process.
  NetnsScope client = net.EnterClient();
  ASSERT_TRUE(client.Entered()) << client.Error();
  std::vector<std::string> captions;
  {
    int argc = 1;
    char name[] = "device-search";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setApplicationName("Device Search");
    MessageBoxWatcher boxes(captions);
    TMainForm form;
    form.show();
    captions.push_back(NetWmName(form));

    // Each dialog is shown without a modal loop (the modal hook), its caption
    // read, and closed; in Network Setup, "Apply" first without a network type
    // ("Warning"), then with DHCP ("Note").
    SetModalHook([&](QDialog& dialog) {
      dialog.show();
      captions.push_back(NetWmName(dialog));
      if (auto* apply = dialog.findChild<QPushButton*>("ButtonApply")) {
        apply->click();
        dialog.findChild<QRadioButton*>("RadioButtonDhcp")->click();
        apply->click();
      }
      dialog.hide();
      return static_cast<int>(QDialog::Accepted);
    });
    DeviceTable& table = form.Table();
    AddRow(table, MakeRecord({.ip = "10.99.0.7", .netmask = "255.255.255.0", .mac = "02:00:00:00:00:07"}));
    AddUpnpRow(table, MakeRecord({.ip = "10.99.0.8", .mac = "NULL"}), 0);
    table.selected_row = 1;
    form.Info1Click();
    CapturingSender sender;  // sends nothing and reports success ("Note")
    OpenNetworkSetup(&form, table, form.Log(), sender, {});
    table.selected_row = 2;
    DeviceInformationContainer result;
    result.presentation_url = "http://10.99.0.8/";
    ShowDetailInfo(&form, table, {result}, form.Log());
    SetModalHook(nullptr);

    // A close while a UPnP search runs is refused ("Warring").
    auto searching = std::make_unique<FakeUpnp>();
    searching->in_progress = true;
    form.SetUpnpPhase(std::move(searching));
    EXPECT_FALSE(form.close());
    form.SetUpnpPhase(nullptr);
  }
  EXPECT_EQ(captions, (std::vector<std::string>{kMainCaption, "Detail Info.", "Network Setup", "Warning", "Note",
                                                "Upnp Device Detail Info.", "Warring"}));
}
