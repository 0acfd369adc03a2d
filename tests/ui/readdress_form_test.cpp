// The "Network Setup for Selection" dialog on the offscreen platform: its
// controls, the preview as the user types, "Apply" held back by a refused
// plan, the progress, the countdown, the status column, and closing.
#include "ui/readdress_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "capturing_sender.h"
#include "fake_plan_search.h"
#include "protocol/ipv4_text.h"
#include "widget_app.h"

namespace {

class ReaddressFormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureWidgetApplication(); }

  void SetUp() override {
    // Three fresh devices on one address, listed with a fourth.
    std::vector<PlanDevice> selected = {NumberedDevice("192.168.0.10", 3), NumberedDevice("192.168.0.10", 1),
                                        NumberedDevice("192.168.0.10", 2)};
    std::vector<PlanDevice> listed = selected;
    listed.push_back(NumberedDevice("10.99.0.11", 9));
    form = std::make_unique<TReaddressForm>(nullptr, selected, listed, std::vector<OwnAddress>{}, sender, log, search);
    form->show();
  }

  template <typename T>
  T* Child(const char* name) {
    T* child = form->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  std::vector<std::string> Column(int column) {
    auto* grid = Child<QTableWidget>("GridPreview");
    std::vector<std::string> texts;
    for (int r = 0; r < grid->rowCount(); ++r) texts.push_back(grid->item(r, column)->text().toStdString());
    return texts;
  }
  void Type(const char* edit, const QString& text) {
    QLineEdit* line = Child<QLineEdit>(edit);
    line->clear();
    QTest::keyClicks(line, text);
  }
  // Runs the event loop until `done` holds (false after a generous while).
  static bool RunUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }

  CapturingSender sender;
  MemoryLog log;
  FakePlanSearch search;
  std::unique_ptr<TReaddressForm> form;
};

}  // namespace

TEST_F(ReaddressFormTest, OpensStaticWithTheFirstDevicesAddressesAndAPreview) {
  EXPECT_EQ(form->objectName(), "ReaddressForm");
  EXPECT_EQ(form->windowTitle(), "Network Setup for Selection");
  EXPECT_FALSE(form->isModal());
  EXPECT_TRUE(Child<QRadioButton>("RadioButtonStatic")->isChecked());
  EXPECT_EQ(Child<QRadioButton>("RadioButtonDhcp")->text(), "DHCP");
  // No start address until one is typed: the first device's own would plan
  // a change to nothing.
  EXPECT_EQ(Child<QLineEdit>("LabeledEditStart")->text(), "");
  EXPECT_FALSE(Child<QPushButton>("ButtonApply")->isEnabled());
  // Nothing typed yet: no reason is an error, and nothing is being sent.
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text(), "");
  EXPECT_TRUE(Child<QProgressBar>("ProgressBar")->isHidden());
  Type("LabeledEditStart", "1");
  EXPECT_NE(Child<QLabel>("LabelReasons")->text(), "");
  Type("LabeledEditStart", "192.168.0.10");
  EXPECT_EQ(Child<QLineEdit>("LabeledEditNetmask")->text(), "255.255.255.0");
  EXPECT_EQ(Child<QLineEdit>("LabeledEditGateway")->text(), "192.168.0.1");
  EXPECT_EQ(Child<QLineEdit>("LabeledEditDNS")->text(), "192.168.0.2");
  EXPECT_EQ(Child<QSpinBox>("SpinBoxWait")->value(), 60);
  auto* order = Child<QComboBox>("ComboBoxOrder");
  ASSERT_EQ(order->count(), 3);
  EXPECT_EQ(order->itemText(0), "As listed");
  EXPECT_EQ(order->itemText(1), "By MAC");
  EXPECT_EQ(order->itemText(2), "By current address");

  auto* grid = Child<QTableWidget>("GridPreview");
  std::vector<std::string> headings;
  for (int c = 0; c < grid->columnCount(); ++c) headings.push_back(grid->horizontalHeaderItem(c)->text().toStdString());
  EXPECT_EQ(headings, (std::vector<std::string>{"MAC", "Model", "Name", "Current IP", "New IP", "Status"}));
  // The start address is held by the other fresh devices: skipped.
  EXPECT_EQ(Column(TReaddressForm::kNewIpColumn),
            (std::vector<std::string>{"192.168.0.11", "192.168.0.12", "192.168.0.13"}));
  EXPECT_EQ(Column(TReaddressForm::kNameColumn), (std::vector<std::string>{"Cam3", "Cam1", "Cam2"}));
  EXPECT_EQ(Column(TReaddressForm::kCurrentIpColumn),
            (std::vector<std::string>{"192.168.0.10", "192.168.0.10", "192.168.0.10"}));
  EXPECT_TRUE(Child<QPushButton>("ButtonApply")->isEnabled());
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text(), "");
}

