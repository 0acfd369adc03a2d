// JSON string literals of any bytes: the text as read, every control
// escaped, and a document that reads back as the device's text.
#include "lists/json_text.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "protocol/record_text.h"

// JSON keeps the text as read; every control, DEL and C1 included, and the
// Unicode line breaks are escaped, so the document reads back as the
// device's text, one line of ndjson as one line.
TEST(JsonText, StringKeepsTheTextAndEscapesEveryControl) {
  const std::pair<std::string, std::string> cases[] = {
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {std::string("a\x01", 2), "\"a\\u0001\""},
      {"\x1b[2J\x7f", "\"\\u001b[2J\\u007f\""},
      {"\xc2\x9b" "2J\xc2\x85\xc2\xa0", "\"\\u009b2J\\u0085\xc2\xa0\""},  // C1 as UTF-8; NBSP stays
      {"\x9b" "2J\xe9", "\"\\u009b2J\\u00e9\""},                            // Latin-1
      // The line and paragraph separators, which split a line for readers
      // that split the Unicode way (Python's splitlines); other characters
      // of the same lead bytes stay.
      {"a\xe2\x80\xa8" "b\xe2\x80\xa9" "c\xe2\x80\xa6", "\"a\\u2028b\\u2029c\xe2\x80\xa6\""},
      {"\xc3\xa9\xc3\xa9\xc3", "\"\xc3\xa9\xc3\xa9\""},  // a character cut at the end is left out
  };
  for (const auto& [text, json] : cases) {
    EXPECT_EQ(JsonString(text), json) << text;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString("[" + json + "]"));
    EXPECT_EQ(doc.array()[0].toString(), RecordText(text)) << json;
  }
}
