// The remembered settings: the relay list's rules and the settings file.
#include "ui/remembered_settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>

namespace {

const char kCustomized[] = "<Customized>";
const char* const kProtocols[] = {"TCP", "UDP", "HttpCmd"};

const char kMethodKey[] = "search/method";
const char kAddressesKey[] = "search/relay_addresses";
const char kProtocolKey[] = "search/relay_protocol";
const char kGeometryKey[] = "window/geometry";
const char kExportFolderKey[] = "export/folder";
const char kWatchKey[] = "watch/enabled";
const char kWatchIntervalKey[] = "watch/interval";

}  // namespace

bool RememberableRelayAddress(const std::string& address) {
  if (address.empty() || address == "0" || address == kCustomized || address.size() > 255) return false;
  return std::none_of(address.begin(), address.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

void RememberRelayAddress(std::vector<std::string>& addresses, const std::string& address) {
  if (!RememberableRelayAddress(address)) return;
  std::erase(addresses, address);
  addresses.insert(addresses.begin(), address);
  if (addresses.size() > kRememberedRelayAddresses) addresses.resize(kRememberedRelayAddresses);
}

std::vector<std::string> RelayAddressList(const RememberedSettings& settings) {
  std::vector<std::string> list{kCustomized};
  list.insert(list.end(), settings.relay_addresses.begin(), settings.relay_addresses.end());
  return list;
}

QString ExportStartFolder(const RememberedSettings& settings) {
  const QString folder = QString::fromStdString(settings.export_folder);
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  return QDir::homePath();
}

QString DefaultSettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/kestra/device-search.conf";
}

RememberedSettings LoadRememberedSettings(const QString& path, DebugLog& log) {
  RememberedSettings settings;
  auto ignored = [&](const std::string& why) {
    log.Append("Settings file " + path.toStdString() + " ignored: " + why + "\n");
    return settings;
  };
  const QFileInfo file(path);
  if (!file.exists()) return settings;
  if (!file.isFile() || !file.isReadable()) return ignored("it cannot be read");
  QSettings stored(path, QSettings::IniFormat);
  if (stored.status() == QSettings::AccessError) return ignored("it cannot be read");
  if (stored.status() == QSettings::FormatError) {
    // QSettings would not write over it: it goes aside, for whoever wants
    // to see what it held, and the next save writes a new one.
    const QString aside = path + ".damaged";
    QFile::remove(aside);
    return ignored(QFile::rename(path, aside) ? "it is damaged (kept as " + aside.toStdString() + ")"
                                              : "it is damaged");
  }
  settings.ip_relay = stored.value(kMethodKey).toString() == "relay";
  // Stored oldest last; remembering them from the oldest keeps the order
  // and applies the rules to what a hand-edited file holds.
  const QStringList addresses = stored.value(kAddressesKey).toStringList();
  for (auto it = addresses.rbegin(); it != addresses.rend(); ++it)
    RememberRelayAddress(settings.relay_addresses, it->toStdString());
  const std::string protocol = stored.value(kProtocolKey).toString().toStdString();
  if (std::find(std::begin(kProtocols), std::end(kProtocols), protocol) != std::end(kProtocols))
    settings.relay_protocol = protocol;
  settings.geometry = stored.value(kGeometryKey).toByteArray().toStdString();
  settings.export_folder = stored.value(kExportFolderKey).toString().toStdString();
  settings.watch = stored.value(kWatchKey).toString() == "true";
  bool number = false;
  const int interval = stored.value(kWatchIntervalKey).toInt(&number);
  if (number && interval >= kLeastWatchSeconds && interval <= kMostWatchSeconds) settings.watch_interval = interval;
  return settings;
}

bool SaveRememberedSettings(const QString& path, const RememberedSettings& settings, DebugLog& log) {
  QSettings stored(path, QSettings::IniFormat);
  stored.clear();
  stored.setValue(kMethodKey, settings.ip_relay ? "relay" : "broadcast");
  QStringList addresses;
  for (const std::string& address : settings.relay_addresses) addresses << QString::fromStdString(address);
  stored.setValue(kAddressesKey, addresses);
  stored.setValue(kProtocolKey, QString::fromStdString(settings.relay_protocol));
  if (!settings.geometry.empty()) stored.setValue(kGeometryKey, QByteArray::fromStdString(settings.geometry));
  if (!settings.export_folder.empty())
    stored.setValue(kExportFolderKey, QString::fromStdString(settings.export_folder));
  stored.setValue(kWatchKey, settings.watch ? "true" : "false");
  stored.setValue(kWatchIntervalKey, settings.watch_interval);
  stored.sync();
  if (stored.status() == QSettings::NoError) return true;
  log.Append("Settings file " + path.toStdString() + " not written: it cannot be written\n");
  return false;
}
