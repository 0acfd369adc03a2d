// Test program: serves simulated UPnP root devices until SIGTERM.
//   upnp_sim_host --interface IF --address IP --upnp-axis N --upnp-vivotek N --upnp-other N [--upnp-silent N]
// Runs only inside a test network namespace.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "own_namespace.h"
#include "upnp_host.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }
}  // namespace

int main(int argc, char** argv) {
  if (!InOwnNetworkNamespace()) {
    std::fprintf(stderr, "upnp_sim_host: refusing to announce outside a test network namespace\n");
    return 2;
  }
  UpnpHostOptions o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i], value = argv[i + 1];
    if (key == "--interface") o.interface = value;
    else if (key == "--address") o.address = value;
    else if (key == "--upnp-axis") o.axis = std::atoi(value.c_str());
    else if (key == "--upnp-vivotek") o.vivotek = std::atoi(value.c_str());
    else if (key == "--upnp-other") o.other = std::atoi(value.c_str());
    else if (key == "--upnp-silent") o.silent = std::atoi(value.c_str());
    else {
      std::fprintf(stderr, "upnp_sim_host: unknown option %s\n", key.c_str());
      return 2;
    }
  }
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  return RunUpnpHost(o, g_stop, std::cout) == 0 ? 0 : 1;
}
