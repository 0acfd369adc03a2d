// Saved lists read back: what the writers write comes back as the same
// devices in every format, guarded and escaped CSV cells included; files of
// older or foreign forms are read or refused with a message.
#include "lists/saved_list.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "protocol/string_printf.h"
#include "records.h"
#include "lists/row_writer.h"

namespace {

// Three protocol devices with awkward texts and one UPnP device.
struct Saved {
  DeviceTable table;
  DeviceInformationContainer axis;
  RecordOrigins origins;
};

void Fill(Saved& s) {
  WriteGridHeadings(s.table.grid);
  AddRow(s.table, TestDevice("10.0.0.1", "00:11:22:33:44:01", "=HYPERLINK(\"http://e.x\")"), "eth0");
  AddRow(s.table,
         MakeRecord({.model = "'-already", .proj = "@p", .name = "a\tb,\"c\"\x1b[2J", .ip = "10.0.0.2",
                     .trigger_port = "-1", .netmask = "255.0.0.0", .gateway = "+g", .mac = "00:11:22:33:44:02",
                     .note = "caf\xe9\n"}),  // a note in Latin-1
         "eth1");
  AddRow(s.table,
         MakeRecord({.model = "C:\\x41\\", .name = "\xe2\x80\xae" "evil \xe6\x97\xa5\r", .ip = "10.0.0.3",
                     .mac = "00:11:22:33:44:03"}),
         "eth0");
  s.axis.unique_device_name = "uuid:axis-1";
  s.axis.manufacturer_name = "AXIS";
  AddUpnpRow(s.table,
             MakeRecord({.model = "Axis 200 Series", .proj = "Axis 200 Series", .name = "Gate", .ip = "10.0.0.9",
                         .trigger_port = "80", .netmask = "NULL", .gateway = "NULL", .dns = "NULL", .mac = "NULL",
                         .dev = "NULL", .note = "NULL"}),
             0);
  s.origins = RecordOrigins{.exchange_records = 3, .upnp = {&s.axis}};
}

std::string Written(const Saved& s, OutputFormat format, bool pretty = false) {
  std::ostringstream out;
  PrintRows(s.table, format, s.origins, ExtrasOf(s.table, s.origins, {}), out, pretty);
  return out.str();
}

std::vector<ListedDevice> Read(const std::string& bytes) {
  std::string error;
  std::optional<std::vector<ListedDevice>> devices = ParseSavedList(bytes, &error);
  EXPECT_TRUE(devices) << error << "\n" << bytes;
  return devices.value_or(std::vector<ListedDevice>{});
}

std::string Refusal(const std::string& bytes) {
  std::string error;
  EXPECT_FALSE(ParseSavedList(bytes, &error)) << bytes;
  return error;
}

}  // namespace

