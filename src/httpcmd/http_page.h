// The HTTP command fetch: one GET to the relay for its device page, read as
// lines of text. The wait runs the caller's Qt event loop, so the window keeps
// painting and taking input while the relay answers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// At most this many bytes of a page are ever read or kept.
constexpr std::size_t kHttpPageLimit = 1048576;
// How long a fetch may take, from the request to the page's last byte.
constexpr int kHttpFetchTimeoutMs = 20000;

// How a fetch ended. Only kOk, kLimitReached and kTimeout carry a body.
enum class HttpFetchOutcome {
  kOk,             // the whole body arrived with a 2xx status
  kLimitReached,   // the first kHttpPageLimit bytes arrived; the rest was not read
  kNoApplication,  // no QCoreApplication exists
  kInvalidUrl,     // not an http URL with a host ("http://<Customized>/...")
  kNetworkError,   // refused, reset, host not found...
  kHttpStatus,     // a status other than 2xx, also a redirect that is not followed
  kTimeout,        // the bound ran out before the body was complete; the body
                   // holds what arrived by then, if the status was 2xx
  kCancelled,      // the wait ended early because the application is quitting
};

struct HttpFetchResult {
  HttpFetchOutcome outcome = HttpFetchOutcome::kNetworkError;
  int http_status = 0;  // 0 when no status line arrived
  std::string body;     // raw body bytes, at most kHttpPageLimit
};

// GETs url and returns the raw response body, at most kHttpPageLimit bytes:
// once that many have arrived the transfer is aborted. The URL is taken as it
// stands, nothing in it is escaped again: "/device.get?DeviceType=ALL" goes
// out unchanged. Only what cannot stand in a request line (a space, a
// non-ASCII byte, a "%" without two hex digits) is percent-encoded, as a
// browser would, and "#" starts a fragment that is not sent.
// The wait is a local QEventLoop bounded by timeout_ms; the caller's other
// events are processed meanwhile. Connects directly (no proxy); follows
// redirects only to the same scheme, host and port (at most 5); a redirect
// elsewhere fails. When the bound runs out (a relay that sends its page and
// never closes the connection, or one that stalls) the body that arrived by
// then is returned with kTimeout; it may end in the middle of a line.
// Needs a QCoreApplication; call it on the thread that runs the event loop.
HttpFetchResult FetchHttpBody(const std::string& url, int timeout_ms = kHttpFetchTimeoutMs);

// Splits text into lines at CR, LF or CR LF; the breaks are not kept. A text
// that ends with a break has no empty last line; "" gives no lines.
std::vector<std::string> SplitPageLines(std::string_view text);

// A page of at most 4 lines of which one contains "No available items" has no
// lines. Longer pages are left as they are.
void ApplyNoAvailableItemsRule(std::vector<std::string>& lines);

// Fetches "http://" + relay_text + path (the texts as they stand, no escaping)
// and returns the page's lines: the body up to its first zero byte, split into
// lines, with the "No available items" rule applied. When the bound runs out,
// the page is what arrived by then, less its last line if that line was cut
// (the text ends without a line break): rows that arrived whole are kept.
// Any failure (invalid URL such as relay text "<Customized>", refused
// connection, HTTP error status, cross-host redirect, nothing at all by the
// bound) gives an empty list and is not reported: a browser would have shown
// an error page, which holds no device table either.
std::vector<std::string> FetchHttpCmdPage(const std::string& relay_text, const std::string& path,
                                          int timeout_ms = kHttpFetchTimeoutMs);
