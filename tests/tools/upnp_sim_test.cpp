// The simulator's UPnP side without a network: its SSDP requests, answers and
// announcements, its device plan and descriptions (valid names, every file
// they name served, pretty-printing that adds white space only) and options.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "sim_options.h"
#include "upnp/upnp_description.h"
#include "upnp_host.h"
#include "upnp_ssdp.h"

namespace {

// The texts of every element without elements of its own, by their path.
void LeafTexts(xmlNode* node, const std::string& path, std::multimap<std::string, std::string>& out) {
  bool leaf = true;
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    leaf = false;
    LeafTexts(child, path + "/" + reinterpret_cast<const char*>(child->name), out);
  }
  if (!leaf) return;
  xmlChar* content = xmlNodeGetContent(node);
  out.emplace(path, reinterpret_cast<const char*>(content));
  xmlFree(content);
}

std::multimap<std::string, std::string> LeafTexts(const std::string& xml) {
  std::multimap<std::string, std::string> out;
  xmlDoc* doc = ParseDescription(xml, "sim");
  EXPECT_NE(doc, nullptr);
  if (doc) LeafTexts(xmlDocGetRootElement(doc), "", out);
  xmlFreeDoc(doc);
  return out;
}

}  // namespace

TEST(UpnpSim, SearchRequestsAreReadAsDevicesReadThem) {
  auto search = ParseSsdpSearch(
      "M-SEARCH * HTTP/1.1\nHost: 239.255.255.250:1900\nman: \"ssdp:discover\"\nMx: 2\nst: upnp:rootdevice\n\n");
  ASSERT_TRUE(search);
  EXPECT_EQ(search->st, "upnp:rootdevice");
  EXPECT_EQ(search->mx, 2);
  const std::string head = "M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nST: ssdp:all\r\n";
  EXPECT_TRUE(ParseSsdpSearch(head + "MX: 1\r\n\r\n"));
  EXPECT_FALSE(ParseSsdpSearch(head + "MX: 0\r\n\r\n"));
  EXPECT_FALSE(ParseSsdpSearch(head + "MX: soon\r\n\r\n"));
  EXPECT_FALSE(ParseSsdpSearch(head + "\r\n"));  // no MX
  EXPECT_FALSE(ParseSsdpSearch("M-SEARCH * HTTP/1.1\r\nST: ssdp:all\r\nMX: 1\r\n\r\n"));  // no MAN
  EXPECT_FALSE(ParseSsdpSearch("NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\n\r\n"));
  EXPECT_FALSE(ParseSsdpSearch(""));
}

