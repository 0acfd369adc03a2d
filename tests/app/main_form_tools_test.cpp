// The main window's tools on Qt's offscreen platform: the row filter with
// selection, the popup, Browse, sorting and new searches; Copy and Export
// against the command line's writer, Export's questions, folder and note;
// the debug log's window during a search; the remembered settings; the
// shortcuts; and the strip below the grid.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QUrl>
#include <cstdio>

#include "app/grid_model.h"
#include "app/main_form.h"
#include "app/window_layout.h"
#include "fake_finder.h"
#include "fake_search.h"
#include "search/engine_upnp_phase.h"
#include "ui/log_form.h"
#include "ui/modal.h"
#include "url_catcher.h"

namespace {

// Four devices of the maker's protocol, answered on eth1; after the search
// they stand in descending order of Model: D1, C1, B1, A1.
const std::vector<std::string> kFourDevices = {
    "Zentravox,01,A1,P,Lobby north,10.0.0.1,8081,255.0.0.0,g,d,0:0:0:0:0:1,D,x",
    "Zentravox,01,B1,P,Gate,10.0.0.2,8082,255.0.0.0,g,d,0:0:0:0:0:2,D,x",
    "Zentravox,01,C1,P,Lobby south,10.0.0.3,8083,255.0.0.0,g,d,0:0:0:0:0:3,D,x",
    "Zentravox,01,D1,P,Yard,10.0.0.4,8084,255.0.0.0,g,d,0:0:0:0:0:4,D,x"};

FakeExchanges* UseFakeExchanges(TMainForm& form, const std::vector<std::string>& packets) {
  auto ex = std::make_unique<FakeExchanges>(form.Table(), form.Settings());
  FakeExchanges* exchanges = ex.get();
  ex->packets = packets;
  ex->interface = "eth1";
  form.SetExchanges(std::move(ex));
  return exchanges;
}

// The models of the rows the grid shows, in order.
std::vector<std::string> ShownModels(TMainForm& form) {
  std::vector<std::string> models;
  for (int r = 0; r < form.StringGrid1->model()->rowCount(); ++r)
    models.push_back(form.StringGrid1->model()->index(r, 0).data().toString().toStdString());
  return models;
}

void ClickViewRow(TMainForm& form, int view_row, Qt::KeyboardModifiers modifiers = {}) {
  QRect rect = form.StringGrid1->visualRect(form.StringGrid1->model()->index(view_row, 1));
  QTest::mouseClick(form.StringGrid1->viewport(), Qt::LeftButton, modifiers, rect.center());
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Holds the UPnP finder's worker until the test lets it go, and always lets
// it go at the end.
struct HeldFinder {
  HeldFinder() { state->hold = true; }
  ~HeldFinder() { state->release->Set(); }
  std::shared_ptr<FakeFinderState> state = std::make_shared<FakeFinderState>();
};

void UseEngine(TMainForm& form, const std::shared_ptr<FakeFinderState>& finder) {
  form.SetUpnpPhase(std::make_unique<EngineUpnpPhase>(
      &form, form.Table(), form.Settings(), form.Log(),
      std::make_unique<UpnpEngine>(std::make_unique<FakeFinder>(finder))));
}

}  // namespace

// The filter hides rows from the view: the count label says how many of the
// devices found it shows, a hidden row cannot be selected (keyboard, Ctrl+A)
// and the popup's first three items and a double click do nothing while it
// hides selected_row. Escape shows every row again.
TEST(MainFormFilter, HidesRowsFromSelectionBrowseAndTheCount) {
  TMainForm form;
  UseFakeExchanges(form, kFourDevices);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  ASSERT_EQ(ShownModels(form), (std::vector<std::string>{"D1", "C1", "B1", "A1"}));
  EXPECT_EQ(form.Label1->text(), "4 device(s) found!");
  ClickViewRow(form, 0);  // D1
  ASSERT_EQ(form.Table().selected_row, 1);

  form.FilterEdit->setText("LOBBY");
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"C1", "A1"}));
  EXPECT_EQ(form.Label1->text(), "2 of 4 device(s) shown");
  EXPECT_EQ(form.Table().grid.RowCount(), 5);  // nothing removed
  EXPECT_EQ(form.Table().devices.Size(), 4u);

  // D1, selected_row, is hidden: the popup acts on nothing.
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  form.PopupMenu1Popup();
  EXPECT_FALSE(form.Info1->isEnabled());
  EXPECT_FALSE(form.Browser1->isEnabled());
  EXPECT_FALSE(form.NetworkSetup1->isEnabled());
  form.Browser1Click();
  QTest::mouseDClick(form.StringGrid1->viewport(), Qt::LeftButton, {},
                     form.StringGrid1->visualRect(form.StringGrid1->model()->index(0, 1)).center());
  EXPECT_TRUE(catcher.urls.empty());

  // The keyboard walks the shown rows only; Ctrl+A selects them only.
  ClickViewRow(form, 0);
  EXPECT_EQ(form.Table().selected_row, 2);  // C1
  QTest::keyClick(form.StringGrid1, Qt::Key_Down);
  EXPECT_EQ(form.Table().selected_row, 4);  // A1; B1 in between is hidden
  form.PopupMenu1Popup();
  EXPECT_TRUE(form.Browser1->isEnabled());
  EXPECT_TRUE(form.NetworkSetup1->isEnabled());
  form.Browser1->trigger();
  EXPECT_EQ(catcher.urls, std::vector<std::string>{"http://10.0.0.1:8081"});
  QTest::keyClick(form.StringGrid1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{2, 4}));
  QDesktopServices::unsetUrlHandler("http");

  // The interface the devices answered on matches too; nothing matches none.
  form.FilterEdit->setText("eth1");
  EXPECT_EQ(form.Label1->text(), "4 of 4 device(s) shown");
  form.FilterEdit->setText("no such device");
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 0);
  EXPECT_EQ(form.Label1->text(), "0 of 4 device(s) shown");

  QApplication::setActiveWindow(&form);
  form.StringGrid1->setFocus();
  QTest::keyClick(form.StringGrid1, Qt::Key_Escape);
  EXPECT_EQ(form.FilterEdit->text(), "");
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"D1", "C1", "B1", "A1"}));
  EXPECT_EQ(form.Label1->text(), "4 device(s) found!");
}

