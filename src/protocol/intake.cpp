// Reply intake into the device list and the grid.
#include "protocol/intake.h"

#include <cstring>

#include "protocol/codec.h"
#include "protocol/string_printf.h"

const char kAnsweredOnLog[] = "Device %s [%s] answered on %s\n";
const char kAnsweredOnLogEnd[] = "Further devices' interfaces are not logged (see each row's tooltip)\n";

int ProjectFilter(const std::string& filter, std::string_view proj) {
  if (filter == "ALL" || proj == filter) return 0;
  return -1;
}

int ParserPlainPkg(DeviceTable& table, const SearchSettings& settings,
                   DebugLog& log, const unsigned char* buffer,
                   std::size_t buffer_size, std::size_t bound,
                   std::string_view interface, std::uint32_t local_address) {
  if (buffer == nullptr) return 0;
  if (bound > buffer_size) bound = buffer_size;
  const char* text = reinterpret_cast<const char*>(buffer);
  std::size_t offset = 0;
  int count = 0;
  table.grid.BeginUpdate();
  while (offset < bound) {
    std::size_t left = buffer_size - offset;
    const void* end = std::memchr(text + offset, '\0', left);
    std::size_t len = end ? static_cast<const char*>(end) - (text + offset) : left;

    tComUnitInfo info{};
    if (ParseReply(text + offset, len, &info, log) == 1 &&
        table.devices.FindFirst(FieldText(info.ip), FieldText(info.mac)) == nullptr) {
      table.devices.Append(info, interface, local_address);
      ++count;
      // A line each for the first records of a search only: a burst of
      // thousands would hold the window's debug log for seconds.
      const std::size_t records = table.devices.Size();
      if (!interface.empty() && records <= kAnsweredOnLogLimit) {
        log.Append(StringPrintf(kAnsweredOnLog, std::string(FieldText(info.ip)).c_str(),
                                std::string(FieldText(info.mac)).c_str(), std::string(interface).c_str()));
        if (records == kAnsweredOnLogLimit) log.Append(kAnsweredOnLogEnd);
      }
      if (ProjectFilter(settings.project, FieldText(info.proj)) == 0) {
        table.grid.SetRow(table.row_counter, GridRowOf(info));
        ++table.row_counter;
        table.grid.SetRowCount(table.row_counter);
      }
    }

    offset += len + 1;
    if (offset >= buffer_size || text[offset] == '\0') break;
  }
  table.grid.EndUpdate();
  return count;
}
