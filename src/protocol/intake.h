// The reply intake: walks one decoded answer packet by packet and turns each
// new device information packet into a record of the device list and, when
// the project filter lets it through, a grid row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"

// 0 (show) when `proj` equals the filter text or the filter is "ALL",
// -1 (hide) otherwise; both comparisons exact and case-sensitive.
int ProjectFilter(const std::string& filter, std::string_view proj);

// Walks the zero-terminated packet texts of `buffer` (of `buffer_size` bytes)
// from offset 0 while the offset is below `bound`, stopping at the first
// empty text. A device information packet whose (ip, mac) is not yet in the
// list is appended; shown ones fill the grid row at the row counter, which
// then advances and becomes the grid's row count. A text that runs to the end
// of the buffer without a zero byte is read up to the buffer's end only.
// `interface` (the network the answer came in on, "" when unknown) and
// `local_address` (the address of this machine the answer reached, network
// byte order, 0 when unknown) are kept beside each appended record; the
// interface, when known, is named in one debug log line
// per appended record (kAnsweredOnLog) while the list holds at most
// kAnsweredOnLogLimit records; kAnsweredOnLogEnd follows the last such line.
// Result: the number of records appended, hidden ones included.
int ParserPlainPkg(DeviceTable& table, const SearchSettings& settings,
                   DebugLog& log, const unsigned char* buffer,
                   std::size_t buffer_size, std::size_t bound,
                   std::string_view interface = {}, std::uint32_t local_address = 0);

// A new device and where it answered: ip, mac, interface.
extern const char kAnsweredOnLog[];  // "Device %s [%s] answered on %s\n"
extern const char kAnsweredOnLogEnd[];
// "Further devices' interfaces are not logged (see each row's tooltip)\n"
constexpr std::size_t kAnsweredOnLogLimit = 1000;

