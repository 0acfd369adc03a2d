// Devices that appear, vanish and move on a timeline.
#include "timed_changes.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

std::string MovedAddress(const std::string& ip) {
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) != 1) return ip;
  std::uint32_t host = ntohl(address.s_addr);
  const std::uint32_t third = ((host >> 8) + 100) & 0xFF;
  host = (host & 0xFFFF00FFu) | (third << 8);
  address.s_addr = htonl(host);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof(text));
  return text;
}

bool CheckTimedChanges(const TimedChangeOptions& o, std::size_t count, std::string* error) {
  if (static_cast<std::size_t>(o.appear) + o.vanish + o.move <= count) return true;
  *error = "--appear, --vanish and --move name " + std::to_string(o.appear + o.vanish + o.move) +
           " devices, more than the " + std::to_string(count) + " there are";
  return false;
}

TimedChanges::TimedChanges(DeviceSet& devices, SimLog& log, TimedChangeOptions options)
    : devices_(devices), log_(log), options_(options) {
  std::vector<tComUnitInfo> all;
  devices_.Update([&all](std::vector<tComUnitInfo>& list) { all = list; });
  auto mac = [&all](std::size_t i) { return std::string(FieldText(all[i].mac)); };
  const std::size_t n = all.size();
  for (int i = 0; i < options_.vanish; ++i) vanishing_.push_back(mac(static_cast<std::size_t>(i)));
  for (int i = 0; i < options_.move; ++i) moving_.push_back(mac(static_cast<std::size_t>(options_.vanish + i)));
  for (int i = 0; i < options_.appear; ++i) appearing_.push_back(mac(n - static_cast<std::size_t>(options_.appear - i)));
}

bool TimedChanges::Open() {
  for (const std::string& mac : appearing_) devices_.Hide(mac);
  return true;
}

void TimedChanges::Serve(const StopSignal& stop) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  // Each change with its time, in the order they fall due.
  std::vector<std::pair<int, std::function<void()>>> timeline;
  for (const std::string& mac : appearing_) {
    timeline.emplace_back(options_.appear_ms, [this, mac] {
      devices_.Show(mac);
      devices_.Update([&](std::vector<tComUnitInfo>& list) {
        for (const tComUnitInfo& d : list)
          if (FieldText(d.mac) == mac) log_.Linef("appear %s %s", mac.c_str(), std::string(FieldText(d.ip)).c_str());
      });
    });
  }
  for (const std::string& mac : vanishing_) {
    timeline.emplace_back(options_.vanish_ms, [this, mac] {
      devices_.Update([&](std::vector<tComUnitInfo>& list) {
        for (auto it = list.begin(); it != list.end();) {
          if (FieldText(it->mac) != mac) {
            ++it;
            continue;
          }
          log_.Linef("vanish %s %s", mac.c_str(), std::string(FieldText(it->ip)).c_str());
          it = list.erase(it);
        }
      });
    });
  }
  for (const std::string& mac : moving_) {
    timeline.emplace_back(options_.move_ms, [this, mac] {
      devices_.Update([&](std::vector<tComUnitInfo>& list) {
        for (tComUnitInfo& d : list) {
          if (FieldText(d.mac) != mac) continue;
          const std::string old_ip(FieldText(d.ip));
          SetField(d.ip, MovedAddress(old_ip));
          log_.Linef("move %s %s -> %s", mac.c_str(), old_ip.c_str(), std::string(FieldText(d.ip)).c_str());
        }
      });
    });
  }
  std::stable_sort(timeline.begin(), timeline.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [at_ms, change] : timeline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        start + std::chrono::milliseconds(at_ms) - Clock::now());
    if (left.count() > 0 && !stop.SleepFor(static_cast<int>(left.count()))) return;
    if (stop.Requested()) return;
    change();
  }
}
