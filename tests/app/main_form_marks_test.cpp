// The main window's row marks on Qt's offscreen platform: the notes' warning
// mark, tooltip and "N warning(s)" filter, the watch's marks and the
// comparison with a saved list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include <QAbstractItemModel>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QCheckBox>
#include <QSpinBox>
#include <arpa/inet.h>

#include "app/main_form.h"
#include "fake_search.h"
#include "fake_watch_search.h"
#include "records.h"
#include "ui/modal.h"

namespace {

// This PC is 10.0.0.100/24 on eth1, where the devices answer.
std::vector<LocalNetwork> ThisPc() { return {{"eth1", inet_addr("10.0.0.100"), inet_addr("255.255.255.0")}}; }

FakeExchanges* UseFakeExchanges(TMainForm& form, const std::vector<std::string>& packets) {
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  FakeExchanges* exchanges = ex.get();
  ex->packets = packets;
  ex->interface = "eth1";
  form.SetExchanges(std::move(ex));
  form.SetLocalNetworks(ThisPc);
  return exchanges;
}

std::vector<std::string> ShownModels(TMainForm& form) {
  std::vector<std::string> models;
  for (int r = 0; r < form.StringGrid1->model()->rowCount(); ++r)
    models.push_back(form.StringGrid1->model()->index(r, 0).data().toString().toStdString());
  return models;
}

// The view row whose Model cell reads `model`.
QModelIndex RowOf(TMainForm& form, const std::string& model, int column = 0) {
  QAbstractItemModel* m = form.StringGrid1->model();
  for (int r = 0; r < m->rowCount(); ++r)
    if (m->index(r, 0).data().toString().toStdString() == model) return m->index(r, column);
  return {};
}

void ClickViewRow(TMainForm& form, int view_row, Qt::KeyboardModifiers modifiers = {}) {
  QRect rect = form.StringGrid1->visualRect(form.StringGrid1->model()->index(view_row, 1));
  QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, modifiers, rect.center());
}

}  // namespace

// A1 and B1 share 10.0.0.1 (B1's MAC, a tag, is refused: it has none), C1 answers at this PC's
// own address, D1 is fine: three rows carry the mark in their first cell only,
// their tooltips give the reasons as plain text, and the strip's
// "3 warning(s)" shows only them while pressed.
TEST(MainFormMarks, NotesMarkRowsAndFilterThem) {
  TMainForm form;
  UseFakeExchanges(form, {"Zentravox,01,A1,P,a,10.0.0.1,80,255.255.255.0,g,d,00:00:00:00:00:01,D,x",
                          "Zentravox,01,B1,P,b,10.0.0.1,80,255.255.255.0,g,d,<b>tag</b>,D,x",
                          "Zentravox,01,C1,P,c,10.0.0.100,80,255.255.255.0,g,d,00:00:00:00:00:03,D,x",
                          "Zentravox,01,D1,P,d,10.0.0.4,80,255.255.255.0,g,d,00:00:00:00:00:04,D,x"});
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  ASSERT_EQ(ShownModels(form), (std::vector<std::string>{"D1", "C1", "B1", "A1"}));
  EXPECT_EQ(form.WarningsButton->text(), "3 warning(s)");
  EXPECT_TRUE(form.WarningsButton->isEnabled());

  for (const char* model : {"A1", "B1", "C1"}) {
    EXPECT_FALSE(RowOf(form, model).data(Qt::DecorationRole).value<QIcon>().isNull()) << model;
    EXPECT_FALSE(RowOf(form, model, 1).data(Qt::DecorationRole).isValid()) << model;  // the first cell only
    EXPECT_EQ(RowOf(form, model).data().toString().toStdString(), model);              // its text as it was
  }
  EXPECT_FALSE(RowOf(form, "D1").data(Qt::DecorationRole).isValid());

  // The reasons, one a line.
  const QString a1 = RowOf(form, "A1", 3).data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(a1.contains("10.0.0.1 is also used by a device without a MAC\n")) << a1.toStdString();
  const QString b1 = RowOf(form, "B1", 3).data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(b1.contains("10.0.0.1 is also used by 00:00:00:00:00:01\n")) << b1.toStdString();
  EXPECT_TRUE(a1.contains("Answered on eth1")) << a1.toStdString();
  const QString c1 = RowOf(form, "C1", 3).data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(c1.contains("10.0.0.100 is an address of this PC (eth1)")) << c1.toStdString();
  EXPECT_FALSE(RowOf(form, "D1", 3).data(Qt::ToolTipRole).toString().contains("Warning"));

  // Pressed: only the marked rows, and the count says so; a sort keeps it.
  QTest::mouseClick(form.WarningsButton, Qt::LeftButton);
  EXPECT_TRUE(form.WarningsButton->isChecked());
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"C1", "B1", "A1"}));
  EXPECT_EQ(form.Label1->text(), "3 of 4 device(s) shown");
  form.StringGrid1MouseUp(Qt::LeftButton, 5, 5, true);  // a heading click: ascending by Model
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"A1", "B1", "C1"}));
  // With the filter text too, both must match.
  form.FilterEdit->setText("c1");
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"C1"}));
  form.FilterEdit->clear();

  // A second click shows every row again; so does Escape.
  QTest::mouseClick(form.WarningsButton, Qt::LeftButton);
  EXPECT_FALSE(form.WarningsButton->isChecked());
  EXPECT_EQ(ShownModels(form).size(), 4u);
  EXPECT_EQ(form.Label1->text(), "4 device(s) found!");
  QTest::mouseClick(form.WarningsButton, Qt::LeftButton);
  ASSERT_EQ(ShownModels(form).size(), 3u);
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_FALSE(form.WarningsButton->isChecked());
  EXPECT_EQ(ShownModels(form).size(), 4u);
}

