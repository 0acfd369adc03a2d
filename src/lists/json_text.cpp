// JSON string literals and objects.
#include "lists/json_text.h"

#include <optional>
#include <string_view>

#include "protocol/record_text.h"
#include "protocol/string_printf.h"

namespace {


// Compact, or indented by two spaces per level with `depth` the object's own.
void WriteJsonValue(std::ostream& out, const JsonMember& m, bool pretty, int depth) {
  switch (m.kind) {
    case JsonMember::kText:
      out << JsonString(m.text);
      break;
    case JsonMember::kObject:
      WriteJsonObject(out, m.object, pretty, depth);
      break;
    case JsonMember::kObjects: {
      const std::string indent = pretty ? "\n" + std::string(2 * (depth + 1), ' ') : "";
      out << "[";
      for (std::size_t i = 0; i < m.objects.size(); ++i) {
        out << (i ? "," : "") << indent;
        WriteJsonObject(out, m.objects[i], pretty, depth + 1);
      }
      if (pretty && !m.objects.empty()) out << "\n" << std::string(2 * depth, ' ');
      out << "]";
      break;
    }
    case JsonMember::kTexts:
      out << "[";
      for (std::size_t i = 0; i < m.texts.size(); ++i) out << (i ? (pretty ? ", " : ",") : "") << JsonString(m.texts[i]);
      out << "]";
      break;
  }
}

}  // namespace

void WriteJsonObject(std::ostream& out, const std::vector<JsonMember>& members, bool pretty, int depth) {
  const std::string indent = pretty ? "\n" + std::string(2 * (depth + 1), ' ') : "";
  out << "{";
  for (std::size_t i = 0; i < members.size(); ++i) {
    out << (i ? "," : "") << indent << JsonString(members[i].key) << (pretty ? ": " : ":");
    WriteJsonValue(out, members[i], pretty, depth + 1);
  }
  if (pretty && !members.empty()) out << "\n" << std::string(2 * depth, ' ');
  out << "}";
}

std::string JsonString(const std::string& text) {
  const std::optional<std::string_view> utf8 = Utf8Text(text);
  const std::string_view bytes = utf8 ? *utf8 : std::string_view(text);
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char ch = bytes[i];
    const auto c = static_cast<unsigned char>(ch);
    const auto next = [&](std::size_t k) { return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0; };
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f || (c >= 0x80 && !utf8)) {
          out += StringPrintf("\\u%04x", c);
        } else if (c == 0xc2 && next(1) <= 0x9f) {
          out += StringPrintf("\\u%04x", next(1));  // C1, U+0080-U+009F
          i += 1;
        } else if (c == 0xe2 && next(1) == 0x80 && (next(2) == 0xa8 || next(2) == 0xa9)) {
          out += StringPrintf("\\u%04x", 0x2000 | (next(2) & 0x3f));  // U+2028, U+2029: line breaks to some readers
          i += 2;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}
