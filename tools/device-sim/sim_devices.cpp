// Device file reading and device generation for the simulator.
#include "sim_devices.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

#include "protocol/codec.h"
#include "protocol/interfaces.h"

bool ParseDeviceLine(const std::string& line, tComUnitInfo* info, std::string* error) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 2 + kUnitFieldCount) {
    *error = "expected 13 comma-separated fields, found " + std::to_string(fields.size());
    return false;
  }
  if (fields[0] != kMagicWord) {
    *error = "the first field must be " + std::string(kMagicWord);
    return false;
  }
  if (fields[1] != "01") {
    *error = "the second field must be 01 (device information)";
    return false;
  }
  *info = tComUnitInfo{};
  for (int i = 0; i < kUnitFieldCount; ++i) {
    const std::string& text = fields[2 + i];
    if (text.size() + 1 > UnitFieldWidth(i)) {
      *error = std::string(UnitFieldName(i)) + " '" + text + "' is longer than " +
               std::to_string(UnitFieldWidth(i) - 1) + " characters";
      return false;
    }
    SetUnitField(UnitField(*info, i), UnitFieldWidth(i), text);
  }
  return true;
}

bool LoadDeviceFile(const std::string& path, std::vector<tComUnitInfo>* devices,
                    std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    tComUnitInfo info{};
    std::string why;
    if (!ParseDeviceLine(line, &info, &why)) {
      *error = path + ":" + std::to_string(number) + ": " + why;
      return false;
    }
    devices->push_back(info);
  }
  return true;
}

namespace {

std::string Dotted(std::uint32_t host_order) { return DottedAddress(htonl(host_order)); }

}  // namespace

bool GenerateDevices(const SimOptions& o, std::vector<tComUnitInfo>* devices, std::string* error) {
  in_addr base{};
  if (inet_pton(AF_INET, o.ip_base.c_str(), &base) != 1) {
    *error = "--ip-base: '" + o.ip_base + "' is not a dotted IPv4 address";
    return false;
  }
  std::uint64_t next = ntohl(base.s_addr);
  for (int i = 0; i < o.count; ++i) {
    while ((next & 0xFF) == 0 || (next & 0xFF) == 0xFF) ++next;
    if (next >= 0xFFFFFFFFull) {
      *error = "--ip-base: not enough addresses after " + o.ip_base;
      return false;
    }
    std::uint32_t ip = static_cast<std::uint32_t>(next++);
    std::uint32_t n = static_cast<std::uint32_t>(i) + 1;
    char mac[24];
    std::snprintf(mac, sizeof(mac), "02:4B:44:%02X:%02X:%02X", (n >> 16) & 0xFF, (n >> 8) & 0xFF,
                  n & 0xFF);
    tComUnitInfo info{};
    SetField(info.model, o.models[i % o.models.size()]);
    SetField(info.proj, o.projs[i % o.projs.size()]);
    std::string name = o.name_prefix;
    if (o.high_bytes) name = i % 2 == 0 ? "C\xE4m\xE9ra" : "C\xC3\xA4m\xC3\xA9ra";
    SetField(info.name, name + std::to_string(n));
    SetField(info.ip, Dotted(ip));
    SetField(info.trigger_port, o.ports[i % o.ports.size()]);
    SetField(info.netmask, "255.255.0.0");
    SetField(info.gateway, Dotted((ip & 0xFFFF0000u) | 0xFE));
    SetField(info.dns, Dotted((ip & 0xFFFF0000u) | 0xFE));
    SetField(info.mac, mac);
    SetField(info.dev, "IPC");
    SetField(info.note, "sim");
    devices->push_back(info);
  }
  return true;
}

bool LoadSimDevices(const SimOptions& o, std::vector<tComUnitInfo>* devices, std::string* error) {
  devices->clear();
  if (!o.file.empty() && !LoadDeviceFile(o.file, devices, error)) return false;
  if (!GenerateDevices(o, devices, error)) return false;
  if (o.shuffle) {
    std::mt19937 random(o.seed);
    std::shuffle(devices->begin(), devices->end(), random);
  }
  return true;
}

std::vector<std::string> LongFieldPacketTexts(int count) {
  constexpr std::size_t kLength = 1000;
  auto text = [](std::string head) {
    while (head.size() < kLength) head += (head.size() % 3 == 0) ? "\xC3\x84" : "x\xE9";
    head.resize(kLength);
    return head;
  };
  auto padded = [](std::string head, char pad) {
    head.resize(kLength, pad);
    return head;
  };
  std::vector<std::string> texts;
  for (int i = 1; i <= count; ++i) {
    char mac[24];
    std::snprintf(mac, sizeof(mac), "02:4B:44:EE:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    std::string packet = std::string(kMagicWord) + ",01";
    for (const std::string& field :
         {text("LongModel" + std::to_string(i)), text("P1"), text("LongName" + std::to_string(i)),
          padded("10.99.2." + std::to_string(i), ' '),
          std::string(kLength - 4, '0') + "8080", padded("255.255.0.0", ' '),
          padded("10.99.2.254", ' '), padded("10.99.2.254", ' '), padded(mac, ':'), text("IPC"),
          text("note")})
      packet += "," + field;
    texts.push_back(std::move(packet));
  }
  return texts;
}
