// Control packages in the simulator: parsing, the DHCP pool, and the update
// of the device set.
#include "control_package.h"

#include <arpa/inet.h>

#include "protocol/codec.h"
#include "protocol/interfaces.h"
#include "protocol/ipv4_text.h"
#include "protocol/string_printf.h"

namespace {

// Field positions within the package, after magic and flag.
enum { kModel, kProj, kName, kIp, kPort, kNetmask, kGateway, kDns, kMac, kDev, kNote };

// Cuts the text at its first zero byte and drops trailing line ends.
std::string_view Trimmed(std::string_view text) {
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::vector<std::string> SplitFields(std::string_view text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      return fields;
    }
    fields.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

bool IsAddress(const std::string& text) { return InetAddr(text.c_str()) != kInetAddrNone; }

}  // namespace

DhcpPool::DhcpPool(const std::string& first, const std::string& last, std::string netmask,
                   std::string gateway, std::string dns)
    : netmask_(std::move(netmask)), gateway_(std::move(gateway)), dns_(std::move(dns)) {
  in_addr a{}, b{};
  if (inet_pton(AF_INET, first.c_str(), &a) == 1 && inet_pton(AF_INET, last.c_str(), &b) == 1) {
    first_ = ntohl(a.s_addr);
    last_ = ntohl(b.s_addr);
    valid_ = first_ <= last_;
  }
}

std::string DhcpPool::Lease(const std::string& mac, const std::set<std::string>& in_use) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!valid_) return "";
  auto earlier = leases_.find(mac);
  if (earlier != leases_.end() && in_use.count(earlier->second) == 0) return earlier->second;
  std::set<std::string> leased;
  for (const auto& [owner, address] : leases_)
    if (owner != mac) leased.insert(address);
  for (std::uint64_t host = first_; host <= last_; ++host) {
    std::string address = DottedAddress(htonl(static_cast<std::uint32_t>(host)));
    if (in_use.count(address) != 0 || leased.count(address) != 0) continue;
    leases_[mac] = address;
    return address;
  }
  return "";
}

bool IsControlPackage(std::string_view text) {
  text = Trimmed(text);
  const std::string_view magic = kMagicWord;
  if (text.substr(0, magic.size()) != magic || text.size() <= magic.size() + 1 ||
      text[magic.size()] != ',')
    return false;
  std::string rest(text.substr(magic.size() + 1));
  std::string flag = rest.substr(0, rest.find(','));
  return !flag.empty() && flag.find_first_not_of("0123456789") == std::string::npos &&
         ParseNumber(flag.c_str()) == 3;
}

std::string ApplyControlPackage(std::string_view text, DeviceSet& devices, DhcpPool& pool,
                                const ControlBehaviour& behaviour) {
  text = Trimmed(text);
  if (!IsControlPackage(text)) return "control package ignored: not a flag-03 packet";
  std::vector<std::string> all = SplitFields(text);
  if (all.size() != 2 + kUnitFieldCount)
    return StringPrintf("control package ignored: malformed, %zu fields instead of 13",
                        all.size());
  std::vector<std::string> f(all.begin() + 2, all.end());
  for (int i = 0; i < kUnitFieldCount; ++i) {
    if (f[i].size() >= UnitFieldWidth(i))
      return StringPrintf("control package ignored: malformed, %s longer than %zu characters",
                          UnitFieldName(i), UnitFieldWidth(i) - 1);
  }
  const std::string& mac = f[kMac];
  const std::string& keyword = f[kNote];
  if (keyword != "static" && keyword != "dhcp" && keyword != "zonet")
    return StringPrintf("control package ignored: unknown network type \"%s\"", keyword.c_str());
  const bool dhcp = keyword == "dhcp";
  if (!dhcp && (!IsAddress(f[kIp]) || !IsAddress(f[kNetmask])))
    return StringPrintf("control package ignored: malformed, ip [%s] or netmask [%s] is no address",
                        f[kIp].c_str(), f[kNetmask].c_str());

  for (const std::string& ignoring : behaviour.ignoring)
    if (ignoring == mac) return StringPrintf("control package ignored: %s ignores control packages", mac.c_str());
  if (devices.Restarting(mac)) return StringPrintf("control package ignored: %s is restarting", mac.c_str());

  std::string result;
  bool applied_any = false;
  devices.Update([&](std::vector<tComUnitInfo>& list) {
    int matched = 0;
    std::vector<std::string> applied;
    for (std::size_t i = 0; i < list.size(); ++i) {
      tComUnitInfo& device = list[i];
      if (FieldText(device.mac) != mac) continue;
      ++matched;
      if (!dhcp) {
        SetField(device.ip, f[kIp]);
        SetField(device.netmask, f[kNetmask]);
        SetField(device.gateway, f[kGateway]);
        SetField(device.dns, f[kDns]);
        applied.push_back(f[kIp]);
        continue;
      }
      std::set<std::string> in_use;
      for (std::size_t j = 0; j < list.size(); ++j)
        if (j != i) in_use.insert(std::string(FieldText(list[j].ip)));
      std::string address = pool.Lease(mac, in_use);
      if (address.empty()) {
        applied.push_back("none (pool exhausted)");
        continue;
      }
      SetField(device.ip, address);
      SetField(device.netmask, pool.netmask());
      SetField(device.gateway, pool.gateway());
      SetField(device.dns, pool.dns());
      applied.push_back(address);
    }
    if (matched == 0) {
      result = StringPrintf("control package ignored: no device with mac %s", mac.c_str());
      return;
    }
    std::string addresses;
    for (const std::string& a : applied) addresses += (addresses.empty() ? "" : " ") + a;
    if (dhcp)
      result = StringPrintf("control package applied: %s dhcp -> %s", mac.c_str(),
                            addresses.c_str());
    else
      result = StringPrintf("control package applied: %s %s%s ip %s netmask %s gateway %s dns %s",
                            mac.c_str(), keyword.c_str(),
                            keyword == "zonet" ? " (as static)" : "", f[kIp].c_str(),
                            f[kNetmask].c_str(), f[kGateway].c_str(), f[kDns].c_str());
    if (matched > 1) result += StringPrintf(" (%d devices)", matched);
    applied_any = true;
  });
  if (applied_any && behaviour.restart_ms > 0) {
    devices.Restart(mac, DeviceSet::Clock::now() + std::chrono::milliseconds(behaviour.restart_ms));
    result += StringPrintf(", restarting for %d ms", behaviour.restart_ms);
  }
  return result;
}
