// A device's details without credentials: the SOAP 1.2 GetDeviceInformation
// request (device wsdl) sent as one HTTP/1.1 POST to the device's XAddr, and
// the reader of what comes back: an HTTP response (Content-Length, chunked,
// or up to the connection's close), then the SOAP body. No password is ever
// sent and no redirect is followed: a 3xx is an answer like any other.
//
// The reader uses the namespace-aware XML reader (discovery_messages.h) and
// refuses DTDs and entities the same way; texts are UTF-8, trimmed, bounded
// by kOnvifTextLimit.
//
// Plain functions of their arguments, safe on any thread.
#pragma once

#include <string>
#include <string_view>

// The whole HTTP request for the XAddr at `host_port` ("10.99.0.2:80") and
// `path` ("/onvif/device_service").
std::string DeviceInformationRequest(const std::string& host_port, const std::string& path);

enum class DetailsOutcome {
  kRead,         // GetDeviceInformationResponse read
  kCredentials,  // HTTP 401: the device wants a user name and password
  kFault,        // a SOAP fault (a device that wants credentials often sends one)
  kRefused,      // another HTTP status (a redirect included), or no response in it
  kMalformed,    // not HTTP, a body that is cut or not XML, a DTD
};

// The outcome's word for the account: "read", "credentials asked", "SOAP
// fault", "refused", "malformed".
const char* DetailsOutcomeWord(DetailsOutcome outcome);

struct DeviceDetails {
  DetailsOutcome outcome = DetailsOutcome::kMalformed;
  int status = 0;  // the HTTP status, 0 when none could be read
  std::string manufacturer, model, firmware_version, serial_number, hardware_id;
};

// The HTTP response `response`, as read up to the connection's end (`whole`:
// the server closed it; else the reading stopped at a bound). A body with a
// Content-Length or in chunks must be complete.
DeviceDetails ReadDeviceDetails(std::string_view response, bool whole);

// Whether `response` (the bytes read so far) is a complete HTTP response:
// its headers and, with a Content-Length or chunks, its whole body; a body
// without either ends only with the connection.
bool HttpResponseComplete(std::string_view response);
