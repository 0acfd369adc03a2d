// The option-table reader: values, flags, stops and refusals, the option
// list that --help prints from the same table, and how every command's
// argument errors quote what they were given.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "cli/search_command.h"
#include "cli/setup_command.h"
#include "cli/watch_command.h"

namespace {

struct Read {
  std::string name, mode;
  bool verbose = false, help = false;
  std::vector<Option> Table() {
    return {
        Option::Text("Options:"),
        {{"--name"}, "NAME", "the name", StoreValue(&name)},
        {{"--mode"}, "MODE", "fast or slow", [this](const std::string& value, std::string* error) {
           if (value != "fast" && value != "slow") {
             *error = "--mode must be fast or slow";
             return false;
           }
           mode = value;
           return true;
         }},
        {{"-v", "--verbose"}, "", "say more\nand more", SetFlag(&verbose)},
        {{"--hidden"}, "", "", SetFlag(&verbose)},
        Option({"--help"}, "", "print this help", SetFlag(&help)).Ending(),
        {{"--a-very-long-option"}, "VALUE", "past the column", nullptr},
        {{"--longest-option-of-all"}, "", "\non a line of its own", nullptr},
        Option({"--one"}, "N", "one").ShownAs("--one N, --two N"),
    };
  }
  bool Args(const std::vector<std::string>& args, std::string* error) { return ReadOptions(args, Table(), error); }
};

}  // namespace

TEST(Options, ReadsValuesAndFlagsInOrder) {
  Read r;
  std::string error;
  ASSERT_TRUE(r.Args({"--name", "--mode", "-v", "--mode", "slow", "--hidden"}, &error)) << error;
  EXPECT_EQ(r.name, "--mode");  // a value may look like an option
  EXPECT_EQ(r.mode, "slow");
  EXPECT_TRUE(r.verbose);
  EXPECT_TRUE(r.Args({}, &error));
}

TEST(Options, RefusesUnknownArgumentsMissingValuesAndWhatATakeRefuses) {
  Read r;
  std::string error;
  EXPECT_FALSE(r.Args({"--name", "x", "extra"}, &error));
  EXPECT_EQ(error, "unknown argument 'extra'");
  EXPECT_FALSE(r.Args({"Options:"}, &error));  // a text row is no option
  EXPECT_EQ(error, "unknown argument 'Options:'");
  EXPECT_FALSE(r.Args({"--name"}, &error));
  EXPECT_EQ(error, "--name needs a value");
  Read fresh;
  EXPECT_FALSE(fresh.Args({"--mode", "medium", "--name", "late"}, &error));
  EXPECT_EQ(error, "--mode must be fast or slow");
  EXPECT_EQ(fresh.name, "");  // nothing after a refusal is read
}

TEST(Options, AnEndingOptionStopsTheReading) {
  Read r;
  std::string error;
  ASSERT_TRUE(r.Args({"--help", "--mode", "medium", "extra"}, &error));
  EXPECT_TRUE(r.help);
  EXPECT_EQ(r.mode, "");
  EXPECT_FALSE(r.Args({"--mode", "medium", "--help"}, &error));  // an earlier fault still counts
}

TEST(Options, ListsEachOptionWithItsHelpFromTheColumn) {
  Read r;
  EXPECT_EQ(OptionList(r.Table(), 20),
            "Options:\n"
            "  --name NAME       the name\n"
            "  --mode MODE       fast or slow\n"
            "  -v, --verbose     say more\n"
            "                    and more\n"
            "  --help            print this help\n"
            "  --a-very-long-option VALUE  past the column\n"
            "  --longest-option-of-all\n"
            "                    on a line of its own\n"
            "  --one N, --two N  one\n");
  // One blank at least while the option fits before the column.
  EXPECT_EQ(OptionList({Option({"--x"}, "N", "y")}, 10), "  --x N   y\n");
  EXPECT_EQ(OptionList({Option({"--xyz"}, "N", "y")}, 10), "  --xyz N y\n");
}

// An argument quoted in a message is cut at 40 bytes, never inside a UTF-8
// character.
TEST(Options, QuotedArgumentsAreCutWholeCharactersAtATime) {
  EXPECT_EQ(QuotedArgument("eth0"), "'eth0'");
  EXPECT_EQ(QuotedArgument(std::string(40, 'a')), "'" + std::string(40, 'a') + "'");
  EXPECT_EQ(QuotedArgument(std::string(41, 'a')), "'" + std::string(40, 'a') + "...'");
  // "é" is two bytes: the 40th byte would split the twentieth.
  std::string accents;
  for (int i = 0; i < 25; ++i) accents += "\xc3\xa9";
  EXPECT_EQ(QuotedArgument("x" + accents), "'x" + accents.substr(0, 38) + "...'");
}

namespace {

// What a command prints on standard error, and its exit status.
std::pair<int, std::string> RunCapturing(int (*command)(const std::vector<std::string>&),
                                         const std::vector<std::string>& args) {
  std::ostringstream err;
  std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
  const int status = command(args);
  std::cerr.rdbuf(saved);
  return {status, err.str()};
}

}  // namespace

// Every command's argument errors repeat arguments and interface names only
// as the shown-text rule shows them: an escape sequence in an argument never
// reaches the terminal. Each of these ends before anything is searched.
TEST(Options, ArgumentErrorsShowArgumentsEscaped) {
  struct Case {
    int (*command)(const std::vector<std::string>&);
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {RunSetupCommand,
       {"--mac", "\x1b[31m00:AB:CD:00:00:0A", "--dhcp"},
       "device-search: --mac needs six hexadecimal pairs such as 00:11:22:33:44:55, not '\\x1b[31m00:AB:CD:00:00:0A' "
       "(see device-search setup --help)\n"},
      {RunSetupCommand,
       {"--mac", "00:AB:CD:00:00:0A", "--static", "--ip", "10.99.0.68\x1b[2J", "--netmask", "255.255.255.0",
        "--gateway", "10.99.0.254"},
       "device-search: Invalid IP Address - [10.99.0.68\\x1b[2J]: not a dotted quad such as 192.168.1.20 (four "
       "decimal numbers from 0 to 255, no leading zeros, nothing else) (see device-search setup --help)\n"},
      {RunSearchCommand, {"--\x1b]0;owned\x07"},
       "device-search: unknown argument '--\\x1b]0;owned\\x07' (see device-search search --help)\n"},
      {RunSearchCommand, {"--format", "t\xe2\x80\xae" "able"},
       "device-search: --format must be table, csv, json or ndjson, not 't\\u{202e}able' "
       "(see device-search search --help)\n"},
      {RunWatchCommand, {"--interval", "5\n6"},
       "device-search: --interval must be a whole number of seconds, at least 5, not '5\\x0a6' "
       "(see device-search watch --help)\n"},
  };
  for (const Case& c : cases) {
    const auto [status, err] = RunCapturing(c.command, c.args);
    EXPECT_EQ(status, 2) << c.args.front();
    EXPECT_EQ(err, c.err);
  }
  // An unknown interface, whatever this machine's interfaces are called.
  const auto [status, err] =
      RunCapturing(RunSetupCommand, {"--mac", "00:AB:CD:00:00:0A", "--dhcp", "--interface", "\x1b[2Jx9"});
  EXPECT_EQ(status, 2);
  EXPECT_EQ(err.rfind("device-search: no interface '\\x1b[2Jx9' to search on; ", 0), 0u) << err;
  EXPECT_EQ(err.find('\x1b'), std::string::npos);
}
