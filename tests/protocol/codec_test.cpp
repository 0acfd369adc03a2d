// Packet codec: encoding, lenient decoding, builder failures and the reply
// parser's field checks.
#include "protocol/codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/answer_codec.h"

namespace {

std::vector<unsigned char> Decode(const std::string& text, std::size_t out_size = 256) {
  std::vector<unsigned char> out(out_size, 0);
  std::size_t n = Base64Decode(out.data(), out.size(), text.c_str(), text.size());
  out.resize(n);
  return out;
}

int Parse(const std::string& text, tComUnitInfo& info, MemoryLog& log) {
  info = tComUnitInfo{};
  return ParseReply(text.c_str(), text.size(), &info, log);
}

}  // namespace

TEST(Codec, EncodesAndDecodesTheWorkedExample) {
  EXPECT_EQ(EncodeAnswer({"abc"}), "np2c/w==");
  std::vector<unsigned char> bytes = Decode("np2c/w==");
  ASSERT_EQ(bytes.size(), 4u);
  Complement(bytes.data(), bytes.size());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("abc\0", 4));
  EXPECT_EQ(Complement(nullptr, 3), -1);
}

TEST(Codec, SearchRequestsAreTwentyFourCharactersWithoutPadding) {
  MemoryLog log;
  for (int flag : {0, 2}) {
    char out[kPacketBufferSize] = {};
    ASSERT_EQ(BuildPacket(flag, out, sizeof(out), nullptr, log), 0);
    EXPECT_EQ(std::strlen(out), 24u);
    EXPECT_EQ(std::strchr(out, '='), nullptr);
    std::vector<unsigned char> bytes = Decode(out);
    Complement(bytes.data(), bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data())),
              flag == 0 ? "Zentravox,00,????" : "Zentravox,02,????");
  }
  EXPECT_TRUE(log.lines.empty());
}

TEST(Codec, BuilderFailuresLogAndLeaveTheBufferAlone) {
  MemoryLog log;
  char out[64];
  std::memset(out, 'x', sizeof(out));
  EXPECT_EQ(BuildPacket(4, out, sizeof(out), nullptr, log), -1);
  EXPECT_EQ(BuildPacket(3, out, sizeof(out), nullptr, log), -1);
  EXPECT_EQ(BuildPacket(-1, out, sizeof(out), nullptr, log), -1);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Undefined flag = 4", "Invalid pInfo [3]",
                                                 "Undefined flag = -1"}));
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(out[63], 'x');

  // A control package that would not fit the caller's buffer is not built.
  tComUnitInfo info{};
  SetField(info.model, "M100");
  EXPECT_EQ(BuildPacket(3, out, 8, &info, log), -1);
  EXPECT_EQ(out[0], 'x');
}

TEST(Codec, ControlPackageLogsItsPlainTextAndRoundTrips) {
  MemoryLog log;
  tComUnitInfo info{};
  SetField(info.model, "M100");
  SetField(info.ip, "192.168.0.20");
  SetField(info.mac, "00:11:22:33:44:55");
  SetField(info.note, "dhcp");
  char out[kPacketBufferSize] = {};
  ASSERT_EQ(BuildPacket(3, out, sizeof(out), &info, log), 0);
  const std::string text = "Zentravox,03,M100,,,192.168.0.20,,,,,00:11:22:33:44:55,,dhcp";
  EXPECT_EQ(log.lines, std::vector<std::string>{"[" + text + "]"});
  EXPECT_EQ(std::string(out), EncodeAnswer({text}));
}

TEST(Codec, DecoderIsLenientAndBounded) {
  // Line breaks and blanks are skipped; "=" stops only where a character is due.
  EXPECT_EQ(Decode("np2c\r\n /w=="), Decode("np2c/w=="));
  EXPECT_EQ(Decode("np\n=2c/w=="), Decode("np2c/w=="));  // "=" met while skipping
  EXPECT_EQ(Decode("np2c=/w==").size(), 3u);           // "=" where a character is due
  EXPECT_EQ(Decode("").size(), 0u);
  EXPECT_EQ(Decode("!!!").size(), 0u);
  EXPECT_EQ(Decode("QQ").size(), 1u);  // incomplete group: whole bytes only

  // Never writes past the output, and stops at the input's length.
  std::string big(4000, 'A');
  std::vector<unsigned char> out(10, 0x55);
  EXPECT_EQ(Base64Decode(out.data(), 8, big.c_str(), big.size()), 8u);
  EXPECT_EQ(out[8], 0x55);
  const char unterminated[4] = {'n', 'p', '2', 'c'};
  EXPECT_EQ(Base64Decode(out.data(), out.size(), unterminated, 4), 3u);
  EXPECT_EQ(Base64Decode(out.data(), out.size(), unterminated, 2), 1u);
}

