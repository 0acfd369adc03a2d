// MAC texts: the check, the comparison key and the value.
#include "protocol/mac_text.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

bool IsMacText(std::string_view text) { return MacValue(text).has_value(); }

std::string MacKey(std::string_view mac) {
  std::string key(mac);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '-') c = ':';
  }
  return key;
}

bool SameMac(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return MacKey(a) == MacKey(b);
}

std::optional<std::uint64_t> MacValue(std::string_view mac) {
  if (mac.size() != 17) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < mac.size(); i += 3) {
    const int high = HexValue(mac[i]), low = HexValue(mac[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    if (i + 2 < mac.size() && mac[i + 2] != ':' && mac[i + 2] != '-') return std::nullopt;
    value = value << 8 | static_cast<std::uint64_t>(high << 4 | low);
  }
  return value;
}
