// SSDP notices handed from the listener's thread to the watch.
#include "watch/watch_announcements.h"

#include "search/queued_call.h"
#include "watch/watch_round_search.h"

WatchAnnouncements::WatchAnnouncements(DebugLog* log) {
  QObject* context = &context_;
  SsdpListener::Handlers handlers;
  handlers.alive = [this, context](const std::string& udn, const std::string& location) {
    QueueCall(context, [this, udn, location] {
      if (watch_) watch_->Alive(udn, location);
    });
  };
  handlers.byebye = [this, context, log](const std::string& udn, const std::string& sender) {
    QueueCall(context, [this, udn, sender, log] {
      if (watch_ && !watch_->Byebye(udn, sender) && log)
        log->Append("Watch: ssdp:byebye of " + udn + " from " + sender +
                    " ignored: the device's description did not come from there\n");
    });
  };
  handlers.described = [this, context](const UpnpDeviceProperties& properties) {
    DeviceInformationContainer device;
    ReadDeviceInformation(properties, device);
    if (!IsWantedUpnpDevice(device)) return;
    std::optional<WatchedDevice> watched = WatchedUpnpDevice(device);
    if (!watched) return;
    QueueCall(context, [this, watched = std::move(*watched)]() mutable {
      if (watch_) watch_->Described(std::move(watched));
    });
  };
  listener_ = std::make_unique<SsdpListener>(std::move(handlers));
}

// The listener's thread ends before the context goes, so no call is queued
// to a dead receiver.
WatchAnnouncements::~WatchAnnouncements() { listener_.reset(); }

bool WatchAnnouncements::Start(std::string* error) { return listener_->Start(error); }

void WatchAnnouncements::Request(const std::string& udn, const std::string& location) {
  listener_->Fetch(udn, location);
}
