// The SSDP announcements of this machine's networks, heard between searches:
// ssdp:alive and ssdp:byebye NOTIFY requests to 239.255.255.250:1900, the
// multicast group every UPnP stack shares by design. The listener's socket is
// bound to the group's address and port with address and port reuse (so it
// takes no unicast datagram meant for another program on port 1900) and has
// joined the group on every interface that can multicast; it sends nothing.
// A root device's ssdp:alive can lead to its description being fetched and
// read as the UPnP search reads descriptions.
//
// Plain POSIX sockets rather than GSSDP: a GSSDP client binds sockets of its
// own for searching and its browsers send M-SEARCH requests, while the
// listener must only listen; and the datagrams it takes are few and simple.
//
// Thread: the listener reads on a thread of its own (a GLib main context of
// its own), where its handlers run; Start(), Fetch() and destruction may come
// from any one other thread.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "upnp/device_information.h"

// One NOTIFY request of a device.
struct SsdpNotice {
  bool alive = false;  // ssdp:alive; else ssdp:byebye
  std::string nt;      // what it announces: "upnp:rootdevice", a UDN, a device or service type
  std::string udn;     // the device's unique name, from the USN ("uuid:...")
  std::string location;  // the description's URL (alive only)
};

// Reads a NOTIFY datagram (header names in any case, CRLF or LF line ends).
// nullopt for anything else (M-SEARCH requests, answers), and for a NOTIFY
// whose NTS is neither ssdp:alive nor ssdp:byebye, whose USN names no UDN,
// or, alive, that has no LOCATION.
std::optional<SsdpNotice> ParseSsdpNotify(std::string_view datagram);

// Whether `location` is an http:// URL of printable ASCII whose host is
// `sender` (a dotted quad), with no user part and a port of digits if any:
// only such descriptions are fetched, so that an announcement cannot send
// the program to any other host.
bool LocationOnSender(std::string_view location, std::string_view sender);

// Datagrams longer than this are dropped (real announcements are a few
// hundred bytes).
constexpr std::size_t kSsdpDatagramLimit = 8192;

// What the listener hands on of one datagram from `sender` (a dotted quad):
// any ssdp:byebye, as ParseSsdpNotify reads it; an ssdp:alive only of a root
// device (NT upnp:rootdevice) whose LOCATION is on the sender
// (LocationOnSender). nullopt for anything else, and for a datagram longer
// than kSsdpDatagramLimit.
std::optional<SsdpNotice> ReadSsdpNotice(std::string_view datagram, std::string_view sender);

// Descriptions fetched at once, at most; further requests are dropped.
constexpr std::size_t kAnnouncedFetchLimit = 8;
// A fetch gives up after this long.
constexpr int kAnnouncedFetchSeconds = 5;

class SsdpListener {
 public:
  // Each runs on the listener's thread.
  struct Handlers {
    // A root device's ssdp:alive (NT upnp:rootdevice) whose LOCATION is on
    // the address it came from (LocationOnSender).
    std::function<void(const std::string& udn, const std::string& location)> alive;
    // Any ssdp:byebye, with the address it came from (a dotted quad): the
    // receiver decides whether that is the device's own.
    std::function<void(const std::string& udn, const std::string& sender)> byebye;
    // A device whose description Fetch() read, with the interface its
    // announcement came in on; not called when the fetch failed.
    std::function<void(const UpnpDeviceProperties& device)> described;
  };

  explicit SsdpListener(Handlers handlers);
  // Stops the thread; fetches under way are given up.
  ~SsdpListener();
  SsdpListener(const SsdpListener&) = delete;
  SsdpListener& operator=(const SsdpListener&) = delete;

  // Opens the socket, joins the group and starts the thread. False with
  // *error when the socket cannot be opened. Interfaces that come later are
  // joined within a few seconds. Does nothing once started.
  bool Start(std::string* error);

  // Fetches the description at `location` of the root device `udn` (as an
  // alive handed over), unless kAnnouncedFetchLimit fetches are under way.
  void Fetch(const std::string& udn, const std::string& location);

 private:
  struct Thread;
  std::unique_ptr<Thread> thread_;
  Handlers handlers_;
};
