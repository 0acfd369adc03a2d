// Helpers shared by the fuzz targets: a check that aborts with a message (so
// that libFuzzer and the corpus replay both stop on a broken rule), and the
// record and input helpers every target needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocol/unit_info.h"

// Aborts with "what" and the source line when `ok` is false.
#define FUZZ_CHECK(ok, what)                                                    \
  do {                                                                          \
    if (!(ok)) {                                                                \
      std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", __FILE__, __LINE__, \
                   what);                                                       \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

// True when every field of the record holds a zero byte within its width.
inline bool FieldsTerminated(const tComUnitInfo& info) {
  for (int i = 0; i < kUnitFieldCount; ++i)
    if (std::memchr(UnitField(info, i), '\0', UnitFieldWidth(i)) == nullptr) return false;
  return true;
}

// True when two records hold the same bytes.
inline bool SameRecord(const tComUnitInfo& a, const tComUnitInfo& b) {
  return std::memcmp(&a, &b, sizeof(tComUnitInfo)) == 0;
}

// The fuzzer's bytes as a text, up to the first zero byte.
inline std::string TextOf(const std::uint8_t* data, std::size_t size) {
  const void* zero = std::memchr(data, '\0', size);
  std::size_t n = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - data) : size;
  return std::string(reinterpret_cast<const char*>(data), n);
}