namespace {

// The devices of the form's list as a watch's round reports them.
std::vector<WatchedDevice> Reported(TMainForm& form) {
  std::vector<WatchedDevice> devices;
  for (ListedDevice& d : ListedDevicesOf(form.Table(), RecordOrigins{})) devices.push_back({.listed = std::move(d)});
  return devices;
}

WatchedDevice Found(const std::string& model, const std::string& ip, const std::string& mac) {
  WatchedDevice d{.listed = {.record = MakeRecord({.model = model, .ip = ip, .mac = mac}), .interface = "eth1"}};
  return d;
}

WatchedDevice FoundUpnp(const std::string& ip, const std::string& udn) {
  WatchedDevice d = Found("Cam", ip, "NULL");
  d.listed.upnp = true;
  d.listed.udn = udn;
  d.source = "upnp";
  d.upnp.emplace().unique_device_name = udn;
  d.upnp->description_address = ip;
  return d;
}

std::string Cell(TMainForm& form, const std::string& model, int column, int role = Qt::DisplayRole) {
  return RowOf(form, model, column).data(role).toString().toStdString();
}

// A right click on the grid as the platform gives it: the button's press
// and release, and the context menu event beside them.
void RightClick(TMainForm& form, QPoint at) {
  QWidget* viewport = form.StringGrid1->viewport();
  QTest::mouseClick(viewport, Qt::RightButton, {}, at);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
  QApplication::sendEvent(viewport, &menu);
}

bool Tinted(TMainForm& form, const std::string& model) { return RowOf(form, model).data(Qt::BackgroundRole).isValid(); }
bool Greyed(TMainForm& form, const std::string& model) { return RowOf(form, model).data(Qt::ForegroundRole).isValid(); }

}  // namespace

