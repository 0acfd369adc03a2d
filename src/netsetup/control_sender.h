// How the Network Setup dialog hands an encoded control package to the
// network. The dialog and its rules only see this interface; the default
// implementation uses the discovery transport, tests supply their own.
#pragma once

#include "protocol/debug_log.h"
#include "protocol/device_table.h"

class ControlPackageSender {
 public:
  virtual ~ControlPackageSender() = default;
  // Sends one encoded (complemented, Base64) control package, zero-terminated.
  // 0 when the datagram went out, -1 otherwise. Failures are logged by the
  // implementation; nothing is shown.
  virtual int Send(const char* encoded) = 0;
};

// The way a search sends: opens the reply socket on UDP port 6667 (address
// reuse, every local address), and if that worked sends the package from a
// fresh socket to UDP port 6666 of the limited broadcast address or, with
// "IP Relay" set in `settings`, of the relay address; then closes the reply
// socket. No answer is read. `settings` and `log` must outlive the sender;
// the settings are read at each send.
class UdpControlPackageSender : public ControlPackageSender {
 public:
  UdpControlPackageSender(const SearchSettings& settings, DebugLog& log)
      : settings_(settings), log_(log) {}
  int Send(const char* encoded) override;

 private:
  const SearchSettings& settings_;
  DebugLog& log_;
};
