// The WS-Discovery reader: prefixes and namespaces as devices write them,
// the types that make an ONVIF device, the header fields, the bounds, and
// what it refuses.
#include "onvif/discovery_messages.h"

#include <gtest/gtest.h>

#include <set>

#include "onvif/onvif_device.h"

namespace {

// A ProbeMatches envelope with the given prefixes and Types text; `extra`
// goes into the ProbeMatch element, `declare` onto the Envelope.
std::string Matches(const std::string& types, const std::string& declare = "", const std::string& extra = "",
                    const std::string& soap = "s", const std::string& wsd = "d") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + soap + ":Envelope xmlns:" + soap +
         "=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
         "xmlns:" + wsd + "=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" " + declare + "><" + soap +
         ":Header><a:MessageID>urn:uuid:answer</a:MessageID><a:RelatesTo>urn:uuid:probe</a:RelatesTo></" + soap +
         ":Header><" + soap + ":Body><" + wsd + ":ProbeMatches><" + wsd +
         ":ProbeMatch><a:EndpointReference><a:Address> urn:uuid:cam-1 </a:Address></a:EndpointReference><" + wsd +
         ":Types>" + types + "</" + wsd + ":Types><" + wsd +
         ":Scopes>onvif://www.onvif.org/name/Cam onvif://www.onvif.org/hardware/X1</" + wsd + ":Scopes><" + wsd +
         ":XAddrs>http://10.0.0.2/onvif/device_service</" + wsd + ":XAddrs><" + wsd + ":MetadataVersion>3</" + wsd +
         ":MetadataVersion>" + extra + "</" + wsd + ":ProbeMatch></" + wsd + ":ProbeMatches></" + soap +
         ":Body></" + soap + ":Envelope>";
}

const std::string kDn = "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"";
const std::string kTds = "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"";

DiscoveryMessage Read(const std::string& text) {
  DiscoveryMessage m;
  std::string why;
  EXPECT_TRUE(ReadDiscoveryMessage(text, &m, &why)) << why;
  return m;
}

}  // namespace

