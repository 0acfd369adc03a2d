// "Network Setup" with the default sender; kept apart because it needs the
// transport at link time.
#include "ui/network_setup.h"

void NetworkSetup1Click(QWidget* owner, const DeviceTable& table, const SearchSettings& settings,
                        DebugLog& log) {
  UdpControlPackageSender sender(settings, log);
  NetworkSetup1Click(owner, table, log, sender);
}
