// Hostile UPnP root devices for the simulator: each is announced over SSDP
// like any other, but its description comes from a small HTTP server of its
// own (a port each) that misbehaves on purpose, one kind per device (a kind
// may be given more than once: "stall,stall" is two stalling servers):
//
//   huge       a valid AXIS description padded to a given size (20 MB by default)
//   malformed  broken XML: unclosed elements, stray bytes, a cut-off end
//   slow       a valid AXIS description, one byte every 100 ms (never done in time)
//   stall      reads the request and never answers
//   endless    a description whose body never ends, sent as fast as it is read
//   entities   nested entities ("billion laughs") that expand to gigabytes
//   long       a valid AXIS description whose texts are 1,000 characters long,
//              many of them above 127 (UTF-8)
//
// Log lines (to the given stream):
//   "upnp hostile <kind> request from A"
//   "upnp hostile <kind> sent N bytes"      when its connection ends
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

struct HostileUpnpDevice {
  std::string kind;
  std::string udn;       // "uuid:..."; the description (where it has one) names it too
  std::string location;  // "http://<address>:<port>/hostile-<kind>.xml", a port per kind
};

// The body a hostile device of `kind` starts with (for endless and slow the
// part sent before the misbehaviour; for stall nothing). `huge_bytes` sizes
// the huge kind. Exposed for tests.
std::string HostileDescriptionBody(const std::string& kind, const std::string& udn,
                                   std::size_t huge_bytes);

class HostileDescriptionServer {
 public:
  HostileDescriptionServer(std::vector<std::string> kinds, std::size_t huge_bytes,
                           std::ostream& log);
  // Stops and joins every thread.
  ~HostileDescriptionServer();
  HostileDescriptionServer(const HostileDescriptionServer&) = delete;
  HostileDescriptionServer& operator=(const HostileDescriptionServer&) = delete;

  // Listens on address, one free port per kind given, and serves on threads
  // of its own (one per connection). False with *error when it cannot listen.
  bool Start(const std::string& address, std::string* error);
  // Ends every connection and joins the threads; called by the destructor.
  void Stop();

  // One device per kind, in the order given; valid after Start.
  const std::vector<HostileUpnpDevice>& Devices() const { return devices_; }

 private:
  void AcceptLoop();
  void Serve(int fd, std::string peer, const HostileUpnpDevice& device);
  void Log(const std::string& line);

  std::vector<std::string> kinds_;
  std::size_t huge_bytes_;
  std::ostream& log_;
  std::mutex log_mutex_;
  std::vector<HostileUpnpDevice> devices_;
  std::vector<int> listen_fds_;  // one per kind, in order
  int wake_[2] = {-1, -1};  // a pipe: written once to stop every loop
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::mutex threads_mutex_;
  std::vector<std::thread> threads_;
};
