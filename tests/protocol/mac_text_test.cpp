// The one MAC rule: which texts are MACs, and which two name one device.
#include "protocol/mac_text.h"

#include <gtest/gtest.h>

namespace {

TEST(MacText, SixPairsAreMacsAndCompareWhateverTheirCaseAndSeparator) {
  struct Case {
    const char* text;
    bool mac;
    std::optional<std::uint64_t> value;
  } cases[] = {
      {"00:1A:2b:3C:4d:5E", true, 0x001a2b3c4d5eull},
      {"00-1a-2b-3c-4d-5e", true, 0x001a2b3c4d5eull},
      {"00:1a-2b:3c-4d:5e", true, 0x001a2b3c4d5eull},  // mixed separators
      {"ff:ff:ff:ff:ff:ff", true, 0xffffffffffffull},
      {"NULL", false, std::nullopt},
      {"", false, std::nullopt},
      {"00:1a:2b:3c:4d", false, std::nullopt},       // five pairs
      {"00:1a:2b:3c:4d:5e:", false, std::nullopt},   // a separator too many
      {"00.1a.2b.3c.4d.5e", false, std::nullopt},
      {"0g:1a:2b:3c:4d:5e", false, std::nullopt},
      {"001a:2b:3c:4d:5e:", false, std::nullopt},
      {"00:1a:2b:3c:4d:5\x10", false, std::nullopt},  // a control byte that folds to a digit
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsMacText(c.text), c.mac) << c.text;
    EXPECT_EQ(MacValue(c.text), c.value) << c.text;
  }
  // Same device: equal keys; any text has a key.
  EXPECT_TRUE(SameMac("00:1A:2B:3C:4D:5E", "00-1a-2b-3c-4d-5e"));
  EXPECT_FALSE(SameMac("00:1A:2B:3C:4D:5E", "00:1A:2B:3C:4D:5F"));
  EXPECT_TRUE(SameMac("NULL", "null"));
  EXPECT_FALSE(SameMac("NULL", "NULL "));
  EXPECT_EQ(MacKey("AB-CD"), "ab:cd");
}

}  // namespace
