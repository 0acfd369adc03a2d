// Answers on the wire: encoded texts read back whole, a received answer read
// by its length only, and a cut answer's last text.
#include "protocol/answer_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(AnswerCodec, EncodedTextsDecodeToTheSameTexts) {
  const std::vector<std::string> texts = {"Zentravox,01,M,P,N", "", "\xE9t\xE9", std::string(1000, 'x')};
  const std::string wire = EncodeAnswer(texts);
  EXPECT_EQ(wire.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_EQ(DecodeAnswerTexts(wire), texts);
  EXPECT_TRUE(DecodeAnswerTexts("").empty());
  EXPECT_TRUE(EncodeAnswer({}).empty());
  // A wire form cut short: the texts that arrived whole, then the cut one.
  const std::string cut = EncodeAnswer({"first", "second"}).substr(0, 12);  // 9 bytes
  EXPECT_EQ(DecodeAnswerTexts(cut), (std::vector<std::string>{"first", "sec"}));
}

TEST(DecodeAnswer, ReadsOnlyWhatWasReceivedAndKeepsTheRestZero) {
  // A full 65,536-byte answer with no terminating zero, followed in memory by
  // more Base64 that must not be read.
  std::vector<char> received(65536 + 64, '/');
  std::fill(received.begin(), received.begin() + 65536, 'A');
  std::vector<unsigned char> out(65536, 0x55);
  std::size_t dirty = out.size();
  EXPECT_EQ(DecodeAnswer(received.data(), 65536, out.data(), out.size(), &dirty), 49152u);
  EXPECT_EQ(dirty, 49152u);
  for (std::size_t i = 0; i < 49152; ++i) ASSERT_EQ(out[i], 0xFF) << i;
  for (std::size_t i = 49152; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;

  // A short answer after it: the earlier bytes are zero again.
  const char abc[] = "np2c/w==";
  EXPECT_EQ(DecodeAnswer(abc, 8, out.data(), out.size(), &dirty), 4u);
  EXPECT_STREQ(reinterpret_cast<const char*>(out.data()), "abc");
  for (std::size_t i = 4; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(dirty, 4u);
}
