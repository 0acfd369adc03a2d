// The row notes and the comparison of two lists over 50,000 devices: what
// the window recomputes whenever rows change, and what a watch round or a
// comparison with a saved list costs; and what the notes and a comparison
// add to writing the rows (CSV and JSON, as `search --compare` writes them). A tenth of the devices share an
// address with another, a few hundred a MAC, one in a hundred cannot be
// reached, and a third of them changed.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <sstream>
#include <string>
#include <vector>

#include "protocol/string_printf.h"
#include "lists/device_changes.h"
#include "lists/row_notes.h"
#include "lists/row_writer.h"

namespace {

constexpr int kDevices = 50000;

ListedDevice Device(int i, int address) {
  ListedDevice d;
  SetField(d.record.model, "NVR-3208");
  SetField(d.record.name, StringPrintf("Device %d", i));
  SetField(d.record.ip, StringPrintf("10.%d.%d.%d", address / 65536 % 256, address / 256 % 256, address % 256));
  SetField(d.record.trigger_port, "80");
  SetField(d.record.netmask, "255.0.0.0");
  SetField(d.record.gateway, "10.0.0.1");
  SetField(d.record.dns, "10.0.0.1");
  SetField(d.record.mac, StringPrintf("00:11:22:%02x:%02x:%02x", i / 65536 % 256, i / 256 % 256, i % 256));
  d.interface = i % 100 ? "eth0" : "eth1";  // one in a hundred answered on a link of another subnet
  return d;
}

std::vector<ListedDevice> Devices(int changed_every) {
  std::vector<ListedDevice> devices;
  for (int i = 0; i < kDevices; ++i) {
    int address = i % 10 == 0 ? i + 1 : i;  // every tenth shares its neighbour's address
    if (changed_every > 0 && i % changed_every == 0) address += 1000000;
    devices.push_back(Device(i % 49700, address));  // the last 300 repeat earlier MACs
  }
  return devices;
}

const std::vector<LocalNetwork> kLocal = {{"eth0", inet_addr("10.0.0.2"), inet_addr("255.0.0.0")},
                                          {"eth1", inet_addr("192.168.0.2"), inet_addr("255.255.255.0")}};

void NotesOfFiftyThousandDevices(benchmark::State& state) {
  const std::vector<ListedDevice> devices = Devices(0);
  for (auto _ : state) benchmark::DoNotOptimize(NotesOf(devices, kLocal));
}
BENCHMARK(NotesOfFiftyThousandDevices)->Unit(benchmark::kMillisecond);

void CompareFiftyThousandDevices(benchmark::State& state) {
  const std::vector<ListedDevice> before = Devices(0), now = Devices(3);
  for (auto _ : state) benchmark::DoNotOptimize(CompareDevices(before, now));
}
BENCHMARK(CompareFiftyThousandDevices)->Unit(benchmark::kMillisecond);

// The devices as the table of a search: each in the device list and a row.
DeviceTable TableOf(const std::vector<ListedDevice>& devices) {
  DeviceTable table;
  WriteGridHeadings(table.grid);
  int row = 1;
  for (const ListedDevice& d : devices) {
    table.devices.Append(d.record, d.interface);
    table.grid.SetRow(row++, GridRowOf(d.record));
  }
  table.grid.SetRowCount(row);
  return table;
}

// range(0): 0 plain rows, 1 with notes, 2 with notes and a comparison;
// range(1): 0 CSV, 1 JSON.
void PrintFiftyThousandRows(benchmark::State& state) {
  const DeviceTable table = TableOf(Devices(0));
  const std::vector<ListedDevice> saved = Devices(3);
  const RecordOrigins origins{.exchange_records = SIZE_MAX};
  const OutputFormat format = state.range(1) ? OutputFormat::kJson : OutputFormat::kCsv;
  for (auto _ : state) {
    std::ostringstream out;
    if (state.range(0) == 0) {
      PrintRows(table, format, origins, out);
    } else {
      const RowExtras extras = ExtrasOf(table, origins, kLocal, state.range(0) == 2 ? &saved : nullptr);
      PrintRows(table, format, origins, extras, out);
    }
    benchmark::DoNotOptimize(out.str().size());
  }
}
BENCHMARK(PrintFiftyThousandRows)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
