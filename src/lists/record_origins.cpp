// The origins of a search's records.
#include "lists/record_origins.h"

#include "upnp/upnp_merge.h"

std::string RecordOrigins::SourceOf(std::size_t record_index) const {
  if (record_index >= later_from && record_index - later_from < later_sources.size())
    return later_sources[record_index - later_from];
  return record_index < exchange_records ? exchange_source : "upnp";
}

const DeviceInformationContainer* RecordOrigins::UpnpOf(std::size_t record_index) const {
  if (record_index >= later_from)
    return record_index - later_from < later_upnp.size() ? later_upnp[record_index - later_from] : nullptr;
  if (record_index < exchange_records || record_index - exchange_records >= upnp.size()) return nullptr;
  return upnp[record_index - exchange_records];
}

RecordOrigins OriginsOfSearch(const SearchSettings& settings, std::size_t exchange_records,
                              const std::vector<DeviceInformationContainer>* upnp_results) {
  RecordOrigins origins;
  origins.exchange_source = ModeOf(settings) == SearchMode::kHttpCmd ? "httpcmd" : "protocol";
  origins.exchange_records = exchange_records;
  if (upnp_results != nullptr) origins.upnp = MergedUpnpDevices(*upnp_results);
  return origins;
}
