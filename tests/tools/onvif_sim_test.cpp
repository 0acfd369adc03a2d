// The simulator's ONVIF side: its plain reading of Probes (ours and another
// client's), its texts as the program's reader takes them, and the plan of
// responders and their variations.
#include <gtest/gtest.h>

#include <set>

#include "onvif/device_details.h"
#include "onvif/discovery_messages.h"
#include "onvif_host.h"
#include "onvif_messages.h"

TEST(OnvifSim, ReadsProbesAsCamerasDo) {
  const std::optional<SimProbe> ours = ReadSimProbe(ProbeText(ProbeType::kNetworkVideoTransmitter, "urn:uuid:p"));
  ASSERT_TRUE(ours.has_value());
  EXPECT_EQ(ours->message_id, "urn:uuid:p");
  EXPECT_EQ(ours->types, std::vector<std::string>{"NetworkVideoTransmitter"});
  EXPECT_EQ(ReadSimProbe(ProbeText(ProbeType::kDevice, "urn:uuid:q"))->types, std::vector<std::string>{"Device"});
  // Another client's: default namespaces, no prefixes, no Types at all.
  const std::optional<SimProbe> bare = ReadSimProbe(
      "<Envelope xmlns=\"http://www.w3.org/2003/05/soap-envelope\"><Header><wsa:MessageID xmlns:wsa=\"x\">uuid:1"
      "</wsa:MessageID></Header><Body><Probe xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"/></Body>"
      "</Envelope>");
  ASSERT_TRUE(bare.has_value());
  EXPECT_EQ(bare->message_id, "uuid:1");
  EXPECT_TRUE(bare->types.empty());
  OnvifSimCamera camera;
  camera.endpoint = "urn:uuid:c";
  EXPECT_FALSE(ReadSimProbe(SimProbeMatches(camera, "urn:uuid:p", 1)).has_value());
  EXPECT_FALSE(ReadSimProbe(SimHello(camera, 1)).has_value());
}

TEST(OnvifSim, ItsTextsReadAsTheyShould) {
  OnvifHostOptions o;
  o.cameras = 6;
  o.computers = 1;
  o.address = "10.99.0.2";
  for (const OnvifSimResponder& r : PlanOnvifResponders(o)) {
    SCOPED_TRACE(r.camera.endpoint);
    DiscoveryMessage m;
    std::string why;
    ASSERT_TRUE(ReadDiscoveryMessage(SimProbeMatches(r.camera, "urn:uuid:p", 1), &m, &why)) << why;
    EXPECT_EQ(m.kind, DiscoveryKind::kProbeMatches);
    EXPECT_EQ(m.relates_to, "urn:uuid:p");
    ASSERT_EQ(m.endpoints.size(), 1u);
    EXPECT_EQ(m.endpoints[0].endpoint, r.camera.endpoint);
    EXPECT_EQ(m.endpoints[0].IsOnvifDevice(), r.camera_like);
    EXPECT_EQ(m.endpoints[0].xaddrs, r.camera.xaddrs);
    ASSERT_TRUE(ReadDiscoveryMessage(SimHello(r.camera, 2), &m, &why)) << why;
    EXPECT_EQ(m.kind, DiscoveryKind::kHello);
    ASSERT_TRUE(ReadDiscoveryMessage(SimBye(r.camera, 3), &m, &why)) << why;
    EXPECT_EQ(m.kind, DiscoveryKind::kBye);
    EXPECT_EQ(m.endpoints.at(0).endpoint, r.camera.endpoint);
  }
  const OnvifSimCamera camera = PlanOnvifResponders(o).front().camera;
  const std::string body = SimDeviceInformation(camera);
  const DeviceDetails d = ReadDeviceDetails(
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body, true);
  EXPECT_EQ(d.outcome, DetailsOutcome::kRead);
  EXPECT_EQ(d.manufacturer, "Kestra");
  EXPECT_EQ(d.serial_number, "KS100000");
  EXPECT_EQ(ReadDeviceDetails("HTTP/1.1 500 X\r\n\r\n" + SimSoapFault(), true).outcome, DetailsOutcome::kFault);
}

TEST(OnvifSim, PlansTheVariationsByIndex) {
  OnvifHostOptions o;
  o.cameras = 12;
  o.address = "10.99.0.2";
  o.hostile = {"elsewhere", "no-xaddrs"};
  o.appear = 2;
  o.bye = 1;
  o.move = 2;
  const std::vector<OnvifSimResponder> plan = PlanOnvifResponders(o);
  ASSERT_EQ(plan.size(), 14u);
  std::set<std::string> endpoints;
  for (const OnvifSimResponder& r : plan) endpoints.insert(r.camera.endpoint);
  EXPECT_EQ(endpoints.size(), 14u);
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    const OnvifSimResponder& r = plan[static_cast<std::size_t>(i)];
    EXPECT_EQ(r.random_port, i % 6 == 1);
    EXPECT_EQ(r.twice, i % 6 == 2);
    EXPECT_EQ(r.camera.soap_prefix != "SOAP-ENV", i % 6 == 3);
    EXPECT_EQ(r.delay_ms > 0, i % 6 == 4);
    EXPECT_EQ(r.any_probe, i % 6 == 5);
    EXPECT_EQ(r.credentials, i % 4 == 3);
    EXPECT_EQ(r.camera.xaddrs.size(), i % 5 == 2 ? 3u : 1u);
    EXPECT_EQ(r.camera.xaddrs.back(), "http://10.99.0.2" + r.path);
    EXPECT_EQ(r.appear_ms > 0, i >= 10);
    EXPECT_EQ(r.bye_ms >= 0, i == 0);
    EXPECT_EQ(r.move_ms >= 0, i == 1 || i == 2);
  }
  EXPECT_EQ(plan[12].camera.xaddrs, std::vector<std::string>{"http://10.99.0.250" + plan[12].path});
  EXPECT_TRUE(plan[13].camera.xaddrs.empty());
  // Plain cameras do not vary.
  o.plain = true;
  for (const OnvifSimResponder& r : PlanOnvifResponders(o)) {
    if (!r.hostile.empty()) continue;
    EXPECT_FALSE(r.random_port || r.twice || r.any_probe || r.credentials || r.delay_ms > 0);
  }
}
