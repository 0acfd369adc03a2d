// The simulator's ONVIF side: cameras (and recorders) that answer
// WS-Discovery Probes on 239.255.255.250:3702 and serve GetDeviceInformation
// over HTTP, with the variations real cameras show; a computer-like
// responder (types wsdp:Device pub:Computer, as Windows hosts and Debian's
// wsdd announce); and hostile responders whose answers are malformed.
//
// Cameras vary by their index i (unless plain): i % 6 == 1 answers from a
// random source port, 2 answers twice, 3 writes other prefixes, 4 waits a
// random time up to delay_ms, 5 is a recorder (types tds:Device only) that
// answers any Probe; the others answer a Probe whose Types name
// NetworkVideoTransmitter or Device (by local name) or none. i % 4 == 3 asks
// for credentials (HTTP 401) instead of answering GetDeviceInformation; i %
// 5 == 2 lists a host-name and an IPv6 XAddr before its IPv4 one; i % 3 == 1
// has a UTF-8 name; odd ones answer in chunks.
//
// Log lines (standard output, through the simulator's log):
//   "onvif ready N responders"                     once its sockets are bound
//   "onvif probe from A:P types=T id=ID"           for every Probe heard
//   "onvif answer E to A:P"                        each answer sent
//   "onvif hello E" / "onvif bye E"                 announcements (start, stop, timed)
//   "onvif move E -> XADDR"                        a camera whose XAddr changes
//   "onvif details E from A:P status=N credentials=no|yes"
//                                                  each details request served
#pragma once

#include <string>
#include <vector>

#include "onvif_messages.h"
#include "sim_log.h"
#include "sim_module.h"

struct OnvifHostOptions {
  int cameras = 0;     // --onvif N
  int computers = 0;   // --onvif-computer N
  // --onvif-hostile K,..: one more responder per kind: truncated (cut XML),
  // dtd (a DTD with nested entities), foreign (a RelatesTo of no Probe),
  // no-xaddrs (a camera without XAddrs), huge (200 scopes, 20 XAddrs, a
  // 2,000-byte name), elsewhere (a camera whose XAddr is another host),
  // fault (details answer a SOAP fault), stall (details never answer).
  std::vector<std::string> hostile;
  std::string address;  // --onvif-address A: the devices' side (required)
  int http_port = 80;   // --onvif-http-port N (and N + 1 for moved cameras)
  int delay_ms = 300;   // --onvif-delay-ms MAX: the waiting cameras' longest wait
  bool plain = false;   // --onvif-plain: no variations
  // Timed, from "ready" (like --upnp-appear, --upnp-byebye): the last
  // `appear` cameras answer nothing until appear_ms, then say Hello; the first
  // `bye` cameras say Bye at bye_ms and answer no more; the `move` cameras
  // after them take an XAddr on port http_port + 1 at move_ms and say Hello.
  int appear = 0, appear_ms = 10000;
  int bye = 0, bye_ms = 10000;
  int move = 0, move_ms = 10000;
};

// One planned responder.
struct OnvifSimResponder {
  OnvifSimCamera camera;
  bool camera_like = true;  // a camera or recorder (else a computer or hostile)
  std::string hostile;      // its hostile kind, "" for none
  bool random_port = false, twice = false, any_probe = false;
  bool credentials = false, fault = false, stall = false, chunked = false;
  int delay_ms = 0;  // the longest wait before answering
  std::string path;  // its device service's path
  int appear_ms = 0, bye_ms = -1, move_ms = -1;
};

// The responders for `o`: the cameras, the computers, the hostile ones.
std::vector<OnvifSimResponder> PlanOnvifResponders(const OnvifHostOptions& o);

class OnvifHost : public SimModule {
 public:
  OnvifHost(OnvifHostOptions options, SimLog& log);
  ~OnvifHost() override;
  std::string Name() const override { return "onvif"; }
  bool Open() override;
  void Serve(const StopSignal& stop) override;

  struct State;

 private:
  OnvifHostOptions options_;
  SimLog& log_;
  State* state_;
};
