// The ONVIF finder over POSIX sockets: a WS-Discovery search on IPv4 out of
// every interface the protocol's broadcast uses (interfaces.h), from each of
// their IPv4 addresses, with the Probes leaving from a fixed port that a
// firewall can open, and each device's details asked for without credentials.
//
// One search, in Find():
//   - a UDP socket per IPv4 address of each interface (those named by the
//     interface filter, when one is set), bound to that address and
//     kOnvifProbePort, or to a random port when that is taken there (the
//     account says so); no address reuse, so two searches never share it;
//   - out of each socket, at once, a Probe for dn:NetworkVideoTransmitter
//     and one for tds:Device to kOnvifGroup:kOnvifDiscoveryPort, and both
//     again `repeat_after` later, each Probe with a MessageID of its own;
//   - answers are taken (probe_intake.h) until `window` after the first
//     Probe; then every UDP socket is closed;
//   - each device taken whose XAddr is on the host that answered
//     (DetailsXaddr) gets one GetDeviceInformation POST there
//     (device_details.h), at most kOnvifDetailsAtOnce at once, each bounded
//     by `details_timeout` and kOnvifDetailsLimit bytes, no redirect
//     followed, never a password. Details still running (or waiting) when
//     the window has closed get at most `grace` more, then are given up;
//   - each device is handed to the on-device callback as soon as it is
//     final: at once when no details are asked for, else when they are read,
//     refused or given up (a 401 or a SOAP fault keeps the device as its
//     scopes give it).
// The window counts from the first Probe, which goes out as soon as Find
// has opened its sockets (so `started` bounds nothing more). Nothing is held
// after Find returns: every socket is closed, port kOnvifProbePort included.
//
// The details client is a small non-blocking HTTP/1.1 client over POSIX
// sockets driven by the same poll() loop as the UDP sockets: the search
// stays one thread with one loop, needs no Qt event loop on its worker
// thread, and its bounds (bytes, time, no redirects) are its own.
//
// Thread: Find runs on the calling thread (a worker), one call at a time;
// the callback runs there too.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "onvif/onvif_finder.h"

// When a search probes and how long it listens.
struct OnvifSearchTiming {
  // The second round of Probes this long after the first.
  std::chrono::milliseconds repeat_after;
  // Answers are taken until this long after the first Probe.
  std::chrono::milliseconds window;
  // Details still running when the window closes get at most this much longer.
  std::chrono::milliseconds grace;
  // One details request gives up this long after it started.
  std::chrono::milliseconds details_timeout;
};

// The search every search runs: beside the UPnP search, ending with it
// (kUpnpSearchTiming: a 1.2 s window).
constexpr OnvifSearchTiming kOnvifSearchTiming{std::chrono::milliseconds(150), std::chrono::milliseconds(1200),
                                               std::chrono::milliseconds(300), std::chrono::milliseconds(1000)};

// Details requests under way at once, and the bytes one response may have.
constexpr int kOnvifDetailsAtOnce = 8;
constexpr std::size_t kOnvifDetailsLimit = 65536;

class WsDiscoveryFinder : public OnvifFinder {
 public:
  // `interfaces`: the names to search on (as --interface gives them); empty:
  // every interface the broadcast uses.
  explicit WsDiscoveryFinder(OnvifSearchTiming timing = kOnvifSearchTiming, std::vector<std::string> interfaces = {})
      : timing_(timing), interfaces_(std::move(interfaces)) {}

  bool Find(std::chrono::steady_clock::time_point started, std::vector<OnvifDevice>& devices,
            OnvifSearchAccount& account) override;

 private:
  OnvifSearchTiming timing_;
  std::vector<std::string> interfaces_;
};
