// The Network Setup dialog on the offscreen platform: its controls and their
// states, the focus-out checks and their guards, "Apply" and "Close", and the
// main window's entry that opens it for the selected row.
#include "ui/net_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "capturing_sender.h"
#include "records.h"
#include "ui/modal.h"
#include "ui/network_setup.h"
#include "widget_app.h"

namespace {

struct Message {
  QWidget* owner;
  std::string text;
  std::string caption;
};

class NetFormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureWidgetApplication(); }

  void SetUp() override {
    SetMessageHook([this](QWidget* owner, const QString& text, const QString& caption) {
      messages.push_back({owner, text.toStdString(), caption.toStdString()});
      if (on_message) on_message();
    });
    form = std::make_unique<TNetForm>(nullptr, sender, log);
    QObject::connect(form.get(), &QDialog::finished, [this](int r) { finished.push_back(r); });
  }

  void TearDown() override {
    form.reset();
    SetMessageHook({});
    SetModalHook({});
  }

  // Shows the dialog as the active window, so that focus changes are real.
  void ShowActive() {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  QLineEdit* Edit(const char* name) { return form->findChild<QLineEdit*>(name); }
  QRadioButton* Radio(const char* name) { return form->findChild<QRadioButton*>(name); }
  QPushButton* Button(const char* name) { return form->findChild<QPushButton*>(name); }
  bool NetworkEditsEnabled(bool expected) {
    bool all = true;
    for (const char* name : {"LabeledEditIP", "LabeledEditGateway", "LabeledEditNetmask",
                             "LabeledEditDNS"})
      all = all && Edit(name)->isEnabled() == expected;
    return all;
  }

  static QWidget* NextTabStop(QWidget* w) {
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
  }

  CapturingSender sender;
  MemoryLog log;
  std::unique_ptr<TNetForm> form;
  std::vector<Message> messages;
  std::vector<int> finished;
  std::function<void()> on_message;
};

}  // namespace

TEST_F(NetFormTest, OpensWithNoTypeAndTheNetworkEditsDisabled) {
  form->Fill(TestDevice("192.168.1.10", "00:11:22:33:44:55"));
  EXPECT_EQ(form->objectName(), "NetForm");
  EXPECT_EQ(form->windowTitle(), "Network Setup");
  for (const char* radio : {"RadioButtonDhcp", "RadioButtonStatic", "RadioButtonZonet"})
    EXPECT_FALSE(Radio(radio)->isChecked()) << radio;
  EXPECT_TRUE(NetworkEditsEnabled(false));
  EXPECT_EQ(Radio("RadioButtonDhcp")->text(), "DHCP");
  EXPECT_EQ(Radio("RadioButtonStatic")->text(), "Static IP");
  EXPECT_EQ(Radio("RadioButtonZonet")->text(), "ZoNet");
  EXPECT_EQ(Button("ButtonApply")->text(), "Apply");
  EXPECT_EQ(Button("ButtonClose")->text(), "Close");
  ShowActive();
  EXPECT_FALSE(Radio("RadioButtonZonet")->isVisible());
  EXPECT_TRUE(Radio("RadioButtonDhcp")->x() < Radio("RadioButtonStatic")->x());
  for (const char* hidden : {"LabeledEditDev", "LabeledEditPort"}) {
    EXPECT_FALSE(Edit(hidden)->isVisible()) << hidden;
    EXPECT_FALSE(Edit(hidden)->isEnabled()) << hidden;
  }
  // Labels, texts and the top-to-bottom order of each group.
  const struct {
    const char* name;
    const char* caption;
    const char* text;
  } edits[] = {{"LabeledEditModel", "Model", "M100"},
               {"LabeledEditProj", "Project", "P1"},
               {"LabeledEditName", "Name", "Lobby"},
               {"LabeledEditMac", "MAC", "00:11:22:33:44:55"},
               {"LabeledEditIP", "IP Address", "192.168.1.10"},
               {"LabeledEditGateway", "Gateway", "192.168.0.1"},
               {"LabeledEditNetmask", "Netmask", "255.255.255.0"},
               {"LabeledEditDNS", "DNS", "192.168.0.2"},
               {"LabeledEditDev", "Dev", "D1"},
               {"LabeledEditPort", "Port", "80"}};
  int last_y = -1;
  for (const auto& e : edits) {
    QLineEdit* edit = Edit(e.name);
    ASSERT_NE(edit, nullptr) << e.name;
    EXPECT_EQ(edit->text(), e.text);
    auto* label = form->findChild<QLabel*>(QString(e.name) + "Label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), e.caption);
    EXPECT_EQ(label->buddy(), edit);
    if (std::string(e.name) == "LabeledEditIP") last_y = -1;  // the second group
    if (edit->isVisible()) {
      EXPECT_GT(edit->mapTo(form.get(), QPoint()).y(), last_y) << e.name;
      last_y = edit->mapTo(form.get(), QPoint()).y();
    }
  }
  // Tab order of the network edits.
  EXPECT_EQ(NextTabStop(Edit("LabeledEditIP")), Edit("LabeledEditGateway"));
  EXPECT_EQ(NextTabStop(Edit("LabeledEditGateway")), Edit("LabeledEditNetmask"));
  EXPECT_EQ(NextTabStop(Edit("LabeledEditNetmask")), Edit("LabeledEditDNS"));

  // "Apply" at once: a warning, nothing sent, still open.
  QTest::mouseClick(Button("ButtonApply"), Qt::LeftButton);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Please specify the network type first.");
  EXPECT_EQ(messages[0].caption, "Warning");
  EXPECT_EQ(messages[0].owner, form.get());
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_TRUE(finished.empty());
  EXPECT_TRUE(form->isVisible());
}

TEST_F(NetFormTest, DhcpKeepsTheEditTextsAndSendsThem) {
  form->Fill(TestDevice("192.168.1.10", "00:11:22:33:44:55"));
  Radio("RadioButtonStatic")->click();
  EXPECT_TRUE(NetworkEditsEnabled(true));
  Edit("LabeledEditIP")->setText("192.168.1.77");
  Radio("RadioButtonDhcp")->click();
  EXPECT_TRUE(NetworkEditsEnabled(false));
  EXPECT_EQ(Edit("LabeledEditIP")->text(), "192.168.1.77");

  Button("ButtonApply")->click();
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P1,Lobby,192.168.1.77,80,255.255.255.0,192.168.0.1,192.168.0.2,"
            "00:11:22:33:44:55,D1,dhcp");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "Control package sent.\nPlease try to re-search the device after one minute.");
  EXPECT_EQ(messages[0].caption, "Note");
  EXPECT_EQ(finished.size(), 1u);
}