// A heading click sorts every row, shown or not, and the filter still
// applies; a new search keeps the filter and counts again.
TEST(MainFormFilter, SortingAndANewSearchKeepTheFilter) {
  TMainForm form;
  FakeExchanges* exchanges = UseFakeExchanges(form, kFourDevices);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  form.FilterEdit->setText("lobby");
  ASSERT_EQ(ShownModels(form), (std::vector<std::string>{"C1", "A1"}));

  QHeaderView* header = form.StringGrid1->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(0) + 5, 5));
  EXPECT_EQ(form.Table().grid.Cell(0, 1), "A1");  // all four sorted ascending
  EXPECT_EQ(form.Table().grid.Cell(0, 2), "B1");
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"A1", "C1"}));
  EXPECT_EQ(form.FilterEdit->text(), "lobby");
  EXPECT_EQ(form.Label1->text(), "2 of 4 device(s) shown");

  // The next search finds one more lobby camera and one other device.
  exchanges->packets.push_back("Zentravox,01,E1,P,Lobby east,10.0.0.5,80,255.0.0.0,g,d,0:0:0:0:0:5,D,x");
  exchanges->packets.push_back("Zentravox,01,F1,P,Roof,10.0.0.6,80,255.0.0.0,g,d,0:0:0:0:0:6,D,x");
  form.Button1Click();
  EXPECT_EQ(form.FilterEdit->text(), "lobby");
  EXPECT_EQ(ShownModels(form), (std::vector<std::string>{"E1", "C1", "A1"}));
  EXPECT_EQ(form.Label1->text(), "3 of 6 device(s) shown");
  form.FilterEdit->clear();
  EXPECT_EQ(form.Label1->text(), "6 device(s) found!");

  // A search that finds nothing: the one empty row shows only unfiltered.
  exchanges->packets.clear();
  form.FilterEdit->setText("lobby");
  form.Button1Click();
  EXPECT_EQ(form.Label1->text(), "0 of 0 device(s) shown");
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 0);
  form.FilterEdit->clear();
  EXPECT_EQ(form.Label1->text(), "0 device(s) found!");
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 1);
}

