// The main window's row marks on Qt's offscreen platform: the notes' warning
// mark, tooltip and "N warning(s)" filter.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <arpa/inet.h>

#include "app/main_form.h"
#include "fake_search.h"

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
