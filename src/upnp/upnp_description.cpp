// Parsing, trimming and reading of root device descriptions.
#include "upnp/upnp_description.h"

#include <libxml/parser.h>

#include <climits>
#include <cstring>

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsElement(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && node->name != nullptr &&
         std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

xmlNode* ChildElement(xmlNode* parent, const char* name) {
  for (xmlNode* child = parent->children; child != nullptr; child = child->next)
    if (IsElement(child, name)) return child;
  return nullptr;
}

// The text of `parent`'s first `name` child, as GUPnP reads it; empty when
// there is none.
std::string ChildText(xmlNode* parent, const char* name) {
  xmlNode* child = ChildElement(parent, name);
  if (child == nullptr) return "";
  xmlChar* content = xmlNodeGetContent(child);
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

bool HasElementChild(const xmlNode* node) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next)
    if (child->type == XML_ELEMENT_NODE) return true;
  return false;
}

bool IsText(const xmlNode* node) {
  return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE;
}

bool IsSteppedOver(const xmlNode* node) {
  return node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE;
}

// Trims the white space at one end of `node`'s text: walks its children from
// that end through texts that are white space only, and trims the first
// that is not. `from_start` picks the end.
void TrimEnd(xmlNode* node, bool from_start) {
  for (xmlNode* child = from_start ? node->children : node->last; child != nullptr;
       child = from_start ? child->next : child->prev) {
    if (IsSteppedOver(child)) continue;
    if (!IsText(child)) return;
    const char* content = reinterpret_cast<const char*>(child->content);
    std::string text = content ? content : "";
    std::size_t begin = 0, end = text.size();
    if (from_start) {
      while (begin < end && IsXmlSpace(text[begin])) ++begin;
    } else {
      while (end > begin && IsXmlSpace(text[end - 1])) --end;
    }
    if (begin != 0 || end != text.size()) {
      std::string kept = text.substr(begin, end - begin);
      xmlNodeSetContentLen(child, reinterpret_cast<const xmlChar*>(kept.c_str()),
                           static_cast<int>(kept.size()));
    }
    if (begin != end) return;  // this text holds more than white space
  }
}

xmlNode* FindDeviceIn(xmlNode* parent, std::string_view udn) {
  for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
    if (!IsElement(child, "device")) continue;
    if (ChildText(child, "UDN") == udn) return child;
    if (xmlNode* list = ChildElement(child, "deviceList"))
      if (xmlNode* found = FindDeviceIn(list, udn)) return found;
  }
  return nullptr;
}

xmlNode* RootElement(xmlDoc* doc) {
  for (xmlNode* child = doc->children; child != nullptr; child = child->next)
    if (IsElement(child, "root")) return child;
  return nullptr;
}

}  // namespace

xmlDoc* ParseDescription(std::string_view body, const std::string& url) {
  if (body.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  xmlDoc* doc = xmlReadMemory(body.data(), static_cast<int>(body.size()), url.c_str(), nullptr,
                              XML_PARSE_NONET | XML_PARSE_RECOVER);
  if (doc != nullptr) TrimElementTexts(xmlDocGetRootElement(doc));
  return doc;
}

void TrimElementTexts(xmlNode* node) {
  if (node == nullptr || node->type != XML_ELEMENT_NODE) return;
  if (!HasElementChild(node)) {
    TrimEnd(node, true);
    TrimEnd(node, false);
    return;
  }
  for (xmlNode* child = node->children; child != nullptr; child = child->next)
    TrimElementTexts(child);
}

xmlNode* FindDescribedDevice(xmlDoc* doc, std::string_view udn) {
  xmlNode* root = doc ? RootElement(doc) : nullptr;
  return root ? FindDeviceIn(root, udn) : nullptr;
}

GUri* DescriptionUrlBase(xmlDoc* doc, const std::string& location) {
  GUri* from = g_uri_parse(location.c_str(), G_URI_FLAGS_NONE, nullptr);
  xmlNode* root = doc ? RootElement(doc) : nullptr;
  const std::string base = root ? ChildText(root, "URLBase") : "";
  if (base.empty()) return from;
  GUri* given = from ? g_uri_parse_relative(from, base.c_str(), G_URI_FLAGS_NONE, nullptr)
                     : g_uri_parse(base.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (given == nullptr) return from;
  if (from) g_uri_unref(from);
  return given;
}