// Copy and Export write the rows as `device-search search --format` does:
// the same writer, the same columns, keys, sources and interfaces; CSV as
// RFC 4180 in UTF-8, the clipboard tab-separated under the headings.
TEST(MainFormCopyExport, WriteTheRowsAsTheCommandLineDoes) {
  TMainForm form;
  UseFakeExchanges(form, {"Zentravox,01,M100,P1,Caf\xe9 \"north\",10.0.0.1,8080,255.255.255.0,g,d,0:0:0:0:0:1,D,x",
                          "Zentravox,01,M200,P2,Gate,10.0.0.2,80,255.255.255.0,g,d,0:0:0:0:0:2,D,x"});
  HeldFinder finder;
  finder.state->devices = {
      FakeDevice("AXIS", "Cam", "Door, \"east\"\r\nwing \xc3\xa9t\xc3\xa9", "http://10.0.0.9:8080/"),
      FakeDevice("Other maker", "Printer", "", "http://10.0.0.10/")};
  UseEngine(form, finder.state);
  bool finished = false;
  form.SetOnSearchFinished([&] { finished = true; });
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  finder.state->release->Set();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 30000));
  ASSERT_EQ(ShownModels(form), (std::vector<std::string>{"M100", "M200", "Axis 200 Series"}));

  const std::string csv =
      "Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes\r\n"
      "M100,P1,\"Caf\xc3\xa9 \"\"north\"\"\",10.0.0.1,8080,255.255.255.0,0:0:0:0:0:1,eth1,\r\n"
      "M200,P2,Gate,10.0.0.2,80,255.255.255.0,0:0:0:0:0:2,eth1,\r\n"
      "Axis 200 Series,Axis 200 Series,\"Door, \"\"east\"\"\\x0d\\x0awing \xc3\xa9t\xc3\xa9\",10.0.0.9,8080,NULL,NULL,,\r\n";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_EQ(form.ExportTo(dir.filePath("all.csv"), OutputFormat::kCsv), "");
  EXPECT_EQ(ReadFile(dir.filePath("all.csv")).toStdString(), csv);

  // JSON: the command line's objects (Latin-1 escaped, UTF-8 as it is),
  // valid UTF-8, with the rows' sources and UPnP texts.
  ASSERT_EQ(form.ExportTo(dir.filePath("all.json"), OutputFormat::kJson), "");
  const QByteArray json = ReadFile(dir.filePath("all.json"));
  EXPECT_TRUE(json.startsWith(
      "[{\"model\":\"M100\",\"proj\":\"P1\",\"name\":\"Caf\\u00e9 \\\"north\\\"\",\"ip\":\"10.0.0.1\","
      "\"trigger_port\":\"8080\",\"netmask\":\"255.255.255.0\",\"gateway\":\"g\",\"dns\":\"d\",\"mac\":\"0:0:0:0:0:1\","
      "\"dev\":\"D\",\"note\":\"x\",\"source\":\"protocol\",\"interface\":\"eth1\",\"notes\":[]},{\"model\":\"M200\",\"proj\":\"P2\","
      "\"name\":\"Gate\","))
      << json.toStdString();
  EXPECT_TRUE(json.contains("\"name\":\"Door, \\\"east\\\"\\r\\nwing \xc3\xa9t\xc3\xa9\",")) << json.toStdString();
  EXPECT_TRUE(json.endsWith("},\"notes\":[]}]\n")) << json.toStdString();
  QJsonParseError error;
  const QJsonArray rows = QJsonDocument::fromJson(json, &error).array();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0].toObject()["name"].toString(), QString::fromUtf8("Caf\xc3\xa9 \"north\""));
  EXPECT_EQ(rows[0].toObject()["source"].toString(), "protocol");
  EXPECT_EQ(rows[0].toObject()["interface"].toString(), "eth1");
  EXPECT_EQ(rows[2].toObject()["source"].toString(), "upnp");
  EXPECT_EQ(rows[2].toObject()["interface"].toString(), "");
  EXPECT_EQ(rows[2].toObject()["upnp"].toObject()["manufacturer_name"].toString(), "AXIS");

  // Copy: the selected rows, in the grid's order, whatever the clicks' order.
  ClickViewRow(form, 2);
  ClickViewRow(form, 0, Qt::ControlModifier);
  form.Copy1->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
            "Model\tProj\tName\tIP\tPort\tNetmask\tMac\n"
            "M100\tP1\t\"Caf\xc3\xa9 \"\"north\"\"\"\t10.0.0.1\t8080\t255.255.255.0\t0:0:0:0:0:1\n"
            "Axis 200 Series\tAxis 200 Series\t\"Door, \"\"east\"\"\\x0d\\x0awing \xc3\xa9t\xc3\xa9\"\t10.0.0.9\t8080\tNULL\tNULL\n");

  // Export writes what the filter shows, in the grid's order.
  form.FilterEdit->setText("gate");
  ASSERT_EQ(form.ExportTo(dir.filePath("gate.csv"), OutputFormat::kCsv), "");
  EXPECT_EQ(ReadFile(dir.filePath("gate.csv")).toStdString(),
            "Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes\r\n"
            "M200,P2,Gate,10.0.0.2,80,255.255.255.0,0:0:0:0:0:2,eth1,\r\n");
}

