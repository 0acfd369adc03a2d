// The main window on Qt's offscreen platform: start-up, layout and the least
// size, close refusal, the search controls and the grid's mouse handling, one
// row or several; and the application's handling of an exception that an
// event handler throws.
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <stdexcept>

#include "app/application.h"
#include "fake_finder.h"
#include "app/grid_rules.h"
#include "fake_search.h"
#include "protocol/string_printf.h"
#include "search/engine_upnp_phase.h"
#include "ui/modal.h"
#include "url_catcher.h"
#include "ui/readdress_form.h"

namespace {

// Sizes the window so that its outer size, frame included, is w x h.
void ResizeOuter(QWidget& w, int width, int height) {
  QSize frame = w.frameGeometry().size() - w.geometry().size();
  w.resize(width - frame.width(), height - frame.height());
  QApplication::processEvents();
}

// Shows the window and starts a search whose UPnP phase the test ends by
// hand (phase->pending()).
FakeUpnp* StartSearchWithHeldUpnp(TMainForm& form) {
  auto upnp = std::make_unique<FakeUpnp>();
  FakeUpnp* phase = upnp.get();
  form.SetUpnpPhase(std::move(upnp));
  form.SetExchanges(std::make_unique<FakeExchanges>(form.Table(), form.Settings()));
  form.show();
  form.Button1Click();
  return phase;
}

struct Messages {
  Messages() {
    SetMessageHook([this](QWidget*, const QString& text, const QString& caption) {
      shown.push_back((caption + "|" + text).toStdString());
    });
  }
  ~Messages() { SetMessageHook(nullptr); }
  std::vector<std::string> shown;
};

}  // namespace

TEST(MainForm, StartsWithHeadingsCaptionAndLog) {
  TMainForm form;
  EXPECT_EQ(form.windowTitle().toStdString(), "Kestra Device Search - " KDS_TEST_VERSION);
  const auto& lines = form.Log().Lines();
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines.front(), "Col[0] - (114, 114)\n");
  EXPECT_EQ(lines.back(), "Col[6] - (153, 802, 0.190773)\n");
  const char* headings[] = {"Model", "Proj", "Name", "IP", "Port", "Netmask", "Mac"};
  for (int c = 0; c < 7; ++c) {
    EXPECT_EQ(form.Table().grid.Cell(c, 0), headings[c]);
    EXPECT_EQ(form.StringGrid1->model()->headerData(c, Qt::Horizontal).toString().toStdString(), headings[c]);
  }
  EXPECT_EQ(form.Table().grid.RowCount(), 2);
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 1);
}

TEST(MainForm, StartsWithTheDesignedControls) {
  TMainForm form;
  EXPECT_EQ(form.Table().selected_row, 1);
  EXPECT_TRUE(form.RadioButton1->isChecked());
  EXPECT_FALSE(form.ComboBox1->isEnabled());
  EXPECT_FALSE(form.ComboBox2->isEnabled());
  EXPECT_EQ(form.ComboBox1->itemText(0), "<Customized>");
  EXPECT_EQ(form.ComboBox1->currentText(), "");
  EXPECT_EQ(form.ComboBox2->currentText(), "TCP");
  EXPECT_EQ(form.Proj->currentText(), "ALL");
  EXPECT_EQ(form.Proj->count(), 11);
  EXPECT_EQ(form.Proj->itemText(8), "UPNP");
  EXPECT_FALSE(form.Proj->isEnabled());
  EXPECT_EQ(form.GroupBox1->title(), "Search Method");
  EXPECT_EQ(form.GroupBox2->title(), "Project Filter");
  EXPECT_EQ(form.Button1->text(), "Device Search");
  EXPECT_EQ(form.Label1->text(), "0 device(s) found!");
  EXPECT_FALSE(form.Memo1->isVisibleTo(&form));
  EXPECT_EQ(form.Info1->text(), "Detail Info.");
  EXPECT_EQ(form.Browser1->text(), "Browse");
  EXPECT_EQ(form.NetworkSetup1->text(), "Network Setup");
}

// A window that was not given the network searches nowhere and ends at once.
TEST(MainForm, WithoutTheNetworkASearchEndsAtOnce) {
  TMainForm form;
  form.Button1Click();
  EXPECT_FALSE(form.Driver().Searching());
  EXPECT_EQ(form.Label1->text(), "0 device(s) found!");
  EXPECT_TRUE(form.Button1->isEnabled());
}

