// Command-line options read from a table, and the same table printed as a
// command's option list for --help: the one reader of `device-search search`,
// `device-search setup` and the device simulator.
#pragma once

#include <functional>
#include <string>
#include <vector>

// What an option does with its value ("" for an option that takes none).
// False, with *error set to a one-line message, refuses the value.
using OptionTake = std::function<bool(const std::string& value, std::string* error)>;

// One row of a command's option table.
struct Option {
  Option(std::vector<std::string> spellings, std::string value_name, std::string help_text,
         OptionTake take_value = nullptr);
  // A row that is no option: a line of text in the option list (a heading,
  // or "" for an empty line).
  static Option Text(std::string line);
  // This option, ending the reading (see `ends`).
  Option Ending() const;
  // This option, shown in the list as `text` (see `shown`).
  Option ShownAs(std::string text) const;

  // The spellings ("--relay", or "-h" and "--help"); none for a text row,
  // whose `help` is its line.
  std::vector<std::string> names;
  // The value's name in the list ("ADDRESS"); empty for an option without a
  // value.
  std::string value;
  // Its text in the option list, lines separated by "\n"; a text that begins
  // with "\n" starts on the line after the option. An empty text keeps the
  // option out of the list.
  std::string help;
  OptionTake take;
  // Reading stops after this option (--help): what follows is not read.
  bool ends = false;
  // What the list shows in place of the names and the value, when not empty.
  std::string shown;
};

// Reads `args` in order, each one an option's name followed by its value
// when it takes one, and calls the option's `take`. Stops after an option
// that `ends` the reading. False, with *error set, for an unknown argument
// ("unknown argument 'X'"), a missing value ("--relay needs a value") or a
// value its option refuses; then nothing after it is read.
bool ReadOptions(const std::vector<std::string>& args, const std::vector<Option>& options, std::string* error);

// The option list: per row "  " and the option's names (", " between them)
// and value, then its help from `column` on (one blank at least, two when the
// names run past the column), each further help line indented to `column`.
std::string OptionList(const std::vector<Option>& options, int column);

// An argument as an error message quotes it: between "'" and "'", the
// argument, or its first 40 bytes and "..." when it is longer (cut before a
// byte that continues a UTF-8 character). The message is shown by the
// shown-text rule where it is printed (EndBeforeRunning), so no control
// character of the argument reaches the terminal.
std::string QuotedArgument(const std::string& text);

// Takes for the usual options: the value stored as it is; a flag set to `to`.
OptionTake StoreValue(std::string* target);
OptionTake SetFlag(bool* target, bool to = true);