// Texts above 127 show by the program's one rule (UTF-8 when well-formed,
// else Latin-1), and the package returns every untouched field as the very
// bytes the device sent.
TEST_F(NetFormTest, HighBytesShowByTheOneRuleAndGoBackUnchanged) {
  tComUnitInfo info = TestDevice("192.168.1.10", "00:11:22:33:44:55", "C\xE4m\xE9ra");  // Latin-1
  SetField(info.proj, "P\xC3\xA4");                                              // UTF-8
  SetField(info.dev, "D\xFF");
  form->Fill(info);
  EXPECT_EQ(Edit("LabeledEditName")->text().toStdString(), "C\xC3\xA4m\xC3\xA9ra");
  EXPECT_EQ(Edit("LabeledEditProj")->text().toStdString(), "P\xC3\xA4");
  Radio("RadioButtonStatic")->click();
  Edit("LabeledEditGateway")->setText("192.168.1.1");
  Button("ButtonApply")->click();
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P\xC3\xA4,C\xE4m\xE9ra,192.168.1.10,80,255.255.255.0,192.168.1.1,"
            "192.168.0.2,00:11:22:33:44:55,D\xFF,static");
}

TEST_F(NetFormTest, ClosesAfterApplyEvenWhenTheSendFails) {
  sender.result = -1;
  form->Fill(TestDevice("10.0.0.5", "a:b:c:d:e:f"));
  ShowActive();
  Radio("RadioButtonStatic")->click();
  Button("ButtonApply")->click();
  EXPECT_EQ(sender.sent.size(), 1u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Failed to send the control package.");
  EXPECT_EQ(messages[0].caption, "Note");
  EXPECT_EQ(finished, std::vector<int>{QDialog::Accepted});
  EXPECT_FALSE(form->isVisible());
}

TEST_F(NetFormTest, TooLongTextIsRefusedAndTheDialogStaysOpen) {
  form->Fill(TestDevice("10.0.0.5", "a:b:c:d:e:f"));
  ShowActive();
  Radio("RadioButtonStatic")->click();
  Edit("LabeledEditDNS")->setText("192.168.001.0010");
  Button("ButtonApply")->click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "DNS is too long - at most 15 characters");
  EXPECT_EQ(messages[0].caption, "Warning");
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_TRUE(finished.empty());
  EXPECT_EQ(QApplication::focusWidget(), Edit("LabeledEditDNS"));
}

