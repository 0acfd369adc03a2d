// The simulator's command line: where its devices come from and how its UDP
// and TCP services behave. Modules added later bring their own fields here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TcpFault { kNone, kClose, kSilent, kSlow, kTrickle, kFlood, kReset };

struct SimOptions {
  // Devices: from a file, generated, or both (file first).
  std::string file;                        // --file F
  int count = 0;                           // --count N
  std::string ip_base = "10.99.1.1";       // --ip-base A: first generated address
  std::vector<std::string> models{"M100"}; // --models A,B,..: cycled over the devices
  std::vector<std::string> projs{"P1"};    // --projs A,B,..
  std::vector<std::string> ports{"80"};    // --ports A,B,..
  std::string name_prefix = "Cam";         // --name-prefix S: names S1, S2, ...
  bool shuffle = false;                    // --shuffle: list order shuffled by --seed
  bool high_bytes = false;                 // --high-bytes: names hold bytes above 127
  int long_fields = 0;                     // --long-fields N: N more devices whose
                                           // packet fields are 1,000 characters long
  std::uint32_t seed = 1;                  // --seed N: delays and shuffling

  // Devices that come, go and move (timed_changes.h); times from "ready".
  int appear = 0, appear_ms = 10000;       // --appear N, --appear-ms MS
  int vanish = 0, vanish_ms = 10000;       // --vanish N, --vanish-ms MS
  int move = 0, move_ms = 10000;           // --move N, --move-ms MS

  // UDP discovery on port 6666.
  bool udp = true;                         // --no-udp
  int per_datagram = 1;                    // --per-datagram K
  int delay_ms = 0;                        // --delay-ms MAX
  bool answer_twice = false;               // --answer-twice
  bool answer_broadcast = false;           // --answer-broadcast
  bool garbage = false;                    // --garbage
  int flood_ms = 0;                        // --flood-ms N
  int flood_interval_ms = 20;              // --flood-interval-ms N
  int flood_burst = 1;                     // --flood-burst N
  std::vector<int> junk_sizes;             // --junk-sizes A,B,..
  int junk_random = 0;                     // --junk-random N

  // TCP relay on port 6666.
  bool tcp = true;                         // --no-tcp
  TcpFault tcp_fault = TcpFault::kNone;    // --tcp-fault close|silent|slow|trickle|flood|reset
  int slow_byte_ms = 10;                   // --slow-byte-ms N
  int tcp_flood_bytes = 10 * 1024 * 1024;  // --tcp-flood-bytes N

  // HTTP relay (off unless --http).
  bool http = false;                       // --http
  int http_port = 80;                      // --http-port N
  bool http_no_items = false;              // --http-no-items
  int http_delay_ms = 0;                   // --http-delay-ms N
  bool http_endless = false;               // --http-endless
  int http_stall_after = -1;               // --http-stall-after BYTES
  int http_padding = 0;                    // --http-padding BYTES
  std::string http_redirect;               // --http-redirect LOCATION

  // UPnP root devices (none unless one of the counts is given).
  int upnp_axis = 0;                       // --upnp-axis N
  int upnp_vivotek = 0;                    // --upnp-vivotek N
  int upnp_other = 0;                      // --upnp-other N
  int upnp_silent = 0;                     // --upnp-silent N
  std::string upnp_interface;              // --upnp-interface IF
  std::string upnp_address;                // --upnp-address A
  std::vector<std::string> upnp_hostile;   // --upnp-hostile KIND,..
  int upnp_huge_bytes = 20000000;          // --upnp-huge-bytes N
  bool upnp_mx_honour = true;              // --upnp-mx-honour on|off
  bool upnp_cache_control = true;          // --upnp-no-cache-control
  bool upnp_notify_only = false;           // --upnp-notify-only
  bool upnp_pretty = false;                // --upnp-pretty
  int upnp_appear = 0, upnp_appear_ms = 10000;  // --upnp-appear N, --upnp-appear-ms MS
  int upnp_byebye = 0, upnp_byebye_ms = 10000;  // --upnp-byebye N, --upnp-byebye-ms MS
  int ssdp_flood = 0;                      // --ssdp-flood RATE
  int ssdp_flood_ms = 0;                   // --ssdp-flood-ms MS

  // ONVIF cameras and other WS-Discovery responders (onvif_host.h; none
  // unless one of the counts or hostile kinds is given).
  int onvif = 0;                           // --onvif N
  int onvif_computer = 0;                  // --onvif-computer N
  std::vector<std::string> onvif_hostile;  // --onvif-hostile KIND,..
  std::string onvif_address;               // --onvif-address A
  int onvif_http_port = 80;                // --onvif-http-port N
  int onvif_delay_ms = 300;                // --onvif-delay-ms MAX
  bool onvif_plain = false;                // --onvif-plain
  int onvif_appear = 0, onvif_appear_ms = 10000;  // --onvif-appear N, --onvif-appear-ms MS
  int onvif_bye = 0, onvif_bye_ms = 10000;        // --onvif-bye N, --onvif-bye-ms MS
  int onvif_move = 0, onvif_move_ms = 10000;      // --onvif-move N, --onvif-move-ms MS

  // Control packages (flag 03).
  int restart_ms = 0;                      // --restart-ms N
  std::vector<std::string> ignore_control; // --ignore-control MAC,..

  bool help = false;                       // --help
};

// Parses the arguments after the program name. False with a one-line
// message in *error on an unknown option, a missing or bad value.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions* options, std::string* error);

// The --help text.
std::string SimUsage();
