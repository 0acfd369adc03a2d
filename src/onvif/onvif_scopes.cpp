// ONVIF scope decoding.
#include "onvif/onvif_scopes.h"

#include <QByteArray>
#include <QString>

#include "onvif/onvif_device.h"
#include "protocol/record_text.h"

namespace {

constexpr std::string_view kScopePrefix = "onvif://www.onvif.org/";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// `text` (valid UTF-8) within kOnvifTextLimit bytes, cut at a character's start.
std::string Bounded(std::string text) {
  if (text.size() <= kOnvifTextLimit) return text;
  std::size_t end = kOnvifTextLimit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace

std::string DecodedScopeText(std::string_view text) {
  std::string bytes;
  // Decoding never lengthens, and more than the bound is never needed:
  // Latin-1 at most doubles what is kept.
  const std::size_t enough = kOnvifTextLimit * 3;
  for (std::size_t i = 0; i < text.size() && bytes.size() < enough; ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
    const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
    if (low >= 0) {
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  const QByteArray utf8 = RecordText(bytes).toUtf8();
  return Bounded(std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

bool ReadOnvifScope(std::string_view scope, std::string* category, std::string* value) {
  if (scope.size() < kScopePrefix.size() || !SameIgnoringCase(scope.substr(0, kScopePrefix.size()), kScopePrefix))
    return false;
  std::string_view rest = scope.substr(kScopePrefix.size());
  const std::size_t slash = rest.find('/');
  *category = std::string(rest.substr(0, slash));
  *value = slash == std::string_view::npos ? "" : DecodedScopeText(rest.substr(slash + 1));
  return true;
}

ScopeFacts ReadScopeFacts(const std::vector<std::string>& scopes) {
  ScopeFacts facts;
  bool name = false, hardware = false, mac = false;
  for (const std::string& scope : scopes) {
    std::string category, value;
    if (!ReadOnvifScope(scope, &category, &value)) continue;
    if (SameIgnoringCase(category, "name") && !name) {
      facts.name = value;
      name = true;
    } else if (SameIgnoringCase(category, "hardware") && !hardware) {
      facts.hardware = value;
      hardware = true;
    } else if (SameIgnoringCase(category, "mac") && !mac) {
      facts.mac = value;
      mac = true;
    } else if (SameIgnoringCase(category, "location") && !value.empty()) {
      facts.location = Bounded(facts.location + (facts.location.empty() ? "" : ", ") + value);
    }
  }
  return facts;
}