TEST(MainForm, ResizeKeepsTheColumnProportions) {
  TMainForm form;
  form.show();
  ResizeOuter(form, 807, 624);
  EXPECT_EQ(form.StringGrid1->geometry(), QRect(0, 81, 787, 503));
  int expected[] = {111, 122, 176, 101, 28, 96, 150};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(form.StringGrid1->columnWidth(i), expected[i]) << i;
  ResizeOuter(form, 1007, 624);
  int wider[] = {140, 153, 221, 126, 35, 120, 188};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(form.StringGrid1->columnWidth(i), wider[i]) << i;
  form.resize(30, 40);  // no negative sizes
  QApplication::processEvents();
  EXPECT_GE(form.StringGrid1->width(), 0);
  EXPECT_GE(form.StringGrid1->height(), 0);
}

// The resize rule works on the outer size from the first layout on: the
// window opens at the design's outer size, and the space left beside and
// below the grid is the same before and after a resize.
TEST(MainForm, FirstLayoutUsesTheOuterSize) {
  TMainForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  auto margins = [&] {
    QRect grid = form.StringGrid1->geometry();
    return QSize(form.width() - grid.right() - 1, form.height() - grid.bottom() - 1);
  };
  const QSize frame = form.frameGeometry().size() - form.geometry().size();
  EXPECT_EQ(form.frameGeometry().size(), QSize(807, 624));
  EXPECT_EQ(form.StringGrid1->geometry(), QRect(0, 81, 787, 503));
  const QSize first = margins();
  EXPECT_EQ(first, QSize(20, 40) - frame);
  ResizeOuter(form, 1007, 724);
  EXPECT_EQ(form.StringGrid1->geometry(), QRect(0, 81, 987, 603));
  EXPECT_EQ(margins(), first);
}

TEST(MainForm, RefusesToCloseWhileUpnpSearches) {
  Messages messages;
  TMainForm form;
  FakeUpnp* phase = StartSearchWithHeldUpnp(form);
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Warring|Searching Upnp Devices! Please wait"});
  phase->in_progress = false;
  phase->pending();
  EXPECT_TRUE(form.close());
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(MainForm, SearchFillsTheGridAndTheMouseActsOnIt) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  ex->interface = "eth1";
  ex->packets = {"Zentravox,01,A1,P,N,10.0.0.1,8080,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,P,N,10.0.0.2,,255.0.0.0,g,d,0:0:0:0:0:2,D,x"};
  form.SetExchanges(std::move(ex));
  form.show();
  form.resize(807, 624);
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_EQ(form.Label1->text(), "2 device(s) found!");
  EXPECT_EQ(form.Button1->text(), "Device Search");
  ASSERT_EQ(form.StringGrid1->model()->rowCount(), 2);
  EXPECT_EQ(form.StringGrid1->model()->index(0, 0).data().toString(), "B1");  // descending
  // Each cell's tooltip names the interface the device answered on.
  EXPECT_EQ(form.StringGrid1->model()->index(0, 2).data(Qt::ToolTipRole).toString(), "Answered on eth1");

  // A click on the "Model" heading sorts ascending now.
  QHeaderView* header = form.StringGrid1->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(0) + 5, 5));
  EXPECT_EQ(form.StringGrid1->model()->index(0, 0).data().toString(), "A1");
  QTest::mouseClick(header->viewport(), Qt::RightButton, {}, QPoint(header->sectionPosition(0) + 5, 5));
  EXPECT_EQ(form.StringGrid1->model()->index(0, 0).data().toString(), "A1");

  // Selecting the second row logs it; a double click browses it.
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  QRect second = form.StringGrid1->visualRect(form.StringGrid1->model()->index(1, 3));
  QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(form.Table().selected_row, 2);
  EXPECT_EQ(form.Log().Lines().back(), "ARow(2) ACol(3) IP(10.0.0.2)\n");
  QTest::mouseDClick(form.StringGrid1->viewport(), Qt::LeftButton, {}, second.center());
  QDesktopServices::unsetUrlHandler("http");
  ASSERT_FALSE(catcher.urls.empty());
  EXPECT_EQ(catcher.urls.back(), "http://10.0.0.2:80");

  // The pointer is a hand over the IP cells only.
  QTest::mouseMove(form.StringGrid1->viewport(), second.center());
  form.StringGrid1MouseMove(second.center().x(), second.center().y());
  EXPECT_EQ(form.StringGrid1->viewport()->cursor().shape(), Qt::PointingHandCursor);
  QRect name = form.StringGrid1->visualRect(form.StringGrid1->model()->index(1, 2));
  form.StringGrid1MouseMove(name.center().x(), name.center().y());
  EXPECT_EQ(form.StringGrid1->viewport()->cursor().shape(), Qt::ArrowCursor);
}