// Every format reads back as the devices written: each pairs with itself
// and nothing differs among the fields the format keeps.
TEST(SavedList, ReadsBackWhatEachFormatWrites) {
  Saved s;
  Fill(s);
  const std::vector<ListedDevice> listed = ListedDevicesOf(s.table, s.origins);
  for (auto [format, pretty] : {std::pair{OutputFormat::kJson, false}, {OutputFormat::kJson, true},
                                {OutputFormat::kNdjson, false}, {OutputFormat::kCsv, false}}) {
    const std::string bytes = Written(s, format, pretty);
    const std::vector<ListedDevice> read = Read(bytes);
    ASSERT_EQ(read.size(), listed.size()) << bytes;
    const std::vector<DeviceChange> changes = CompareDevices(read, listed);
    ASSERT_EQ(changes.size(), listed.size()) << bytes;
    for (std::size_t i = 0; i < changes.size(); ++i) {
      EXPECT_EQ(changes[i].kind, DeviceChange::kSame) << i << "\n" << bytes;
      EXPECT_EQ(changes[i].before, i);
      EXPECT_EQ(read[i].interface, listed[i].interface) << i;
      EXPECT_EQ(read[i].upnp, listed[i].upnp) << i;
    }
    if (format == OutputFormat::kCsv) {
      EXPECT_EQ(read[0].known, kGridFields);
      EXPECT_EQ(read[3].udn, "");  // CSV keeps no UDN: the UPnP row pairs by address and port
      EXPECT_EQ(read[3].source, "upnp");
    } else {
      EXPECT_EQ(read[0].known, kAllUnitFields);
      EXPECT_EQ(read[3].udn, "uuid:axis-1");
      EXPECT_EQ(read[1].source, "protocol");
      EXPECT_EQ(FieldText(read[1].record.gateway), "+g");
    }
    // Texts sent in UTF-8 come back as their very bytes, guards and escapes undone.
    EXPECT_EQ(FieldText(read[0].record.name), "=HYPERLINK(\"http://e.x\")");
    EXPECT_EQ(FieldText(read[1].record.model), "'-already");
    EXPECT_EQ(FieldText(read[1].record.proj), "@p");
    EXPECT_EQ(FieldText(read[1].record.name), "a\tb,\"c\"\x1b[2J");
    EXPECT_EQ(FieldText(read[1].record.trigger_port), "-1");
    EXPECT_EQ(FieldText(read[2].record.model), "C:\\x41\\");
    EXPECT_EQ(FieldText(read[2].record.name), "\xe2\x80\xae" "evil \xe6\x97\xa5\r");
  }
  // A note sent in Latin-1 comes back in UTF-8, which reads as the same text.
  const std::vector<ListedDevice> json = Read(Written(s, OutputFormat::kJson));
  EXPECT_EQ(FieldText(json[1].record.note), "caf\xc3\xa9\n");
}

// The CSV of other times: without Interface and Notes (written before
// they existed), with the comparison's columns (its missing rows are left
// out), with LF line ends, a byte order mark and empty lines.
TEST(SavedList, ReadsCsvOfOlderAndNewerForms) {
  std::vector<ListedDevice> old = Read(
      "\xEF\xBB\xBFModel,Proj,Name,IP,Port,Netmask,Mac\n"
      "M100,P1,'=1+1,10.0.0.1,80,255.0.0.0,00:11:22:33:44:01\n"
      "\n"
      "Axis 200 Series,Axis 200 Series,Gate,10.0.0.9,80,NULL,NULL\n");
  ASSERT_EQ(old.size(), 2u);
  EXPECT_EQ(FieldText(old[0].record.name), "=1+1");
  EXPECT_EQ(old[0].interface, "");
  EXPECT_FALSE(old[0].upnp);
  EXPECT_TRUE(old[1].upnp);

  std::vector<ListedDevice> compared = Read(
      "Model,Proj,Name,IP,Port,Netmask,Mac,Interface,Notes,Compare,Changed\r\n"
      "M100,P1,Lobby,10.0.0.1,80,255.0.0.0,00:11:22:33:44:01,eth0,address-conflict;this-pc,changed,ip;name\r\n"
      "M100,P1,Gone,10.0.0.2,80,255.0.0.0,00:11:22:33:44:02,eth0,,missing,\r\n");
  ASSERT_EQ(compared.size(), 1u);
  EXPECT_EQ(compared[0].interface, "eth0");

  // A cell longer than its field in UTF-8 keeps its Latin-1 bytes when they
  // fit, else it is cut at a character's end.
  std::vector<ListedDevice> long_texts = Read(
      "Model,Proj,Name,IP,Port,Netmask,Mac\n" + std::string(29, 'x') + "\xc3\xa9\xc3\xa9,," +
      std::string(30, 'y') + "\xe6\x97\xa5,,,,\n");
  ASSERT_EQ(long_texts.size(), 1u);
  EXPECT_EQ(FieldText(long_texts[0].record.model), std::string(29, 'x') + "\xe9\xe9");
  EXPECT_EQ(FieldText(long_texts[0].record.name), std::string(30, 'y'));

  // Nothing found: "[]" and a heading alone.
  EXPECT_TRUE(Read("[]\n").empty());
  EXPECT_TRUE(Read(" [ \n ] \n").empty());
  // Brackets, commas and quotes inside a text do not end an element.
  std::vector<ListedDevice> quoted = Read("[{\"name\": \"a]\\\"},{\\\\\", \"ip\": \"10.0.0.1\"}]");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(FieldText(quoted[0].record.name), "a]\"},{\\");
  EXPECT_TRUE(Read("Model,Proj,Name,IP,Port,Netmask,Mac,Interface\r\n").empty());
}

