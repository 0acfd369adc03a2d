// The rule by which record bytes become Qt strings, and the way back.
#include "protocol/record_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(RecordText, Utf8WhenWellFormedElseLatin1AndBackUnchanged) {
  const std::string utf8 = "C\xC3\xA4m\xC3\xA9ra \xE6\x97\xA5";  // "Cäméra 日"
  const std::string latin1 = "C\xE4m\xE9ra";                    // "Cäméra"
  EXPECT_EQ(RecordText(utf8), QString::fromUtf8("C\xC3\xA4m\xC3\xA9ra \xE6\x97\xA5"));
  EXPECT_EQ(RecordText(latin1), QString::fromUtf8("C\xC3\xA4m\xC3\xA9ra"));
  EXPECT_EQ(RecordText(""), QString());
  EXPECT_EQ(RecordText("10.0.0.1"), QString("10.0.0.1"));

  // Not UTF-8, so every byte reads as Latin-1: a sequence cut at the end (a
  // field cut to its width), an overlong form, a surrogate, beyond U+10FFFF,
  // a stray continuation byte.
  for (const std::string& bytes : {std::string("ab\xE6\x97"), std::string("\xC0\x80", 2),
                                  std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"),
                                  std::string("a\x80z")}) {
    EXPECT_FALSE(IsValidUtf8(bytes)) << bytes;
    const QString text = RecordText(bytes);
    ASSERT_EQ(text.size(), static_cast<qsizetype>(bytes.size())) << bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i)
      EXPECT_EQ(text[static_cast<qsizetype>(i)].unicode(), static_cast<unsigned char>(bytes[i]));
  }
  EXPECT_TRUE(IsValidUtf8("\xEF\xBB\xBFx"));
  EXPECT_EQ(RecordText("\xEF\xBB\xBFx"), QString::fromUtf16(u"\uFEFFx"));  // a BOM is kept

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
