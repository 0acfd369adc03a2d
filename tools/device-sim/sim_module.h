// One service of the simulator (UDP discovery, TCP relay, HTTP relay,
// UPnP hosting, ...). main() constructs each module with the shared
// DeviceSet and SimLog, opens them all on the main thread, prints "ready",
// then runs every module's Serve() on a thread of its own until SIGINT or
// SIGTERM, when it requests the stop signal and joins the threads.
#pragma once

#include <string>

#include "stop_signal.h"

class SimModule {
 public:
  virtual ~SimModule() = default;

  // A short name for messages ("udp", "tcp").
  virtual std::string Name() const = 0;

  // Binds the module's sockets. On failure, writes a message to standard
  // error and returns false; the simulator then exits with status 1.
  virtual bool Open() = 0;

  // Serves until `stop` is requested, then returns promptly: block only in
  // poll() with stop.Fd() among the descriptors (or in stop.SleepFor()).
  // Closes everything the module opened.
  virtual void Serve(const StopSignal& stop) = 0;
};