// The popup menu and Browse act on selected_row: a right click selects
// nothing, a double click anywhere (the heading too) browses selected_row, and
// after a sort selected_row names whatever device now stands there.
TEST(MainForm, PopupAndBrowseActOnTheSelectedRow) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  ex->packets = {"Zentravox,01,A1,P,N,10.0.0.1,8080,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,P,N,10.0.0.2,81,NULL,g,d,0:0:0:0:0:2,D,x",
                 "Zentravox,01,C1,P,N,10.0.0.3,82,255.0.0.0,g,d,0:0:0:0:0:3,D,x"};
  form.SetExchanges(std::move(ex));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  auto view_row_text = [&](int view_row) {
    return form.StringGrid1->model()->index(view_row, 0).data().toString().toStdString();
  };
  ASSERT_EQ(view_row_text(0), "C1");  // descending: C1, B1, A1
  auto cell_center = [&](int view_row) {
    QRect rect = form.StringGrid1->visualRect(form.StringGrid1->model()->index(view_row, 1));
    return form.StringGrid1->viewport()->mapTo(&form, rect.center());
  };
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");

  // The first row is selected; a right click on the second (through the
  // window, as the platform delivers it) opens the popup for the first.
  QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, cell_center(2));
  ASSERT_EQ(form.Table().selected_row, 3);
  QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, cell_center(0));
  ASSERT_EQ(form.Table().selected_row, 1);
  QTest::mouseClick(form.windowHandle(), Qt::RightButton, {}, cell_center(1));
  EXPECT_EQ(form.Table().selected_row, 1);
  EXPECT_EQ(form.StringGrid1->currentIndex().row(), 0);
  EXPECT_TRUE(form.PopupMenu1->isVisible());
  EXPECT_TRUE(form.NetworkSetup1->isEnabled());  // the second row's "NULL" is not looked at
  form.Browser1->trigger();
  form.PopupMenu1->close();
  ASSERT_FALSE(catcher.urls.empty());
  EXPECT_EQ(catcher.urls.back(), "http://10.0.0.3:82");

  // A double click on the heading row browses selected_row.
  catcher.urls.clear();
  QHeaderView* header = form.StringGrid1->horizontalHeader();
  QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(2) + 5, 5));
  EXPECT_EQ(catcher.urls, std::vector<std::string>{"http://10.0.0.3:82"});

  // A heading click sorts ascending; selected_row stays 1, which now holds A1.
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(0) + 5, 5));
  ASSERT_EQ(view_row_text(0), "A1");
  EXPECT_EQ(form.Table().selected_row, 1);
  catcher.urls.clear();
  form.Browser1->trigger();
  EXPECT_EQ(catcher.urls, std::vector<std::string>{"http://10.0.0.1:8080"});
  QDesktopServices::unsetUrlHandler("http");
}

// A device's texts choose neither the host "Browse" opens nor the detail
// dialog: an address with more after a blank opens nothing and the log says
// why; a MAC reading "NULL:::::" from the maker's protocol shows the record.
TEST(MainForm, DeviceTextsChooseNeitherTheBrowsedHostNorTheDetailDialog) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  ex->packets = {"Zentravox,01,A1,P,N,1 @evil.example,80,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,P,Nul,10.0.0.2,80,255.0.0.0,g,d,NULL:::::,D,x"};
  form.SetExchanges(std::move(ex));
  form.Button1Click();
  ASSERT_EQ(form.Table().grid.Cell(kIpColumn, 2), "1 @evil.example");  // descending: B1, A1

  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  form.Table().selected_row = 2;
  form.Browser1Click();
  QDesktopServices::unsetUrlHandler("http");
  EXPECT_TRUE(catcher.urls.empty());
  EXPECT_EQ(form.Log().Lines().back(), StringPrintf(kBrowseRefusedLog, "1 @evil.example", "80"));

  std::vector<std::string> titles;
  SetModalHook([&](QDialog& dialog) {
    titles.push_back(dialog.windowTitle().toStdString());
    return static_cast<int>(QDialog::Accepted);
  });
  form.Table().selected_row = 1;
  form.Info1Click();
  SetModalHook(nullptr);
  EXPECT_EQ(titles, std::vector<std::string>{"Detail Info."});
  EXPECT_TRUE(NetworkSetupEnabled(form.Table()));
}