TEST(DiscoveryMessages, TypesMakeAnOnvifDeviceByNamespaceNotByPrefix) {
  struct Case {
    const char* what;
    std::string types, declare;
    bool device;
  } cases[] = {
      {"camera", "dn:NetworkVideoTransmitter", kDn, true},
      {"recorder", "tds:Device", kTds, true},
      {"both", "dn:NetworkVideoTransmitter tds:Device", kDn + " " + kTds, true},
      {"other prefix", "x:NetworkVideoTransmitter", "xmlns:x=\"http://www.onvif.org/ver10/network/wsdl\"", true},
      {"default namespace", "Device", "xmlns=\"http://www.onvif.org/ver10/device/wsdl\"", true},
      {"no default namespace", "Device", "", false},
      {"undeclared prefix", "dn:NetworkVideoTransmitter", "", false},
      {"right name, wrong namespace", "tds:NetworkVideoTransmitter", kTds, false},
      {"Device of the network wsdl", "dn:Device", kDn, false},
      {"a Windows host", "wsdp:Device pub:Computer",
       "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\" "
       "xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"",
       false},
      {"blanks and line breaks", "\n  dn:NetworkVideoTransmitter\t", kDn, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DiscoveryMessage m = Read(Matches(c.types, c.declare));
    ASSERT_EQ(m.endpoints.size(), 1u);
    EXPECT_EQ(m.endpoints[0].IsOnvifDevice(), c.device);
  }
  // A default namespace on the Types element itself resolves an unprefixed
  // name.
  const DiscoveryMessage inner =
      Read(Matches("", "", "<d:Types xmlns=\"http://www.onvif.org/ver10/device/wsdl\">Device</d:Types>"));
  EXPECT_TRUE(inner.endpoints.at(0).IsOnvifDevice());
  // A prefix declared on the ProbeMatch element itself is in scope.
  const std::string on_match = Matches("q:NetworkVideoTransmitter");
  std::string declared = on_match;
  declared.replace(declared.find("<d:ProbeMatch>"), 14,
                   "<d:ProbeMatch xmlns:q=\"http://www.onvif.org/ver10/network/wsdl\">");
  EXPECT_TRUE(Read(declared).endpoints.at(0).IsOnvifDevice());
  EXPECT_FALSE(Read(on_match).endpoints.at(0).IsOnvifDevice());
}

TEST(DiscoveryMessages, ReadsTheFieldsWhateverThePrefixes) {
  for (const auto& [soap, wsd] : std::vector<std::pair<std::string, std::string>>{
           {"s", "d"}, {"SOAP-ENV", "wsd"}, {"env", "wsdd"}}) {
    SCOPED_TRACE(soap + "/" + wsd);
    const DiscoveryMessage m = Read(Matches("dn:NetworkVideoTransmitter", kDn, "", soap, wsd));
    EXPECT_EQ(m.kind, DiscoveryKind::kProbeMatches);
    EXPECT_EQ(m.message_id, "urn:uuid:answer");
    EXPECT_EQ(m.relates_to, "urn:uuid:probe");
    ASSERT_EQ(m.endpoints.size(), 1u);
    const DiscoveredEndpoint& e = m.endpoints[0];
    EXPECT_EQ(e.endpoint, "urn:uuid:cam-1");
    EXPECT_EQ(e.TypesText(), "dn:NetworkVideoTransmitter");
    EXPECT_EQ(e.scopes, (std::vector<std::string>{"onvif://www.onvif.org/name/Cam", "onvif://www.onvif.org/hardware/X1"}));
    EXPECT_EQ(e.xaddrs, (std::vector<std::string>{"http://10.0.0.2/onvif/device_service"}));
    EXPECT_EQ(e.metadata_version, "3");
    EXPECT_EQ(m.cut, 0);
  }
  // Elements of another namespace under a known prefix are not the fields.
  std::string wrong = Matches("dn:NetworkVideoTransmitter", kDn, "", "s", "d");
  wrong.replace(wrong.find("2005/04/discovery"), 17, "2005/04/discoverx");
  EXPECT_EQ(Read(wrong).kind, DiscoveryKind::kOther);
}

TEST(DiscoveryMessages, KeepsItsBoundsAndCountsWhatItCuts) {
  std::string scopes, xaddrs;
  for (int i = 0; i < 70; ++i) scopes += " onvif://www.onvif.org/x/" + std::to_string(i);
  for (int i = 0; i < 10; ++i) xaddrs += " http://10.0.0." + std::to_string(i) + "/";
  // 1,023 bytes of 'a' and then a two-byte character: cut before it.
  const std::string long_endpoint = std::string(1023, 'a') + "\xC3\xA9" + "tail";
  std::string text = Matches("dn:NetworkVideoTransmitter", kDn,
                             "<d:Scopes>" + scopes + "</d:Scopes><d:XAddrs>" + xaddrs + "</d:XAddrs>");
  text.replace(text.find(" urn:uuid:cam-1 "), 16, long_endpoint);
  const DiscoveryMessage m = Read(text);
  const DiscoveredEndpoint& e = m.endpoints.at(0);
  EXPECT_EQ(e.scopes.size(), kOnvifScopeLimit);
  EXPECT_EQ(e.xaddrs.size(), kOnvifXaddrLimit);
  EXPECT_EQ(e.endpoint, std::string(1023, 'a'));
  // 2 + 70 scopes, 1 + 10 XAddrs: 8 and 3 left out, and the endpoint cut.
  EXPECT_EQ(m.cut, 8 + 3 + 1);

  std::string many = Matches("dn:NetworkVideoTransmitter", kDn);
  const std::size_t start = many.find("<d:ProbeMatch>");
  const std::size_t end = many.find("</d:ProbeMatch>") + 15;
  const std::string one =
      "<d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:x</a:Address></a:EndpointReference></d:ProbeMatch>";
  std::string all;
  for (std::size_t i = 0; i < kOnvifMatchLimit + 2; ++i) all += one;
  many.replace(start, end - start, all);
  const DiscoveryMessage bounded = Read(many);
  EXPECT_EQ(bounded.endpoints.size(), kOnvifMatchLimit);
  EXPECT_EQ(bounded.cut, 2);
}

TEST(DiscoveryMessages, RefusesWhatIsNotAWholePlainEnvelope) {
  const std::string good = Matches("dn:NetworkVideoTransmitter", kDn);
  struct Case {
    const char* what;
    std::string text;
    const char* why;
  } cases[] = {
      {"cut", good.substr(0, good.size() - 20), "not well-formed XML"},
      {"not XML", "HTTP/1.1 200 OK\r\n\r\n", "not well-formed XML"},
      {"empty", "", "not well-formed XML"},
      {"a DTD with entities",
       "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" +
           good.substr(good.find("<s:Envelope")),
       "a DTD"},
      {"an undeclared entity", good.substr(0, good.find("urn:uuid:cam-1")) + "&evil;" +
                                   good.substr(good.find("urn:uuid:cam-1")),
       "not well-formed XML"},
      {"no envelope", "<Envelope><Body/></Envelope>", "no SOAP envelope"},
      {"too long", good + std::string(kOnvifDatagramLimit, ' '), "longer than"},
      {"nested too deep", "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">" +
                              [] { std::string s; for (int i = 0; i < 70; ++i) s += "<x>"; for (int i = 0; i < 70; ++i) s += "</x>"; return s; }() +
                              "</s:Envelope>",
       "nested deeper"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DiscoveryMessage m;
    std::string why;
    EXPECT_FALSE(ReadDiscoveryMessage(c.text, &m, &why));
    EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
    EXPECT_TRUE(m.endpoints.empty());
  }
  // The five XML entities and character references are text.
  std::string amp = good;
  amp.replace(amp.find("urn:uuid:cam-1"), 14, "urn:uuid:a&amp;b&#x41;");
  EXPECT_EQ(Read(amp).endpoints.at(0).endpoint, "urn:uuid:a&bA");
}

TEST(DiscoveryMessages, HelloSaysAllAndByeOnlyItsEndpoint) {
  const auto announcement = [](const std::string& kind) {
    return "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><e:Header><w:MessageID>urn:uuid:m</w:MessageID>"
           "</e:Header><e:Body><wsd:" + kind + "><w:EndpointReference><w:Address>urn:uuid:cam-2</w:Address>"
           "</w:EndpointReference><wsd:Types>dn:NetworkVideoTransmitter</wsd:Types><wsd:Scopes>"
           "onvif://www.onvif.org/name/A</wsd:Scopes><wsd:XAddrs>http://10.0.0.3/</wsd:XAddrs>"
           "<wsd:MetadataVersion>7</wsd:MetadataVersion></wsd:" + kind + "></e:Body></e:Envelope>";
  };
  const DiscoveryMessage hello = Read(announcement("Hello"));
  EXPECT_EQ(hello.kind, DiscoveryKind::kHello);
  ASSERT_EQ(hello.endpoints.size(), 1u);
  EXPECT_EQ(hello.endpoints[0].endpoint, "urn:uuid:cam-2");
  EXPECT_TRUE(hello.endpoints[0].IsOnvifDevice());
  EXPECT_EQ(hello.endpoints[0].xaddrs, std::vector<std::string>{"http://10.0.0.3/"});
  EXPECT_EQ(hello.endpoints[0].metadata_version, "7");
  const DiscoveryMessage bye = Read(announcement("Bye"));
  EXPECT_EQ(bye.kind, DiscoveryKind::kBye);
  ASSERT_EQ(bye.endpoints.size(), 1u);
  EXPECT_EQ(bye.endpoints[0].endpoint, "urn:uuid:cam-2");
  EXPECT_TRUE(bye.endpoints[0].types.empty());
  EXPECT_TRUE(bye.endpoints[0].xaddrs.empty());
  EXPECT_TRUE(bye.endpoints[0].scopes.empty());
}

TEST(DiscoveryMessages, ProbesCarryTheirTypeAndAFreshMessageId) {
  std::set<std::string> ids;
  for (int i = 0; i < 100; ++i) {
    const std::string id = NewMessageId();
    ASSERT_EQ(id.size(), 45u) << id;
    EXPECT_EQ(id.rfind("urn:uuid:", 0), 0u);
    EXPECT_EQ(id[23], '4');  // version 4
    EXPECT_NE(std::string("89ab").find(id[28]), std::string::npos);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 100u);
  // The Probe is an envelope the reader takes (as no answer) with its MessageID.
  for (ProbeType type : {ProbeType::kNetworkVideoTransmitter, ProbeType::kDevice}) {
    const std::string probe = ProbeText(type, "urn:uuid:x");
    const DiscoveryMessage m = Read(probe);
    EXPECT_EQ(m.kind, DiscoveryKind::kOther);
    EXPECT_EQ(m.message_id, "urn:uuid:x");
    EXPECT_NE(probe.find(type == ProbeType::kDevice ? ">tds:Device<" : ">dn:NetworkVideoTransmitter<"),
              std::string::npos);
  }
}
