// The exchanges of a search over the network (UDP search, TCP relay, HTTP
// command), as the window and the command line run them.
#pragma once

#include <memory>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "search/search_driver.h"

// The exchanges over the network, feeding `table` through the reply intake.
// The socket exchanges run on a thread of their own so that the window stays
// responsive; their answers and log lines are handed to the calling thread's
// Qt event loop, which must be running. Destruction waits for a running
// exchange (each is bounded in time).
std::unique_ptr<SearchExchanges> MakeNetworkExchanges(DeviceTable& table,
                                                      const SearchSettings& settings,
                                                      DebugLog& log);