// "Export..." asks for a file: its extension chooses CSV or JSON, else the
// type picked; the HTTP command's rows say so; a file that cannot be written
// is said in a message box and leaves nothing behind.
TEST(MainFormCopyExport, ExportButtonChoosesTheFormatAndReportsFailures) {
  TMainForm form;
  struct HttpRows : FakeExchanges {
    using FakeExchanges::FakeExchanges;
    void HttpCmd(const std::string&, std::function<void()> done) override {
      Feed("http");
      done();
    }
  };
  auto ex = std::make_unique<HttpRows>(form.Table(), form.Settings());
  ex->packets = {kFourDevices[0]};
  form.SetExchanges(std::move(ex));
  form.RadioButton2->click();
  form.ComboBox2->setCurrentText("HttpCmd");
  form.Button1Click();
  ASSERT_EQ(form.Label1->text(), "1 device(s) found!");

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString answer;
  QString filter;
  SetSaveFileHook([&](const QString&, QString* picked) {
    *picked = filter;
    return answer;
  });
  std::vector<std::string> messages;
  SetMessageHook([&](QWidget*, const QString& text, const QString& caption) {
    messages.push_back((caption + "|" + text).toStdString());
  });
  answer = dir.filePath("devices");
  filter = "JSON (*.json)";
  form.ExportButton->click();
  const QByteArray json = ReadFile(dir.filePath("devices.json"));
  EXPECT_TRUE(json.contains("\"source\":\"httpcmd\"")) << json.toStdString();
  answer = dir.filePath("devices.CSV");  // the name's extension wins
  form.ExportButton->click();
  EXPECT_TRUE(ReadFile(answer).startsWith("Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes\r\nA1,P,"));
  answer = "";  // cancelled
  form.ExportButton->click();
  EXPECT_TRUE(messages.empty());

  answer = dir.filePath("no/such/folder/devices.csv");
  form.ExportButton->click();
  SetSaveFileHook(nullptr);
  SetMessageHook(nullptr);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with("Error|The devices could not be exported to " + answer.toStdString() + ": "))
      << messages[0];
  EXPECT_FALSE(QFile::exists(answer));
}

