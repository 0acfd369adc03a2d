// Saved device lists read back: JSON, ndjson and the CSV the program writes.
#include "lists/saved_list.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "protocol/csv_cell.h"
#include "protocol/csv_record.h"
#include "protocol/record_text.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"

namespace {

constexpr int kMacField = 8;
constexpr int kNetmaskField = 5;

// What is said of a device that takes more than kMaxSavedListRowBytes.
std::string LongRow() { return StringPrintf("a device longer than %zu MiB", kMaxSavedListRowBytes / (1024 * 1024)); }

// The line (from 1) on which `offset` of `text` lies.
int LineAt(std::string_view text, std::size_t offset) {
  int line = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i)
    if (text[i] == '\n') ++line;
  return line;
}

// The bytes a field of `width` keeps of a UTF-8 text (up to a zero byte, if
// it holds one): the text when it fits;
// else its Latin-1 bytes when it has them, they fit and they read back as the
// same text; else the text cut at the end of the last character that fits.
std::string FieldBytes(const std::string& whole, std::size_t width) {
  const std::string utf8 = whole.substr(0, whole.find('\0'));  // what a field holds ends at a zero
  if (utf8.size() < width) return utf8;
  const QString text = RecordText(utf8);
  bool latin1 = text.size() < static_cast<qsizetype>(width);
  for (qsizetype i = 0; latin1 && i < text.size(); ++i) latin1 = text[i].unicode() <= 0xFF;
  if (latin1) {
    // Unless those bytes would read as another text, being UTF-8 themselves
    // ("Ã©" in Latin-1 is "é" in UTF-8).
    std::string bytes = text.toLatin1().toStdString();
    if (RecordText(bytes) == text) return bytes;
  }
  std::size_t n = width - 1;
  while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
  return utf8.substr(0, n);
}

void SetRecordField(ListedDevice& d, int f, const std::string& utf8) {
  SetUnitField(UnitField(d.record, f), UnitFieldWidth(f), FieldBytes(utf8, UnitFieldWidth(f)));
  d.known |= static_cast<KnownFields>(1u << f);
}

// The JSON text of `bytes` for Qt's parser, with each U+FEFF in its escaped
// form: Qt drops the character from the start of a string that holds it
// raw, as the writers write it (a name that begins with one). One that
// begins the text is left as it is: Qt reads past it there.
QByteArray JsonBytes(std::string_view bytes) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  const std::size_t kept = bytes.starts_with(kBom) ? kBom.size() : 0;
  QByteArray json(bytes.data(), static_cast<qsizetype>(kept));
  for (std::size_t at = kept; at < bytes.size();) {
    const std::size_t bom = std::min(bytes.find(kBom, at), bytes.size());
    json.append(bytes.data() + at, static_cast<qsizetype>(bom - at));
    if (bom < bytes.size()) json.append("\\ufeff");
    at = bom + kBom.size();
  }
  return json;
}

bool IsUpnpMark(const ListedDevice& d) { return FieldText(d.record.mac) == "NULL"; }

// One JSON object of a row as a device. Returns false with *error set when
// it is no row; *missing says the row was written as "missing".
bool DeviceOfObject(const QJsonObject& o, ListedDevice* d, bool* missing, std::string* error) {
  *d = ListedDevice{};
  d->known = 0;
  auto text = [&](const char* key, std::string* out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) return true;
    if (!v.isString()) {
      *error = StringPrintf("\"%s\" is not a text", key);
      return false;
    }
    *out = v.toString().toStdString();
    return true;
  };
  for (int f = 0; f < kUnitFieldCount; ++f) {
    std::string value;
    if (!text(UnitFieldName(f), &value)) return false;
    if (o.contains(QLatin1String(UnitFieldName(f)))) SetRecordField(*d, f, value);
  }
  if (d->known == 0) {
    *error = "an object without any of a device's fields";
    return false;
  }
  std::string compare;
  if (!text("source", &d->source) || !text("interface", &d->interface) || !text("compare", &compare)) return false;
  const QJsonValue upnp = o.value(QLatin1String("upnp"));
  if (upnp.isObject()) d->udn = upnp.toObject().value(QLatin1String("unique_device_name")).toString().toStdString();
  d->upnp = d->source == "upnp" || (d->source.empty() && IsUpnpMark(*d));
  *missing = compare == "missing";
  return true;
}

