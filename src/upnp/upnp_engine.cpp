// The UPnP engine's start, worker and teardown.
#include "upnp/upnp_engine.h"

#include <system_error>

#include "upnp/gupnp_finder.h"

const char kUpnpSearchEventName[] = "Upnp_Search_Event";

UpnpEngine::UpnpEngine() : finder_(std::make_unique<GupnpFinder>()) {}

UpnpEngine::UpnpEngine(std::unique_ptr<UpnpFinder> finder)
    : finder_(std::move(finder)) {}

UpnpEngine::~UpnpEngine() {
  if (worker_thread.joinable()) worker_thread.join();
  search_event.reset();
  results.clear();
}

bool UpnpEngine::StartSearch(const void* owner) {
  if (WorkerRunning() || owner == nullptr || !finder_) return false;
  // The previous worker has ended (it cleared worker_running_ last); this
  // join returns at once.
  if (worker_thread.joinable()) worker_thread.join();

  owner_window = owner;
  auto event = std::make_shared<SearchEvent>(kUpnpSearchEventName);
  search_event = event;
  const auto started = std::chrono::steady_clock::now();
  worker_running_.store(true, std::memory_order_release);
  try {
    worker_thread = std::thread(&UpnpEngine::SearchThreadProc, this, event, started);
  } catch (const std::system_error&) {
    worker_running_.store(false, std::memory_order_release);
    search_event.reset();
    owner_window = nullptr;
    return false;
  }
  return true;
}

void UpnpEngine::SetOnKept(std::function<void(const DeviceInformationContainer&)> on_kept) {
  if (!on_kept) return finder_->SetOnDevice(nullptr);
  finder_->SetOnDevice([on_kept = std::move(on_kept)](const UpnpDeviceProperties& device) {
    DeviceInformationContainer record;
    ReadDeviceInformation(device, record);
    if (IsWantedUpnpDevice(record)) on_kept(record);
  });
}

void UpnpEngine::CloseSearchEvent() {
  search_event.reset();
  owner_window = nullptr;
}

void UpnpEngine::SearchThreadProc(std::shared_ptr<SearchEvent> event,
                                          std::chrono::steady_clock::time_point started) {
  try {
    results.clear();
    account = UpnpSearchAccount{};
    std::vector<UpnpDeviceProperties> found;
    if (finder_->FindRootDevices(started, found, account)) {
      for (const UpnpDeviceProperties& device : found) {
        // A fresh record per device: no text of one device reaches another.
        DeviceInformationContainer record;
        ReadDeviceInformation(device, record);
        if (IsWantedUpnpDevice(record)) {
          results.push_back(std::move(record));
          ++account.devices_kept;
        } else {
          account.devices_refused.push_back(QuotedDeviceText(record.friendly_name) + " by " +
                                            QuotedDeviceText(record.manufacturer_name) +
                                            ": neither AXIS nor Vivotek");
        }
      }
    }
  } catch (...) {
    // A failed search ends like an empty one; the signal below still comes.
  }
  event->Set();
  // From here on the worker touches neither results nor search_event.
  worker_running_.store(false, std::memory_order_release);
}
