// CleanHtml plus PhaseItem on 1 MiB pages: a relay's device table, and single
// lines built to make a rescanning parser quadratic. Goal: each under 50 ms.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "httpcmd/http_page.h"
#include "httpcmd/table_parser.h"

namespace {

// Repeats unit until the text is kHttpPageLimit bytes (the last copy cut).
std::string Fill(std::string text, const std::string& unit) {
  while (text.size() < kHttpPageLimit) text += unit;
  text.resize(kHttpPageLimit);
  return text;
}

std::string TablePage() {
  std::string page =
      "<html>\r\n<body>\r\n<table>\r\n<tr><td>Model</td><td>Proj</td><td>Name</td><td>IP</td>"
      "<td>Port</td><td>Netmask</td><td>Mac</td></tr>\r\n";
  for (int i = 0; page.size() < kHttpPageLimit; ++i) {
    const std::string n = std::to_string(i);
    page += "<tr><td>M" + n + "</td><td>P1</td><td>Camera " + n + "</td><td>10.0." +
            std::to_string(i / 250 % 250) + "." + std::to_string(i % 250) +
            "</td><td>80</td><td>255.255.0.0</td><td>00:11:22:33:" + n + "</td></tr>\r\n";
  }
  page.resize(kHttpPageLimit);
  return page;
}

void Parse(benchmark::State& state, const std::string& page) {
  const std::vector<std::string> lines = SplitPageLines(page);
  std::size_t devices = 0;
  for (auto _ : state) {
    std::vector<std::string> work = lines;
    DeviceTable table;
    CleanHtml(work);
    PhaseItem(work, table);
    devices = table.devices.Size();
    benchmark::DoNotOptimize(devices);
  }
  state.counters["devices"] = static_cast<double>(devices);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
}

void TableOf1MiB(benchmark::State& state) { Parse(state, TablePage()); }
BENCHMARK(TableOf1MiB)->Unit(benchmark::kMillisecond);

// One line of "<tr>" tags: every step deletes a tag from the front.
void LineOfTags(benchmark::State& state) { Parse(state, Fill("", "<tr>")); }
BENCHMARK(LineOfTags)->Unit(benchmark::kMillisecond);

// A header line, then one line of empty cells: every step removes a cell.
void LineOfCells(benchmark::State& state) { Parse(state, Fill("h\r\n", "<td></td>")); }
BENCHMARK(LineOfCells)->Unit(benchmark::kMillisecond);

// A header line, then a line with its only cell markers at the far end, after
// a tag that matches no word: every scan step would search the whole line.
void LineWithFarCells(benchmark::State& state) {
  std::string page = Fill("h\r\n<head>", ">");
  page.replace(page.size() - 9, 9, "<td></td>");
  Parse(state, page);
}
BENCHMARK(LineWithFarCells)->Unit(benchmark::kMillisecond);

// One line of "<tr>" tags each followed by a long plain text: many deletions
// with the found text moving into the cleaned front.
void LineOfTaggedTexts(benchmark::State& state) {
  Parse(state, Fill("", "<TR>" + std::string(60, 'a')));
}
BENCHMARK(LineOfTaggedTexts)->Unit(benchmark::kMillisecond);

// Half a mebibyte of short lines without cells: one record and grid row each.
void ManyShortLines(benchmark::State& state) { Parse(state, Fill("h\r\n", "x\n")); }
BENCHMARK(ManyShortLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
