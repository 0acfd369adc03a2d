// Saved-list memory benchmark: the peak resident memory and the time of
// `device-search search --compare FILE --no-upnp --format json` (output to
// /dev/null) in a test network of its own without devices (needs root), for
// the lists that are hard to read:
//   commas      a CSV heading, then commas up to 64 MiB less 4 KiB
//   70mib       a regular file of 70 MiB
//   dev-zero    /dev/zero, which has no size and no end
//   empty       a file of 0 bytes
//   json        200,000 devices as `search --format json` writes them (56 MiB)
//   ndjson      the same as ndjson
//   csv         the same as CSV
//   long-json, long-ndjson, long-csv
//               one device whose interface is a text of 60 MiB
// Each is measured by /usr/bin/time (%M, the peak resident set in KiB) with
// the exit status; then, in child processes of this one (on the client side
// of the network, by the growth of VmHWM over what was resident before):
// ReadSavedList alone, and the window's "Compare..." (TMainForm::CompareWith
// on Qt's offscreen platform, its grid empty, so every device of the file
// becomes a missing row; the window itself takes about 28 MB more).
//
// usage: bench_compare_memory [--program PATH] [--before PATH] [--folder DIR]
//   --before PATH  also measures another build of the program, for the
//                  figures before a change.
//   --folder DIR   where the files are written (default /tmp/kds-compare-
//                  memory); they are removed at the end.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "protocol/csv_cell.h"
#include "protocol/string_printf.h"
#include "lists/row_writer.h"
#include "lists/saved_list.h"
#include "test_network.h"

namespace {

constexpr int kDevices = 200000;

tComUnitInfo Device(int i, std::size_t note_length) {
  tComUnitInfo r{};
  SetField(r.model, "NVR-3208");
  SetField(r.proj, "P1");
  SetField(r.name, StringPrintf("Device %d", i));
  SetField(r.ip, StringPrintf("10.%d.%d.%d", i / 65536 % 256, i / 256 % 256, i % 256));
  SetField(r.trigger_port, "80");
  SetField(r.netmask, "255.0.0.0");
  SetField(r.gateway, "10.0.0.1");
  SetField(r.dns, "10.0.0.1");
  SetField(r.mac, StringPrintf("00:11:22:%02x:%02x:%02x", i / 65536 % 256, i / 256 % 256, i % 256));
  SetField(r.dev, "DVR");
  SetField(r.note, std::string(note_length, 'n'));
  return r;
}

// The files of the cases, written into `folder`.
void WriteFiles(const std::string& folder) {
  const std::string heading = "Model,Proj,Name,IP,Port,Netmask,Mac,Interface\r\n";
  {
    std::ofstream out(folder + "/commas.csv", std::ios::binary);
    out << heading << std::string(kMaxSavedListBytes - 4096 - heading.size(), ',');
  }
  {
    std::ofstream out(folder + "/70mib.txt", std::ios::binary);
    out << std::string(70u << 20, 'a');
  }
  std::ofstream(folder + "/empty.json", std::ios::binary);
  const std::vector<RowNote> notes;
  std::ofstream json(folder + "/devices.json", std::ios::binary), ndjson(folder + "/devices.ndjson", std::ios::binary),
      csv(folder + "/devices.csv", std::ios::binary);
  json << "[";
  csv << heading;
  for (int i = 0; i < kDevices; ++i) {
    const tComUnitInfo r = Device(i, 40);
    const std::string object = RecordJson(r, "protocol", "eth0", nullptr, &notes);
    json << (i ? "," : "") << object;
    ndjson << object << "\n";
    std::string row;
    for (const std::string& cell : GridRowOf(r)) row += CsvField(cell) + ",";
    csv << row << "eth0\r\n";
  }
  json << "]\n";
  const std::string long_text(60u << 20, 'i');
  std::ofstream(folder + "/long.json", std::ios::binary)
      << "[{\"ip\":\"10.0.0.1\",\"mac\":\"00:11:22:33:44:55\",\"interface\":\"" << long_text << "\"}]\n";
  std::ofstream(folder + "/long.ndjson", std::ios::binary)
      << "{\"ip\":\"10.0.0.1\",\"mac\":\"00:11:22:33:44:55\",\"interface\":\"" << long_text << "\"}\n";
  std::ofstream(folder + "/long.csv", std::ios::binary) << heading << ",,,10.0.0.1,,,00:11:22:33:44:55," << long_text
                                                        << "\r\n";
}

struct Measure {
  int status = -1;
  long peak_kib = -1;
  double seconds = -1;
};

Measure Program(const TestNetwork& net, const std::string& program, const std::string& file) {
  const CommandResult r = net.RunInClient(
      {"sh", "-c", "/usr/bin/time -f '%M %e' \"$0\" search --compare \"$1\" --no-upnp --format json >/dev/null",
       program, file},
      120000);
  Measure m;
  m.status = r.exit_code;
  // time's own line is the last: "PEAK SECONDS".
  std::string err = r.err;
  while (!err.empty() && err.back() == '\n') err.pop_back();
  const std::size_t last = err.rfind('\n');
  const std::string line = last == std::string::npos ? err : err.substr(last + 1);
  if (std::sscanf(line.c_str(), "%ld %lf", &m.peak_kib, &m.seconds) != 2) std::fprintf(stderr, "%s\n", r.err.c_str());
  return m;
}

// Starts the peak resident memory (VmHWM) again from what is resident now,
// and returns that, in KiB.
long RestartPeakKib() {
  std::ofstream("/proc/self/clear_refs") << "5";
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

long PeakKib() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// `step` in a child process of this one: the growth of its peak memory in
// KiB, or -1.
template <typename Step>
long GrowthKib(Step step) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const long grew = step();
    [[maybe_unused]] ssize_t n = write(fds[1], &grew, sizeof grew);
    _exit(0);
  }
  close(fds[1]);
  long grew = -1;
  if (read(fds[0], &grew, sizeof grew) != sizeof grew) grew = -1;
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return grew;
}