// The log's window shows the lines a search writes as they come (the
// exchanges', the UPnP phase's, the selection's); the window keeps the last
// 10,000 lines, the hidden Memo1 no more either, and says so.
TEST(MainFormLog, WindowShowsLinesAsASearchWritesThemAndKeepsTenThousand) {
  TMainForm form;
  struct LoggingExchanges : FakeExchanges {
    explicit LoggingExchanges(TMainForm& f) : FakeExchanges(f.Table(), f.Settings()), window_log(f.Log()) {}
    void UdpSearch(int flag, std::function<void()> done) override {
      window_log.Append("UDP pass with flag " + std::to_string(flag) + "\n");
      FakeExchanges::UdpSearch(flag, std::move(done));
    }
    DebugLog& window_log;
  };
  auto ex = std::make_unique<LoggingExchanges>(form);
  ex->packets = kFourDevices;
  form.SetExchanges(std::move(ex));
  HeldFinder finder;
  finder.state->devices = {FakeDevice("AXIS", "Cam", "Door", "http://10.0.0.9/")};
  UseEngine(form, finder.state);
  bool finished = false;
  form.SetOnSearchFinished([&] { finished = true; });
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  form.LogButton->click();
  TLogForm* log_form = form.LogForm;
  ASSERT_NE(log_form, nullptr);
  EXPECT_TRUE(log_form->isVisible());
  EXPECT_TRUE(log_form->isWindow());
  EXPECT_FALSE(log_form->isModal());
  auto last_line = [&] {  // without its time stamp, "hh:mm:ss.zzz  "
    const QString line = log_form->LogText->document()->lastBlock().text();
    EXPECT_EQ(line.indexOf("  "), 12) << line.toStdString();
    return line.mid(14).toStdString();
  };
  EXPECT_EQ(last_line(), "Col[6] - (153, 802, 0.190773)");

  form.Button1Click();  // the UPnP worker waits: the exchange's line is there
  EXPECT_EQ(last_line(), "UDP pass with flag 0");
  const int before = log_form->LogText->document()->blockCount();
  finder.state->release->Set();
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 30000));
  EXPECT_GE(log_form->LogText->document()->blockCount(), before);
  ClickViewRow(form, 1);
  EXPECT_EQ(last_line(), "ARow(2) ACol(1) IP(10.0.0.2)");  // no sort after a UPnP merge
  form.LogButton->click();  // the same window again
  EXPECT_EQ(form.LogForm, log_form);

  for (int i = 0; i < 10050; ++i) form.Log().Append("line " + std::to_string(i) + "\n");
  EXPECT_EQ(form.Log().Size(), kLogLines);
  EXPECT_EQ(form.Log().Lines().front(), "line 50\n");
  EXPECT_EQ(log_form->LogText->document()->blockCount(), 10000);
  EXPECT_EQ(form.Memo1->document()->blockCount(), 10000);
  EXPECT_TRUE(log_form->DroppedLabel->isVisibleTo(log_form));

  log_form->ClearButton->click();
  EXPECT_EQ(form.Log().Size(), 0u);
  EXPECT_EQ(form.Memo1->toPlainText(), "");
  EXPECT_FALSE(log_form->DroppedLabel->isVisibleTo(log_form));
}

// The search method, the typed relay addresses (latest first, once), the
// relay protocol and the window's size come back in the next window that
// reads the same file; the filter does not. A damaged file gives the
// designed start with a line in the log.
TEST(MainFormSettings, ComeBackInTheNextWindowButTheFilterDoesNot) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("kestra/device-search.conf");
  auto items = [](QComboBox* box) {
    std::vector<std::string> list;
    for (int i = 0; i < box->count(); ++i) list.push_back(box->itemText(i).toStdString());
    return list;
  };
  {
    TMainForm form;
    form.UseSettingsFile(path);  // no file yet: the designed start
    EXPECT_TRUE(form.RadioButton1->isChecked());
    EXPECT_EQ(items(form.ComboBox1), std::vector<std::string>{"<Customized>"});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.RadioButton2->click();
    for (const char* typed : {"10.0.0.5", "10.0.0.6", "10.0.0.5"}) {
      form.ComboBox1->setEditText(typed);
      form.ComboBox1Exit();
    }
    EXPECT_EQ(items(form.ComboBox1),  // the list of this run as designed
              (std::vector<std::string>{"<Customized>", "10.0.0.5", "10.0.0.6", "10.0.0.5"}));
    form.ComboBox2->setCurrentText("HttpCmd");
    form.FilterEdit->setText("lobby");
    form.resize(900, 700);
    EXPECT_TRUE(form.close());
  }
  {
    TMainForm form;
    form.UseSettingsFile(path);
    EXPECT_TRUE(form.RadioButton2->isChecked());
    EXPECT_TRUE(form.ComboBox1->isEnabled());
    EXPECT_TRUE(form.ComboBox2->isEnabled());
    EXPECT_EQ(items(form.ComboBox1), (std::vector<std::string>{"<Customized>", "10.0.0.5", "10.0.0.6"}));
    EXPECT_EQ(form.ComboBox1->currentText(), "");
    EXPECT_EQ(form.ComboBox2->currentText(), "HttpCmd");
    EXPECT_EQ(form.FilterEdit->text(), "");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.size(), QSize(900, 700));
  }

  QFile damaged(path);
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write("[search\n\x01\x02 not a settings file \"\n[[[");
  damaged.close();
  TMainForm form;
  form.UseSettingsFile(path);
  EXPECT_TRUE(form.RadioButton1->isChecked());
  EXPECT_EQ(items(form.ComboBox1), std::vector<std::string>{"<Customized>"});
  EXPECT_EQ(form.ComboBox2->currentText(), "TCP");
  EXPECT_NE(form.Log().Lines().back().find("ignored: it is damaged"), std::string::npos)
      << form.Log().Lines().back();
}

