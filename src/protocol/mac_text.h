// The one rule for MAC texts: which texts are MACs, and when two texts name
// the same device. Devices write their MAC in either case and with ":" or
// "-" between the pairs; every part of the program that compares MACs (the
// plans, the notes, the watch, the comparison with a saved list, the grid
// after a verification, setup --mac) compares them by MacKey. Plain
// functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// True for six pairs of hexadecimal digits separated by ":" or "-".
bool IsMacText(std::string_view text);
// A MAC text as it is compared: lower case, "-" read as ":". Any text has a
// key (a device may send anything), and two texts name the same device
// exactly when their keys are equal.
std::string MacKey(std::string_view mac);
// MacKey(a) == MacKey(b).
bool SameMac(std::string_view a, std::string_view b);
// The 48 bits of a MAC text (IsMacText), first pair highest; none for any
// other text.
std::optional<std::uint64_t> MacValue(std::string_view mac);