// Ctrl and Shift clicks and Ctrl+A select several rows while the current row
// stays selected_row; "Network Setup for Selection..." counts only the rows a
// control package can reach and opens a modeless dialog for them.
TEST(MainForm, SeveralSelectedRowsOpenNetworkSetupForTheSelection) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  ex->packets = {"Zentravox,01,A1,P,N,10.0.0.1,80,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,P,N,10.0.0.2,80,255.0.0.0,g,d,0:0:0:0:0:2,D,x",
                 "Zentravox,01,C1,P,N,10.0.0.3,80,255.0.0.0,g,d,0:0:0:0:0:3,D,x",
                 "Zentravox,01,D1,P,N,10.0.0.4,80,255.0.0.0,g,d,0:0:0:0:0:4,D,x"};
  form.SetExchanges(std::move(ex));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();  // rows: D1, C1, B1, A1
  form.Table().devices.AppendUpnp(form.Table().devices.At(1), 0);  // B1 as a row the UPnP merge made too
  auto click = [&](int view_row, Qt::KeyboardModifiers modifiers) {
    QRect rect = form.StringGrid1->visualRect(form.StringGrid1->model()->index(view_row, 1));
    QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, modifiers, rect.center());
  };

  const QList<QAction*> items = form.PopupMenu1->actions();
  ASSERT_EQ(items.size(), 7);
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4], form.NetworkSetupSelection1);
  EXPECT_TRUE(items[5]->isSeparator());
  EXPECT_EQ(items[6], form.Copy1);
  EXPECT_EQ(form.NetworkSetupSelection1->text(), "Network Setup for Selection...");

  click(0, Qt::NoModifier);
  form.PopupMenu1Popup();
  EXPECT_FALSE(form.NetworkSetupSelection1->isEnabled());
  click(2, Qt::ControlModifier);  // B1, found by UPnP, does not count
  EXPECT_EQ(form.Table().selected_row, 3);
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{1, 3}));
  form.PopupMenu1Popup();
  EXPECT_FALSE(form.NetworkSetup1->isEnabled());  // the current row's "NULL"
  EXPECT_FALSE(form.NetworkSetupSelection1->isEnabled());
  click(3, Qt::ShiftModifier);
  EXPECT_EQ(form.Table().selected_row, 4);
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{1, 3, 4}));
  form.PopupMenu1Popup();
  EXPECT_TRUE(form.NetworkSetup1->isEnabled());
  EXPECT_TRUE(form.NetworkSetupSelection1->isEnabled());
  click(1, Qt::NoModifier);
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{2}));
  QTest::keyClick(form.StringGrid1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(form.Table().selected_row, 2);
  form.PopupMenu1Popup();
  EXPECT_TRUE(form.NetworkSetupSelection1->isEnabled());

  form.NetworkSetupSelection1->trigger();
  TReaddressForm* dialog = form.ReaddressForm();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // the window stays usable
  std::vector<std::string> names;
  for (const auto& row : dialog->Session().Preview()) names.push_back(row.model);
  EXPECT_EQ(names, (std::vector<std::string>{"D1", "C1", "A1"}));
  EXPECT_EQ(dialog->findChild<QLabel*>("LabelCount")->text(), "3 devices in the plan; 1 UPnP rows left out");
  form.NetworkSetupSelection1->trigger();  // one dialog at a time
  EXPECT_EQ(form.ReaddressForm(), dialog);
  dialog->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(form.ReaddressForm(), nullptr);
  EXPECT_TRUE(form.Button1->isEnabled());
}

