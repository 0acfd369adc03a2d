// The simulator's HTTP relay: answers "GET /device.get?DeviceType=X" with an
// HTML table of the simulated devices, and can misbehave on request (a "No
// available items" page, a late answer, a body that never ends, a page that
// stops (whole or cut) and is never closed, a page larger than the client's
// 1 MiB limit, a redirect). One connection at a time, POSIX sockets.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "device_set.h"
#include "protocol/unit_info.h"

struct HttpRelayOptions {
  std::string address = "0.0.0.0";  // dotted IPv4 address to listen on
  int port = 80;                    // 0 lets the system pick a free port
  bool no_items = false;            // answer a short "No available items" page
  int delay_ms = 0;                 // wait this long before answering
  bool endless_body = false;        // after the page, keep the body open for ever,
                                    // sending a line break every 200 ms
  long long stall_after = -1;       // >= 0: send only this many bytes of the page,
                                    // then keep the connection open without a word
  std::size_t padding_bytes = 0;    // filler in an eighth cell of the table's
                                    // last row, to make the page this much larger
  // Non-empty: every device request is answered "302 Found" with this
  // Location (a URL, or a path such as the request's own, which loops).
  std::string redirect;
  // Called once, on the relay's thread, when it listens; given the port.
  std::function<void(int port)> on_listening;
};

// The page for DeviceType=device_type: "<html>", "<body>", "<table>" lines, a
// header row "<tr><td>Model</td>...<td>Mac</td></tr>", one row
// "<tr><td>model</td><td>proj</td><td>name</td><td>ip</td><td>port</td>
// <td>netmask</td><td>mac</td></tr>" per device whose proj equals device_type
// (or every device for "ALL"), then the closing lines; lines end in CR LF.
// With no_items, a short page saying "No available items" instead.
std::string HttpRelayPage(const std::vector<tComUnitInfo>& devices, std::string_view device_type,
                          const HttpRelayOptions& options);

// The DeviceType value of a request path ("/device.get?DeviceType=P1" -> "P1",
// percent escapes decoded), or false if the path does not ask for devices.
bool DeviceTypeOfPath(std::string_view path, std::string* device_type);

// Listens on options.address:options.port and serves one connection at a time
// until stop becomes true (checked at least every 100 ms, also while waiting
// or sending). Logs each request as "http request <path> from <addr>" and each
// socket failure as one line, flushing every line. Returns 0 after stop, -1 if
// it could not listen.
int RunHttpRelay(DeviceSet& devices, const HttpRelayOptions& options, std::atomic<bool>& stop,
                 std::ostream& log);