TEST(Codec, ParsesTheExampleDevicePacket) {
  MemoryLog log;
  tComUnitInfo info;
  EXPECT_EQ(Parse("Zentravox,01,M100,P1,Lobby,192.168.0.20,80,255.255.255.0,192.168.0.1,"
                  "192.168.0.1,00:11:22:33:44:55,D1,x\n",
                  info, log),
            1);
  EXPECT_EQ(FieldText(info.model), "M100");
  EXPECT_EQ(FieldText(info.proj), "P1");
  EXPECT_EQ(FieldText(info.name), "Lobby");
  EXPECT_EQ(FieldText(info.ip), "192.168.0.20");
  EXPECT_EQ(FieldText(info.trigger_port), "80");
  EXPECT_EQ(FieldText(info.netmask), "255.255.255.0");
  EXPECT_EQ(FieldText(info.gateway), "192.168.0.1");
  EXPECT_EQ(FieldText(info.dns), "192.168.0.1");
  EXPECT_EQ(FieldText(info.mac), "00:11:22:33:44:55");
  EXPECT_EQ(FieldText(info.dev), "D1");
  EXPECT_EQ(FieldText(info.note), "x");  // trailing line feed is a separator
  EXPECT_TRUE(log.lines.empty());
}

TEST(Codec, ParserFlagsAndMagicWord) {
  MemoryLog log;
  tComUnitInfo info;
  EXPECT_EQ(Parse("Zentravox,00,????", info, log), 0);
  EXPECT_EQ(Parse("Zentravox,000,M", info, log), 0);
  EXPECT_EQ(Parse("Zentravox,001,M", info, log), 1);
  EXPECT_EQ(Parse("zentravox,01,M100", info, log), -1);
  EXPECT_EQ(Parse("Junk", info, log), -1);
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(Parse("Zentravox", info, log), -1);
  EXPECT_EQ(Parse("Zentravox,03,M1,P1", info, log), -1);
  EXPECT_EQ(FieldText(info.proj), "P1");  // fields are filled before the flag is judged
  EXPECT_EQ(Parse("Zentravox,99", info, log), -1);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"flag(-1) not implemented.\n",
                                                 "flag(03) not implemented.\n",
                                                 "flag(99) not implemented.\n"}));
}

TEST(Codec, ParserDropsTokensThatFailTheirCheck) {
  MemoryLog log;
  tComUnitInfo info;
  // Empty proj: every later token shifts one field left.
  EXPECT_EQ(Parse("Zentravox,01,M,,Lobby,10.0.0.1,80", info, log), 1);
  EXPECT_EQ(FieldText(info.proj), "Lobby");
  EXPECT_EQ(FieldText(info.name), "10.0.0.1");
  EXPECT_EQ(FieldText(info.ip), "80");  // "80" converts as an address
  // 255.255.255.255 is dropped; the port token is then offered to ip.
  EXPECT_EQ(Parse("Zentravox,01,M,P,N,255.255.255.255,10.1,web", info, log), 1);
  EXPECT_EQ(FieldText(info.ip), "10.1");
  EXPECT_EQ(FieldText(info.trigger_port), "web");
  // Ports outside 0..65535 are dropped.
  EXPECT_EQ(Parse("Zentravox,01,M,P,N,10.0.0.1,70000,-1,8080", info, log), 1);
  EXPECT_EQ(FieldText(info.trigger_port), "8080");
  // A MAC without colons drops itself, dev and note.
  EXPECT_EQ(Parse("Zentravox,01,M,P,N,10.0.0.1,80,255.0.0.0,g,d,001122334455,D1,x", info, log), 1);
  EXPECT_EQ(FieldText(info.mac), "");
  EXPECT_EQ(FieldText(info.dev), "");
  EXPECT_EQ(FieldText(info.note), "");
  // More than eleven fields: the rest is ignored.
  EXPECT_EQ(Parse("Zentravox,01,M,P,N,10.0.0.1,80,255.0.0.0,g,d,a:b:c:d:e:f,D,note,extra", info, log), 1);
  EXPECT_EQ(FieldText(info.note), "note");
  EXPECT_TRUE(log.lines.empty());
}

TEST(Codec, OverLongTokensAreCutToTheirField) {
  MemoryLog log;
  tComUnitInfo info;
  std::string name(40, 'N');
  std::string note(1000, 'z');
  std::string mac = ":::::" + std::string(100, 'f');
  ASSERT_EQ(Parse("Zentravox,01,M," + std::string(70, 'P') + "," + name +
                      ",10.0.0.1,0000000000080,255.0.0.0,g,d," + mac + ",D," + note,
                  info, log),
            1);
  EXPECT_EQ(FieldText(info.proj), std::string(31, 'P'));
  EXPECT_EQ(FieldText(info.name), std::string(31, 'N'));
  EXPECT_EQ(FieldText(info.trigger_port), "0000000");
  EXPECT_EQ(FieldText(info.mac), mac.substr(0, 23));
  EXPECT_EQ(FieldText(info.note), std::string(55, 'z'));
  EXPECT_EQ(info.note[55], '\0');
}

TEST(Codec, MacAndNumberRules) {
  EXPECT_TRUE(GetMacFromCString("00:11:22:33:44:55"));
  EXPECT_TRUE(GetMacFromCString(":::::"));
  EXPECT_FALSE(GetMacFromCString("00:11:22:33:44"));
  EXPECT_FALSE(GetMacFromCString("001122334455"));

  EXPECT_EQ(ParseNumber("  -42x"), -42);
  EXPECT_EQ(ParseNumber("web"), 0);
  EXPECT_EQ(ParseNumber("+7"), 7);
  EXPECT_EQ(ParseNumber("99999999999999999999999"), LONG_MAX);
  EXPECT_EQ(ParseNumber("-99999999999999999999999"), LONG_MIN);
}
