// What a device's ONVIF scopes say of it: the scope URIs under
// "onvif://www.onvif.org/" whose first segment is name, hardware, location
// or mac, in any case ("onvif://www.onvif.org/name/Lobby%20Cam"). The rest of the URI is
// percent-decoded; the bytes it gives are read by the record text rule
// (record_text.h: UTF-8, else Latin-1), so what comes out is always UTF-8;
// and it is bounded (kOnvifTextLimit bytes, cut at a character's start).
//
// Plain functions of their arguments, safe on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The scope's category ("name", "hardware", "location", "mac", "type", any
// other first segment) and its decoded rest, when `scope` is an
// onvif://www.onvif.org/ scope (scheme and host in any case); else false.
bool ReadOnvifScope(std::string_view scope, std::string* category, std::string* value);

// `text` percent-decoded: "%41" is "A", a '%' not followed by two
// hexadecimal digits stays as it is; then read by the record text rule, in
// UTF-8, at most kOnvifTextLimit bytes.
std::string DecodedScopeText(std::string_view text);

struct ScopeFacts {
  std::string name, hardware, mac;
  // Every location scope's value, in order, joined by ", " (within the bound).
  std::string location;
};

// The facts of a device's scopes: the first name, hardware and mac scope,
// and every location scope.
ScopeFacts ReadScopeFacts(const std::vector<std::string>& scopes);