TEST_F(NetFormTest, LeavingAnAddressEditChecksIt) {
  form->Fill(TestDevice("192.168.1.10", "a:b:c:d:e:f"));
  ShowActive();
  Radio("RadioButtonStatic")->click();
  QLineEdit* ip = Edit("LabeledEditIP");
  QLineEdit* gateway = Edit("LabeledEditGateway");

  // The designed refusals, and every text outside the strict rule.
  for (const char* bad : {"255.255.255.255", "", "10", "10.1", "10.99.0.012", "10.99.0.62 x"}) {
    messages.clear();
    ip->setFocus();
    ip->setText(bad);
    QTest::keyClick(ip, Qt::Key_Tab);
    ASSERT_EQ(messages.size(), 1u) << bad;
    EXPECT_EQ(messages[0].text, std::string("Invalid IP Address - [") + bad + "]");
    EXPECT_EQ(QApplication::focusWidget(), ip);
  }
  // What was typed is shown by the shown-text rule: no control acts.
  messages.clear();
  ip->setFocus();
  ip->setText("10.0.0.1\x1b[2J\u202e");
  QTest::keyClick(ip, Qt::Key_Tab);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Invalid IP Address - [10.0.0.1\\x1b[2J\\u{202e}]");
  for (const char* good : {"10.0.0.10", "192.168.1.11"}) {
    ip->setFocus();
    messages.clear();  // leaving Gateway may have warned
    ip->setText(good);
    QTest::keyClick(ip, Qt::Key_Tab);
    EXPECT_TRUE(messages.empty()) << good;
    EXPECT_EQ(QApplication::focusWidget(), gateway);
  }

  // The gateway warning leaves the focus where it went.
  ip->setText("192.168.1.10");
  gateway->setText("192.168.2.1");
  messages.clear();
  gateway->setFocus();
  QTest::keyClick(gateway, Qt::Key_Tab);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Unresonable Gateway - [192.168.2.1]");
  EXPECT_EQ(messages[0].caption, "Warning");
  EXPECT_EQ(QApplication::focusWidget(), Edit("LabeledEditNetmask"));
  gateway->setText("192.168.1.1");
  messages.clear();
  gateway->setFocus();
  QTest::keyClick(gateway, Qt::Key_Tab);
  EXPECT_TRUE(messages.empty());
}

// The rules that join two fields wait for "Apply": an address that is the
// gateway's is refused there, and taken once the gateway has changed.
TEST_F(NetFormTest, AnAddressEqualToTheOldGatewayIsTakenOnceTheGatewayChanges) {
  form->Fill(TestDevice("192.168.0.10", "a:b:c:d:e:f"));  // gateway 192.168.0.1
  ShowActive();
  Radio("RadioButtonStatic")->click();
  QLineEdit* ip = Edit("LabeledEditIP");
  ip->setFocus();
  ip->setText("192.168.0.1");
  QTest::keyClick(ip, Qt::Key_Tab);
  EXPECT_TRUE(messages.empty());
  Button("ButtonApply")->click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Invalid IP Address - [192.168.0.1]\n192.168.0.1 is the gateway's address");
  EXPECT_EQ(messages[0].caption, "Warning");
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_TRUE(finished.empty());
  EXPECT_EQ(QApplication::focusWidget(), ip);

  Edit("LabeledEditGateway")->setText("192.168.0.254");
  Button("ButtonApply")->click();
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P1,Lobby,192.168.0.1,80,255.255.255.0,192.168.0.254,192.168.0.2,a:b:c:d:e:f,D1,static");
  EXPECT_EQ(finished, std::vector<int>{QDialog::Accepted});
}

TEST_F(NetFormTest, ExitCheckGuards) {
  form->Fill(TestDevice("192.168.1.10", "a:b:c:d:e:f"));
  ShowActive();
  Radio("RadioButtonStatic")->click();
  QLineEdit* ip = Edit("LabeledEditIP");
  QLineEdit* dns = Edit("LabeledEditDNS");

  // A message box that takes the focus does not start a second check.
  ip->setText("bad");
  dns->setText("also bad");
  on_message = [&] { dns->setFocus(Qt::OtherFocusReason); };
  ip->setFocus();
  QTest::keyClick(ip, Qt::Key_Tab);
  on_message = nullptr;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Invalid IP Address - [bad]");
  EXPECT_EQ(QApplication::focusWidget(), ip);

  // A click elsewhere that fails the check does not take effect.
  messages.clear();
  QTest::mouseClick(Button("ButtonApply"), Qt::LeftButton);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Invalid IP Address - [bad]");
  QTest::mouseClick(Radio("RadioButtonDhcp"), Qt::LeftButton);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_FALSE(Radio("RadioButtonDhcp")->isChecked());
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_TRUE(finished.empty());
  // ... but the next click does, once the text is fixed.
  ip->setText("192.168.1.11");
  messages.clear();
  QTest::mouseClick(Radio("RadioButtonDhcp"), Qt::LeftButton);
  EXPECT_TRUE(Radio("RadioButtonDhcp")->isChecked());
  EXPECT_TRUE(messages.empty());

  // "Close" is always reachable: no check when the focus goes there.
  Radio("RadioButtonStatic")->click();
  ip->setText("bad");
  ip->setFocus();
  messages.clear();
  QTest::mouseClick(Button("ButtonClose"), Qt::LeftButton);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(finished, std::vector<int>{QDialog::Rejected});
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(NetFormTest, DeviceInformationCannotBeEntered) {
  form->Fill(TestDevice("192.168.1.10", "a:b:c:d:e:f"));
  ShowActive();
  for (const char* name : {"LabeledEditModel", "LabeledEditProj", "LabeledEditName",
                           "LabeledEditMac"}) {
    Edit(name)->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), Button("ButtonClose")) << name;
    EXPECT_TRUE(Edit(name)->isReadOnly());
  }
  // Closing the window checks nothing and sends nothing.
  Radio("RadioButtonStatic")->click();
  Edit("LabeledEditIP")->setText("bad");
  Edit("LabeledEditIP")->setFocus();
  messages.clear();
  form->close();
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(finished.size(), 1u);
}