TEST(SavedList, RefusesWhatItCannotReadWithAMessageSayingWhere) {
  const std::string heading = "Model,Proj,Name,IP,Port,Netmask,Mac\n";
  const std::pair<std::string, std::string> cases[] = {
      {"hello\n", "line 1: not a device list: the CSV heading must begin Model,Proj,Name,IP,Port,Netmask,Mac"},
      {"Model  Proj  Name\nM100\n", "a table is not read back; save the list with --format json, ndjson or csv"},
      {"[{\"ip\": \"10.0.0.1\"},\n {\"ip\": 7}]", "device 2 of the array: \"ip\" is not a text"},
      {"[{\"ip\": \"10.0.0.1\"},\n \"x\"]", "device 2 of the array: not an object"},
      {"[{\"other\": \"x\"}]", "device 1 of the array: an object without any of a device's fields"},
      {"[{\"ip\": \"10.0.0.1\"},\n", "line 2: not valid JSON (unterminated array)"},
      // The array is read an element at a time, with Qt's words for errors.
      {"[{\"ip\": \"1\"}\n {\"ip\": \"2\"}]", "line 2: not valid JSON (missing value separator)"},
      {"[{\"ip\": \"1\"},]", "line 1: not valid JSON (object is missing after a comma)"},
      {"[,{\"ip\": \"1\"}]", "line 1: not valid JSON (illegal value)"},
      {"[{\"ip\": \"1\"}]\n]", "line 2: not valid JSON (garbage at the end of the document)"},
      {"[{\"ip\": \"1\", \"x\": [\n", "line 2: not valid JSON (unterminated array)"},
      {"[{\"ip\": \"1\"", "line 1: not valid JSON (unterminated object)"},
      {"[{\"ip\": \"1\\\"]", "line 1: not valid JSON (unterminated string)"},
      {"[" + std::string(2000, '[') + std::string(2000, ']') + "]", "line 1: not valid JSON (too deeply nested document)"},
      {"{\"ip\": \"10.0.0.1\"}\n{\"ip\": \"10.0.0.2\"\n", "line 2: not valid JSON (unterminated string)"},
      {"{\"ip\": \"10.0.0.1\"}\n[]\n", "line 2: not a JSON object"},
      {"[{\"name\": \"caf\xe9\"}]", "not UTF-8 text, as JSON must be"},
      {heading + "a,b,c,d,e,f,g\na,b,c\n", "line 3: 3 cells under a heading of 7"},
      {heading + "a,\"b,c,d,e,f,g\n", "line 2: a quoted cell is not closed"},
      {heading + "a,\"b\"x,c,d,e,f,g\n", "line 2: text after a quoted cell"},
      {heading + "a,b\"c,c,d,e,f,g\n", "line 2: a quote inside a cell that is not quoted"},
      // Nothing in it: no list, not an empty one.
      {"", "no device list: the file is empty"},
      {" \r\n\n", "no device list: the file is empty"},
      {"\xEF\xBB\xBF", "no device list: the file is empty"},
      // A row stops at its first cell past the heading's count; a heading
      // stops at its 65th cell.
      {heading + "a,b,c,d,e,f,g,h\n", "line 2: more than 7 cells under a heading of 7"},
      {heading + "a,b,c,d,e,f,g\n" + std::string(1000000, ','), "line 3: more than 7 cells under a heading of 7"},
      {"Model,Proj,Name,IP,Port,Netmask,Mac" + std::string(57, ',') + "\n", ""},
      {"Model,Proj,Name,IP,Port,Netmask,Mac" + std::string(58, ',') + "\n", "line 1: a heading of more than 64 cells"},
      // No device takes more than 8 MiB, in any format.
      {"[{\"ip\": \"10.0.0.1\"},\n {\"interface\": \"" + std::string(kMaxSavedListRowBytes, 'i') + "\"}]",
       "line 2: a device longer than 8 MiB"},
      {"{\"ip\": \"10.0.0.1\"}\n{\"interface\": \"" + std::string(kMaxSavedListRowBytes, 'i') + "\"}\n",
       "line 2: a device longer than 8 MiB"},
      {heading + "a,b,c,d,e,f," + std::string(kMaxSavedListRowBytes, 'g') + "\n", "line 2: a device longer than 8 MiB"},
      {heading + "a,b,c,d,e,f,\"" + std::string(kMaxSavedListRowBytes, 'g') + "\"\n",
       "line 2: a device longer than 8 MiB"},
  };
  for (const auto& [bytes, message] : cases) {
    if (message.empty()) EXPECT_TRUE(Read(bytes).empty()) << bytes;
    else EXPECT_EQ(Refusal(bytes), message) << bytes.substr(0, 100);
  }

  // Bounds: the file's size and the number of devices.
  EXPECT_EQ(Refusal(std::string(kMaxSavedListBytes + 1, ' ')), "larger than 64 MiB");
  std::string many = heading;
  for (std::size_t i = 0; i <= kMaxSavedListDevices; ++i) many += ",,,,,,\n";
  EXPECT_EQ(Refusal(many), "more than 200000 devices");
}

