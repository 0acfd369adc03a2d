// Test program: ONVIF WS-Discovery searches with the real finder (one, or
// --searches N one after the other; --interface NAME, repeatable, limits
// them), printing each device as the finder hands it on (with the time since
// the search started), the time the search took, its account, and afterwards
// whether port 6669 is free again on every address searched. One line each,
// tab-separated, for the end-to-end tests. Runs only inside a test network
// namespace.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "onvif/onvif_device.h"
#include "onvif/ws_discovery_finder.h"
#include "own_namespace.h"

namespace {

using Clock = std::chrono::steady_clock;

bool PortFree(const std::string& address) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(kOnvifProbePort);
  inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0;
  if (fd >= 0) close(fd);
  return bound;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : " ") + i;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (!InOwnNetworkNamespace()) {
    std::fprintf(stderr, "onvif_probe: refusing to search outside a test network namespace\n");
    return 2;
  }
  int searches = 1;
  std::vector<std::string> interfaces;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--searches") == 0) searches = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--interface") == 0) interfaces.push_back(argv[i + 1]);
  }
  WsDiscoveryFinder finder(kOnvifSearchTiming, interfaces);
  Clock::time_point start;
  finder.SetOnDevice([&start](const OnvifDevice& d) {
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    std::printf("device\t%lld\t%s\t%s\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", ms, d.endpoint.c_str(),
                d.ip.c_str(), d.port, d.interface.c_str(), d.name.c_str(), d.hardware.c_str(),
                d.manufacturer.c_str(), d.model.c_str(), d.serial_number.c_str(), d.web_page.c_str(),
                d.from_address.c_str(), Join(d.types).c_str(), Join(d.xaddrs).c_str(), d.location.c_str());
    std::fflush(stdout);
  });
  for (int search = 1; search <= searches; ++search) {
    std::printf("search\t%d\n", search);
    std::vector<OnvifDevice> devices;
    OnvifSearchAccount account;
    start = Clock::now();
    const bool searched = finder.Find(start, devices, account);
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    std::printf("searched\t%d\nfound\t%zu\nelapsed_ms\t%lld\n", searched ? 1 : 0, devices.size(), ms);
    for (const std::string& line : OnvifAccountLines(account)) std::printf("account\t%s\n", line.c_str());
    for (const OnvifSocketAccount& s : account.sockets)
      std::printf("port_free\t%s\t%d\n", s.address.c_str(), PortFree(s.address) ? 1 : 0);
    std::fflush(stdout);
  }
  return 0;
}
