// Where each record of a search came from (its exchange, the UPnP merge, or
// the live watch after the search), and the UPnP texts behind a record: what
// the rows written out say as their "source" and "upnp". Plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "upnp/device_information.h"

// Where the records of one search came from: the first `exchange_records`
// from its exchange (`exchange_source`: "protocol", or "httpcmd" for the HTTP
// command), every later one from the UPnP merge, which made one record of
// each device of `upnp`, in order (MergedUpnpDevices).
struct RecordOrigins {
  std::string exchange_source = "protocol";
  std::size_t exchange_records = SIZE_MAX;
  std::vector<const DeviceInformationContainer*> upnp = {};
  // Records appended after the search, from `later_from` on (the window's
  // live watch adds them): each one's source and UPnP texts (null: none).
  std::size_t later_from = SIZE_MAX;
  std::vector<std::string> later_sources = {};
  std::vector<const DeviceInformationContainer*> later_upnp = {};

  // "protocol", "httpcmd" or "upnp".
  std::string SourceOf(std::size_t record_index) const;
  // The UPnP texts behind a record, or null for records from other sources.
  const DeviceInformationContainer* UpnpOf(std::size_t record_index) const;
};

// The origins of a search run with `settings` whose exchange gave the first
// `exchange_records` records (SearchDriver::ExchangeRecords); `upnp_results`
// are the UPnP engine's results once the search has ended (null: none).
RecordOrigins OriginsOfSearch(const SearchSettings& settings, std::size_t exchange_records,
                              const std::vector<DeviceInformationContainer>* upnp_results);
