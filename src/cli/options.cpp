// The option-table reader and its option list.
#include "cli/options.h"

#include <algorithm>

namespace {

const Option* Find(const std::vector<Option>& options, const std::string& arg) {
  for (const Option& option : options)
    if (std::find(option.names.begin(), option.names.end(), arg) != option.names.end()) return &option;
  return nullptr;
}

std::string Shown(const Option& option) {
  if (!option.shown.empty()) return option.shown;
  std::string text;
  for (const std::string& name : option.names) text += (text.empty() ? "" : ", ") + name;
  return option.value.empty() ? text : text + " " + option.value;
}

}  // namespace

Option::Option(std::vector<std::string> spellings, std::string value_name, std::string help_text,
               OptionTake take_value)
    : names(std::move(spellings)), value(std::move(value_name)), help(std::move(help_text)),
      take(std::move(take_value)) {}

Option Option::Text(std::string line) { return Option({}, "", std::move(line)); }

Option Option::Ending() const {
  Option option = *this;
  option.ends = true;
  return option;
}

Option Option::ShownAs(std::string text) const {
  Option option = *this;
  option.shown = std::move(text);
  return option;
}

bool ReadOptions(const std::vector<std::string>& args, const std::vector<Option>& options, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Option* option = Find(options, args[i]);
    if (option == nullptr) {
      *error = "unknown argument " + QuotedArgument(args[i]);
      return false;
    }
    std::string value;
    if (!option->value.empty()) {
      if (i + 1 >= args.size()) {
        *error = args[i] + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (option->take && !option->take(value, error)) return false;
    if (option->ends) break;
  }
  return true;
}

std::string OptionList(const std::vector<Option>& options, int column) {
  const std::string indent(static_cast<std::size_t>(column), ' ');
  std::string list;
  for (const Option& option : options) {
    if (option.names.empty()) {
      list += option.help + "\n";
      continue;
    }
    if (option.help.empty()) continue;
    std::string line = "  " + Shown(option);
    std::string help = option.help;
    if (help.front() == '\n') {
      line += "\n" + indent;
      help.erase(0, 1);
    } else {
      const int pad = column - static_cast<int>(line.size());
      line += std::string(pad >= 1 ? static_cast<std::size_t>(pad) : 2, ' ');
    }
    for (std::size_t at; (at = help.find('\n')) != std::string::npos;) {
      line += help.substr(0, at) + "\n" + indent;
      help.erase(0, at + 1);
    }
    list += line + help + "\n";
  }
  return list;
}

std::string QuotedArgument(const std::string& text) {
  constexpr std::size_t kShown = 40;
  if (text.size() <= kShown) return "'" + text + "'";
  std::size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return "'" + text.substr(0, cut) + "...'";
}

OptionTake StoreValue(std::string* target) {
  return [target](const std::string& value, std::string*) {
    *target = value;
    return true;
  };
}

OptionTake SetFlag(bool* target, bool to) {
  return [target, to](const std::string&, std::string*) {
    *target = to;
    return true;
  };
}
