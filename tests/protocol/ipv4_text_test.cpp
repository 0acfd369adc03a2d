// IPv4 address texts: the strict rule against inet_pton, the lenient reading
// against inet_addr, and what a device that reports a text may hold.
#include "protocol/ipv4_text.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <random>

namespace {

constexpr std::uint32_t Quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

}  // namespace

// The faults of lenient reading, each with what every reading makes of it.
TEST(Ipv4Text, EachTextByEachReading) {
  const std::optional<std::uint32_t> none;
  struct Case {
    const char* text;
    std::optional<std::uint32_t> strict, lenient;
    std::vector<std::uint32_t> held;
  };
  const Case cases[] = {
      {"10.99.0.62", Quad(10, 99, 0, 62), Quad(10, 99, 0, 62), {Quad(10, 99, 0, 62)}},
      {"0.0.0.0", 0u, 0u, {0u}},
      {"255.255.255.255", 0xFFFFFFFFu, 0xFFFFFFFFu, {0xFFFFFFFFu}},
      // A person means one address, the C library reads another.
      {"10.99.0.011", none, Quad(10, 99, 0, 9), {Quad(10, 99, 0, 11), Quad(10, 99, 0, 9)}},
      {"010.99.0.63", none, Quad(8, 99, 0, 63), {Quad(10, 99, 0, 63), Quad(8, 99, 0, 63)}},
      {"10.99.0.012", none, Quad(10, 99, 0, 10), {Quad(10, 99, 0, 12), Quad(10, 99, 0, 10)}},
      {"10.99.0.08", none, none, {Quad(10, 99, 0, 8)}},  // no octal digit 8: only the decimal reading
      {"10.99.00.1", none, Quad(10, 99, 0, 1), {Quad(10, 99, 0, 1)}},  // both readings agree
      {"10.99.0.62 x", none, Quad(10, 99, 0, 62), {Quad(10, 99, 0, 62)}},
      {"10.99.0.68 ;x", none, Quad(10, 99, 0, 68), {Quad(10, 99, 0, 68)}},
      {"0x0a.99.0.64", none, Quad(10, 99, 0, 64), {Quad(10, 99, 0, 64)}},
      {"10.99.65", none, Quad(10, 99, 0, 65), {Quad(10, 99, 0, 65)}},
      {"10", none, 10u, {10u}},
      {"1 @evil.example", none, 1u, {1u}},  // 0.0.0.1
      {" 10.99.0.1", none, none, {}},
      {"10.99.0.1.", none, none, {}},
      {"10.99.0.256", none, none, {}},
      {"10.99.0.0001", none, Quad(10, 99, 0, 1), {Quad(10, 99, 0, 1)}},  // four digits: no decimal reading
      {"", none, none, {}},
      {"NULL", none, none, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(StrictAddress(c.text), c.strict);
    EXPECT_EQ(IsStrictAddress(c.text), c.strict.has_value());
    EXPECT_EQ(LenientAddress(c.text), c.lenient);
    EXPECT_EQ(InetAddr(c.text), c.lenient ? htonl(*c.lenient) : kInetAddrNone);
    EXPECT_EQ(HeldAddresses(c.text), c.held);
    EXPECT_EQ(NotStrictReason(c.text).empty(), c.strict || *c.text == '\0');
  }
  // A zero byte ends the text for the lenient reading, not for the strict one.
  EXPECT_FALSE(StrictAddress(std::string_view("10.0.0.1\0x", 10)));
  EXPECT_EQ(LenientAddress(std::string_view("10.0.0.1\0x", 10)), Quad(10, 0, 0, 1));
  EXPECT_EQ(NotStrictReason("10.1"),
            "not a dotted quad such as 192.168.1.20 (four decimal numbers from 0 to 255, no leading zeros, nothing "
            "else)");
  EXPECT_EQ(DottedText(Quad(192, 168, 1, 20)), "192.168.1.20");
}

// The strict rule is inet_pton's, and the lenient one inet_addr's, on texts
// made of the characters that matter.
TEST(Ipv4Text, ReadsAsTheCLibraryDoes) {
  std::mt19937 random(27);
  const char alphabet[] = "0123456789.x ;a0";
  for (int n = 0; n < 200000; ++n) {
    std::string text;
    const int length = static_cast<int>(random() % 17);
    for (int i = 0; i < length; ++i) text += alphabet[random() % (sizeof(alphabet) - 1)];
    in_addr address{};
    const bool strict = inet_pton(AF_INET, text.c_str(), &address) == 1;
    ASSERT_EQ(StrictAddress(text).has_value(), strict) << text;
    if (strict) {
      ASSERT_EQ(*StrictAddress(text), ntohl(address.s_addr)) << text;
      ASSERT_EQ(DottedText(*StrictAddress(text)), text);  // one spelling per address
    }
    ASSERT_EQ(InetAddr(text.c_str()), inet_addr(text.c_str())) << text;
  }
}

TEST(Ipv4Text, SameAddressTextComparesStrictTextsByValueAndOthersByBytes) {
  EXPECT_TRUE(SameAddressText("10.0.0.1", "10.0.0.1"));
  EXPECT_FALSE(SameAddressText("10.0.0.1", "10.0.0.2"));
  EXPECT_FALSE(SameAddressText("10.0.0.1", "10.1"));          // one value by the C library, not by the rule
  EXPECT_FALSE(SameAddressText("10.0.0.11", "10.0.0.011"));
  EXPECT_FALSE(SameAddressText("10.0.0.9", "10.0.0.011"));
  EXPECT_TRUE(SameAddressText("10.0.0.011", "10.0.0.011"));  // a device that kept its text
  EXPECT_TRUE(SameAddressText("NULL", "NULL"));
  EXPECT_FALSE(SameAddressText("NULL", "null"));
}
