// How the Network Setup dialog hands an encoded control package to the
// network. The dialog and its rules only see this interface; the default
// implementation uses the discovery transport, tests supply their own.
#pragma once

#include <string>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"

class ControlPackageSender {
 public:
  virtual ~ControlPackageSender() = default;
  // The interface on which the device that the next packages are for was
  // seen ("" when unknown). A sender that does not route by interface
  // ignores it.
  virtual void SetDeviceInterface(const std::string& interface) { (void)interface; }
  // The address that device has now: its record's ip text ("" when
  // unknown). A sender that sends out of an interface sends from the
  // interface's address in that device's subnet. Others ignore it.
  virtual void SetDeviceAddress(const std::string& ip) { (void)ip; }
  // Sends one encoded (complemented, Base64) control package, zero-terminated.
  // 0 when the datagram went out, -1 otherwise. Failures are logged by the
  // implementation; nothing is shown.
  virtual int Send(const char* encoded) = 0;
};

// The way a search sends: opens the reply socket on UDP port 6667 (address
// reuse, every local address), and if that worked sends the package to UDP
// port 6666: with "IP Relay" set in `settings`, from a fresh socket to the
// relay address, routed as any datagram (a relay text that is no dotted quad
// is named in the debug log, RelayTextNote); otherwise as a limited broadcast out
// of the interface the device was seen on, so that a device in another
// subnet or on a network without a default route gets it, or out of every
// interface (those of settings.interfaces when it names some) when that one
// is unknown or gone. Out of each interface it goes once, from the
// interface's address in the device's subnet when it has one, else from its
// first address. The interfaces are read afresh at each send and the ones
// the package went out of are named in the debug log. Then closes the reply
// socket. No answer is read. 0 when at least one datagram went out.
// `settings` and `log` must outlive the sender; the settings are read at
// each send.
class UdpControlPackageSender : public ControlPackageSender {
 public:
  UdpControlPackageSender(const SearchSettings& settings, DebugLog& log)
      : settings_(settings), log_(log) {}
  void SetDeviceInterface(const std::string& interface) override { interface_ = interface; }
  void SetDeviceAddress(const std::string& ip) override { device_ip_ = ip; }
  int Send(const char* encoded) override;

 private:
  const SearchSettings& settings_;
  DebugLog& log_;
  std::string interface_;
  std::string device_ip_;
};

// Log lines of UdpControlPackageSender (printf formats).
extern const char kControlSentOnLog[];       // "Control package sent on %s\n"
extern const char kControlInterfaceGoneLog[];
// "Interface %s is gone; the control package goes out of every interface\n"
extern const char kNoControlInterfaceLog[];
// "No network interface to send the control package on\n"
