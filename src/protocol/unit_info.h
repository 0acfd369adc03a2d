// The fixed-width device record shared by every part of the program, and the
// helpers that write text into its fields without ever running past them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One device: eleven zero-terminated single-byte texts in fixed arrays.
// A value-initialised record (tComUnitInfo{}) is all zero: every field empty.
struct tComUnitInfo {
  char model[32];
  char proj[32];
  char name[32];
  char ip[16];
  char trigger_port[8];
  char netmask[16];
  char gateway[16];
  char dns[16];
  char mac[24];
  char dev[16];
  char note[56];
};
static_assert(sizeof(tComUnitInfo) == 264, "tComUnitInfo must stay 264 bytes");

constexpr int kUnitFieldCount = 11;

// Field i (0 = model ... 10 = note) in record order, and its width in bytes
// (terminating zero included).
char* UnitField(tComUnitInfo& info, int i);
const char* UnitField(const tComUnitInfo& info, int i);
std::size_t UnitFieldWidth(int i);
// The field names as they are spelt in the record ("model", "trigger_port", ...).
const char* UnitFieldName(int i);

// Writes text into a field of the given width: at most width-1 bytes are
// copied (a longer text is cut) and the field is always zero-terminated.
void SetUnitField(char* field, std::size_t width, std::string_view text);

template <std::size_t N>
void SetField(char (&field)[N], std::string_view text) {
  SetUnitField(field, N, text);
}

// The text of a field, read up to its terminating zero or its width.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return std::string_view(field, n);
}
