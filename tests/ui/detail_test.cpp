// "Detail Info.": which dialogs a selected row opens, in which order, and what
// they show; run offscreen with the modal loop replaced by a recorder.
#include "ui/detail_info.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "records.h"
#include "ui/detail_rows.h"
#include "ui/info_form.h"
#include "ui/modal.h"
#include "ui/upnp_info_form.h"
#include "upnp/detail_showings.h"
#include "widget_app.h"

namespace {

struct Shown {
  QString title;
  QSize size;
  QStringList labels;
  std::map<QString, QString> edits;  // by object name
  bool edits_disabled = true;
  int edit_width = 0;
};

struct Detail : ::testing::Test {
  static void SetUpTestSuite() { EnsureWidgetApplication(); }
  Detail() {
    SetModalHook([this](QDialog& dialog) {
      Shown s;
      s.title = dialog.windowTitle();
      s.size = dialog.size();
      for (QLabel* l : dialog.findChildren<QLabel*>()) {
        s.labels << l->text();
        EXPECT_TRUE(l->font().bold());
      }
      for (QLineEdit* e : dialog.findChildren<QLineEdit*>()) {
        s.edits[e->objectName()] = e->text();
        s.edits_disabled = s.edits_disabled && !e->isEnabled();
        s.edit_width = e->width();
      }
      auto* ok = dialog.findChild<QPushButton*>("BitBtn1");
      EXPECT_TRUE(ok && ok->text() == "OK");
      shown.push_back(s);
      return int(QDialog::Accepted);
    });
  }
  ~Detail() override { SetModalHook({}); }

  DeviceTable table;
  MemoryLog log;
  std::vector<Shown> shown;
  QWidget owner;
};

tComUnitInfo Unit(const std::string& ip, const std::string& mac, const std::string& proj) {
  return MakeRecord({.model = "NVR-8", .proj = proj, .name = "Hall", .ip = ip, .trigger_port = "6666",
                     .netmask = "255.0.0.0", .gateway = "10.0.0.254", .dns = "10.0.0.253", .mac = mac, .dev = "D",
                     .note = "Note text"});
}

DeviceInformationContainer Result(const std::string& url, const std::string& name) {
  DeviceInformationContainer d;
  d.presentation_url = url;
  d.friendly_name = name;
  d.children = "Yes: 3 children";
  d.upc = "012345";
  return d;
}

TEST_F(Detail, BroadcastRowShowsTheRecordAndLogsItsAddress) {
  AddRow(table, Unit("10.0.0.9", "00:11", "Other"));
  AddRow(table, Unit("10.0.0.5", "00:22", "Lobby"));
  table.selected_row = 2;
  ShowDetailInfo(&owner, table, {}, log);

  ASSERT_EQ(shown.size(), 1u);
  const Shown& s = shown[0];
  EXPECT_EQ(s.title, "Detail Info.");
  EXPECT_EQ(s.size, QSize(242, 454));
  EXPECT_EQ(s.labels, (QStringList{"Model", "Projet", "Name", "IP", "Port", "Netmask", "Mac",
                                   "Gateway", "DNS", "Dev", "Note"}));
  EXPECT_EQ(s.edits.at("EditProj"), "Lobby");
  EXPECT_EQ(s.edits.at("EditIP"), "10.0.0.5");
  EXPECT_EQ(s.edits.at("EditPort"), "6666");
  EXPECT_EQ(s.edits.at("EditGateway"), "10.0.0.254");
  EXPECT_EQ(s.edits.at("EditNote"), "Note text");
  EXPECT_EQ(s.edits.size(), 11u);
  EXPECT_TRUE(s.edits_disabled);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"10.0.0.5"}));
}

