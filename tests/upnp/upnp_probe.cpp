// Test program: UPnP searches with the GUPnP engine (one, or the number given
// by --searches N, one after the other), each followed by the merge into a
// device table with the project filter "ALL". Prints what it found (with the
// interface each result answered on), the number of rows merged, the
// search's account and the library messages of each search, one line each,
// for the end-to-end test. Runs only inside a test network namespace.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "own_namespace.h"
#include "upnp/library_log.h"
#include "upnp/upnp_account.h"
#include "upnp/upnp_engine.h"
#include "upnp/upnp_merge.h"

int main(int argc, char** argv) {
  if (!InOwnNetworkNamespace()) {
    std::fprintf(stderr, "upnp_probe: refusing to search outside a test network namespace\n");
    return 2;
  }
  int searches = 1;
  if (argc == 3 && std::strcmp(argv[1], "--searches") == 0) searches = std::atoi(argv[2]);
  const int owner = 0;  // the engine's owner: only its address counts
  UpnpEngine engine;
  for (int search = 1; search <= searches; ++search) {
    std::printf("search\t%d\n", search);
    const auto start = std::chrono::steady_clock::now();
    if (!engine.StartSearch(&owner)) {
      std::fprintf(stderr, "upnp_probe: the engine refused to start\n");
      return 1;
    }
    engine.search_event->Wait();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("elapsed_ms\t%lld\n", static_cast<long long>(ms.count()));
    for (const std::string& line : UpnpAccountLines(engine.account)) std::printf("account\t%s\n", line.c_str());
    for (const std::string& message : TakeLibraryMessages()) std::printf("message\t%s\n", message.c_str());
    for (const DeviceInformationContainer& d : engine.results) {
      std::printf("result");
      for (int i = 0; i < kDeviceInformationFieldCount; ++i)
        std::printf("\t%s", DeviceInformationField(d, i).c_str());
      std::printf("\n");
      std::printf("found_on\t%s\n", d.interface.c_str());
    }
    // The worker may still be ending after its signal; the next start waits.
    while (engine.WorkerRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    DeviceTable table;
    table.grid.SetRowCount(1);
    std::printf("merged\t%d\n", MergeUpnpResults(table, engine.results, false));
    for (int r = 1; r < table.grid.RowCount(); ++r) {
      std::printf("row");
      for (const std::string& cell : table.grid.RowAt(r)) std::printf("\t%s", cell.c_str());
      std::printf("\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