// With "Watch" on, rounds of a fake search (a clock the test moves): a new
// device is appended and marked new for a minute, a changed one is updated
// in its row, one missing from three rounds and one that says bye-bye are
// greyed; the selection stays. "Device Search" pressed during a round waits
// for its end, empties the list and the watch goes on from there.
TEST(MainFormMarks, WatchMarksDevicesThatComeChangeAndGo) {
  TMainForm form;
  UseFakeExchanges(form, {"Zentravox,01,A1,P,a,10.0.0.1,80,255.255.255.0,g,d,00:00:00:00:00:01,D,x",
                          "Zentravox,01,B1,P,b,10.0.0.2,80,255.255.255.0,g,d,00:00:00:00:00:02,D,x",
                          "Zentravox,01,C1,P,c,10.0.0.3,80,255.255.255.0,g,d,00:00:00:00:00:03,D,x"});
  FakeClock clock;
  form.SetClock(clock.Function());
  FakeWatchSearch* rounds = nullptr;
  form.SetWatchSearch([&rounds] {
    auto search = std::make_unique<FakeWatchSearch>();
    rounds = search.get();
    return search;
  });
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_FALSE(form.WatchCheck->isChecked());  // off by default
  EXPECT_EQ(form.WatchInterval->value(), 30);
  EXPECT_EQ(form.WatchInterval->minimum(), 5);
  form.Button1Click();
  ASSERT_EQ(ShownModels(form), (std::vector<std::string>{"C1", "B1", "A1"}));
  const std::vector<WatchedDevice> first = Reported(form);  // A1, B1, C1
  ClickViewRow(form, 0);                                    // C1 and B1 selected
  ClickViewRow(form, 1, Qt::ShiftModifier);
  ASSERT_EQ(form.SelectedGridRows(), (std::vector<int>{1, 2}));

  QTest::mouseClick(form.WatchCheck, Qt::LeftButton);
  ASSERT_NE(form.Watch(), nullptr);
  EXPECT_EQ(rounds->starts, 0);  // the list is where it starts: a round is an interval away
  clock.Advance(std::chrono::seconds(30));
  form.WatchTick();
  ASSERT_EQ(rounds->starts, 1);

  // Round 1: B1 moved to 10.0.0.22, D1 and a UPnP camera are new, C1 is missing.
  WatchedDevice moved = first[1];
  SetField(moved.listed.record.ip, "10.0.0.22");
  rounds->Answer({first[0], moved, Found("D1", "10.0.0.4", "00:00:00:00:00:04"), FoundUpnp("10.0.0.5", "uuid:e")});
  QCoreApplication::processEvents();
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"C1", "B1", "A1", "D1", "Cam"}));
  // Label1 is the last search's; the strip tells the round.
  EXPECT_EQ(form.Label1->text(), "3 device(s) found!");
  form.WatchTick();
  EXPECT_EQ(form.WatchLabel->text(), "Watching: 2 new, 1 changed, 0 gone");
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{1, 2}));  // rows keep their places
  EXPECT_EQ(Cell(form, "B1", 3), "10.0.0.22");
  EXPECT_NE(form.Table().devices.FindFirst("10.0.0.22", "00:00:00:00:00:02"), nullptr);  // the list's index follows
  EXPECT_EQ(form.Table().devices.FindFirst("10.0.0.2", "00:00:00:00:00:02"), nullptr);
  EXPECT_TRUE(Tinted(form, "B1"));
  EXPECT_NE(Cell(form, "B1", 0, Qt::ToolTipRole).find("Changed: IP 10.0.0.2 \u2192 10.0.0.22"), std::string::npos);
  EXPECT_TRUE(Tinted(form, "D1"));
  EXPECT_NE(Cell(form, "D1", 0, Qt::ToolTipRole).find("New: found while watching"), std::string::npos);
  EXPECT_FALSE(Tinted(form, "A1"));
  EXPECT_FALSE(Greyed(form, "C1"));

  // Rounds 2 and 3 without C1: gone after its third missed round. D1, found
  // in round 1, is new until a minute later.
  for (int round = 2; round <= 3; ++round) {
    EXPECT_FALSE(Greyed(form, "C1")) << round;
    EXPECT_TRUE(Tinted(form, "D1")) << round;
    clock.Advance(std::chrono::seconds(30));
    form.WatchTick();
    ASSERT_EQ(rounds->starts, round);
    rounds->Answer({first[0], moved, Found("D1", "10.0.0.4", "00:00:00:00:00:04"), FoundUpnp("10.0.0.5", "uuid:e")});
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(Greyed(form, "C1"));
  EXPECT_NE(Cell(form, "C1", 0, Qt::ToolTipRole).find("Gone"), std::string::npos);
  form.WatchTick();
  EXPECT_EQ(form.WatchLabel->text(), "Watching: 0 new, 0 changed, 1 gone");
  EXPECT_EQ(form.Label1->text(), "3 device(s) found!");  // gone rows are never counted as found
  EXPECT_FALSE(Greyed(form, "Cam"));
  form.Watch()->Byebye("uuid:e", "10.0.0.5");
  QCoreApplication::processEvents();
  EXPECT_TRUE(Greyed(form, "Cam"));
  EXPECT_EQ(ShownModels(form).size(), 5u);  // gone rows stay

  EXPECT_FALSE(Tinted(form, "D1"));
  EXPECT_TRUE(Tinted(form, "B1"));  // changed stays changed
  clock.Advance(std::chrono::seconds(30));
  form.WatchTick();  // the fourth round starts

  // "Device Search" during the round waits for its end, then empties the list.
  ASSERT_TRUE(form.Watch()->RoundRunning());
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(form.Button1->isEnabled());  // answered at once
  EXPECT_EQ(form.Button1->text(), "Searching...");
  EXPECT_EQ(ShownModels(form).size(), 5u);
  rounds->Answer({});
  form.WatchTick();
  QCoreApplication::processEvents();
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"C1", "B1", "A1"}));
  EXPECT_FALSE(Greyed(form, "C1"));
  EXPECT_FALSE(Tinted(form, "B1"));
  ASSERT_NE(form.Watch(), nullptr);  // watching goes on from the new list
  EXPECT_FALSE(form.Watch()->RoundRunning());
  EXPECT_EQ(form.Watch()->Entries().size(), 3u);
  QTest::mouseClick(form.WatchCheck, Qt::LeftButton);
  EXPECT_EQ(form.Watch(), nullptr);
}