TEST_F(Detail, UpnpRowShowsTheDeviceItsRecordWasMadeOf) {
  // What the merge copied: the row's record was made of the third device;
  // another device's address merely begins with the row's.
  const UpnpSnapshot merged = {Result("http://10.0.0.15:8080/", "Other"), Result("http://10.0.0.2/", "Else"),
                               Result("http://10.0.0.1/", "First")};
  AddUpnpRow(table, Unit("10.0.0.1", "NULL", "Axis 200 Series"), 2);
  table.selected_row = 1;
  ShowDetailInfo(&owner, table, merged, log);

  ASSERT_EQ(shown.size(), 1u);
  const Shown& s = shown[0];
  EXPECT_EQ(s.edits.at("EditFriendName"), "First");
  EXPECT_EQ(s.edits.at("EditPresURL"), "http://10.0.0.1/");
  EXPECT_EQ(s.title, "Upnp Device Detail Info.");
  EXPECT_EQ(s.size, QSize(479, 642));
  EXPECT_EQ(s.labels.size(), 19);
  EXPECT_EQ(s.labels.front(), "Child");
  EXPECT_EQ(s.labels[12], "PresentationURL");
  EXPECT_EQ(s.labels.back(), "UPC");
  EXPECT_EQ(s.edits.size(), 19u);
  EXPECT_EQ(s.edits.at("EditChild"), "Yes: 3 children");
  EXPECT_EQ(s.edits.at("EditUPC"), "012345");
  EXPECT_TRUE(s.edits_disabled);
  EXPECT_EQ(s.edit_width, 300);
  EXPECT_TRUE(log.lines.empty());

  // More root devices behind the same address, "NULL" MACs and all: both
  // records match every row, and each row shows its own device alone, once.
  AddUpnpRow(table, Unit("10.0.0.1", "NULL", "Axis 200 Series"), 0);
  AddUpnpRow(table, Unit("10.0.0.1", "NULL", "VivoTek 7000 Series"), 1);
  const char* const own[] = {"First", "Other", "Else"};
  for (int row = 1; row <= 3; ++row) {
    SCOPED_TRACE(row);
    shown.clear();
    table.selected_row = row;
    ShowDetailInfo(&owner, table, merged, log);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].edits.at("EditFriendName"), own[row - 1]);
  }
  // The texts the caller knows later (the live watch's) are the ones shown.
  shown.clear();
  const DeviceInformationContainer latest = Result("http://10.0.0.1:8081/", "Moved");
  table.selected_row = 2;
  ShowDetailInfoWithTexts(&owner, table, [&](const tComUnitInfo& record) -> const DeviceInformationContainer* {
    return table.devices.IndexOf(&record) == 1 ? &latest : nullptr;
  }, log);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].edits.at("EditPresURL"), "http://10.0.0.1:8081/");
}

// The dialog follows where a record came from: a device of the maker's
// protocol that sends "NULL" as its MAC shows its own record, and a row that
// names both kinds shows one dialog of each, in list order.
TEST_F(Detail, TheRecordsSourceChoosesTheDialogNotItsTexts) {
  const UpnpSnapshot merged = {Result("http://10.0.0.7/", "Cam")};
  AddRow(table, Unit("10.0.0.7", "NULL", "Lobby"));
  AddUpnpRow(table, Unit("10.0.0.7", "NULL", "Axis 200 Series"), 0);
  table.selected_row = 1;
  ShowDetailInfo(&owner, table, merged, log);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].title, "Detail Info.");
  EXPECT_EQ(shown[0].edits.at("EditMac"), "NULL");
  EXPECT_EQ(shown[1].title, "Upnp Device Detail Info.");
  EXPECT_EQ(shown[1].edits.at("EditFriendName"), "Cam");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"10.0.0.7"}));
}

TEST_F(Detail, RowsWithoutARecordShowNothing) {
  AddRow(table, Unit("10.0.0.5", "00:22", "Lobby"));
  table.selected_row = 2;  // past the last row
  EXPECT_TRUE(DetailShowingsFor(table, {}).empty());
  table.selected_row = 0;  // the heading
  EXPECT_TRUE(DetailShowingsFor(table, {}).empty());

  table.grid.ClearRows(1);  // the empty row after a search that found nothing
  table.grid.SetRowCount(2);
  table.selected_row = 1;
  ShowDetailInfo(&owner, table, {Result("http://10.0.0.5/", "x")}, log);
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(log.lines.empty());

  // A UPnP record whose device the snapshot given does not hold.
  AddUpnpRow(table, Unit("10.0.0.7", "NULL", "VivoTek 7000 Series"), 1);
  EXPECT_TRUE(DetailShowingsFor(table, {Result("http://10.0.0.7/", "x")}).empty());
}

