// Field table and bounded field writes for tComUnitInfo.
#include "protocol/unit_info.h"

#include <cstring>

namespace {

struct FieldSpec {
  std::size_t offset;
  std::size_t width;
  const char* name;
};

const FieldSpec kFields[kUnitFieldCount] = {
    {offsetof(tComUnitInfo, model), sizeof(tComUnitInfo::model), "model"},
    {offsetof(tComUnitInfo, proj), sizeof(tComUnitInfo::proj), "proj"},
    {offsetof(tComUnitInfo, name), sizeof(tComUnitInfo::name), "name"},
    {offsetof(tComUnitInfo, ip), sizeof(tComUnitInfo::ip), "ip"},
    {offsetof(tComUnitInfo, trigger_port), sizeof(tComUnitInfo::trigger_port), "trigger_port"},
    {offsetof(tComUnitInfo, netmask), sizeof(tComUnitInfo::netmask), "netmask"},
    {offsetof(tComUnitInfo, gateway), sizeof(tComUnitInfo::gateway), "gateway"},
    {offsetof(tComUnitInfo, dns), sizeof(tComUnitInfo::dns), "dns"},
    {offsetof(tComUnitInfo, mac), sizeof(tComUnitInfo::mac), "mac"},
    {offsetof(tComUnitInfo, dev), sizeof(tComUnitInfo::dev), "dev"},
    {offsetof(tComUnitInfo, note), sizeof(tComUnitInfo::note), "note"},
};

}  // namespace

char* UnitField(tComUnitInfo& info, int i) {
  return reinterpret_cast<char*>(&info) + kFields[i].offset;
}

const char* UnitField(const tComUnitInfo& info, int i) {
  return reinterpret_cast<const char*>(&info) + kFields[i].offset;
}

std::size_t UnitFieldWidth(int i) { return kFields[i].width; }

const char* UnitFieldName(int i) { return kFields[i].name; }

void SetUnitField(char* field, std::size_t width, std::string_view text) {
  if (width == 0) return;
  std::size_t n = text.size() < width - 1 ? text.size() : width - 1;
  // An empty view may have no data at all; memcpy must not see its null.
  if (n > 0) std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, width - n);
}
