// Where the window's Export writes: the name's extension, else the type
// picked in the dialog.
#include "app/export_target.h"

#include <gtest/gtest.h>

namespace {

// A name that ends in .csv or .json (any case) chooses its format; any other
// gets the extension of the type picked in the dialog.
TEST(ExportTarget, FollowsTheExtensionElseThePickedType) {
  auto target = [](const std::string& path, OutputFormat picked) {
    ExportTarget t = ChooseExportTarget(path, picked);
    return t.path + (t.format == OutputFormat::kJson ? " json" : t.format == OutputFormat::kCsv ? " csv" : " ?");
  };
  EXPECT_EQ(target("/tmp/a.csv", OutputFormat::kJson), "/tmp/a.csv csv");
  EXPECT_EQ(target("/tmp/a.JSON", OutputFormat::kCsv), "/tmp/a.JSON json");
  EXPECT_EQ(target("/tmp/a", OutputFormat::kJson), "/tmp/a.json json");
  EXPECT_EQ(target("/tmp/a.txt", OutputFormat::kCsv), "/tmp/a.txt.csv csv");
  EXPECT_EQ(target("/tmp/json", OutputFormat::kCsv), "/tmp/json.csv csv");
  EXPECT_EQ(target("", OutputFormat::kCsv), ".csv csv");
}

}  // namespace
