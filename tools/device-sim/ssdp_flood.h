// A hostile host on the link: it floods the SSDP group with ssdp:alive
// announcements, each of another root device (a UDN of its own), whose
// LOCATION is on a server of its own that accepts every connection, reads the
// request and never answers. A finder that follows each announcement queues
// thousands of fetches that never end.
//
// Log lines (to the given log):
//   "ssdp flood from A rate=N/s stall port P"   once it runs
//   "ssdp flood sent N held M"                  when it stops (announcements
//                                               sent, connections held at most)
#pragma once

#include <atomic>
#include <string>

#include "sim_log.h"

struct SsdpFloodOptions {
  std::string address;   // the announcing address (the devices' side); required
  int rate = 2000;       // announcements per second
  int duration_ms = 0;   // stop announcing after this long; 0: until stopped
  int held_limit = 4096; // connections held open at once; the oldest goes beyond it
};

// Announces and serves until `stop` is set (or the duration ends, after
// which connections are still held until `stop`). 0, or -1 at once with a
// line on standard error when it cannot start.
int RunSsdpFlood(const SsdpFloodOptions& options, std::atomic<bool>& stop, SimLog& log);