TEST_F(NetFormTest, NetworkSetupOpensOneDialogPerMatchingRecord) {
  form.reset();
  DeviceTable table;
  table.devices.Append(TestDevice("10.0.0.1", "00:00:00:00:00:01", "first"), "eth1");
  table.devices.Append(TestDevice("10.0.0.1", "00:00:00:00:00:01", "second"), "eth2");
  table.devices.AppendUpnp(TestDevice("10.0.0.9", "NULL", "upnp"), 0);
  table.grid.SetRowCount(3);
  table.grid.SetRow(1, GridRowOf(table.devices.At(0)));
  table.grid.SetRow(2, GridRowOf(table.devices.At(2)));
  QWidget owner;

  std::vector<std::string> names;
  SetModalHook([&](QDialog& dialog) {
    EXPECT_EQ(dialog.parentWidget(), &owner);
    auto* radio = dialog.findChild<QRadioButton*>("RadioButtonStatic");
    EXPECT_FALSE(radio->isChecked());
    names.push_back(dialog.findChild<QLineEdit*>("LabeledEditName")->text().toStdString());
    radio->click();
    dialog.findChild<QPushButton*>("ButtonApply")->click();
    return dialog.result();
  });

  table.selected_row = 2;  // marked "NULL": nothing opens
  OpenNetworkSetup(&owner, table, log, sender, {});
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(log.lines.empty());

  table.selected_row = 1;
  OpenNetworkSetup(&owner, table, log, sender, {});
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(sender.sent.size(), 2u);
  // Each package goes to the interface its record's device answered on.
  EXPECT_EQ(sender.sent_for, (std::vector<std::string>{"eth1", "eth2"}));
  ASSERT_EQ(log.lines.size(), 4u);  // per dialog: the row's IP, then the packet text
  EXPECT_EQ(log.lines[0], "10.0.0.1");
  EXPECT_EQ(log.lines[2], "10.0.0.1");
  EXPECT_EQ(log.lines[3].substr(0, 13), "[Zentravox,03");
  EXPECT_TRUE(owner.findChildren<QDialog*>().empty());  // each destroyed again
}