// Adds a device unless it was written as missing; false with *error set when
// the list would grow too long.
bool Keep(std::vector<ListedDevice>& devices, ListedDevice d, bool missing, std::string* error) {
  if (missing) return true;
  if (devices.size() == kMaxSavedListDevices) {
    *error = StringPrintf("more than %zu devices", kMaxSavedListDevices);
    return false;
  }
  devices.push_back(std::move(d));
  return true;
}

// The elements of the JSON array that `text` holds (blanks, "[", ...),
// found one at a time without building the whole document, so that a list
// of 200,000 devices never becomes one tree in memory. Errors read as Qt's
// parser words them.
class JsonArrayElements {
 public:
  explicit JsonArrayElements(std::string_view text) : text_(text) {
    pos_ = text_.find('[') + 1;  // the caller found it first
  }

  // The next element's text (trimmed) and its offset in the text; false at
  // the array's end, or with *error set ("line N: not valid JSON (...)").
  bool Next(std::string_view* element, std::size_t* offset, std::string* error) {
    if (ended_) return false;
    SkipBlanks();
    const std::size_t start = pos_;
    std::string open;  // the brackets open inside the element
    while (true) {
      if (pos_ >= text_.size())
        return Fail(open.empty() || open.back() == '[' ? "unterminated array" : "unterminated object", error);
      const char c = text_[pos_];
      if (c == '"') {
        for (++pos_; pos_ < text_.size() && text_[pos_] != '"'; ++pos_)
          if (text_[pos_] == '\\') ++pos_;
        if (pos_ >= text_.size()) return Fail("unterminated string", error);
      } else if (c == '[' || c == '{') {
        if (open.size() == kMostNesting) return Fail("too deeply nested document", error);
        open += c;
      } else if ((c == ']' || c == '}') && !open.empty()) {
        open.pop_back();
      } else if (open.empty() && (c == ',' || c == ']')) {
        break;
      }
      ++pos_;
    }
    std::string_view found = text_.substr(start, pos_ - start);
    while (!found.empty() && IsBlank(found.back())) found.remove_suffix(1);
    if (found.size() > kMaxSavedListRowBytes) {
      ended_ = true;
      *error = StringPrintf("line %d: %s", LineAt(text_, start), LongRow().c_str());
      return false;
    }
    const bool last = text_[pos_] == ']';
    ++pos_;
    if (found.empty()) {
      if (last && count_ == 0) {  // "[]"
        End(error);
        return false;
      }
      return Fail(count_ == 0 ? "illegal value" : "object is missing after a comma", error, start);
    }
    ++count_;
    if (last && !End(error)) return false;
    *element = found;
    *offset = start;
    return true;
  }

 private:
  static constexpr std::size_t kMostNesting = 1024;  // as Qt's parser
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  // The array has closed: only blanks may follow. False, with *error set,
  // when something else does.
  bool End(std::string* error) {
    ended_ = true;
    SkipBlanks();
    return pos_ == text_.size() || Fail("garbage at the end of the document", error);
  }
  bool Fail(const char* what, std::string* error, std::size_t at = SIZE_MAX) {
    ended_ = true;
    *error = StringPrintf("line %d: not valid JSON (%s)", LineAt(text_, at == SIZE_MAX ? pos_ : at), what);
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t count_ = 0;
  bool ended_ = false;
};

std::optional<std::vector<ListedDevice>> ParseJsonArray(std::string_view bytes, std::string* error) {
  // A first pass checks the array's frame and counts its elements, so that
  // the list is made once at its size.
  std::size_t count = 0;
  std::string_view element;
  std::size_t offset = 0;
  for (JsonArrayElements elements(bytes); elements.Next(&element, &offset, error);) ++count;
  if (!error->empty()) return std::nullopt;
  std::vector<ListedDevice> devices;
  devices.reserve(std::min(count, kMaxSavedListDevices));
  JsonArrayElements elements(bytes);
  for (std::size_t i = 0; elements.Next(&element, &offset, error); ++i) {
    // In brackets of its own, so that Qt words its errors as in the array.
    const QByteArray json = "[" + JsonBytes(element) + "]";
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
      const auto within = static_cast<std::size_t>(std::max(parse.offset - 1, 0));
      *error = StringPrintf("line %d: not valid JSON (%s)", LineAt(bytes, offset + std::min(within, element.size())),
                            parse.errorString().toStdString().c_str());
      return std::nullopt;
    }
    const QJsonValue row = doc.array().at(0);
    ListedDevice d;
    bool missing = false;
    std::string why;
    if (!row.isObject()) why = "not an object";
    if (!why.empty() || !DeviceOfObject(row.toObject(), &d, &missing, &why)) {
      *error = StringPrintf("device %zu of the array: %s", i + 1, why.c_str());
      return std::nullopt;
    }
    if (!Keep(devices, std::move(d), missing, error)) return std::nullopt;
  }
  if (!error->empty()) return std::nullopt;
  return devices;
}

