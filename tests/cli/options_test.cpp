// The option-table reader: values, flags, stops and refusals, and the option
// list that --help prints from the same table.
#include "cli/options.h"

#include <gtest/gtest.h>

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
