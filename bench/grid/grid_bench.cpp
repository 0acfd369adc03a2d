// Sorting 10,000 grid rows by a column, the intake filling the device list
// and the grid with 10,000 devices, and the window's row filter over them
// (read afresh, and again as a view asks after each answer).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "protocol/intake.h"
#include "search/grid_sort.h"
#include "app/row_filter.h"

namespace {

constexpr int kDevices = 10000;

std::string DeviceText(int i) {
  static const char* models[] = {"NVR-3208", "Cam2", "cam", "VS-100", "nas04", "DVR 16"};
  return "Zentravox,01," + std::string(models[i % 6]) + ",P" + std::to_string(i % 7) + ",Device " +
         std::to_string(i) + ",10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) +
         "." + std::to_string(i % 256) + ",80,255.255.0.0,10.0.0.1,10.0.0.1,00:11:22:" +
         std::to_string(i / 65536 % 100) + ":" + std::to_string(i / 256 % 256) + ":" + std::to_string(i % 256) +
         ",D,note";
}

// Answers as the transport hands them over: several packets per buffer.
std::vector<std::vector<unsigned char>> Answers() {
  std::vector<std::vector<unsigned char>> answers;
  std::vector<unsigned char> current;
  for (int i = 0; i < kDevices; ++i) {
    std::string t = DeviceText(i);
    if (current.size() + t.size() + 1 > 40000) {
      current.resize(65536, 0);
      answers.push_back(std::move(current));
      current.clear();
    }
    current.insert(current.end(), t.begin(), t.end());
    current.push_back(0);
  }
  current.resize(65536, 0);
  answers.push_back(std::move(current));
  return answers;
}

void IntakeAndGridFill(benchmark::State& state) {
  auto answers = Answers();
  SearchSettings settings;
  NullLog log;
  for (auto _ : state) {
    DeviceTable table;
    for (const auto& a : answers) ParserPlainPkg(table, settings, log, a.data(), a.size(), 49152);
    benchmark::DoNotOptimize(table.grid.RowCount());
    if (table.grid.RowCount() != kDevices + 1) state.SkipWithError("devices lost");
  }
  state.SetItemsProcessed(state.iterations() * kDevices);
}
BENCHMARK(IntakeAndGridFill)->Unit(benchmark::kMillisecond);

// The table after the intake of all the answers.
DeviceTable FilledTable() {
  SearchSettings settings;
  NullLog log;
  DeviceTable table;
  for (const auto& a : Answers()) ParserPlainPkg(table, settings, log, a.data(), a.size(), 49152);
  return table;
}

void SortTenThousandRows(benchmark::State& state) {
  DeviceTable table = FilledTable();
  int column = static_cast<int>(state.range(0));
  for (auto _ : state) {
    table.sort_ascending = !table.sort_ascending;
    SortGridByColumnInLocale(table, column, "en_US");
  }
}
BENCHMARK(SortTenThousandRows)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// The filter over 10,000 rows: read afresh (a new filter text), and read
// again with every row unchanged (the view's refresh after each answer).
void FilterTenThousandRows(benchmark::State& state) {
  const DeviceTable table = FilledTable();
  const bool fresh = state.range(0) != 0;
  RowFilter filter;
  filter.SetText("device 99");
  filter.ShownRows(table);
  for (auto _ : state) {
    if (fresh) filter.Forget();
    benchmark::DoNotOptimize(filter.ShownRows(table).size());
  }
  state.SetItemsProcessed(state.iterations() * kDevices);
}
BENCHMARK(FilterTenThousandRows)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

