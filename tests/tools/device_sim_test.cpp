// Device simulator: device file lines, generated devices, answer datagrams
// that stay within a UDP datagram, request decoding and option checks.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "answers.h"
#include "protocol/answer_codec.h"
#include "protocol/codec.h"
#include "sim_devices.h"
#include "sim_options.h"

TEST(DeviceSim, DeviceLinesKeepEmptyFieldsAndRejectWhatWouldBeLost) {
  tComUnitInfo info{};
  std::string error;
  ASSERT_TRUE(ParseDeviceLine("Zentravox,01,M,,N,1.2.3.4,80,m,g,d,a:b:c:d:e:f,,x", &info, &error));
  EXPECT_EQ(FieldText(info.proj), "");
  EXPECT_EQ(FieldText(info.name), "N");
  EXPECT_EQ(FieldText(info.dev), "");
  EXPECT_EQ(FieldText(info.note), "x");

  EXPECT_FALSE(ParseDeviceLine("Zentravox,01,M,P,N", &info, &error));
  EXPECT_EQ(error, "expected 13 comma-separated fields, found 5");
  EXPECT_FALSE(ParseDeviceLine("Zentravox,03,M,P,N,i,p,m,g,d,mac,dev,note", &info, &error));
  EXPECT_FALSE(ParseDeviceLine(
      "Zentravox,01,M,P," + std::string(32, 'n') + ",i,p,m,g,d,mac,dev,note", &info, &error));
  EXPECT_EQ(error, "name '" + std::string(32, 'n') + "' is longer than 31 characters");
}

TEST(DeviceSim, GeneratedDevicesAreDistinctAndVaried) {
  SimOptions o;
  o.count = 600;
  o.ip_base = "10.99.1.250";
  o.models = {"M100", "X2", "A7"};
  o.projs = {"P1", "P2"};
  std::vector<tComUnitInfo> devices;
  std::string error;
  ASSERT_TRUE(GenerateDevices(o, &devices, &error)) << error;
  std::set<std::string> ips, macs;
  for (const tComUnitInfo& d : devices) {
    ips.insert(std::string(FieldText(d.ip)));
    macs.insert(std::string(FieldText(d.mac)));
    EXPECT_TRUE(GetMacFromCString(d.mac));
  }
  EXPECT_EQ(ips.size(), 600u);
  EXPECT_EQ(macs.size(), 600u);
  EXPECT_EQ(FieldText(devices[5].ip), "10.99.2.1");  // .255 and .0 skipped
  EXPECT_EQ(FieldText(devices[4].model), "X2");
  EXPECT_EQ(FieldText(devices[4].proj), "P1");
  EXPECT_EQ(FieldText(devices[9].name), "Cam10");

  o.ip_base = "not an address";
  EXPECT_FALSE(GenerateDevices(o, &devices, &error));
}

TEST(DeviceSim, AnswerDatagramsCarryEveryPacketWithinOneDatagram) {
  SimOptions o;
  o.count = 2000;
  std::vector<tComUnitInfo> devices;
  std::string error;
  ASSERT_TRUE(GenerateDevices(o, &devices, &error));
  std::vector<std::string> datagrams = EncodeAnswerDatagrams(devices, 100000);
  EXPECT_GT(datagrams.size(), 1u);  // split where one would exceed a datagram
  std::vector<std::string> texts;
  for (const std::string& d : datagrams) {
    EXPECT_LE(d.size(), kMaxDatagram);
    for (std::string& t : DecodeAnswerTexts(d)) texts.push_back(t);
  }
  EXPECT_EQ(texts, DevicePacketTexts(devices));

  EXPECT_EQ(EncodeAnswerDatagrams(devices, 7).size(), 286u);  // 2000 / 7 rounded up
  EXPECT_EQ(DecodeAnswerTexts(EncodeRelayAnswer(devices)).size(), 2000u);
}