// "Watch" turned on (or remembered) before any search: the watch waits for
// the session's first "Device Search", and its first round is an interval
// after that search, also when it found nothing. A round that finds devices
// for the empty grid does not list them in the order they came: a full
// search follows and lists the protocol rows before the UPnP ones.
TEST(MainFormMarks, WatchWaitsForTheFirstSearchAndNeverFillsAnEmptyGridInEventOrder) {
  TMainForm form;
  FakeExchanges* exchanges = UseFakeExchanges(form, {});
  FakeClock clock;
  form.SetClock(clock.Function());
  FakeWatchSearch* rounds = nullptr;
  int made = 0;
  form.SetWatchSearch([&] {
    auto search = std::make_unique<FakeWatchSearch>();
    rounds = search.get();
    ++made;
    return search;
  });
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::mouseClick(form.WatchCheck, Qt::LeftButton);
  EXPECT_EQ(form.Watch(), nullptr);
  clock.Advance(std::chrono::seconds(60));
  QTest::qWait(300);  // the watch's timer would have ticked
  EXPECT_EQ(made, 0);
  EXPECT_EQ(form.Label1->text(), "0 device(s) found!");

  form.Button1Click();  // finds nothing
  ASSERT_NE(form.Watch(), nullptr);
  form.WatchTick();
  EXPECT_EQ(rounds->starts, 0);  // not right after a search that found nothing
  clock.Advance(std::chrono::seconds(30));
  form.WatchTick();
  ASSERT_EQ(rounds->starts, 1);
  exchanges->packets = {"Zentravox,01,A1,P,a,10.0.0.1,80,255.255.255.0,g,d,00:00:00:00:00:01,D,x"};
  rounds->Answer({FoundUpnp("10.0.0.5", "uuid:e"), Found("A1", "10.0.0.1", "00:00:00:00:00:01")});
  QCoreApplication::processEvents();
  EXPECT_EQ(ShownModels(form), std::vector<std::string>{""});  // the round's events stay out of the empty grid
  form.WatchTick();
  QCoreApplication::processEvents();
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"A1"}));  // what the full search found
  EXPECT_EQ(form.Label1->text(), "1 device(s) found!");
  ASSERT_NE(form.Watch(), nullptr);  // and the watch goes on from it
  EXPECT_EQ(form.Watch()->Entries().size(), 1u);
}