// A name with bytes above 127 reads the same in the grid, the detail dialog
// and Network Setup, whether the device sent it in UTF-8 or in Latin-1.
TEST(MainForm, TextsAbove127ReadTheSameInEveryView) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  ex->packets = {"Zentravox,01,A1,P,C\xE4m\xE9ra,10.0.0.1,80,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,P,C\xC3\xA4m\xC3\xA9ra,10.0.0.2,80,255.0.0.0,g,d,0:0:0:0:0:2,D,x"};
  form.SetExchanges(std::move(ex));
  form.Button1Click();
  const std::string name = "C\xC3\xA4m\xC3\xA9ra";  // as UTF-8
  std::vector<std::string> shown;
  SetModalHook([&](QDialog& dialog) {
    for (const char* edit : {"EditName", "LabeledEditName"})
      if (auto* line = dialog.findChild<QLineEdit*>(edit)) shown.push_back(line->text().toStdString());
    return static_cast<int>(QDialog::Rejected);  // closed at once: nothing is sent
  });
  for (int row = 1; row <= 2; ++row) {
    form.Table().selected_row = row;
    EXPECT_EQ(form.StringGrid1->model()->index(row - 1, 2).data().toString().toStdString(), name) << row;
    form.Info1Click();
    form.NetworkSetup1Click();
  }
  SetModalHook(nullptr);
  EXPECT_EQ(shown, std::vector<std::string>(4, name));
}

// The end of a search: Label1 counts the rows shown, not the records (a
// device the project filter hides is not counted); with "ALL" the UPnP merge
// ends the search, so after a TCP relay exchange Button1 stays disabled until
// the UPnP devices are merged.
TEST(MainForm, SearchEndCountsShownRowsAndWaitsForTheMerge) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  FakeExchanges* exchanges = ex.get();
  ex->packets = {"Zentravox,01,A1,NVR,N,10.0.0.1,80,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,DVR,N,10.0.0.2,80,255.0.0.0,g,d,0:0:0:0:0:2,D,x"};
  form.SetExchanges(std::move(ex));
  auto finder = std::make_shared<FakeFinderState>();
  finder->hold = true;
  finder->devices = {FakeDevice("AXIS", "Cam", "Network camera", "http://10.0.0.9:8080/")};
  struct Release {
    ~Release() { state->release->Set(); }  // never leave the engine's worker waiting
    std::shared_ptr<FakeFinderState> state;
  } release{finder};
  form.SetUpnpPhase(std::make_unique<EngineUpnpPhase>(
      &form, form.Table(), form.Settings(), form.Log(),
      std::make_unique<UpnpEngine>(std::make_unique<FakeFinder>(finder))));
  bool finished = false;
  form.SetOnSearchFinished([&] { finished = true; });
  form.show();

  // Project filter "NVR": no UPnP part; B1 is in the list but not shown.
  form.Proj->setCurrentText("NVR");
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  ASSERT_TRUE(finished);
  EXPECT_EQ(form.Table().devices.Size(), 2u);
  EXPECT_EQ(form.Label1->text(), "1 device(s) found!");
  EXPECT_EQ(finder->calls, 0);

  // "ALL" over the TCP relay.
  form.Proj->setCurrentText("ALL");
  QTest::mouseClick(form.RadioButton2, Qt::LeftButton);
  form.ComboBox2->setCurrentText("TCP");
  finished = false;
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_EQ(exchanges->calls, (std::vector<std::string>{"udp0", "tcp"}));
  ASSERT_TRUE(finder->entered->WaitFor(std::chrono::seconds(10)));
  QTest::qWait(100);  // the merge is waiting for the engine
  EXPECT_FALSE(finished);
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_EQ(form.Label1->text(), "1 device(s) found!");
  EXPECT_EQ(form.Table().grid.RowCount(), 3);  // the heading and the two TCP rows
  QTest::mouseClick(form.Button1, Qt::LeftButton);  // disabled: nothing happens
  EXPECT_EQ(exchanges->calls.size(), 2u);

  finder->release->Set();
  EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 30000));
  EXPECT_TRUE(form.Button1->isEnabled());
  EXPECT_EQ(form.Button1->text(), "Device Search");
  EXPECT_EQ(form.Label1->text(), "3 device(s) found!");
}

TEST(MainForm, HeadingRowSelectedDuringASearchDetachesThePopup) {
  TMainForm form;
  FakeUpnp* phase = StartSearchWithHeldUpnp(form);
  // The heading is not fixed while the search waits for UPnP: it is row 0 of the view.
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 1);
  form.StringGrid1->setCurrentIndex(form.StringGrid1->model()->index(0, 1));
  EXPECT_FALSE(form.PopupAttached());
  phase->in_progress = false;
  phase->pending();
}

