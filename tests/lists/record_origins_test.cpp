// Where each record of a search came from: the exchange's source, then the
// UPnP merge's devices in order.
#include "lists/record_origins.h"

#include <gtest/gtest.h>

// The exchange's records come first, "httpcmd" for the HTTP command; the
// merge's follow, one per device it keeps (a device of another maker gives
// none), so each is paired with its own UPnP texts.
TEST(RecordOrigins, OfASearchPairRecordsWithTheirSource) {
  SearchSettings http;
  http.ip_relay = true;
  http.relay_protocol = "HttpCmd";
  std::vector<DeviceInformationContainer> results(3);
  results[0].manufacturer_name = "AXIS";
  results[0].presentation_url = "http://10.0.0.8/";
  results[1].manufacturer_name = "Other";
  results[1].presentation_url = "http://10.0.0.9/";
  results[2].manufacturer_name = "Vivotek Corporation";
  results[2].friendly_name = "Cam (1)";
  results[2].presentation_url = "http://10.0.0.10:81/";
  RecordOrigins origins = OriginsOfSearch(http, 2, &results);
  EXPECT_EQ(origins.SourceOf(0), "httpcmd");
  EXPECT_EQ(origins.SourceOf(1), "httpcmd");
  EXPECT_EQ(origins.SourceOf(2), "upnp");
  EXPECT_EQ(origins.UpnpOf(1), nullptr);
  EXPECT_EQ(origins.UpnpOf(2), &results[0]);
  EXPECT_EQ(origins.UpnpOf(3), &results[2]);
  EXPECT_EQ(origins.UpnpOf(4), nullptr);

  // A broadcast whose exchange still runs: every record is the exchange's.
  RecordOrigins running = OriginsOfSearch(SearchSettings{}, SIZE_MAX, nullptr);
  EXPECT_EQ(running.SourceOf(7), "protocol");
  EXPECT_EQ(running.UpnpOf(7), nullptr);
}
