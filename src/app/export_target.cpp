// The Export dialog's target.
#include "app/export_target.h"

#include <cctype>
#include <string_view>

ExportTarget ChooseExportTarget(const std::string& path, OutputFormat picked) {
  auto ends_with = [&path](std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
  };
  if (ends_with(".csv")) return {path, OutputFormat::kCsv};
  if (ends_with(".json")) return {path, OutputFormat::kJson};
  return picked == OutputFormat::kJson ? ExportTarget{path + ".json", OutputFormat::kJson}
                                       : ExportTarget{path + ".csv", OutputFormat::kCsv};
}
