// The UPnP root-device finder over GSSDP and GUPnP: a search on IPv4 on every
// usable network interface, bounded in time, whose M-SEARCH requests leave
// from a fixed port that a firewall can open, and whose device descriptions
// are fetched side by side on a session of its own.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "upnp/upnp_finder.h"

// When a search asks and how long it listens.
struct UpnpSearchTiming {
  // The MX of the M-SEARCH requests: devices answer within this time.
  int mx_seconds;
  // One more M-SEARCH this long after the first (UDP gets lost); zero: none
  // besides GSSDP's own, which repeats every 500 ms.
  std::chrono::milliseconds repeat_after;
  // Announcements (answers and NOTIFYs) are taken until this long after the
  // first M-SEARCH.
  std::chrono::milliseconds window;
  // Descriptions still being fetched when the window closes get at most this
  // much longer.
  std::chrono::milliseconds grace;
};

// The search every search runs: the second M-SEARCH within 150 ms, the final
// count about 1.2 s after the first.
constexpr UpnpSearchTiming kUpnpSearchTiming{1, std::chrono::milliseconds(150),
                                             std::chrono::milliseconds(1200),
                                             std::chrono::milliseconds(500)};
// The earlier, slower timing (MX 2, a 3 s window, 1 s grace), kept so that
// the load benchmark can set the two side by side.
constexpr UpnpSearchTiming kUpnpSearchTimingBefore{2, std::chrono::milliseconds(0),
                                                   std::chrono::milliseconds(3000),
                                                   std::chrono::milliseconds(1000)};

// At most about this many bytes of one description are read: a longer one
// (or one that never ends) is cut off there and its device is not taken.
// Real descriptions are a few kilobytes.
constexpr long long kUpnpDescriptionLimit = 1048576;
// Description fetches that may run at once, in all and to one server (one
// address and port): enough that servers that never answer cannot hold up
// the descriptions of real devices.
constexpr int kUpnpFetchConnections = 256;
constexpr int kUpnpFetchConnectionsPerServer = 16;
// Fetches one search keeps under way at once for the replies to its own
// M-SEARCH requests, and, on top of those, for the announcements it hears
// (as many as the watch's SSDP listener follows): a host that floods the
// group with announcements holds at most the latter. A device heard of
// beyond them is dropped, and counted in the account.
constexpr std::size_t kUpnpSearchFetchLimit = 64;
constexpr std::size_t kUpnpAnnouncedFetchLimit = 8;

// One IPv4 address that the search runs on.
struct UpnpSearchAddress {
  std::string label;      // the address's interface label: "eth0", or "eth0:1" for an alias
  std::string interface;  // the interface's name: the label up to its ':'
  std::string address;    // "192.168.1.20"
};
// Whether an interface with these flags (IFF_*) is searched: up, and able to
// multicast or loopback, and not point-to-point (GUPnP's own choice).
bool IsUpnpSearchInterface(unsigned flags);
// Every IPv4 address of every such interface, in the order the system lists
// them. Read afresh at each call.
std::vector<UpnpSearchAddress> UpnpSearchAddresses();
// Whether a UDP socket may bind `port` on `address` without address reuse,
// that is, whether no other socket holds it. (GSSDP binds its M-SEARCH socket
// with reuse, so without this test two searches would share the port and
// one of them would lose the replies.)
bool UdpPortFree(const std::string& address, int port);

// Every GLib, GSSDP and GUPnP object is created, used and released inside
// FindRootDevices, on the calling thread, under a main context of its own.
// There is one GUPnP context per address of UpnpSearchAddresses(); each sends
// its M-SEARCH requests from kUpnpMsearchPort (upnp_account.h) when it is
// free there, else from a random port, which the account tells. A context
// also serves HTTP, idle, on the same port.
// A root device's description is asked for once per search, by the first
// reply or ssdp:alive of its unique device name on any interface, while the
// window is open: a reply's whatever its LOCATION, an announcement's only
// when its LOCATION is on the host that sent it; each kind within its limit
// of fetches under way (kUpnpSearchFetchLimit, kUpnpAnnouncedFetchLimit).
// A fetch for a reply may run until the grace ends, what is left of the
// window plus the grace; the search ends as soon as the window has closed
// and no fetch for a reply runs, and gives up the fetches still running.
// Descriptions are fetched and read by DescriptionFetches
// (description_fetch.h); each device read is handed to the on-device
// callback (UpnpFinder::SetOnDevice) at once. Texts are read from the
// description with the white space around them taken off. The libraries'
// messages go to the library log (library_log.h); each description it could
// not take goes into the account, with the reason.
class GupnpFinder : public UpnpFinder {
 public:
  explicit GupnpFinder(UpnpSearchTiming timing = kUpnpSearchTiming) : timing_(timing) {}
  bool FindRootDevices(std::chrono::steady_clock::time_point started,
                       std::vector<UpnpDeviceProperties>& devices, UpnpSearchAccount& account) override;

 private:
  UpnpSearchTiming timing_;
};