long ReaderGrowthKib(const std::string& file) {
  return GrowthKib([&] {
    const long before = RestartPeakKib();
    std::string error;
    ReadSavedList(file, &error);
    return PeakKib() - before;
  });
}

long WindowGrowthKib(const std::string& file) {
  return GrowthKib([&] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "bench_compare_memory";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    TMainForm form;
    form.show();
    QApplication::processEvents();
    const long before = RestartPeakKib();
    form.CompareWith(QString::fromStdString(file));
    QApplication::processEvents();
    return PeakKib() - before;
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::string program = KDS_DEVICE_SEARCH_PATH, before, folder = "/tmp/kds-compare-memory";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--program") == 0) program = argv[i + 1];
    else if (std::strcmp(argv[i], "--before") == 0) before = argv[i + 1];
    else if (std::strcmp(argv[i], "--folder") == 0) folder = argv[i + 1];
  }
  std::string why;
  if (!TestNetwork::Supported(&why)) {
    std::fprintf(stderr, "bench_compare_memory: %s\n", why.c_str());
    return 1;
  }
  if (system(("mkdir -p '" + folder + "'").c_str()) != 0) return 1;
  WriteFiles(folder);
  TestNetwork net;
  if (!net.Ready()) {
    std::fprintf(stderr, "bench_compare_memory: %s\n", net.Error().c_str());
    return 1;
  }
  const std::pair<const char*, std::string> cases[] = {
      {"commas", folder + "/commas.csv"},   {"70mib", folder + "/70mib.txt"},
      {"dev-zero", "/dev/zero"},            {"empty", folder + "/empty.json"},
      {"json", folder + "/devices.json"},   {"ndjson", folder + "/devices.ndjson"},
      {"csv", folder + "/devices.csv"},     {"long-json", folder + "/long.json"},
      {"long-ndjson", folder + "/long.ndjson"}, {"long-csv", folder + "/long.csv"},
  };
  std::printf("%-11s %10s %-28s %-28s %s\n", "case", "bytes", "before: status peak time", "now: status peak time",
              "now: growth by reader, window");
  for (const auto& [name, file] : cases) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const long long size = file == "/dev/zero" ? -1 : static_cast<long long>(in.tellg());
    std::string was = "-";
    if (!before.empty()) {
      const Measure b = Program(net, before, file);
      was = StringPrintf("%d  %6.1f MiB %5.2f s", b.status, b.peak_kib / 1024.0, b.seconds);
    }
    const Measure m = Program(net, program, file);
    long reader = -1, window = -1;
    {
      const NetnsScope client = net.EnterClient();
      reader = ReaderGrowthKib(file);
      window = WindowGrowthKib(file);
    }
    std::printf("%-11s %10lld %-28s %-28s %+.1f MiB, %+.1f MiB\n", name, size, was.c_str(),
                StringPrintf("%d  %6.1f MiB %5.2f s", m.status, m.peak_kib / 1024.0, m.seconds).c_str(),
                reader / 1024.0, window / 1024.0);
    std::fflush(stdout);
  }
  for (const auto& [name, file] : cases)
    if (file != "/dev/zero") std::remove(file.c_str());  // about 450 MB
  return 0;
}