TEST(SavedList, ReadsAFileAndNamesItInItsMessages) {
  std::string error;
  EXPECT_FALSE(ReadSavedList("/nonexistent/list.json", &error));
  EXPECT_EQ(error, "/nonexistent/list.json: No such file or directory");
  EXPECT_FALSE(ReadSavedList("/", &error));
  EXPECT_EQ(error, "/: Is a directory");

  char path[] = "/tmp/saved_list_testXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << "[{\"ip\": \"10.0.0.1\", \"mac\": \"00:11:22:33:44:01\"}]";
  std::optional<std::vector<ListedDevice>> devices = ReadSavedList(path, &error);
  ASSERT_TRUE(devices) << error;
  ASSERT_EQ(devices->size(), 1u);
  EXPECT_EQ(devices->at(0).known, (1u << 3) | (1u << 8));  // ip and mac only
  std::ofstream(path) << "junk";
  EXPECT_FALSE(ReadSavedList(path, &error));
  EXPECT_EQ(error, std::string(path) + ": line 1: not a device list: the CSV heading must begin "
                                       "Model,Proj,Name,IP,Port,Netmask,Mac");
  std::remove(path);
}

namespace {

// A FIFO in a fresh folder, removed with it.
struct Fifo {
  std::string folder, path;
  Fifo() {
    char name[] = "/tmp/saved_list_fifoXXXXXX";
    folder = mkdtemp(name);
    path = folder + "/list";
    if (mkfifo(path.c_str(), 0600) != 0) path.clear();
  }
  ~Fifo() {
    std::remove(path.c_str());
    rmdir(folder.c_str());
  }
};

}  // namespace

// A FIFO gives up after the quiet limit whether nobody opens it for writing
// or a writer holds it open and sends nothing; a writer that comes late, or
// that pauses for less than the limit, is read to its end.
TEST(SavedList, ReadsAFifoWithoutWaitingForEver) {
  using std::chrono::milliseconds;
  const std::string json = "[{\"ip\": \"10.0.0.1\", \"mac\": \"00:11:22:33:44:01\"}]";
  struct Case {
    const char* what;
    int open_after_ms;  // -1: nobody opens it for writing
    std::vector<std::pair<int, std::string>> writes;  // each after a pause, in ms
    const char* error;  // "" when the list is read
  } cases[] = {
      {"nobody writes", -1, {}, "nothing came for 0.3 s (a pipe that nobody writes?)"},
      {"a writer that sends nothing", 0, {{600, ""}}, "nothing came for 0.3 s (a pipe that nobody writes?)"},
      {"a writer that comes late", 150, {{0, json}}, ""},
      {"a writer that pauses, never for the limit", 0, {{200, json.substr(0, 10)}, {200, json.substr(10)}}, ""},
      {"a writer that stops half way", 0, {{0, json.substr(0, 10)}, {600, json.substr(10)}},
       "nothing came for 0.3 s (a pipe that nobody writes?)"},
      {"a writer that closes without a byte", 100, {}, "no device list: the file is empty"},
  };
  for (const Case& c : cases) {
    Fifo fifo;
    ASSERT_FALSE(fifo.path.empty());
    std::thread writer;
    if (c.open_after_ms >= 0)
      writer = std::thread([&] {
        std::this_thread::sleep_for(milliseconds(c.open_after_ms));
        const int fd = open(fifo.path.c_str(), O_WRONLY);
        if (fd < 0) return;
        signal(SIGPIPE, SIG_IGN);
        for (const auto& [pause, bytes] : c.writes) {
          std::this_thread::sleep_for(milliseconds(pause));
          if (!bytes.empty() && write(fd, bytes.data(), bytes.size()) < 0) break;
        }
        close(fd);
      });
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    const std::optional<std::vector<ListedDevice>> devices = ReadSavedList(fifo.path, &error, milliseconds(300));
    const auto took = std::chrono::steady_clock::now() - started;
    if (*c.error) {
      EXPECT_FALSE(devices) << c.what;
      EXPECT_EQ(error, fifo.path + ": " + c.error) << c.what;
    } else {
      ASSERT_TRUE(devices) << c.what << ": " << error;
      EXPECT_EQ(devices->size(), 1u) << c.what;
    }
    EXPECT_LT(took, std::chrono::seconds(3)) << c.what;
    if (writer.joinable()) writer.join();
  }
}

// Texts read back as the file holds them where Qt's JSON reader or the
// Latin-1 rule would change them: a U+FEFF that begins a string is kept; a
// long text is kept in Latin-1 only when those bytes do not read as another
// text in UTF-8 ("Ã©" repeated would read as "é"), else it is cut; a text
// holding a zero byte is judged by what comes before the zero.
TEST(SavedList, KeepsTextsThatQtOrLatin1WouldChange) {
  const std::string marked = "\xEF\xBB\xBFLobby";
  std::string mojibake;
  for (int i = 0; i < 20; ++i) mojibake += "\xC3\x83\xC2\xA9";  // "Ã©" in UTF-8, 80 bytes
  std::string latin1_fits;
  for (int i = 0; i < 20; ++i) latin1_fits += "\xC3\xA9";  // "é" twenty times: 40 bytes, 20 in Latin-1
  for (const char* form : {"json", "ndjson"}) {
    auto list = [&](const std::string& name) {
      const std::string object = "{\"name\": \"" + name + "\", \"ip\": \"10.0.0.1\"}";
      return std::string(form) == "json" ? "[" + object + "]" : object + "\n";
    };
    EXPECT_EQ(FieldText(Read(list(marked)).at(0).record.name), marked) << form;
    const std::string cut(FieldText(Read(list(mojibake)).at(0).record.name));
    EXPECT_EQ(cut, mojibake.substr(0, 30)) << form;  // seven "Ã©" and an "Ã": 30 of the 31 bytes
    EXPECT_EQ(FieldText(Read(list(latin1_fits)).at(0).record.name), std::string(20, '\xE9')) << form;
    // A field ends at a zero byte: what comes before it is judged alone.
    const std::string zeroed = mojibake.substr(0, 8) + std::string(24, '\0') + "\xC2\xA9";
    EXPECT_EQ(FieldText(Read(list(zeroed)).at(0).record.name), mojibake.substr(0, 8)) << form;
  }
}

namespace {

// A number from a "Name: N" line of a /proc file of this process, or -1.
long long ProcNumber(const char* file, const std::string& name) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(name + ":", 0) == 0) return std::stoll(line.substr(name.size() + 1));
  return -1;
}

// Starts the peak resident memory (VmHWM) again from what is resident now,
// and returns that, in KiB.
long long RestartPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
  return ProcNumber("/proc/self/status", "VmHWM");
}