// Room for the devices of `bytes` at one a line: the list is made once,
// never copied as it grows.
std::vector<ListedDevice> RoomForLines(std::string_view bytes) {
  std::vector<ListedDevice> devices;
  devices.reserve(std::min(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1,
                           kMaxSavedListDevices));
  return devices;
}

std::optional<std::vector<ListedDevice>> ParseNdjson(std::string_view bytes, std::string* error) {
  std::vector<ListedDevice> devices = RoomForLines(bytes);
  int line = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view text = bytes.substr(start, end - start);
    start = end + 1;
    ++line;
    if (text.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    if (text.size() > kMaxSavedListRowBytes) {
      *error = StringPrintf("line %d: %s", line, LongRow().c_str());
      return std::nullopt;
    }
    QJsonParseError parse;
    const QJsonDocument doc =
        QJsonDocument::fromJson(JsonBytes(text), &parse);
    std::string why;
    ListedDevice d;
    bool missing = false;
    if (parse.error != QJsonParseError::NoError) why = "not valid JSON (" + parse.errorString().toStdString() + ")";
    else if (!doc.isObject()) why = "not a JSON object";
    if (!why.empty() || !DeviceOfObject(doc.object(), &d, &missing, &why)) {
      *error = StringPrintf("line %d: %s", line, why.c_str());
      return std::nullopt;
    }
    if (!Keep(devices, std::move(d), missing, error)) return std::nullopt;
  }
  return devices;
}

// A CSV cell as the record text it was written from.
std::string CellText(const std::string& cell) {
  std::string text = UnshownText(UnguardCsvCell(cell));
  if (!IsValidUtf8(text)) text = RecordText(text).toStdString();  // edited and saved in Latin-1
  return text;
}

std::optional<std::vector<ListedDevice>> ParseCsv(std::string_view bytes, std::string* error) {
  CsvRecordReader records(bytes, {kMaxSavedListRowBytes, LongRow(), false});
  std::vector<std::string> heading, cells;
  const std::string long_heading = StringPrintf("a heading of more than %zu cells", kMaxSavedListColumns);
  if (!records.Next(&heading, kMaxSavedListColumns, long_heading, error)) return std::nullopt;
  bool grid = heading.size() >= static_cast<std::size_t>(StringGrid::kColumns);
  for (int c = 0; grid && c < StringGrid::kColumns; ++c) grid = heading[static_cast<std::size_t>(c)] == kGridHeadings[c];
  if (!grid) {
    *error = "line 1: not a device list: the CSV heading must begin Model,Proj,Name,IP,Port,Netmask,Mac";
    return std::nullopt;
  }
  std::size_t interface = SIZE_MAX, compare = SIZE_MAX;
  for (std::size_t c = StringGrid::kColumns; c < heading.size(); ++c) {
    if (heading[c] == "Interface") interface = c;
    if (heading[c] == "Compare") compare = c;
  }
  // The grid's columns in record order: model, proj, name, ip, trigger_port, netmask, mac.
  const int fields[StringGrid::kColumns] = {0, 1, 2, 3, 4, kNetmaskField, kMacField};
  const std::string long_row =
      StringPrintf("more than %zu cells under a heading of %zu", heading.size(), heading.size());
  std::vector<ListedDevice> devices = RoomForLines(bytes);
  while (records.Next(&cells, heading.size(), long_row, error)) {
    if (cells.size() == 1 && cells[0].empty()) continue;  // an empty line
    if (cells.size() != heading.size()) {
      *error = StringPrintf("line %d: %zu cells under a heading of %zu", records.Line(), cells.size(), heading.size());
      return std::nullopt;
    }
    ListedDevice d;
    d.known = 0;
    for (int c = 0; c < StringGrid::kColumns; ++c) SetRecordField(d, fields[c], CellText(cells[static_cast<std::size_t>(c)]));
    if (interface != SIZE_MAX) d.interface = CellText(cells[interface]);
    d.upnp = IsUpnpMark(d);
    if (d.upnp) d.source = "upnp";
    if (!Keep(devices, std::move(d), compare != SIZE_MAX && cells[compare] == "missing", error)) return std::nullopt;
  }
  if (!error->empty()) return std::nullopt;
  return devices;
}

