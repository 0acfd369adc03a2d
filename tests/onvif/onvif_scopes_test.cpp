// ONVIF scopes: which scopes say what, and how their text is decoded.
#include "onvif/onvif_scopes.h"

#include <gtest/gtest.h>

#include "onvif/onvif_device.h"

TEST(OnvifScopes, DecodesPercentEncodedUtf8AndReadsOtherBytesAsLatin1) {
  struct Case {
    const char* what;
    std::string encoded, decoded;
  } cases[] = {
      {"plain", "Lobby", "Lobby"},
      {"a blank", "Lobby%20Cam", "Lobby Cam"},
      {"UTF-8", "Cam%C3%A9ra%20%E5%8C%97", "Cam\xC3\xA9ra \xE5\x8C\x97"},
      {"lower-case hex", "a%2fb", "a/b"},
      {"a stray percent stays", "100%", "100%"},
      {"a percent without two digits stays", "%4x%", "%4x%"},
      {"Latin-1 bytes", "Cam%E9ra", "Cam\xC3\xA9ra"},
      {"a cut UTF-8 character reads as Latin-1", "x%C3", "x\xC3\x83"},
      {"controls are kept for the shown-text rule", "a%1Bb", "a\x1b" "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecodedScopeText(c.encoded), c.decoded);
  }
  // Bounded, and cut between characters.
  std::string long_text;
  for (int i = 0; i < 600; ++i) long_text += "%C3%A9";
  const std::string decoded = DecodedScopeText(long_text);
  EXPECT_EQ(decoded.size(), kOnvifTextLimit);
  EXPECT_EQ(DecodedScopeText(std::string(5000, 'a')).size(), kOnvifTextLimit);
  std::string odd = "a";
  for (int i = 0; i < 600; ++i) odd += "%C3%A9";
  EXPECT_EQ(DecodedScopeText(odd).size(), kOnvifTextLimit - 1);
}

TEST(OnvifScopes, ReadsNameHardwareMacAndEveryLocation) {
  const ScopeFacts facts = ReadScopeFacts({
      "onvif://www.onvif.org/type/video_encoder",
      "onvif://www.onvif.org/Profile/Streaming",
      "ONVIF://WWW.ONVIF.ORG/name/Entr%C3%A9e%20Nord",
      "onvif://www.onvif.org/name/Second",
      "onvif://www.onvif.org/location/country/Sweden",
      "onvif://www.onvif.org/Location/city/G%C3%B6teborg",
      "onvif://www.onvif.org/hardware/KC-100",
      "onvif://www.onvif.org/mac/02:4b:44:00:00:02",
      "http://www.onvif.org/name/NotAScope",
      "onvif://www.onvif.org/name",
  });
  EXPECT_EQ(facts.name, "Entr\xC3\xA9" "e Nord");
  EXPECT_EQ(facts.hardware, "KC-100");
  EXPECT_EQ(facts.mac, "02:4b:44:00:00:02");
  EXPECT_EQ(facts.location, "country/Sweden, city/G\xC3\xB6teborg");
  std::string category, value;
  EXPECT_TRUE(ReadOnvifScope("onvif://www.onvif.org/name", &category, &value));
  EXPECT_EQ(category, "name");
  EXPECT_EQ(value, "");
  EXPECT_FALSE(ReadOnvifScope("onvif://www.onvif.com/name/x", &category, &value));
  EXPECT_TRUE(ReadScopeFacts({}).name.empty());
}