TEST_F(ReaddressFormTest, PreviewFollowsTheTypingAndApplyWaitsForAPlanThatHolds) {
  Type("LabeledEditStart", "10.99.0.10");
  EXPECT_EQ(Column(TReaddressForm::kNewIpColumn),
            (std::vector<std::string>{"10.99.0.10", "10.99.0.12", "10.99.0.13"}));  // .11 is held
  Child<QComboBox>("ComboBoxOrder")->setCurrentIndex(1);  // by MAC
  EXPECT_EQ(Column(TReaddressForm::kMacColumn),
            (std::vector<std::string>{"02:4B:44:00:00:01", "02:4B:44:00:00:02", "02:4B:44:00:00:03"}));
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text(), "Unresonable Gateway - [192.168.0.1]");
  EXPECT_TRUE(Child<QPushButton>("ButtonApply")->isEnabled());

  Type("LabeledEditStart", "10.99.0.254");
  EXPECT_FALSE(Child<QPushButton>("ButtonApply")->isEnabled());
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text().toStdString(),
            "02:4B:44:00:00:02: no address left in 10.99.0.0/255.255.255.0\n"
            "02:4B:44:00:00:03: no address left in 10.99.0.0/255.255.255.0");
  Type("LabeledEditNetmask", "255.255.0.");
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text().toStdString(),
            "Invalid Netmask - [255.255.0.]: " + NotStrictReason("255.255.0."));
  QTest::mouseClick(Child<QPushButton>("ButtonApply"), Qt::LeftButton);
  EXPECT_TRUE(sender.sent.empty());

  // DHCP needs no addresses: the edits are disabled, their texts kept.
  Child<QRadioButton>("RadioButtonDhcp")->click();
  EXPECT_FALSE(Child<QLineEdit>("LabeledEditStart")->isEnabled());
  EXPECT_EQ(Child<QLineEdit>("LabeledEditNetmask")->text(), "255.255.0.");
  EXPECT_EQ(Column(TReaddressForm::kNewIpColumn), (std::vector<std::string>{"", "", ""}));
  EXPECT_TRUE(Child<QPushButton>("ButtonApply")->isEnabled());
}

TEST_F(ReaddressFormTest, ApplySendsCountsDownAndFillsTheStatusColumn) {
  Type("LabeledEditStart", "192.168.0.101");
  Child<QSpinBox>("SpinBoxWait")->setValue(3);
  QTest::mouseClick(Child<QPushButton>("ButtonApply"), Qt::LeftButton);
  EXPECT_EQ(search.expected, 1);
  EXPECT_FALSE(Child<QPushButton>("ButtonApply")->isEnabled());
  EXPECT_FALSE(Child<QLineEdit>("LabeledEditStart")->isEnabled());
  ASSERT_TRUE(RunUntil([&] { return form->Session().CurrentStage() == ReaddressSession::Stage::kCountdown; }));
  ASSERT_EQ(sender.sent.size(), 3u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P1,Cam3,192.168.0.101,80,255.255.255.0,192.168.0.1,192.168.0.2,02:4B:44:00:00:03,D1,"
            "static");
  EXPECT_FALSE(Child<QProgressBar>("ProgressBar")->isHidden());
  EXPECT_EQ(Child<QProgressBar>("ProgressBar")->maximum(), 3);
  EXPECT_EQ(Child<QProgressBar>("ProgressBar")->value(), 3);
  EXPECT_EQ(Column(TReaddressForm::kStatusColumn), (std::vector<std::string>{"sent", "sent", "sent"}));
  EXPECT_EQ(Child<QLabel>("LabelStatus")->text(), "Verification search in 3 s");

  form->CountdownTick();
  form->CountdownTick();
  EXPECT_EQ(search.starts, 0);
  form->CountdownTick();
  EXPECT_EQ(search.starts, 1);
  EXPECT_EQ(Child<QLabel>("LabelStatus")->text(), "Searching...");
  PlanDevice moved = NumberedDevice("192.168.0.101", 3);
  search.Answer({moved, NumberedDevice("192.168.0.10", 1)});
  EXPECT_EQ(Column(TReaddressForm::kStatusColumn),
            (std::vector<std::string>{"at new settings", "unchanged", "not found"}));
  EXPECT_EQ(Child<QLabel>("LabelStatus")->text(), "1 of 3 at new settings");
  form->close();
  EXPECT_EQ(search.cancels, 0);
}