// Long values show from their first character, in a disabled edit whose
// text stands out from its background; Ctrl+C and "Copy" copy every field.
TEST_F(Detail, ValuesReadFromTheirStartAndCopyAsLabelledLines) {
  tComUnitInfo unit = Unit("10.0.0.5", "00:22", "Lobby");
  SetField(unit.model, "NVR-1608-POE-4K-EXTENDED-SERIES");  // 31 characters
  TFormInfo info(&owner);
  info.Fill(unit);
  DeviceInformationContainer upnp = Result("http://10.0.0.5:8080/a/long/presentation/path/index.html", "Door");
  TForm1 upnp_form(&owner);
  upnp_form.Fill(upnp);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&info, &upnp_form}) {
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
      EXPECT_EQ(edit->cursorPosition(), 0) << edit->objectName().toStdString();
      EXPECT_FALSE(edit->isEnabled());
      const QPalette& p = edit->palette();
      EXPECT_GE(ContrastRatio(p.color(QPalette::Disabled, QPalette::Text), p.color(QPalette::Disabled, QPalette::Base)),
                kReadableContrast);
    }
  }
  EXPECT_EQ(info.EditModel->text(), "NVR-1608-POE-4K-EXTENDED-SERIES");

  QGuiApplication::clipboard()->clear();
  info.show();
  QApplication::setActiveWindow(&info);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&info));
  QTest::keyClick(&info, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
            "Model: NVR-1608-POE-4K-EXTENDED-SERIES\nProjet: Lobby\nName: Hall\nIP: 10.0.0.5\nPort: 6666\n"
            "Netmask: 255.0.0.0\nMac: 00:22\nGateway: 10.0.0.254\nDNS: 10.0.0.253\nDev: D\nNote: Note text\n");
  upnp_form.findChild<QPushButton*>("CopyButton")->click();
  const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
  ASSERT_EQ(lines.size(), 20);  // nineteen and the last line's end
  EXPECT_EQ(lines[0], "Child: Yes: 3 children");
  EXPECT_EQ(lines[12], "PresentationURL: http://10.0.0.5:8080/a/long/presentation/path/index.html");
  EXPECT_EQ(lines[18], "UPC: 012345");
}

// Disabled text reaches the readable contrast whatever the theme gives:
// the light theme's grey on grey (about 1.6:1) and a dark theme alike.
TEST(DetailContrast, DisabledTextIsMadeReadable) {
  EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(QColor("#BEBEBE"), QColor("#EFEFEF")), 1.6, 0.05);
  struct Theme {
    const char *text, *disabled_text, *disabled_base;
  };
  for (const Theme& t : {Theme{"#000000", "#BEBEBE", "#EFEFEF"}, Theme{"#FFFFFF", "#5A5A5A", "#2A2A2A"},
                         Theme{"#C0C0C0", "#C8C8C8", "#FFFFFF"}}) {
    QPalette p;
    p.setColor(QPalette::Active, QPalette::Text, QColor(t.text));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(t.disabled_text));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(t.disabled_base));
    EXPECT_GE(ContrastRatio(ReadableDisabledText(p), QColor(t.disabled_base)), kReadableContrast) << t.disabled_base;
  }
}

// Detail Info. is 242 x 454 outside, frame included (the offscreen platform
// draws a frame of 2 pixels on each side), and every control lies inside.
TEST_F(Detail, InfoDialogHasItsOuterSizeFrameIncluded) {
  TFormInfo info(&owner);
  info.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&info));
  const QSize frame = info.frameGeometry().size() - info.size();
  ASSERT_NE(frame, QSize(0, 0));
  EXPECT_EQ(info.frameGeometry().size(), QSize(242, 454));
  QRegion used;
  for (QWidget* w : info.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(info.rect().contains(w->geometry())) << w->objectName().toStdString();
    if (qobject_cast<QLabel*>(w) == nullptr) {  // a label only touches its edit
      EXPECT_FALSE(used.intersects(w->geometry())) << w->objectName().toStdString();
      used += w->geometry();
    }
  }
}

}  // namespace
