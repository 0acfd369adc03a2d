// The main window on Qt's offscreen platform: start-up, layout, close refusal,
// the search controls and the grid's mouse handling.
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include "app/modal.h"
#include "protocol/intake.h"

namespace {

class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }

 public:
  std::vector<std::string> urls;
};

struct FakeUpnp : UpnpPhase {
  void StartSearch() override { in_progress = true; }
  void StartMerge(std::function<void()> finished) override { pending = std::move(finished); }
  bool InProgress() const override { return in_progress; }
  bool in_progress = false;
  std::function<void()> pending;
};

struct FakeExchanges : SearchExchanges {
  FakeExchanges(DeviceTable& t, const SearchSettings& s) : table(t), settings(s) {}
  void UdpSearch(int, std::function<void()> done) override {
    for (const std::string& p : packets) {
      std::vector<unsigned char> buf(p.begin(), p.end());
      buf.resize(buf.size() + 2, 0);
      ParserPlainPkg(table, settings, log, buf.data(), buf.size(), buf.size(), "eth1");
    }
    done();
  }
  void TcpRelay(std::function<void()> done) override { done(); }
  void HttpCmd(const std::string&, std::function<void()> done) override { done(); }
  DeviceTable& table;
  const SearchSettings& settings;
  NullLog log;
  std::vector<std::string> packets;
};

// Sizes the window so that its outer size, frame included, is w x h.
void ResizeOuter(QWidget& w, int width, int height) {
  QSize frame = w.frameGeometry().size() - w.geometry().size();
  w.resize(width - frame.width(), height - frame.height());
  QApplication::processEvents();
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

TEST(MainForm, StartsWithHeadingsCaptionLogAndControls) {
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

  // A window that was not given the network searches nowhere and ends at once.
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

TEST(MainForm, RefusesToCloseWhileUpnpSearches) {
  Messages messages;
  TMainForm form;
  auto upnp = std::make_unique<FakeUpnp>();
  FakeUpnp* phase = upnp.get();
  form.SetUpnpPhase(std::move(upnp));
  form.SetExchanges(std::make_unique<FakeExchanges>(form.Table(), form.Settings()));
  form.show();
  form.Button1Click();
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

TEST(MainForm, HeadingRowSelectedDuringASearchDetachesThePopup) {
  TMainForm form;
  auto upnp = std::make_unique<FakeUpnp>();
  FakeUpnp* phase = upnp.get();
  form.SetUpnpPhase(std::move(upnp));
  form.SetExchanges(std::make_unique<FakeExchanges>(form.Table(), form.Settings()));
  form.show();
  form.Button1Click();
  // The heading is not fixed while the search waits for UPnP: it is row 0 of the view.
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 1);
  form.StringGrid1->setCurrentIndex(form.StringGrid1->model()->index(0, 1));
  EXPECT_FALSE(form.PopupAttached());
  phase->in_progress = false;
  phase->pending();
}

TEST(MainForm, RelayControlsAndTypedAddresses) {
  TMainForm form;
  form.show();
  QTest::mouseClick(form.RadioButton2, Qt::LeftButton);
  EXPECT_TRUE(form.ComboBox1->isEnabled());
  EXPECT_TRUE(form.ComboBox2->isEnabled());
  form.ComboBox1->setFocus();
  QTest::keyClicks(form.ComboBox1->lineEdit(), "192.168.1.5");
  form.ComboBox1Exit();
  form.ComboBox1Exit();
  ASSERT_EQ(form.ComboBox1->count(), 3);
  EXPECT_EQ(form.ComboBox1->itemText(1), "192.168.1.5");
  EXPECT_EQ(form.ComboBox1->itemText(2), "192.168.1.5");
  EXPECT_EQ(form.ComboBox1->currentText(), "192.168.1.5");
  QTest::mouseClick(form.RadioButton1, Qt::LeftButton);
  EXPECT_FALSE(form.ComboBox1->isEnabled());
  EXPECT_FALSE(form.ComboBox2->isEnabled());
  EXPECT_EQ(form.ComboBox1->currentText(), "192.168.1.5");
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "main_form_test.moc"