// F5 and Enter in the relay address box search as the button does (not
// while a search runs); Ctrl+F goes to the filter, Escape clears it; Ctrl+C
// in the grid copies the selected rows.
TEST(MainFormShortcuts, SearchFilterAndCopyFromTheKeyboard) {
  TMainForm form;
  FakeExchanges* exchanges = UseFakeExchanges(form, kFourDevices);
  auto upnp = std::make_unique<FakeUpnp>();
  FakeUpnp* phase = upnp.get();
  form.SetUpnpPhase(std::move(upnp));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QApplication::setActiveWindow(&form);
  form.StringGrid1->setFocus();

  QTest::keyClick(form.StringGrid1, Qt::Key_F5);
  EXPECT_EQ(exchanges->calls, std::vector<std::string>{"udp0"});
  ASSERT_TRUE(form.Driver().Searching());  // the UPnP phase holds it
  QTest::keyClick(form.StringGrid1, Qt::Key_F5);
  EXPECT_EQ(phase->starts, 1);
  phase->in_progress = false;
  phase->pending();
  ASSERT_FALSE(form.Driver().Searching());

  form.RadioButton2->click();
  form.ComboBox1->setFocus();
  QTest::keyClicks(form.ComboBox1->lineEdit(), "10.0.0.7");
  QTest::keyClick(form.ComboBox1->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(exchanges->calls, (std::vector<std::string>{"udp0", "tcp"}));
  EXPECT_EQ(form.Settings().relay_address, "10.0.0.7");
  phase->in_progress = false;
  phase->pending();

  form.StringGrid1->setFocus();
  QTest::keyClick(form.StringGrid1, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(form.FilterEdit->hasFocus());
  QTest::keyClicks(form.FilterEdit, "yard");
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 1);
  QTest::keyClick(form.FilterEdit, Qt::Key_Escape);
  EXPECT_EQ(form.FilterEdit->text(), "");
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 4);

  QGuiApplication::clipboard()->clear();
  ClickViewRow(form, 1);
  form.StringGrid1->setFocus();
  QTest::keyClick(form.StringGrid1, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), form.SelectedRowsText());
  EXPECT_NE(form.SelectedRowsText().find("\nB1\tP\tGate\t10.0.0.2\t8082\t"), std::string::npos)
      << form.SelectedRowsText();
}