TEST(DeviceSim, RequestsAreDecodedAndJudgedByTheirFlag) {
  char request[64];
  NullLog log;
  ASSERT_EQ(BuildPacket(0, request, sizeof(request), nullptr, log), 0);
  bool complete = false;
  EXPECT_EQ(DecodeRequest(request, std::strlen(request), &complete), "Zentravox,00,????");
  EXPECT_TRUE(complete);
  EXPECT_EQ(RequestFlag("Zentravox,00,????"), 0);
  EXPECT_EQ(RequestFlag("Zentravox,03,M,P"), 3);
  EXPECT_EQ(RequestFlag("zentravox,00,????"), -1);
  EXPECT_EQ(RequestFlag("Zentravox"), -1);
  DecodeRequest(request, 8, &complete);  // a request cut short
  EXPECT_FALSE(complete);
}

TEST(DeviceSim, OptionsAreCheckedWithClearMessages) {
  SimOptions o;
  std::string error;
  const char* good[] = {"--count", "5", "--per-datagram", "10", "--tcp-fault", "slow", "--projs", "A,B"};
  ASSERT_TRUE(ParseSimOptions(8, good, &o, &error)) << error;
  EXPECT_EQ(o.count, 5);
  EXPECT_EQ(o.tcp_fault, TcpFault::kSlow);
  EXPECT_EQ(o.projs, (std::vector<std::string>{"A", "B"}));

  const char* bad_number[] = {"--count", "5x"};
  EXPECT_FALSE(ParseSimOptions(2, bad_number, &o, &error));
  EXPECT_EQ(error, "--count: '5x' is not a number from 0 to 1000000");
  const char* missing[] = {"--delay-ms"};
  EXPECT_FALSE(ParseSimOptions(1, missing, &o, &error));
  EXPECT_EQ(error, "--delay-ms needs a value");
  const char* bad_list[] = {"--models", "A,,B"};
  EXPECT_FALSE(ParseSimOptions(2, bad_list, &o, &error));
  const char* unknown[] = {"--bogus"};
  EXPECT_FALSE(ParseSimOptions(1, unknown, &o, &error));
}

TEST(DeviceSim, HostileOptionsAndLongFieldDevices) {
  SimOptions o;
  std::string error;
  const char* good[] = {"--junk-sizes", "0,1,65507", "--junk-random", "3", "--tcp-fault", "reset",
                        "--upnp-hostile", "huge,entities", "--long-fields", "2", "--high-bytes",
                        "--http-stall-after", "300"};
  ASSERT_TRUE(ParseSimOptions(13, good, &o, &error)) << error;
  EXPECT_EQ(o.junk_sizes, (std::vector<int>{0, 1, 65507}));
  EXPECT_EQ(o.http_stall_after, 300);
  EXPECT_EQ(o.tcp_fault, TcpFault::kReset);
  EXPECT_EQ(o.upnp_hostile, (std::vector<std::string>{"huge", "entities"}));
  const char* too_big[] = {"--junk-sizes", "65508"};
  EXPECT_FALSE(ParseSimOptions(2, too_big, &o, &error));
  const char* bad_kind[] = {"--upnp-hostile", "huge,nasty"};
  EXPECT_FALSE(ParseSimOptions(2, bad_kind, &o, &error));
  EXPECT_EQ(error, "--upnp-hostile: 'nasty' is not one of huge, malformed, slow, stall, endless, entities, long");

  // Every field of a long-field device is 1,000 characters, yet each passes
  // the reply parser's check and is cut to its field.
  std::vector<std::string> texts = LongFieldPacketTexts(2);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_GT(texts[0].size(), 11000u);
  NullLog log;
  tComUnitInfo info{};
  ASSERT_EQ(ParseReply(texts[1].c_str(), texts[1].size() + 1, &info, log), 1);
  EXPECT_EQ(std::string(FieldText(info.ip)).substr(0, 9), "10.99.2.2");
  EXPECT_EQ(FieldText(info.mac), "02:4B:44:EE:00:02::::::");
  EXPECT_EQ(FieldText(info.trigger_port), "0000000");
  EXPECT_EQ(FieldText(info.model).size(), 31u);
}