// The relay address list grows when the focus really leaves ComboBox1: not
// when its drop-down list opens (Qt takes the focus away for the popup), and
// not when an entry is picked from the list.
TEST(MainForm, RelayControlsAndTypedAddresses) {
  TMainForm form;
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::mouseClick(form.RadioButton2, Qt::LeftButton);
  EXPECT_TRUE(form.ComboBox1->isEnabled());
  EXPECT_TRUE(form.ComboBox2->isEnabled());
  auto items = [&] {
    std::vector<std::string> texts;
    for (int i = 0; i < form.ComboBox1->count(); ++i) texts.push_back(form.ComboBox1->itemText(i).toStdString());
    return texts;
  };
  auto focus_into = [&](QWidget* widget) {
    widget->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    return widget->hasFocus();
  };

  ASSERT_TRUE(focus_into(form.ComboBox1));
  QTest::keyClicks(form.ComboBox1->lineEdit(), "192.168.1.5");
  // Opening and closing the list is no exit.
  form.ComboBox1->showPopup();
  QApplication::processEvents();
  ASSERT_TRUE(form.ComboBox1->view()->isVisible());
  form.ComboBox1->hidePopup();
  QApplication::processEvents();
  EXPECT_EQ(items(), std::vector<std::string>{"<Customized>"});
  EXPECT_EQ(form.ComboBox1->currentText(), "192.168.1.5");
  // Leaving the box adds the typed text; entering and leaving it again adds it again.
  ASSERT_TRUE(focus_into(form.ComboBox2));
  ASSERT_TRUE(focus_into(form.ComboBox1));
  ASSERT_TRUE(focus_into(form.ComboBox2));
  EXPECT_EQ(items(), (std::vector<std::string>{"<Customized>", "192.168.1.5", "192.168.1.5"}));
  EXPECT_EQ(form.ComboBox1->currentText(), "192.168.1.5");
  // Still typed, not picked, though equal entries exist: opening the list and
  // leaving without a pick adds it once more.
  ASSERT_TRUE(focus_into(form.ComboBox1));
  form.ComboBox1->showPopup();
  QApplication::processEvents();
  form.ComboBox1->hidePopup();
  ASSERT_TRUE(focus_into(form.ComboBox2));
  EXPECT_EQ(items().size(), 4u);

  // A new text typed, then an entry picked from the list that pops up: the
  // pick replaces the text and leaving the box adds nothing.
  ASSERT_TRUE(focus_into(form.ComboBox1));
  form.ComboBox1->lineEdit()->selectAll();
  QTest::keyClicks(form.ComboBox1->lineEdit(), "10.1.1.1");
  form.ComboBox1->showPopup();
  QApplication::processEvents();
  QAbstractItemView* list = form.ComboBox1->view();
  ASSERT_TRUE(list->isVisible());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
  QApplication::processEvents();
  EXPECT_FALSE(list->isVisible());
  EXPECT_EQ(form.ComboBox1->currentText(), "192.168.1.5");
  ASSERT_TRUE(focus_into(form.ComboBox2));
  EXPECT_EQ(items().size(), 4u);

  QTest::mouseClick(form.RadioButton1, Qt::LeftButton);
  EXPECT_FALSE(form.ComboBox1->isEnabled());
  EXPECT_FALSE(form.ComboBox2->isEnabled());
  EXPECT_EQ(form.ComboBox1->currentText(), "192.168.1.5");
}

