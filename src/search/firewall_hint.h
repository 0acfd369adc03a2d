// The hint that a host firewall may be dropping a search's answers. A local
// broadcast search that hears no answer at all, neither to its broadcast nor
// to its M-SEARCH requests, most often has a firewall on this machine in its
// way (ufw, firewalld: the answers are not replies it tracks); the hint says
// which ports to open and where to read how. A search that heard anything,
// and one whose answers were not counted, gives no hint.
//
// Plain functions and one flag: any thread, no locks.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>

// The debug log's line, once per search that heard nothing:
// "No answer at all: a firewall on this machine may drop the replies to UDP
// port 6667 and to the M-SEARCH port 6668; see \"Firewall\" in the README or
// FIREWALL in man device-search"
extern const char kFirewallHintLog[];

// What one search heard, for the hint.
struct SearchHearing {
  bool broadcast = false;  // a local broadcast went out (not a relay, not without interfaces)
  // Datagrams that reached the reply port; nullopt when not counted.
  std::optional<std::size_t> answers;
  bool with_upnp = false;  // the search had a UPnP phase ...
  // ... whose M-SEARCH requests got this many SSDP replies; nullopt when not
  // counted.
  std::optional<std::size_t> upnp_replies;
};

// True for a broadcast whose answers were counted and are none, and, with a
// UPnP phase, whose replies were counted and are none.
bool HeardNothing(const SearchHearing& hearing);

// The hint on standard error, at most once in a program's run, however many
// searches it runs (a watch searches again and again).
class FirewallHintOnce {
 public:
  // Writes "device-search: " and the hint to `out` the first time only;
  // true when it wrote.
  bool Tell(std::ostream& out);

 private:
  bool told_ = false;
};
