// "Detail Info.": which dialogs a selected row opens, in which order, and what
// they show; run offscreen with the modal loop replaced by a recorder.
#include "ui/detail_info.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include "records.h"
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

  // A second root device behind the same address: both records match either
  // row, and each shows its own device once.
  shown.clear();
  AddUpnpRow(table, Unit("10.0.0.1", "NULL", "Axis 200 Series"), 0);
  table.selected_row = 2;
  ShowDetailInfo(&owner, table, merged, log);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].edits.at("EditFriendName"), "First");
  EXPECT_EQ(shown[1].edits.at("EditFriendName"), "Other");
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

}  // namespace