// The window's least size keeps every control whole and apart from the
// others; above it, the first layout and the resize rule stay the design's.
// Checked at the least size, at 640 x 480 (narrower than the panel's
// controls: the window keeps the least width) and at 1920 x 1080; a longer
// count, and a control added to the strip, raise the least size by
// themselves.
TEST(MainFormSize, EveryControlShowsWholeAndApartFromTheLeastSizeUp) {
  TMainForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QSize frame = form.frameGeometry().size() - form.size();
  auto check = [&](const std::string& at) {
    QApplication::processEvents();
    const std::vector<QWidget*> controls = {form.GroupBox1,   form.GroupBox2,   form.Button1,      form.Label1,
                                            form.StringGrid1, form.FilterLabel, form.FilterEdit,   form.ExportButton,
                                            form.LogButton,   form.RadioButton1, form.RadioButton2, form.ComboBox1,
                                            form.ComboBox2,   form.Proj};
    std::vector<QRect> placed;
    for (QWidget* w : controls) {
      const QRect r(w->mapTo(&form, QPoint(0, 0)), w->size());
      const std::string name = at + ": " + w->objectName().toStdString();
      EXPECT_TRUE(w->isVisibleTo(&form)) << name;
      EXPECT_TRUE(form.rect().contains(r)) << name << " lies outside the window";
      EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name << " is cut";
      if (auto* label = qobject_cast<QLabel*>(w)) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << name;
      }
      // The group boxes hold their own controls: those are checked against their box only.
      const bool inside_box = w->parentWidget() == form.GroupBox1 || w->parentWidget() == form.GroupBox2;
      for (const QRect& other : inside_box ? std::vector<QRect>{} : placed)
        EXPECT_FALSE(r.intersects(other)) << name << " lies over another control";
      if (!inside_box) placed.push_back(r);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{form.RadioButton1, form.RadioButton2, form.ComboBox1,
                                                      form.ComboBox2})
      EXPECT_TRUE(form.GroupBox1->rect().contains(w->geometry())) << at;
  };
  // The resize rule above the least size: the grid is the outer size less
  // 20 across and 121 down.
  auto expect_rule = [&](const std::string& at) {
    EXPECT_EQ(form.StringGrid1->geometry(),
              QRect(0, 81, form.frameGeometry().width() - 20, form.frameGeometry().height() - 121))
        << at;
  };

  const QSize least = form.minimumSize();
  ASSERT_GT(least.width(), 0);
  EXPECT_LE(least.width(), 807 - frame.width());  // the design's size stays allowed
  EXPECT_GE(least.width(), form.Button1->geometry().right());
  ResizeOuter(form, 100, 100);
  EXPECT_EQ(form.size(), least);
  check("least");
  expect_rule("least");
  ResizeOuter(form, 640, 480);
  EXPECT_EQ(form.size(), QSize(std::max(640 - frame.width(), least.width()), 480 - frame.height()));
  check("640x480");
  expect_rule("640x480");
  ResizeOuter(form, 1920, 1080);
  EXPECT_EQ(form.frameGeometry().size(), QSize(1920, 1080));
  check("1920x1080");
  expect_rule("1920x1080");
  EXPECT_EQ(form.Button1->geometry(), QRect(530, 12, 130, 30));  // the panel as designed

  form.SetCountLabel("A count label much longer than any the search writes, 123456 device(s) found!");
  EXPECT_GT(form.minimumSize().width(), least.width());
  ResizeOuter(form, 100, 100);
  check("a longer count");

  // A control added to the strip, before "Export...": the least size makes room for it.
  auto* watch = new QCheckBox("A check box with a long caption in the strip", form.Panel2);
  watch->setObjectName("WatchCheckBox");
  QHBoxLayout* strip = static_cast<WindowStrip*>(form.Panel2)->Controls();
  strip->insertWidget(strip->indexOf(form.ExportButton), watch);
  QApplication::processEvents();
  EXPECT_GE(form.minimumSize().width(), strip->minimumSize().width());
  ResizeOuter(form, 100, 100);
  QApplication::processEvents();
  const QRect box(watch->mapTo(&form, QPoint(0, 0)), watch->size());
  EXPECT_TRUE(form.rect().contains(box));
  EXPECT_GE(watch->width(), watch->minimumSizeHint().width());
  for (QWidget* w : std::initializer_list<QWidget*>{form.FilterEdit, form.ExportButton})
    EXPECT_FALSE(box.intersects(QRect(w->mapTo(&form, QPoint(0, 0)), w->size()))) << w->objectName().toStdString();
}

// An exception from an event handler is shown in the application's error
// box, and the event loop goes on with the next event.
TEST(Application, ShowsAnExceptionFromAnEventHandlerAndGoesOn) {
  Messages messages;
  struct Thrower : QObject {
    bool event(QEvent* e) override {
      if (e->type() == QEvent::User) throw std::runtime_error("The disk is full");
      if (e->type() == QEvent::Type(QEvent::User + 1)) throw 42;
      return QObject::event(e);
    }
  } thrower;
  bool next = false;
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::Type(QEvent::User + 1)));
  QTimer::singleShot(0, &thrower, [&] { next = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return next; }, 10000));
  EXPECT_EQ(messages.shown,
            (std::vector<std::string>{"Device Search|The disk is full", "Device Search|An unknown error occurred."}));
}