// The strip stands below the grid, whose place and size stay as designed
// while the strip is one line; with a line of messages (a note, the watch's
// account) the grid ends above it. The grid's last row and its scroll bar
// are never under the strip, at any size.
TEST(MainFormStrip, StandsBelowTheGridAndNeverCoversIt) {
  TMainForm form;
  std::vector<std::string> many;
  for (int i = 1; i <= 60; ++i) {
    char packet[128];
    std::snprintf(packet, sizeof packet, "Zentravox,01,M%d,P,a,10.0.1.%d,80,255.255.255.0,g,d,00:00:00:00:01:%02X,D,x", i,
                  i, i);
    many.push_back(packet);
  }
  UseFakeExchanges(form, many);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QSize frame = form.frameGeometry().size() - form.size();  // the outer size is 807 x 624
  form.resize(807 - frame.width(), 624 - frame.height());
  QApplication::processEvents();
  EXPECT_EQ(form.StringGrid1->geometry(), QRect(0, 81, 787, 503));
  EXPECT_EQ(form.Panel2->geometry(), QRect(0, 584, form.width(), kStripHeight));
  for (QWidget* w : std::initializer_list<QWidget*>{form.FilterEdit, form.ExportButton, form.LogButton}) {
    EXPECT_TRUE(w->isVisibleTo(&form));
    EXPECT_GE(w->mapTo(&form, QPoint(0, 0)).y(), 584);
    EXPECT_LE(w->mapTo(&form, QPoint(0, w->height())).y(), form.height());
  }
  form.Button1Click();
  auto never_covered = [&](const char* where) {
    SCOPED_TRACE(where);
    QApplication::processEvents();
    const int strip_top = form.Panel2->geometry().top();
    EXPECT_LE(form.StringGrid1->geometry().bottom(), strip_top - 1);
    EXPECT_LE(form.Panel2->geometry().bottom(), form.height() - 1);
    QScrollBar* bar = form.StringGrid1->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_LE(bar->mapTo(&form, QPoint(0, bar->height())).y(), strip_top);
    // Scrolled to the end, the last row shows whole above the strip.
    form.StringGrid1->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex last = form.StringGrid1->model()->index(form.StringGrid1->model()->rowCount() - 1, 0);
    const QRect row = form.StringGrid1->visualRect(last);
    EXPECT_LE(form.StringGrid1->viewport()->mapTo(&form, row.bottomLeft()).y(), strip_top - 1);
  };
  never_covered("designed size");
  form.resize(807 - frame.width(), 594 - frame.height());  // a frame that takes 30 pixels more
  never_covered("framed");
  static_cast<WindowStrip*>(form.Panel2)->ShowNote("Exported 60 rows to /tmp/a/long/path/devices.csv");
  never_covered("a note");
  EXPECT_EQ(form.Panel2->height(), kStripHeight + kStripMessageHeight);
  EXPECT_EQ(form.NoteLabel->text(), "Exported 60 rows to /tmp/a/long/path/devices.csv");  // readable, whole
  form.resize(1200, 900);
  never_covered("large");

  EXPECT_EQ(form.FilterLabel->text(), "Filter");
  EXPECT_EQ(form.ExportButton->text(), "Export...");
  EXPECT_EQ(form.LogButton->text(), "Log");
}

// Ctrl and Shift selections outlive a change of the filter; the rows it
// hides leave the selection and do not come back with them. A sort brings
// the selection back to the current row, whose number Browse then acts on.
TEST(MainFormFilter, KeepsTheSelectionItShowsAndASortKeepsTheCurrentRow) {
  TMainForm form;
  UseFakeExchanges(form, kFourDevices);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();  // rows: D1 Yard, C1 Lobby south, B1 Gate, A1 Lobby north
  ClickViewRow(form, 0);
  ClickViewRow(form, 1, Qt::ControlModifier);
  ClickViewRow(form, 3, Qt::ControlModifier);
  ASSERT_EQ(form.SelectedGridRows(), (std::vector<int>{1, 2, 4}));
  ASSERT_EQ(form.Table().selected_row, 4);

  for (const char* typed : {"l", "lo", "lobby"}) {  // keystroke by keystroke
    form.FilterEdit->setText(typed);
    EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{2, 4})) << typed;  // Yard is hidden
    EXPECT_EQ(form.StringGrid1->currentIndex().row(), form.StringGrid1->model()->rowCount() - 1) << typed;
  }
  form.FilterEdit->clear();
  EXPECT_EQ(form.SelectedGridRows(), (std::vector<int>{2, 4}));
  EXPECT_EQ(form.Table().selected_row, 4);

  QHeaderView* header = form.StringGrid1->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(0) + 5, 5));
  ASSERT_EQ(ShownModels(form), (std::vector<std::string>{"A1", "B1", "C1", "D1"}));
  EXPECT_EQ(form.SelectedGridRows(), std::vector<int>{4});
  EXPECT_EQ(form.Table().selected_row, 4);
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("http", &catcher, "Open");
  form.Browser1->trigger();
  QDesktopServices::unsetUrlHandler("http");
  EXPECT_EQ(catcher.urls, std::vector<std::string>{"http://10.0.0.4:8084"});  // D1 now stands in row 4
}

