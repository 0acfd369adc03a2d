// Root devices' descriptions fetched over HTTP side by side and read as the
// UPnP search reads them (upnp_description.h, then GUPnP's device
// information): the UPnP finder fetches those its search hears of, the SSDP
// listener those a device announces. Each fetch is bounded in size
// (kUpnpDescriptionLimit, gupnp_finder.h) and may be bounded in time; the
// session runs at most kUpnpFetchConnections connections,
// kUpnpFetchConnectionsPerServer to one server.
//
// Lifetime: no fetch outlives its owner. The destructor cancels every fetch
// still running and iterates the context until each has ended (its Done not
// called); a fetch whose callback could still come after that is detached
// from the owner and frees itself, touching nothing else.
//
// Thread: the one whose thread-default GLib main context was current when
// the fetches were made; every call and every callback happens there, while
// that context is iterated.
#pragma once

#include <libgupnp/gupnp.h>
#include <libsoup/soup.h>

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "upnp/device_information.h"
#include "upnp/gupnp_finder.h"

class DescriptionFetches {
 public:
  // Called once per fetch: the root device read, with the interface given to
  // Start(); or nullopt and why not ("" when the fetch was cancelled).
  using Done = std::function<void(std::optional<UpnpDeviceProperties> device, const std::string& why)>;

  // A session of its own under the thread-default main context.
  DescriptionFetches();
  // Cancels the fetches still running and iterates the context until their
  // callbacks have run (kCloseBound at most, then what is left is detached);
  // their Done is not called.
  ~DescriptionFetches();
  static constexpr std::chrono::seconds kCloseBound{10};
  DescriptionFetches(const DescriptionFetches&) = delete;
  DescriptionFetches& operator=(const DescriptionFetches&) = delete;

  // Fetches the description at `location` and reads the device `udn` in it.
  // `context` is the GUPnP context the device was heard on (a reference is
  // kept while reading; null when none). With a `deadline` above zero the
  // fetch is given up that long after it started. False, with *why and
  // without calling `done`, when `location` is no usable URL.
  bool Start(const std::string& udn, const std::string& location, const std::string& interface,
             GUPnPContext* context, std::chrono::milliseconds deadline, Done done, std::string* why);

  std::size_t Running() const { return fetches_.size(); }
  // Cancels every fetch still running; each Done comes (with why "") once
  // the context is iterated.
  void CancelAll();
  // Fetches the destructor detached because their callbacks had not come
  // within kCloseBound, in this process so far (a test's measure).
  static int DetachedEver();

  struct Fetch;

 private:
  GMainContext* context_;
  SoupSession* session_;
  std::set<Fetch*> fetches_;
  bool closing_ = false;
};
