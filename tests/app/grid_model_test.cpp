// The grid's tooltips show a device's text as it is: tags in a name are
// text, never HTML.
#include "app/grid_model.h"

#include <gtest/gtest.h>

#include <QTextDocument>

#include "protocol/device_table.h"

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
