// GLib's log writer and libxml2's error handlers, keeping library messages
// for the debug log.
#include "upnp/library_log.h"

#include <glib.h>
#include <libxml/xmlerror.h>

#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>

#include "protocol/string_printf.h"

namespace {

struct Kept {
  std::string text;
  std::size_t times = 1;
};

std::mutex kept_mutex;
std::vector<Kept> kept;                         // guarded by kept_mutex
std::map<std::string, std::size_t> kept_index;  // text to its place in `kept`; guarded
std::size_t dropped = 0;                        // guarded by kept_mutex

// Keeps `text` as one line (line breaks become blanks, blanks at the end go),
// or counts it once more when it is kept already.
void Keep(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  std::lock_guard<std::mutex> lock(kept_mutex);
  auto it = kept_index.find(text);
  if (it != kept_index.end()) {
    ++kept[it->second].times;
  } else if (kept.size() < kLibraryMessageLimit) {
    kept_index.emplace(text, kept.size());
    kept.push_back(Kept{std::move(text)});
  } else {
    ++dropped;
  }
}

const char* GlibLevelName(GLogLevelFlags level) {
  if (level & G_LOG_LEVEL_ERROR) return "error";
  if (level & G_LOG_LEVEL_CRITICAL) return "critical";
  if (level & G_LOG_LEVEL_WARNING) return "warning";
  if (level & G_LOG_LEVEL_MESSAGE) return "message";
  if (level & G_LOG_LEVEL_INFO) return "info";
  return "debug";
}

std::string FieldText(const GLogField& field) {
  const char* value = static_cast<const char*>(field.value);
  if (value == nullptr) return "";
  return field.length < 0 ? std::string(value) : std::string(value, static_cast<std::size_t>(field.length));
}

GLogWriterOutput WriteGlibMessage(GLogLevelFlags level, const GLogField* fields, gsize count,
                                  gpointer) {
  std::string domain, message;
  for (gsize i = 0; i < count; ++i) {
    if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0) domain = FieldText(fields[i]);
    if (std::strcmp(fields[i].key, "MESSAGE") == 0) message = FieldText(fields[i]);
  }
  if ((level & (G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_INFO)) &&
      g_log_writer_default_would_drop(level, domain.empty() ? nullptr : domain.c_str()))
    return G_LOG_WRITER_HANDLED;
  if (level & G_LOG_FLAG_FATAL) g_log_writer_default(level, fields, count, nullptr);
  Keep((domain.empty() ? std::string("GLib") : domain) + " " + GlibLevelName(level) + ": " + message);
  return G_LOG_WRITER_HANDLED;
}

void OnXmlError(void*, xmlErrorPtr error) {
  if (error == nullptr) return;
  const char* level = error->level == XML_ERR_WARNING ? "warning"
                      : error->level == XML_ERR_FATAL ? "fatal error"
                                                      : "error";
  std::string where;
  if (error->file != nullptr) where = StringPrintf("%s:%d: ", error->file, error->line);
  Keep(StringPrintf("libxml2 %s: ", level) + where + (error->message ? error->message : ""));
}

// libxml2's generic messages come in pieces; a line is kept when it ends.
thread_local std::string xml_generic_line;

void OnXmlGenericError(void*, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  xml_generic_line += StringVPrintf(format, ap);
  va_end(ap);
  std::size_t end;
  while ((end = xml_generic_line.find('\n')) != std::string::npos) {
    Keep("libxml2: " + xml_generic_line.substr(0, end));
    xml_generic_line.erase(0, end + 1);
  }
}

}  // namespace

void RouteLibraryMessages() {
  static std::once_flag glib_once;
  std::call_once(glib_once, [] {
    g_log_set_writer_func(WriteGlibMessage, nullptr, nullptr);
    xmlThrDefSetStructuredErrorFunc(nullptr, OnXmlError);
    xmlThrDefSetGenericErrorFunc(nullptr, OnXmlGenericError);
  });
  xmlSetStructuredErrorFunc(nullptr, OnXmlError);
  xmlSetGenericErrorFunc(nullptr, OnXmlGenericError);
}

std::vector<std::string> TakeLibraryMessages() {
  std::lock_guard<std::mutex> lock(kept_mutex);
  std::vector<std::string> out;
  for (const Kept& k : kept)
    out.push_back(k.times > 1 ? StringPrintf("%s (%zu times)", k.text.c_str(), k.times) : k.text);
  if (dropped > 0) out.push_back(StringPrintf("(%zu more library messages not kept)", dropped));
  kept.clear();
  kept_index.clear();
  dropped = 0;
  return out;
}