// Under a sanitizer the peak memory is mostly the sanitizer's own (its
// shadow and quarantine), so the bounds are measured in plain builds only.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif

}  // namespace

// A regular file over the limit is refused from its size, unread (a sparse
// file of 70 MiB: the bytes this process reads hardly grow); an empty one is
// no list.
TEST(SavedList, RefusesAFileTooLargeFromItsSizeAndAnEmptyOne) {
  char path[] = "/tmp/saved_list_testXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 70 << 20), 0);
  close(fd);
  std::string error;
  const long long read_before = ProcNumber("/proc/self/io", "rchar");
  EXPECT_FALSE(ReadSavedList(path, &error));
  EXPECT_LT(ProcNumber("/proc/self/io", "rchar") - read_before, 1 << 20);
  EXPECT_EQ(error, std::string(path) + ": larger than 64 MiB");
  ASSERT_EQ(truncate(path, 0), 0);
  EXPECT_FALSE(ReadSavedList(path, &error));
  EXPECT_EQ(error, std::string(path) + ": no device list: the file is empty");
  std::remove(path);
}

// A stream without a size (/dev/zero) is refused at the first byte past the
// limit, and no more than the limit is ever held: the peak resident memory
// of a fresh process grows by less than 80 MiB.
TEST(SavedListDeathTest, RefusesAnEndlessStreamHoldingNoMoreThanTheLimit) {
  if (!kMemoryMeasured) GTEST_SKIP() << "peak memory is not measured under a sanitizer";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const long long before = RestartPeak();  // KiB
        std::string error;
        const bool refused = !ReadSavedList("/dev/zero", &error) && error == "/dev/zero: larger than 64 MiB";
        const long long grew = ProcNumber("/proc/self/status", "VmHWM") - before;
        std::fprintf(stderr, "refused: %d (%s), peak grew by %lld KiB\n", refused, error.c_str(), grew);
        std::_Exit(refused && before > 0 && grew < 80 * 1024 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A list of 200,000 devices (58 MB of JSON) is read without building its
// whole tree, and compared with a search without copying it or giving each
// device a deque: each step's peak memory in a fresh process stays within
// a little more than the devices themselves (75 MB).
TEST(SavedListDeathTest, ReadsAndComparesTwoHundredThousandDevicesInLittleMoreThanTheirSize) {
  if (!kMemoryMeasured) GTEST_SKIP() << "peak memory is not measured under a sanitizer";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string json = "[";
        json.reserve(64u << 20);
        const std::vector<RowNote> notes;
        for (std::size_t i = 0; i < kMaxSavedListDevices; ++i) {
          const std::string mac = StringPrintf("00:11:22:%02zx:%02zx:%02zx", i >> 16, (i >> 8) & 0xff, i & 0xff);
          tComUnitInfo r = MakeRecord({.model = "NVR-3208", .name = StringPrintf("Device %zu", i), .ip = "10.0.0.1",
                                       .netmask = "255.0.0.0", .mac = mac, .note = std::string(40, 'n')});
          json += (i ? "," : "") + RecordJson(r, "protocol", "eth0", nullptr, &notes);
        }
        json += "]";
        const long long before = RestartPeak();  // KiB
        std::string error;
        const std::optional<std::vector<ListedDevice>> saved = ParseSavedList(json, &error);
        const long long read = ProcNumber("/proc/self/status", "VmHWM") - before;
        json = std::string();
        const long long after_read = RestartPeak();
        const std::vector<DeviceChange> changes = CompareDevices(*saved, {});
        const long long compared = ProcNumber("/proc/self/status", "VmHWM") - after_read;
        std::fprintf(stderr, "%zu devices (%s), reading grew the peak by %lld KiB, comparing by %lld KiB\n",
                     saved ? saved->size() : 0, error.c_str(), read, compared);
        const bool sound = saved && saved->size() == kMaxSavedListDevices && changes.size() == kMaxSavedListDevices;
        std::_Exit(sound && read < 150 * 1024 && compared < 150 * 1024 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
