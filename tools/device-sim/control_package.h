// The simulator's side of the control package (flag 03): reads the plain
// text of a received package and gives the device it names the new network
// settings, so that later searches are answered with them.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "device_set.h"

// Addresses a simulated DHCP server hands out: from `first` to `last`
// (inclusive, dotted texts), never one that a device holds already. A device
// that asks again keeps its earlier lease while no other device holds that
// address. Safe to call from several threads.
class DhcpPool {
 public:
  explicit DhcpPool(const std::string& first = "10.99.0.100", const std::string& last = "10.99.0.199",
                    std::string netmask = "255.255.255.0", std::string gateway = "10.99.0.1",
                    std::string dns = "10.99.0.1");

  // A free address for `mac`, given the addresses in use by the other
  // devices; "" when the pool has none left (or its range is not valid).
  std::string Lease(const std::string& mac, const std::set<std::string>& in_use);

  const std::string& netmask() const { return netmask_; }
  const std::string& gateway() const { return gateway_; }
  const std::string& dns() const { return dns_; }

 private:
  std::mutex mutex_;
  std::uint32_t first_ = 0;  // host byte order
  std::uint32_t last_ = 0;
  bool valid_ = false;
  std::string netmask_, gateway_, dns_;
  std::map<std::string, std::string> leases_;  // mac -> address
};

// How the simulated devices take a package.
struct ControlBehaviour {
  // A device that applied a package answers nothing for this long (it
  // restarts), and ignores further packages meanwhile.
  int restart_ms = 0;
  // The MACs of devices that ignore every package.
  std::vector<std::string> ignoring;
};

// True when `text` is a control package: the magic word, then flag 3.
bool IsControlPackage(std::string_view text);

// Applies one control package, given as its plain text (decoded and
// complemented; it ends at its first zero byte, a trailing line feed is
// ignored). The package must have exactly the 13 comma-separated fields
// (magic, 03, model, proj, name, ip, trigger_port, netmask, gateway, dns,
// mac, dev, keyword), each within its record field's width. Every device
// whose mac equals the package's mac exactly gets:
//   "static": ip, netmask, gateway and dns from the package (ip and netmask
//             must be valid addresses);
//   "zonet":  the same as "static";
//   "dhcp":   an address, netmask, gateway and dns from `pool`.
// Other fields of the device are left as they are; then, with
// behaviour.restart_ms, the device restarts (DeviceSet::Restart). Returns
// one log line saying what was applied, or why the package was ignored (not
// a control package, malformed, unknown keyword, unknown mac, pool
// exhausted, a device that ignores packages or is restarting); an ignored
// package changes nothing.
std::string ApplyControlPackage(std::string_view text, DeviceSet& devices, DhcpPool& pool,
                                const ControlBehaviour& behaviour = {});