// A time as the messages say it: "10 s", "0.2 s".
std::string Seconds(std::chrono::milliseconds time) {
  if (time.count() % 1000 == 0) return StringPrintf("%lld s", static_cast<long long>(time.count() / 1000));
  return StringPrintf("%.1f s", static_cast<double>(time.count()) / 1000.0);
}

// A file descriptor, closed with its owner.
struct OpenFile {
  int fd;
  ~OpenFile() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::optional<std::vector<ListedDevice>> ParseSavedList(std::string_view bytes, std::string* error) {
  error->clear();
  if (bytes.size() > kMaxSavedListBytes) {
    *error = StringPrintf("larger than %zu MiB", kMaxSavedListBytes / (1024 * 1024));
    return std::nullopt;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);  // a byte order mark, as editors add one
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    *error = "no device list: the file is empty";
    return std::nullopt;
  }
  if (bytes[first] == '[' || bytes[first] == '{') {
    if (!IsValidUtf8(bytes)) {
      *error = "not UTF-8 text, as JSON must be";
      return std::nullopt;
    }
    return bytes[first] == '[' ? ParseJsonArray(bytes, error) : ParseNdjson(bytes, error);
  }
  if (bytes.starts_with("Model ")) {
    *error = "a table is not read back; save the list with --format json, ndjson or csv";
    return std::nullopt;
  }
  return ParseCsv(bytes, error);
}

std::optional<std::vector<ListedDevice>> ReadSavedList(const std::string& path, std::string* error,
                                                       std::chrono::milliseconds quiet_limit) {
  auto fail = [&](const std::string& why) {
    *error = path + ": " + why;
    return std::nullopt;
  };
  // Not blocking: opening a FIFO that nobody writes would wait for a writer.
  const OpenFile file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  const int fd = file.fd;
  if (fd < 0) return fail(std::strerror(errno));
  const std::string too_large = StringPrintf("larger than %zu MiB", kMaxSavedListBytes / (1024 * 1024));
  struct stat st {};
  if (fstat(fd, &st) != 0) return fail(std::strerror(errno));
  const bool regular = S_ISREG(st.st_mode);
  if (regular && static_cast<std::uintmax_t>(st.st_size) > kMaxSavedListBytes) return fail(too_large);
  // A pipe or a device has no size to tell: it is read in chunks, and
  // refused at the first byte past the limit, which is never held. Each read
  // waits for bytes (poll) at most `quiet_limit`; a FIFO's reader sees its
  // end only once a writer has come and gone, so a writer may come late.
  std::string bytes;
  if (regular) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  while (true) {
    if (!regular) {
      pollfd ready{fd, POLLIN, 0};
      const int polled = poll(&ready, 1, static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
                                             quiet_limit.count(), 0, std::numeric_limits<int>::max())));
      if (polled < 0 && errno == EINTR) continue;
      if (polled < 0) return fail(std::strerror(errno));
      if (polled == 0) return fail("nothing came for " + Seconds(quiet_limit) + " (a pipe that nobody writes?)");
    }
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return fail(std::strerror(errno));
    if (n == 0) break;
    const auto got = static_cast<std::size_t>(n);
    if (got > kMaxSavedListBytes - bytes.size()) return fail(too_large);
    if (bytes.capacity() - bytes.size() < got)
      bytes.reserve(std::min(std::max(2 * bytes.capacity(), bytes.size() + got), kMaxSavedListBytes));
    bytes.append(chunk, got);
  }
  std::optional<std::vector<ListedDevice>> devices = ParseSavedList(bytes, error);
  if (!devices) *error = path + ": " + *error;
  return devices;
}
