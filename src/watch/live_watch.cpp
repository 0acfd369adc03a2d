// The live watch's parts, wired once.
#include "watch/live_watch.h"

#include "watch/watch_announcements.h"
#include "watch/watch_round_search.h"

LiveWatch::LiveWatch(const SearchSettings& settings, bool with_upnp, DebugLog& log, MakeExchanges make_exchanges,
                     Options options)
    : search_(std::make_unique<WatchRoundSearch>(settings, with_upnp, log, std::move(make_exchanges))) {
  Make(&log, std::move(options));
}

LiveWatch::LiveWatch(std::unique_ptr<WatchSearch> search, Options options) : search_(std::move(search)) {
  options.announcements = false;
  Make(nullptr, std::move(options));
}

void LiveWatch::Make(DebugLog* log, Options options) {
  if (options.announcements) {
    announcements_ = std::make_unique<WatchAnnouncements>(log);
    if (!announcements_->Start(&announcements_error_)) {
      if (announcements_error_.empty()) announcements_error_ = "the SSDP group cannot be joined";
      announcements_.reset();
    }
  }
  watch_ = std::make_unique<DeviceWatch>(*search_, announcements_.get(), std::move(options.watch));
  if (announcements_) announcements_->SetWatch(watch_.get());
  timer_.setInterval(options.tick);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

LiveWatch::~LiveWatch() {
  Stop();
  if (announcements_) announcements_->SetWatch(nullptr);
  announcements_.reset();
  watch_.reset();
  search_.reset();
}

void LiveWatch::SetOnPortHeld(std::function<void()> held) {
  if (auto* rounds = dynamic_cast<WatchRoundSearch*>(search_.get())) rounds->SetOnPortHeld(std::move(held));
}

void LiveWatch::Start() {
  timer_.start();
  QTimer::singleShot(0, &timer_, [this] {
    if (timer_.isActive()) Tick();
  });
}

void LiveWatch::Stop() { timer_.stop(); }

void LiveWatch::Tick() {
  if (before_tick_ && !before_tick_()) return;
  watch_->Tick();
}