// When the selection's verification search reports, the grid shows what it
// found: a device at its new address (which Browse then opens), another
// device that answered elsewhere; a planned device it did not find keeps its
// row, marked "Not confirmed" in its tooltip until the next search. A relay
// address that is no IPv4 address is searched as before, with a line in
// the debug log.
TEST(MainForm, TheGridShowsWhatTheVerificationFound) {
  TMainForm form;
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  ex->packets = {"Zentravox,01,A1,P,N,10.0.0.1,80,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
                 "Zentravox,01,B1,P,N,10.0.0.2,80,255.0.0.0,g,d,0:0:0:0:0:2,D,x",
                 "Zentravox,01,C1,P,N,10.0.0.3,80,255.0.0.0,g,d,0:0:0:0:0:3,D,x"};
  ex->interface = "eth1";
  FakeExchanges* exchanges = ex.get();
  form.SetExchanges(std::move(ex));
  form.SetVerificationExchanges([](DeviceTable& table, const SearchSettings& settings, DebugLog&) {
    auto verification = std::make_unique<FakeExchanges>(table, settings);
    verification->packets = {"Zentravox,01,B1,P,N,10.0.0.101,80,255.0.0.0,10.0.0.254,10.0.0.253,0:0:0:0:0:2,D,x",
                             "Zentravox,01,C1,P,N,10.0.0.33,80,255.0.0.0,g,d,0:0:0:0:0:3,D,x"};
    verification->interface = "eth2";
    return verification;
  });
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();  // rows: C1, B1, A1
  QAbstractItemModel* grid = form.StringGrid1->model();
  auto cell = [&](int view_row, int column, int role = Qt::DisplayRole) {
    return grid->index(view_row, column).data(role).toString().toStdString();
  };
  ASSERT_EQ(cell(1, 0), "B1");
  auto click = [&](int view_row, Qt::KeyboardModifiers modifiers) {
    QRect rect = form.StringGrid1->visualRect(grid->index(view_row, 1));
    QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, modifiers, rect.center());
  };
  click(1, Qt::NoModifier);
  click(2, Qt::ControlModifier);
  form.NetworkSetupSelection1->trigger();
  TReaddressForm* dialog = form.ReaddressForm();
  ASSERT_NE(dialog, nullptr);
  const std::pair<const char*, const char*> settings[] = {{"LabeledEditStart", "10.0.0.101"},
                                                          {"LabeledEditNetmask", "255.0.0.0"},
                                                          {"LabeledEditGateway", "10.0.0.254"},
                                                          {"LabeledEditDNS", "10.0.0.253"}};
  for (const auto& [edit, text] : settings) dialog->findChild<QLineEdit*>(edit)->setText(text);
  dialog->findChild<QSpinBox*>("SpinBoxWait")->setValue(0);
  ASSERT_TRUE(dialog->Session().CanApply()) << dialog->Session().Reasons();
  dialog->ButtonApplyClick();
  QElapsedTimer timer;
  timer.start();
  while (dialog->Session().CurrentStage() != ReaddressSession::Stage::kDone && timer.elapsed() < 30000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(dialog->Session().StatusLine(), "1 of 2 at new settings");

  EXPECT_EQ(cell(0, 3), "10.0.0.33");   // C1, not planned, answered elsewhere
  EXPECT_EQ(cell(1, 3), "10.0.0.101");  // B1 at its new address
  EXPECT_EQ(cell(2, 3), "10.0.0.1");    // A1 not found: as it was, not confirmed
  EXPECT_EQ(form.StringGrid1->selectionModel()->selectedRows().size(), 2);  // B1 and A1 still selected
  EXPECT_EQ(cell(0, 1, Qt::ToolTipRole), "Answered on eth2");
  EXPECT_EQ(cell(2, 1, Qt::ToolTipRole),
            "Answered on eth1\nNot confirmed: the verification search did not find the device at these settings");
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  form.Table().selected_row = 2;
  form.Browser1->trigger();
  QDesktopServices::unsetUrlHandler("http");
  EXPECT_EQ(catcher.urls, std::vector<std::string>{"http://10.0.0.101:80"});
  dialog->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  form.RadioButton2->click();
  form.ComboBox1->setEditText("999.1.1.1");
  form.ComboBox2->setCurrentText("UDP");
  form.Button1Click();
  EXPECT_EQ(exchanges->calls.back(), "udp2");
  const std::vector<std::string> lines = form.Log().Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Relay address [999.1.1.1] is not an IPv4 address such as 192.168.1.20; it is read as "
                      "255.255.255.255\n"),
            lines.end());
  EXPECT_EQ(cell(2, 1, Qt::ToolTipRole), "Answered on eth1");  // a new search: nothing is marked
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