// With selected_row hidden by the filter, a right click still opens the
// popup, its row items disabled.
TEST(MainFormFilter, RightClickOpensThePopupWithoutAShownSelectedRow) {
  TMainForm form;
  UseFakeExchanges(form, kFourDevices);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Button1Click();
  ClickViewRow(form, 0);  // D1, Yard
  form.FilterEdit->setText("lobby");
  ASSERT_EQ(form.Table().selected_row, 1);
  ASSERT_EQ(form.StringGrid1->model()->rowCount(), 2);
  const QRect cell = form.StringGrid1->visualRect(form.StringGrid1->model()->index(1, 1));
  QTest::mouseClick(form.windowHandle(), Qt::RightButton, {},
                    form.StringGrid1->viewport()->mapTo(&form, cell.center()));
  EXPECT_TRUE(form.PopupMenu1->isVisible());
  EXPECT_FALSE(form.Info1->isEnabled());
  EXPECT_FALSE(form.Browser1->isEnabled());
  EXPECT_FALSE(form.NetworkSetup1->isEnabled());
  EXPECT_EQ(form.Table().selected_row, 1);
  form.PopupMenu1->close();
}

// "Export..." starts in the home folder, then in the last export's folder
// (in the next window too); it asks before replacing the file it writes,
// the extension it adds included, and says what it wrote in the strip for
// a few seconds.
TEST(MainFormCopyExport, ExportAsksBeforeReplacingAndRemembersItsFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString settings = dir.filePath("settings.conf");
  const QString existing = dir.filePath("devices.csv");
  QFile old_file(existing);
  ASSERT_TRUE(old_file.open(QIODevice::WriteOnly));
  old_file.write("kept");
  old_file.close();

  std::vector<std::string> questions;
  bool replace = false;
  SetQuestionHook([&](QWidget*, const QString& text, const QString& caption) {
    questions.push_back((caption + "|" + text).toStdString());
    return replace;
  });
  QString answer = dir.filePath("devices");  // typed without its extension
  SetSaveFileHook([&](const QString&, QString* picked) {
    *picked = "CSV (*.csv)";
    return answer;
  });
  {
    TMainForm form;
    form.UseSettingsFile(settings);
    EXPECT_EQ(ExportStartFolder(form.Remembered()), QDir::homePath());
    UseFakeExchanges(form, kFourDevices);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Button1Click();

    form.ExportButton->click();  // declined: the file stays as it was
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Export|" + QDir::toNativeSeparators(existing).toStdString() +
                                " already exists.\nDo you want to replace it?");
    EXPECT_EQ(ReadFile(existing), "kept");
    EXPECT_EQ(form.NoteLabel->toolTip(), "");
    EXPECT_EQ(ExportStartFolder(form.Remembered()), QDir::homePath());

    replace = true;
    form.ExportButton->click();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_TRUE(ReadFile(existing).startsWith("Model,Proj,"));
    EXPECT_EQ(form.NoteLabel->toolTip(), "Exported 4 rows to " + QDir::toNativeSeparators(existing));
    EXPECT_TRUE(form.NoteLabel->isVisible());
    EXPECT_EQ(ExportStartFolder(form.Remembered()), dir.path());

    form.FilterEdit->setText("gate");
    answer = dir.filePath("gate.json");  // a new file: nothing to ask
    form.ExportButton->click();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(form.NoteLabel->toolTip(), "Exported 1 row to " + QDir::toNativeSeparators(answer));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.NoteLabel->text().isEmpty(); }, kStripNoteMs + 10000));
    EXPECT_TRUE(form.close());
  }
  TMainForm next;
  next.UseSettingsFile(settings);
  EXPECT_EQ(ExportStartFolder(next.Remembered()), dir.path());
  SetQuestionHook(nullptr);
  SetSaveFileHook(nullptr);
}
