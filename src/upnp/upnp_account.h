// The account of one UPnP search for the debug log: on which interfaces it
// sent M-SEARCH requests and from which port, how many replies came back,
// which descriptions were fetched and read, and which devices were kept or
// refused, with the reason. The finder fills the network's part, the engine
// the devices' part; the UPnP phase writes the lines after the search.
//
// Plain values: no thread of their own. The engine's worker writes an
// account before it signals its search; readers read it after the signal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The UDP port that the UPnP search sends its M-SEARCH requests from, so that
// a host firewall can let the SSDP replies (sent back to it) in; the package's
// firewall profiles open it together with the answers' port 6667. When it is
// taken on an address (another search running), a random port is used there.
constexpr int kUpnpMsearchPort = 6668;

// What the search did on one IPv4 address of one interface.
struct UpnpInterfaceAccount {
  std::string interface;  // "eth0"
  std::string address;    // "192.168.1.20"
  // Why no search ran there; "" when one did.
  std::string error;
  int msearch_port = 0;     // the port its M-SEARCH requests left from
  bool port_taken = false;  // kUpnpMsearchPort was taken: msearch_port is random
  int msearches = 0;        // M-SEARCH requests sent
  int replies = 0;          // SSDP replies to them (announcements not counted)
};

struct UpnpSearchAccount {
  std::vector<UpnpInterfaceAccount> interfaces;
  int descriptions_asked = 0;  // one per root device heard of, on any interface
  int descriptions_read = 0;   // fetched and read: the devices handed on
  // One "URL: reason" per description asked for but not read, in the order
  // the reasons came: the first kUpnpAccountListLimit (NoteRefusedDescription),
  // the others only counted.
  std::vector<std::string> descriptions_refused;
  int descriptions_refused_more = 0;
  int descriptions_unfinished = 0;  // still being fetched when the search ended
  // Root devices heard of but not asked for, because as many fetches as the
  // search allows were under way (a later answer may still ask).
  int descriptions_dropped = 0;
  // Announcements (ssdp:alive) not followed, because their LOCATION is not on
  // the host that sent them.
  int announcements_elsewhere = 0;
  // Of the devices read: how many the engine kept, and for each it did not,
  // the device and the reason ("\"Router\" by \"Linksys\": neither AXIS nor
  // Vivotek").
  int devices_kept = 0;
  std::vector<std::string> devices_refused;

  // Replies on every interface together.
  int Replies() const;
  // Keeps `refusal` in descriptions_refused, or counts it beyond the limit.
  void NoteRefusedDescription(std::string refusal);
};

// At most this many refused descriptions, and as many refused devices, are
// listed one a line; a last line counts the others.
constexpr std::size_t kUpnpAccountListLimit = 20;

// The account as debug log lines, each beginning "UPnP: ": one per address
// searched (or not searched, with the reason), one for a port taken, then
// the descriptions (and, when there were any, those dropped and the
// announcements not followed) and the devices, each refusal listed (within
// the limit).
std::vector<std::string> UpnpAccountLines(const UpnpSearchAccount& account);

// A text a device sent, fit for one log line: in double quotes, cut after 80
// bytes (at a character boundary, "..." then), with every byte a terminal
// might act on written as \xNN: C0 and C1 controls, DEL, quotes,
// backslashes, and bytes that are not well-formed UTF-8.
std::string QuotedDeviceText(std::string_view text);
