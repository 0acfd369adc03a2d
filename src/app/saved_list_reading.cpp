// Saved lists read on a thread of their own, the result handed back to the
// owner's thread.
#include "app/saved_list_reading.h"

#include <mutex>
#include <thread>
#include <utility>

#include "search/queued_call.h"

// What the owner and its reads share: the receiver of the results on the
// owner's thread, null once the owner is gone.
struct SavedListReading::Shared {
  std::mutex mutex;
  QObject* context = nullptr;
};

SavedListReading::SavedListReading() : shared_(std::make_shared<Shared>()) { shared_->context = new QObject; }

SavedListReading::~SavedListReading() {
  QObject* context = nullptr;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    context = std::exchange(shared_->context, nullptr);
  }
  delete context;  // a result queued to it is dropped
}

bool SavedListReading::Start(const std::string& path, Done done, std::chrono::milliseconds quiet_limit) {
  if (running_) return false;
  running_ = true;
  std::thread([shared = shared_, path, done = std::move(done), quiet_limit, this]() mutable {
    std::string error;
    std::optional<std::vector<ListedDevice>> devices = ReadSavedList(path, &error, quiet_limit);
    const std::lock_guard<std::mutex> lock(shared->mutex);
    if (shared->context == nullptr) return;  // the owner is gone, and `this` with it
    QueueCall(shared->context, [this, done = std::move(done), devices = std::move(devices),
                                error = std::move(error)]() mutable {
      // Runs only while the context lives, that is while `this` does.
      running_ = false;  // `done` may start the next read
      done(std::move(devices), error);
    });
  }).detach();
  return true;
}