// "Compare..." with a list exported earlier, as JSON and as CSV: the rows are
// marked same, new or changed (the fields in the tooltip), the saved device
// not found now follows them greyed and nothing acts on it; a file that
// cannot be read says so and keeps the comparison; a new search is compared
// afresh; "Clear comparison" removes it all.
TEST(MainFormMarks, CompareMarksRowsAgainstASavedList) {
  TMainForm form;
  FakeExchanges* exchanges = UseFakeExchanges(form, {"Zentravox,01,A1,P,a,10.0.0.1,80,255.255.255.0,g,d,00:00:00:00:00:01,D,x",
                                                     "Zentravox,01,B1,P,b,10.0.0.9,80,255.255.255.0,g,d,00:00:00:00:00:02,D,x",
                                                     "Zentravox,01,Z9,P,z,10.0.0.7,80,255.255.255.0,g,d,00:00:00:00:00:09,D,x"});
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  QTemporaryDir dir;
  const QString json = dir.filePath("saved.json"), csv = dir.filePath("saved.csv");
  ASSERT_EQ(form.ExportTo(json, OutputFormat::kJson), "");
  ASSERT_EQ(form.ExportTo(csv, OutputFormat::kCsv), "");
  const std::vector<std::string> now = {"Zentravox,01,A1,P,a,10.0.0.1,80,255.255.255.0,g,d,00:00:00:00:00:01,D,x",
                                        "Zentravox,01,B1,P,b,10.0.0.2,80,255.255.255.0,g,d,00:00:00:00:00:02,D,x",
                                        "Zentravox,01,C1,P,c,10.0.0.3,80,255.255.255.0,g,d,00:00:00:00:00:03,D,x"};
  exchanges->packets = now;
  form.Button1Click();
  EXPECT_FALSE(form.ClearCompareButton->isEnabled());

  QString picked;
  std::vector<QString> messages;
  int dialogs = 0;
  SetOpenFileHook([&](const QString&) { return picked; });
  SetMessageHook([&](QWidget*, const QString& text, const QString&) { messages.push_back(text); });
  SetModalHook([&](QDialog&) { return ++dialogs, 0; });
  for (const QString& file : {json, csv}) {
    SCOPED_TRACE(file.toStdString());
    const std::string name = QFileInfo(file).fileName().toStdString();
    picked = file;
    QTest::mouseClick(form.CompareButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.ReadingSavedList(); }, 15000));
    ASSERT_TRUE(messages.empty()) << messages[0].toStdString();
    EXPECT_TRUE(form.ClearCompareButton->isEnabled());
    const std::vector<std::string> models = ShownModels(form);
    ASSERT_EQ(models.size(), 4u);
    EXPECT_EQ(models.back(), "Z9");
    EXPECT_TRUE(Greyed(form, "Z9"));
    EXPECT_NE(Cell(form, "Z9", 0, Qt::ToolTipRole).find("Missing: in " + name), std::string::npos);
    EXPECT_FALSE(Tinted(form, "A1"));
    EXPECT_NE(Cell(form, "A1", 0, Qt::ToolTipRole).find("Same as in " + name), std::string::npos);
    EXPECT_TRUE(Tinted(form, "B1"));
    EXPECT_NE(Cell(form, "B1", 3, Qt::ToolTipRole).find("Changed since " + name + ": IP 10.0.0.9 \u2192 10.0.0.2"),
              std::string::npos);
    EXPECT_TRUE(Tinted(form, "C1"));
    EXPECT_NE(Cell(form, "C1", 0, Qt::ToolTipRole).find("New: not in " + name), std::string::npos);

    // The missing row is no device: the menu's items, Browse, Detail Info.,
    // Network Setup and the selection leave it alone.
    ClickViewRow(form, 3);
    EXPECT_TRUE(form.SelectedGridRows().empty());
    form.PopupMenu1Popup();
    EXPECT_FALSE(form.Info1->isEnabled());
    EXPECT_FALSE(form.Browser1->isEnabled());
    EXPECT_FALSE(form.NetworkSetup1->isEnabled());
    EXPECT_FALSE(form.NetworkSetupSelection1->isEnabled());
    form.Info1Click();
    form.NetworkSetup1Click();
    form.Browser1Click();
    EXPECT_EQ(dialogs, 0);
    // A real right click on it opens the menu, its row items disabled, and
    // leaves it attached for the data rows.
    EXPECT_TRUE(form.PopupAttached());
    const QRect missing = form.StringGrid1->visualRect(form.StringGrid1->model()->index(3, 1));
    RightClick(form, missing.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.PopupMenu1->isVisible(); }, 5000));
    EXPECT_FALSE(form.Info1->isEnabled());
    EXPECT_TRUE(form.Copy1->isEnabled());
    form.PopupMenu1->hide();
    ClickViewRow(form, 0);
    const QRect data = form.StringGrid1->visualRect(form.StringGrid1->model()->index(0, 1));
    RightClick(form, data.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.PopupMenu1->isVisible(); }, 5000));
    EXPECT_TRUE(form.Info1->isEnabled());
    form.PopupMenu1->hide();
  }

  // An unreadable file changes nothing.
  picked = dir.filePath("absent.csv");
  QTest::mouseClick(form.CompareButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.ReadingSavedList(); }, 15000));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].contains("absent.csv")) << messages[0].toStdString();
  EXPECT_EQ(form.CompareWith(json + "x"), dir.filePath("saved.jsonx") + ": No such file or directory");
  EXPECT_EQ(ShownModels(form).back(), "Z9");

  // A new search that finds Z9 again is compared afresh.
  exchanges->packets.push_back("Zentravox,01,Z9,P,z,10.0.0.7,80,255.255.255.0,g,d,00:00:00:00:00:09,D,x");
  form.Button1Click();
  form.UpdateMarks();
  EXPECT_EQ(ShownModels(form).size(), 4u);
  EXPECT_FALSE(Greyed(form, "Z9"));
  EXPECT_FALSE(Tinted(form, "Z9"));

  QTest::mouseClick(form.ClearCompareButton, Qt::LeftButton);
  EXPECT_FALSE(form.ClearCompareButton->isEnabled());
  EXPECT_FALSE(Tinted(form, "B1"));
  EXPECT_FALSE(Tinted(form, "C1"));
  EXPECT_EQ(Cell(form, "A1", 0, Qt::ToolTipRole).find("Same"), std::string::npos);
  exchanges->packets = now;
  form.Button1Click();
  form.UpdateMarks();
  EXPECT_EQ(ShownModels(form).size(), 3u);  // no missing rows without a comparison
  SetOpenFileHook({});
  SetMessageHook({});
  SetModalHook({});
}
