// The simulator's SSDP side: answers the M-SEARCH requests for its root
// devices and announces them by NOTIFY, the way devices in the field do, with
// the variations the tests need: an answer at once (as many devices do) or
// after a random time up to the request's MX (as devices should), with or
// without a Cache-Control header, or no answer at all and an announcement
// every 200 ms instead.
//
// Log lines (to the given stream):
//   "upnp search from A:P st=S mx=N"   for every M-SEARCH heard
//   "upnp alive UDN" / "upnp byebye UDN"   a device that appears or leaves
//                                      while the responder runs
#pragma once

#include <gio/gio.h>
#include <netinet/in.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// One root device as SSDP knows it.
struct SsdpDevice {
  std::string udn;       // "uuid:..."
  std::string location;  // the URL of its description
  // It answers and announces only from appear_ms on (0: from the start) and,
  // when byebye_ms is not negative, says bye-bye then and falls silent; both
  // from Start().
  int appear_ms = 0;
  int byebye_ms = -1;
};

struct SsdpOptions {
  bool mx_honour = true;      // --upnp-mx-honour on|off
  bool cache_control = true;  // off: --upnp-no-cache-control
  bool notify_only = false;   // --upnp-notify-only
};

// How often a notify-only responder announces its devices.
constexpr int kSsdpNotifyIntervalMs = 200;

// An M-SEARCH request: its search target and MX.
struct SsdpSearch {
  std::string st;
  int mx = 0;
};

// Reads an M-SEARCH request (header names in any case, CRLF or LF line
// ends). nullopt for anything else, and for a request without MAN
// "ssdp:discover", without ST, or without an MX of at least 1.
std::optional<SsdpSearch> ParseSsdpSearch(std::string_view datagram);

// True when `device` answers a search for `st`: "ssdp:all",
// "upnp:rootdevice" or its own UDN.
bool SsdpAnswers(const SsdpDevice& device, const std::string& st);

// The answer of `device` to a search for `st`, with CRLF line ends.
std::string SsdpAnswer(const SsdpDevice& device, const std::string& st, bool cache_control);

// The root device announcement of `device`, `nts` "ssdp:alive" or
// "ssdp:byebye", with CRLF line ends.
std::string SsdpNotify(const SsdpDevice& device, const std::string& nts, bool cache_control);

class SsdpResponder {
 public:
  SsdpResponder(std::vector<SsdpDevice> devices, SsdpOptions options, std::ostream& log);
  // Says bye-bye for every device and stops.
  ~SsdpResponder();
  SsdpResponder(const SsdpResponder&) = delete;
  SsdpResponder& operator=(const SsdpResponder&) = delete;

  // Listens on UDP port 1900 for the SSDP group through the interface that
  // has `host_ip`, under the calling thread's default GLib main context
  // (which must run for it to answer), and announces every device. False
  // with *error when it cannot.
  bool Start(const std::string& host_ip, std::string* error);

 private:
  struct Answer;
  static gboolean OnReadable(GSocket* socket, GIOCondition condition, gpointer self);
  static gboolean OnAnswerDue(gpointer answer);
  static void FreeAnswer(gpointer answer);
  static gboolean OnNotifyDue(gpointer self);
  static gboolean OnAppearDue(gpointer change);
  static gboolean OnByebyeDue(gpointer change);
  void Receive();
  void SendTo(const std::string& text, const sockaddr_in& to);
  void Announce(const std::string& nts);
  void AttachTimer(GSource* timer);
  void ScheduleChanges();

  std::vector<SsdpDevice> devices_;
  SsdpOptions options_;
  std::ostream& log_;
  std::mt19937 random_;
  int fd_ = -1;
  sockaddr_in group_{};
  GSocket* socket_ = nullptr;  // over fd_
  GSource* reader_ = nullptr;
  GSource* notifier_ = nullptr;
  std::set<GSource*> answers_;  // answers waiting for their time
  std::vector<bool> present_;    // by device: it answers and announces
  struct Change;
  std::vector<GSource*> changes_;  // appear and bye-bye timers, until the end
};