TEST_F(ReaddressFormTest, ClosingDuringTheCountdownCancelsOnlyTheVerification) {
  Child<QRadioButton>("RadioButtonDhcp")->click();
  QTest::mouseClick(Child<QPushButton>("ButtonApply"), Qt::LeftButton);
  // Closed at once: the packages still go out, every one.
  QTest::mouseClick(Child<QPushButton>("ButtonClose"), Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(sender.sent.size(), 3u);
  EXPECT_EQ(search.cancels, 1);
  EXPECT_EQ(form->Session().StatusLine(), "Verification cancelled");
  QApplication::processEvents();
  EXPECT_EQ(search.starts, 0);
  EXPECT_EQ(sender.sent.size(), 3u);
}

// The preview's columns fit their texts and Status takes the rest, on one
// line each; the first size shows at least 12 rows; a line counts the plan's
// devices and the UPnP rows left out of it.
TEST_F(ReaddressFormTest, PreviewFitsItsTextsShowsTwelveRowsAndCountsThePlan) {
  EXPECT_EQ(Child<QLabel>("LabelCount")->text(), "3 devices in the plan; 0 UPnP rows left out");
  form->SetUpnpRowsLeftOut(2);
  EXPECT_EQ(Child<QLabel>("LabelCount")->text(), "3 devices in the plan; 2 UPnP rows left out");

  auto* grid = Child<QTableWidget>("GridPreview");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  EXPECT_GE(grid->viewport()->height(), 12 * grid->verticalHeader()->defaultSectionSize());
  EXPECT_FALSE(grid->wordWrap());
  QHeaderView* header = grid->horizontalHeader();
  const QFontMetrics metrics(grid->font());
  for (int r = 0; r < grid->rowCount(); ++r)
    for (int c = TReaddressForm::kMacColumn; c < TReaddressForm::kStatusColumn; ++c)
      EXPECT_GT(header->sectionSize(c), metrics.horizontalAdvance(grid->item(r, c)->text())) << r << "," << c;
  const int status_right = header->sectionPosition(TReaddressForm::kStatusColumn) +
                           header->sectionSize(TReaddressForm::kStatusColumn);
  EXPECT_EQ(status_right, grid->viewport()->width());
  EXPECT_GT(header->sectionSize(TReaddressForm::kStatusColumn), header->sectionSize(TReaddressForm::kMacColumn));
}

// Opened from a window, the dialog fits within its height; its preview scrolls.
TEST_F(ReaddressFormTest, FitsWithinTheWindowItWasOpenedFrom) {
  QWidget owner;
  owner.resize(807, 594);
  const std::vector<PlanDevice> selected = {NumberedDevice("192.168.0.10", 1), NumberedDevice("192.168.0.10", 2)};
  TReaddressForm dialog(&owner, selected, selected, {}, sender, log, search);
  EXPECT_LE(dialog.height(), owner.height());
  auto* preview = dialog.findChild<QTableWidget*>("GridPreview");
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

// The selection's addresses outside this PC's subnet on the devices'
// interface: a warning below the preview, which does not hold "Apply" back.
TEST_F(ReaddressFormTest, AnAddressOutsideThisPcsSubnetIsAWarning) {
  const std::vector<PlanDevice> selected = {NumberedDevice("192.168.0.10", 1), NumberedDevice("192.168.0.10", 2)};
  const std::vector<OwnAddress> own = {{"eth0", 0xC0A80001u, 0xFFFFFF00u}};  // 192.168.0.1/24
  form = std::make_unique<TReaddressForm>(nullptr, selected, selected, own, sender, log, search);
  form->show();
  Type("LabeledEditGateway", "0.0.0.0");
  Type("LabeledEditStart", "192.168.0.20");
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text(), "");
  Type("LabeledEditNetmask", "255.255.0.0");
  Type("LabeledEditStart", "192.168.1.20");
  EXPECT_EQ(Child<QLabel>("LabelReasons")->text().toStdString(),
            "02:4B:44:00:00:01, 02:4B:44:00:00:02: the device will not be reachable from eth0 (192.168.0.1/24)");
  EXPECT_TRUE(Child<QPushButton>("ButtonApply")->isEnabled());
}
