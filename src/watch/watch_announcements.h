// The SSDP announcements of a live watch: the listener (upnp/ssdp_listener.h)
// heard on its own thread, each notice handed to the watch's thread and to
// the watch there; and the descriptions the watch asks for, fetched by the
// listener and given back as devices the merge would list.
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "protocol/debug_log.h"
#include "watch/device_watch.h"
#include "upnp/ssdp_listener.h"

class WatchAnnouncements : public DescriptionRequests {
 public:
  // Thread: the watch's, whose Qt event loop must run. `log`, when given,
  // takes a line for each byebye ignored because it did not come from the
  // device; it must outlive this.
  explicit WatchAnnouncements(DebugLog* log = nullptr);
  // Stops the listener; notices not yet handed over are dropped.
  ~WatchAnnouncements() override;

  // The watch that takes the notices (null: none); it must outlive this or
  // be unset first.
  void SetWatch(DeviceWatch* watch) { watch_ = watch; }
  // Starts listening; false with *error when the group's socket cannot be
  // opened (the watch then goes on without announcements).
  bool Start(std::string* error);

  void Request(const std::string& udn, const std::string& location) override;

 private:
  DeviceWatch* watch_ = nullptr;
  QObject context_;  // receives the notices on the watch's thread
  std::unique_ptr<SsdpListener> listener_;
};
