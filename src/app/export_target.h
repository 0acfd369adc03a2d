// Where the window's "Export..." writes and in which format. Plain values.
#pragma once

#include <string>

#include "lists/row_writer.h"

// Where the window's "Export..." writes and in which format, from the file
// name the user gave and the type picked in the file dialog (kCsv or kJson):
// a name that ends in ".csv" or ".json", in any case, is written in that
// format whatever was picked; any other name gets the picked type's
// extension appended.
struct ExportTarget {
  std::string path;
  OutputFormat format;
};
ExportTarget ChooseExportTarget(const std::string& path, OutputFormat picked);
