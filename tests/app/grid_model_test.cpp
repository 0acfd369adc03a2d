// The grid's tooltips show a device's text as it is: tags in a name are
// text, never HTML.
#include "app/grid_model.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTextDocument>

#include "protocol/device_table.h"
#include "ui/detail_rows.h"

namespace {

// What a tooltip shows for `tip`: it reads the text as HTML when it looks
// like rich text (Qt::AutoText), else as it is.
QString ShownTip(const QVariant& tip) {
  const QString text = tip.toString();
  if (!Qt::mightBeRichText(text)) return text;
  QTextDocument document;
  document.setHtml(text);
  return document.toPlainText();
}

}  // namespace

TEST(GridModel, TooltipsShowTagsAsText) {
  StringGrid grid;
  WriteGridHeadings(grid);
  grid.SetRow(1, {"<b>x</b>", "P", "<img src=x> a name that is long", "10.0.0.1", "80", "255.0.0.0", "m"});
  GridModel model(grid);
  model.SetRowToolTip([](int) { return std::string("Answered on <i>eth1</i> & more"); });
  // A long cell in full, then the row's own line.
  EXPECT_EQ(ShownTip(model.index(0, 2).data(Qt::ToolTipRole)),
            "<img src=x> a name that is long\nAnswered on <i>eth1</i> & more");
  EXPECT_EQ(ShownTip(model.index(0, 0).data(Qt::ToolTipRole)), "Answered on <i>eth1</i> & more");
  EXPECT_EQ(model.index(0, 0).data().toString(), "<b>x</b>");
}

// Greyed rows read at 4.5:1 on the base and on both tints, whatever grey the
// theme gives; new and changed rows carry a mark in their first cell, so
// that their tint is never the only sign.
TEST(GridModel, GreyedRowsReadAndTintedRowsCarryAMark) {
  const QColor tints[] = {QColor(0xdf, 0xf5, 0xdf), QColor(0xfc, 0xf0, 0xcf)};
  for (const char* disabled : {"#BEBEBE", "#A0A0A0", "#7F7F7F", "#FFFFFF"}) {
    SCOPED_TRACE(disabled);
    QPalette palette(Qt::white);
    palette.setColor(QPalette::Active, QPalette::Base, Qt::white);
    palette.setColor(QPalette::Active, QPalette::Text, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(disabled));
    const QColor grey = GreyedText(palette);
    EXPECT_GE(ContrastRatio(grey, Qt::white), kReadableContrast);
    for (const QColor& tint : tints) EXPECT_GE(ContrastRatio(grey, tint), kReadableContrast);
    EXPECT_NE(grey, QColor(Qt::black));  // still grey, not the normal text
  }

  StringGrid grid;
  WriteGridHeadings(grid);
  for (int r = 1; r <= 4; ++r) grid.SetRow(r, {"M" + std::to_string(r), "P", "N", "10.0.0.1", "80", "255.0.0.0", "m"});
  grid.SetRowCount(5);
  GridModel model(grid);
  model.SetRowLook([](int row) {
    RowLook look;
    if (row == 2) look.tint = RowLook::Tint::kNew;
    if (row == 3) look.tint = RowLook::Tint::kChanged;
    if (row == 4) look.warning = true;
    return look;
  });
  model.Refresh();
  auto icon = [&](int view_row) { return qvariant_cast<QIcon>(model.index(view_row, 0).data(Qt::DecorationRole)); };
  EXPECT_FALSE(model.index(0, 0).data(Qt::DecorationRole).isValid());
  ASSERT_FALSE(icon(1).isNull());
  ASSERT_FALSE(icon(2).isNull());
  EXPECT_FALSE(icon(3).isNull());
  const QImage added = icon(1).pixmap(16, 16).toImage(), changed = icon(2).pixmap(16, 16).toImage();
  EXPECT_NE(added, changed);  // two marks, told apart by their shape
  EXPECT_FALSE(model.index(1, 1).data(Qt::DecorationRole).isValid());  // the first cell only
}
