// The rule by which record bytes become Qt strings, and the way back.
#include "protocol/record_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(RecordText, Utf8WhenWellFormedOrCutAtTheEndElseLatin1AndBackUnchanged) {
  const std::string utf8 = "C\xC3\xA4m\xC3\xA9ra \xE6\x97\xA5";  // "Cäméra 日"
  const std::string latin1 = "C\xE4m\xE9ra";                    // "Cäméra"
  EXPECT_EQ(RecordText(utf8), QString::fromUtf8("C\xC3\xA4m\xC3\xA9ra \xE6\x97\xA5"));
  EXPECT_EQ(RecordText(latin1), QString::fromUtf8("C\xC3\xA4m\xC3\xA9ra"));
  EXPECT_EQ(RecordText(""), QString());
  EXPECT_EQ(RecordText("10.0.0.1"), QString("10.0.0.1"));

  // Not UTF-8, so every byte reads as Latin-1: an overlong form, a surrogate,
  // beyond U+10FFFF, a stray continuation byte, a cut character after a bad
  // one, a lone lead byte after ASCII ("Café" in Latin-1), a cut sequence
  // that could never be whole (U+D800's start).
  for (const std::string& bytes : {std::string("\xC0\x80", 2), std::string("\xED\xA0\x80"),
                                  std::string("\xF4\x90\x80\x80"), std::string("a\x80z"), std::string("\xE9\xC3"),
                                  std::string("Caf\xE9"), std::string("ab\xED\xA0")}) {
    EXPECT_FALSE(IsValidUtf8(bytes)) << bytes;
    EXPECT_FALSE(Utf8Text(bytes)) << bytes;
    const QString text = RecordText(bytes);
    ASSERT_EQ(text.size(), static_cast<qsizetype>(bytes.size())) << bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i)
      EXPECT_EQ(text[static_cast<qsizetype>(i)].unicode(), static_cast<unsigned char>(bytes[i]));
  }
  // UTF-8 but for a character cut at the end, as a field cut to its width
  // leaves it: read without that character, when the text shows it is UTF-8.
  const std::string acutes = [] {  // 20 x "é" in a 31-byte field: 15 and a half
    std::string s;
    for (int i = 0; i < 20; ++i) s += "\xC3\xA9";
    return s.substr(0, 31);
  }();
  const std::pair<std::string, std::string> cut[] = {
      {acutes, acutes.substr(0, 30)},
      {"ab\xE6\x97", "ab"},                        // two bytes of a CJK character
      {"\xF0\x9F\x98", ""},                         // three bytes of an emoji
      {"\xC3\xA9t\xC3\xA9\xE6", "\xC3\xA9t\xC3\xA9"},  // a whole multibyte character before the cut
  };
  for (const auto& [bytes, text] : cut) {
    EXPECT_FALSE(IsValidUtf8(bytes)) << bytes;
    ASSERT_TRUE(Utf8Text(bytes)) << bytes;
    EXPECT_EQ(*Utf8Text(bytes), text) << bytes;
    EXPECT_EQ(RecordText(bytes), QString::fromStdString(text)) << bytes;
    EXPECT_EQ(RecordBytes(RecordText(bytes), bytes), bytes);  // untouched, it goes out as it came
  }
  for (const std::string& whole : {std::string(""), std::string("abc"), utf8, std::string("\xF4\x8F\xBF\xBF")})
    EXPECT_EQ(Utf8Text(whole), whole);
  EXPECT_TRUE(IsValidUtf8("\xEF\xBB\xBFx"));
  EXPECT_EQ(RecordText("\xEF\xBB\xBFx"), QString(QChar(0xFEFF)) + "x");  // a BOM is kept

  // Back: a text that still reads as shown gives the bytes it was shown from,
  // whichever way they were read; both of these read "Cäméra".
  EXPECT_EQ(RecordBytes(RecordText(latin1), latin1), latin1);
  EXPECT_EQ(RecordBytes(RecordText(latin1), "C\xC3\xA4m\xC3\xA9ra"), "C\xC3\xA4m\xC3\xA9ra");
  EXPECT_EQ(RecordBytes(RecordText("\xC0\x80"), std::string("\xC0\x80", 2)), std::string("\xC0\x80", 2));
  // A changed text goes out in UTF-8 and reads back as typed.
  const QString typed = QString::fromUtf8("Caf\xC3\xA9");
  EXPECT_EQ(RecordBytes(typed, latin1), "Caf\xC3\xA9");
  EXPECT_EQ(RecordText(RecordBytes(typed, latin1)), typed);
  EXPECT_EQ(RecordBytes("", latin1), "");
}
