// What the window remembers from one run to the next: the search method, the
// relay addresses typed so far, the relay protocol, the window's geometry,
// whether it watches and how often, and the folder of the last export (the
// filter text is not kept). The rules for the relay list are plain functions; the file is a QSettings INI file, by default
// "kestra/device-search.conf" in the XDG configuration folder
// ($XDG_CONFIG_HOME, else ~/.config).
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <vector>

#include "protocol/debug_log.h"
#include "watch/device_watch.h"

// The watch's interval in seconds as the window offers and remembers it: by
// default, at least and at most, the watch's own.
constexpr int kDefaultWatchSeconds = static_cast<int>(DeviceWatch::kDefaultInterval.count());
constexpr int kLeastWatchSeconds = static_cast<int>(DeviceWatch::kShortestInterval.count());
constexpr int kMostWatchSeconds = static_cast<int>(DeviceWatch::kLongestInterval.count());

// At most this many typed relay addresses are remembered.
constexpr std::size_t kRememberedRelayAddresses = 20;

struct RememberedSettings {
  bool ip_relay = false;  // "IP Relay" rather than "Local Broadcast"
  // Typed relay addresses, the most recent first, each once, at most
  // kRememberedRelayAddresses; never "<Customized>", "0" or empty.
  std::vector<std::string> relay_addresses;
  std::string relay_protocol = "TCP";  // "TCP", "UDP" or "HttpCmd"
  std::string geometry;                // QWidget::saveGeometry()'s bytes; "" for none
  std::string export_folder;           // where the last export went; "" for none yet
  bool watch = false;                  // "Watch" checked
  int watch_interval = kDefaultWatchSeconds;  // kLeastWatchSeconds .. kMostWatchSeconds
};

// The folder "Export..." starts in: the last export's while it is still a
// folder, else the home folder.
QString ExportStartFolder(const RememberedSettings& settings);

// Puts a typed address first, dropping an equal entry further down and the
// oldest beyond kRememberedRelayAddresses. An address that could not be
// remembered (RememberableRelayAddress) changes nothing.
void RememberRelayAddress(std::vector<std::string>& addresses, const std::string& address);

// Whether a text may be a remembered relay address: not empty, not "0", not
// "<Customized>", at most 255 bytes and no control characters.
bool RememberableRelayAddress(const std::string& address);

// The relay address box's list at start: "<Customized>" first, then the
// remembered addresses.
std::vector<std::string> RelayAddressList(const RememberedSettings& settings);

// The settings file in the XDG configuration folder.
QString DefaultSettingsPath();

// Reads the settings. A missing file gives the defaults; so does a damaged
// or unreadable one, with a line in `log` that says so. A damaged file is
// moved aside to "<path>.damaged" (the next save writes a new one). A value
// that breaks
// its rule (a protocol not in the list, an address that could not be
// remembered, a duplicate, entries beyond the limit) is left out.
RememberedSettings LoadRememberedSettings(const QString& path, DebugLog& log);

// Writes the settings, replacing the file as a whole (QSettings writes a
// new file and renames it over the old one). Result false, with a log line,
// when it could not.
bool SaveRememberedSettings(const QString& path, const RememberedSettings& settings, DebugLog& log);
