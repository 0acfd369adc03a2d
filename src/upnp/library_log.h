// The messages of the libraries under the UPnP search (GLib and what builds on
// it: GIO, libsoup, GSSDP, GUPnP; and libxml2) kept for the debug log instead
// of being printed on standard error, where they would break the headless
// mode's clean output.
//
// RouteLibraryMessages() installs the handlers; from then on every message is
// kept, one line each (a message that comes again is counted, not kept
// again), until TakeLibraryMessages() hands them over (the UPnP phase
// appends them to its debug log at the end of a search). GLib debug
// and info messages are dropped as GLib itself drops them (G_MESSAGES_DEBUG
// decides). A fatal GLib message is also written to standard error, since
// the program is about to end.
//
// Thread safety: both functions may be called from any thread. GLib's writer
// is process-wide and installed once; libxml2 keeps its error handlers per
// thread, so RouteLibraryMessages() sets them for the calling thread and as
// the default of threads started afterwards. Call it on the thread that
// parses XML too (the UPnP finder does).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

void RouteLibraryMessages();

// At most this many different messages are kept between two takes; later
// ones are counted and reported by one closing line.
constexpr std::size_t kLibraryMessageLimit = 500;

// The messages kept since the last take, in the order they first came, each
// like "GLib-GIO warning: ..." or "libxml2 error: URL:LINE: ...", followed by
// " (N times)" when it came N times.
std::vector<std::string> TakeLibraryMessages();
