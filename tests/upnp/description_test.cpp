// Device descriptions as real devices write them: white space around texts,
// relative URL bases, embedded devices, entity references.
#include "upnp/upnp_description.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

std::string Text(xmlNode* device, const char* name) {
  for (xmlNode* child = device->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE && std::string(reinterpret_cast<const char*>(child->name)) == name) {
      xmlChar* content = xmlNodeGetContent(child);
      std::string text = reinterpret_cast<const char*>(content);
      xmlFree(content);
      return text;
    }
  }
  return "(none)";
}

std::string UriText(GUri* uri) {
  if (uri == nullptr) return "(null)";
  char* text = g_uri_to_string(uri);
  std::string out = text;
  g_free(text);
  g_uri_unref(uri);
  return out;
}

// Pretty-printed the way some cameras write it: every text on a line of its
// own, with tabs, blanks, a comment and a CDATA section around it.
const char kPretty[] =
    "<?xml version=\"1.0\"?>\n"
    "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
    "  <URLBase>\n    /cam/\n  </URLBase>\n"
    "  <device>\n"
    "    <UDN>\n      uuid:aaaa-1\n    </UDN>\n"
    "    <manufacturer>\n\t VIVOTEK INC. \r\n</manufacturer>\n"
    "    <friendlyName>  <!-- shown in lists -->  Lobby  (IP8332)\n  </friendlyName>\n"
    "    <presentationURL>\n      http://10.0.0.5:1024/  \n    </presentationURL>\n"
    "    <modelName><![CDATA[  IP8332  ]]></modelName>\n"
    "    <deviceList>\n"
    "      <device><UDN> uuid:aaaa-2 </UDN><friendlyName> Channel 1 </friendlyName></device>\n"
    "    </deviceList>\n"
    "  </device>\n"
    "</root>\n";

}  // namespace

TEST(UpnpDescription, TextsLoseTheWhiteSpaceAroundThemOnly) {
  Doc doc(ParseDescription(kPretty, "http://10.0.0.5:49152/desc.xml"));
  ASSERT_TRUE(doc);
  xmlNode* device = FindDescribedDevice(doc.get(), "uuid:aaaa-1");
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(Text(device, "UDN"), "uuid:aaaa-1");
  EXPECT_EQ(Text(device, "manufacturer"), "VIVOTEK INC.");
  EXPECT_EQ(Text(device, "friendlyName"), "Lobby  (IP8332)");  // the blanks inside stay
  EXPECT_EQ(Text(device, "presentationURL"), "http://10.0.0.5:1024/");
  EXPECT_EQ(Text(device, "modelName"), "IP8332");

  // An embedded device is found by its own name, trimmed too.
  xmlNode* channel = FindDescribedDevice(doc.get(), "uuid:aaaa-2");
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(Text(channel, "friendlyName"), "Channel 1");
  EXPECT_EQ(FindDescribedDevice(doc.get(), "uuid:aaaa"), nullptr);
  EXPECT_EQ(FindDescribedDevice(doc.get(), "uuid:AAAA-1"), nullptr);  // names are exact

  // A relative URL base stands on the description's own address.
  EXPECT_EQ(UriText(DescriptionUrlBase(doc.get(), "http://10.0.0.5:49152/desc.xml")),
            "http://10.0.0.5:49152/cam/");
}

TEST(UpnpDescription, UrlBaseIsTheLocationUnlessTheDocumentGivesOne) {
  Doc plain(ParseDescription("<root><device><UDN>uuid:x</UDN></device></root>", "u"));
  ASSERT_TRUE(plain);
  EXPECT_EQ(UriText(DescriptionUrlBase(plain.get(), "http://10.0.0.7:80/d.xml")), "http://10.0.0.7:80/d.xml");
  EXPECT_EQ(UriText(DescriptionUrlBase(plain.get(), "not a url")), "(null)");

  Doc absolute(ParseDescription("<root><URLBase> http://10.0.0.8:8080/ </URLBase></root>", "u"));
  ASSERT_TRUE(absolute);
  EXPECT_EQ(UriText(DescriptionUrlBase(absolute.get(), "http://10.0.0.7/d.xml")), "http://10.0.0.8:8080/");
  EXPECT_EQ(FindDescribedDevice(absolute.get(), "uuid:x"), nullptr);  // no device at all

  Doc no_root(ParseDescription("<scpd><device><UDN>uuid:x</UDN></device></scpd>", "u"));
  ASSERT_TRUE(no_root);
  EXPECT_EQ(FindDescribedDevice(no_root.get(), "uuid:x"), nullptr);
}

TEST(UpnpDescription, EntityReferencesAreNeitherTrimmedNorExpanded) {
  const char xml[] =
      "<!DOCTYPE root [<!ENTITY maker \"  AXIS  \">]>\n"
      "<root><device><UDN>uuid:e</UDN><manufacturer> &maker; </manufacturer></device></root>";
  Doc doc(ParseDescription(xml, "u"));
  ASSERT_TRUE(doc);
  xmlNode* device = FindDescribedDevice(doc.get(), "uuid:e");
  ASSERT_NE(device, nullptr);
  // The blanks outside the reference go; the entity's own text is its own.
  EXPECT_EQ(Text(device, "manufacturer"), "  AXIS  ");
}
