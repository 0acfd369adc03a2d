// JSON text as the program writes it for the world outside: string literals
// for any bytes a device sent, and objects of texts, objects and arrays,
// compact or indented. The row writer and the watch's event lines write
// their JSON with it. Plain functions, any thread.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

// JSON string literal for any bytes, which reads back as exactly the text
// the record text rule reads (RecordText): UTF-8 passes through (a character
// cut at the end is left out), other bytes are read as Latin-1. The C0
// controls, DEL and U+0080-U+009F are escaped ("\n", "\u007f", "\u0085"),
// and so are the line and paragraph separators ("\u2028", "\u2029"), which
// readers that split lines the Unicode way take for line ends.
std::string JsonString(const std::string& text);

// One member of a JSON object: a text, an object of its own, an array of
// objects or an array of texts.
struct JsonMember {
  enum Kind { kText, kObject, kObjects, kTexts };
  JsonMember(std::string k, std::string t) : key(std::move(k)), text(std::move(t)) {}
  JsonMember(std::string k, std::vector<JsonMember> o) : key(std::move(k)), kind(kObject), object(std::move(o)) {}
  JsonMember(std::string k, std::vector<std::vector<JsonMember>> o)
      : key(std::move(k)), kind(kObjects), objects(std::move(o)) {}
  JsonMember(std::string k, std::vector<std::string> t) : key(std::move(k)), kind(kTexts), texts(std::move(t)) {}
  std::string key;
  Kind kind = kText;
  std::string text;
  std::vector<JsonMember> object;
  std::vector<std::vector<JsonMember>> objects;
  std::vector<std::string> texts;
};

// Writes `members` as one object: compact, or indented by two spaces per
// level with `depth` the object's own level (0 at the top).
void WriteJsonObject(std::ostream& out, const std::vector<JsonMember>& members, bool pretty, int depth);
