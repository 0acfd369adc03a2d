// The account of one ONVIF WS-Discovery search for the debug log: from which
// address and port of which interface it sent how many Probes and how many
// answers came back; which answers it dropped and why; which responders it
// did not list because they are no ONVIF device; what it cut to keep within
// its bounds; and what the details requests (GetDeviceInformation) gave.
//
// Plain values: no thread of their own. The finder writes an account during
// its search; readers read it after Find returns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What the search did on one IPv4 address of one interface.
struct OnvifSocketAccount {
  std::string interface;  // "eth0"
  std::string address;    // "192.168.1.20"
  std::string error;      // why no search ran there; "" when one did
  int port = 0;           // the port its Probes left from
  bool port_taken = false;  // kOnvifProbePort was taken: port is random
  int probes = 0;           // Probes sent
  int answers = 0;          // datagrams that came back to it
};

struct OnvifSearchAccount {
  std::vector<OnvifSocketAccount> sockets;

  int devices = 0;             // devices listed (handed on)
  int repeated = 0;            // answers of a device already listed (same endpoint)
  int not_onvif = 0;           // answers of responders that are no ONVIF device
  int not_answers = 0;         // datagrams that are no ProbeMatches (Hello, Bye, Probes...)
  int foreign = 0;             // ProbeMatches whose RelatesTo is no MessageID sent from that socket
  int malformed = 0;           // datagrams not read (not XML, cut, a DTD, too long)
  int no_endpoint = 0;         // ProbeMatch elements without an endpoint address
  int no_xaddrs = 0;           // devices' answers without any XAddr
  int over_limit = 0;          // devices beyond kOnvifDeviceLimit
  int cut = 0;                 // texts and list items cut to their bounds

  int details_asked = 0;       // GetDeviceInformation requests sent
  int details_read = 0;
  int details_credentials = 0;  // HTTP 401
  int details_fault = 0;        // SOAP faults
  int details_failed = 0;       // refused, malformed, no connection, timed out
  int details_given_up = 0;     // still running (or waiting) when the search ended
  int details_elsewhere = 0;    // not asked: no XAddr on the host that answered

  // "A:P: reason" for the first dropped datagrams and answers, then only
  // counted (NoteDropped).
  std::vector<std::string> dropped;
  int dropped_more = 0;
  // The endpoints and types of the first responders not listed (NoteNotOnvif).
  std::vector<std::string> not_onvif_list;
  int not_onvif_more = 0;

  int Probes() const;
  int Answers() const;
  void NoteDropped(std::string line);
  void NoteNotOnvif(std::string line);
};

// At most this many dropped answers, and as many responders not listed, are
// named one a line; a last line counts the others.
constexpr std::size_t kOnvifAccountListLimit = 20;

// The account as debug log lines, each beginning "ONVIF: ": one per address
// searched (or not, with the reason), one for a port taken (said so that the
// command line can repeat it on standard error), the answers (listed,
// repeated, not ONVIF with the first responders named, dropped with the
// first reasons, cut), and the details.
std::vector<std::string> OnvifAccountLines(const OnvifSearchAccount& account);

// A text a device sent, fit for one log line: as the shown-text rule shows it
// (shown_text.h), cut after 80 bytes at a character's boundary ("..." then),
// in double quotes, a double quote inside written \x22.
std::string QuotedOnvifText(std::string_view text);