TEST(UpnpSim, AnswersAndAnnouncementsUseCrlfAndTheirHeaders) {
  const SsdpDevice device{"uuid:11111111-2222-4333-8444-555555555555", "http://10.99.0.2:5000/device1.xml"};
  EXPECT_TRUE(SsdpAnswers(device, "ssdp:all"));
  EXPECT_TRUE(SsdpAnswers(device, "upnp:rootdevice"));
  EXPECT_TRUE(SsdpAnswers(device, device.udn));
  EXPECT_FALSE(SsdpAnswers(device, "uuid:other"));
  EXPECT_FALSE(SsdpAnswers(device, "urn:schemas-upnp-org:device:Basic:1"));

  for (const std::string& text :
       {SsdpAnswer(device, "ssdp:all", true), SsdpAnswer(device, device.udn, false),
        SsdpNotify(device, "ssdp:alive", true), SsdpNotify(device, "ssdp:byebye", true)}) {
    for (std::size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
      ASSERT_EQ(text[i - 1], '\r') << text;  // third-party clients drop LF-only messages
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
  }
  std::string answer = SsdpAnswer(device, "ssdp:all", true);
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(answer.find("\r\nCACHE-CONTROL: max-age=1800\r\n"), std::string::npos);
  EXPECT_NE(answer.find("\r\nST: upnp:rootdevice\r\n"), std::string::npos);
  EXPECT_NE(answer.find("\r\nUSN: " + device.udn + "::upnp:rootdevice\r\n"), std::string::npos);
  EXPECT_NE(answer.find("\r\nLOCATION: " + device.location + "\r\n"), std::string::npos);
  answer = SsdpAnswer(device, device.udn, false);
  EXPECT_EQ(answer.find("CACHE-CONTROL"), std::string::npos);
  EXPECT_NE(answer.find("\r\nUSN: " + device.udn + "\r\n"), std::string::npos);

  const std::string alive = SsdpNotify(device, "ssdp:alive", false);
  EXPECT_EQ(alive.rfind("NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n", 0), 0u);
  EXPECT_NE(alive.find("\r\nNTS: ssdp:alive\r\n"), std::string::npos);
  EXPECT_EQ(alive.find("CACHE-CONTROL"), std::string::npos);
  const std::string bye = SsdpNotify(device, "ssdp:byebye", true);
  EXPECT_NE(bye.find("\r\nNTS: ssdp:byebye\r\n"), std::string::npos);
  EXPECT_EQ(bye.find("LOCATION"), std::string::npos);
}

TEST(UpnpSim, DescriptionsNameValidDevicesAndOnlyServedFiles) {
  UpnpHostOptions o;
  o.axis = 4;
  o.vivotek = 4;
  o.other = 5;
  std::vector<SimUpnpDevice> plan = PlanUpnpDevices(o, "10.99.0.2");
  ASSERT_EQ(plan.size(), 13u);
  std::set<std::string> served, names, makers;
  for (const UpnpServedFile& f : UpnpServedFiles()) served.insert(f.path);
  for (const SimUpnpDevice& d : plan) {
    makers.insert(d.manufacturer);
    const std::multimap<std::string, std::string> texts = LeafTexts(UpnpDescriptionXml(d));
    // Every device, embedded ones too, has a name of its own that is a UUID.
    for (const char* udn_path : {"/device/UDN", "/device/deviceList/device/UDN"}) {
      auto [from, to] = texts.equal_range(udn_path);
      for (auto it = from; it != to; ++it) {
        EXPECT_EQ(it->second.rfind("uuid:", 0), 0u) << it->second;
        EXPECT_TRUE(g_uuid_string_is_valid(it->second.c_str() + 5)) << it->second;
        EXPECT_TRUE(names.insert(it->second).second) << it->second;
      }
    }
    int named = 0;
    for (const auto& [path, text] : texts) {
      const std::string last = path.substr(path.rfind('/'));
      if (last == "/SCPDURL" || last == "/url") {
        ++named;
        EXPECT_TRUE(served.count(text)) << path << " " << text;
      }
    }
    EXPECT_GE(named, 2) << "the two icons at least";
    // Pretty-printing adds white space around texts and nothing else.
    EXPECT_EQ(LeafTexts(UpnpDescriptionXml(d, true)), texts) << d.friendly_name;
  }
  EXPECT_EQ(names.size(), 29u);  // 13 root devices, 16 embedded ones
  EXPECT_TRUE(makers.count("VIVOTEK INC."));
  EXPECT_TRUE(makers.count("Praxis Imaging"));
}

TEST(UpnpSim, AnswerOptionsAreChecked) {
  SimOptions o;
  std::string error;
  EXPECT_TRUE(o.upnp_mx_honour);
  EXPECT_TRUE(o.upnp_cache_control);
  const char* good[] = {"--upnp-mx-honour", "off", "--upnp-no-cache-control", "--upnp-notify-only",
                        "--upnp-pretty", "--upnp-hostile", "stall,stall"};
  ASSERT_TRUE(ParseSimOptions(7, good, &o, &error)) << error;
  EXPECT_FALSE(o.upnp_mx_honour);
  EXPECT_FALSE(o.upnp_cache_control);
  EXPECT_TRUE(o.upnp_notify_only);
  EXPECT_TRUE(o.upnp_pretty);
  EXPECT_EQ(o.upnp_hostile, (std::vector<std::string>{"stall", "stall"}));
  const char* bad[] = {"--upnp-mx-honour", "maybe"};
  EXPECT_FALSE(ParseSimOptions(2, bad, &o, &error));
  EXPECT_EQ(error, "--upnp-mx-honour must be on or off, not 'maybe'");
}
