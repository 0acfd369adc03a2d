// The options that `search` and `setup` share: where to search (--relay,
// --protocol, --interface), --verbose and --help, read into the search
// settings, and the checks of where to search once all options are read.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "protocol/device_table.h"

// --relay ADDRESS: search through the relay at ADDRESS (ip_relay set); an
// empty address is refused ("--relay needs an address").
Option RelayOption(SearchSettings* settings, std::string help);
// --protocol PROTOCOL: the relay's protocol, tcp, udp or httpcmd (any other
// value is refused); *given records that it was given.
Option ProtocolOption(SearchSettings* settings, bool* given);
// --interface NAME, repeatable: the broadcast goes out of the interfaces named.
Option InterfaceOption(SearchSettings* settings, std::string help);
Option VerboseOption(bool* verbose);
// -h, --help: ends the reading; what follows is not looked at.
Option HelpOption(bool* help);

// After reading: --protocol goes with --relay, and --interface does not
// (kInterfaceWithRelayError); the relay address suits the protocol: for tcp
// and udp a strict dotted IPv4 address (those relays convert it with
// inet_addr, which reads anything else as 255.255.255.255, a broadcast, or
// as another address: "10.1"), for httpcmd a host name or IPv4 address,
// optionally with ":PORT" (RelayHostOf). False with *error set otherwise.
bool CheckWhereToSearch(const SearchSettings& settings, bool protocol_given, std::string* error);
extern const char kInterfaceWithRelayError[];

// The host of an httpcmd relay address "HOST" or "HOST:PORT" (port 1-65535):
// a strict dotted IPv4 address, or a name of letters, digits, "-" and "."
// of at most 253 characters without empty labels, whose last label is not
// all digits ("999.1.1.1" is no name). None for any other text.
std::optional<std::string> RelayHostOf(const std::string& address);

// The first IPv4 address of a host name (getaddrinfo), dotted; none when it
// has none.
std::optional<std::string> ResolveHost(const std::string& host);
using HostResolver = std::function<std::optional<std::string>(const std::string& host)>;

// With --relay and --protocol httpcmd: the IPv4 address of the relay's host
// (a dotted quad as it is, a name by `resolve`), where `setup` sends its
// control package; none when the host has none, and for other settings.
std::optional<std::string> HttpRelayAddress(const SearchSettings& settings,
                                            const HostResolver& resolve = ResolveHost);
// With --protocol httpcmd: true when the relay's host has an address
// (HttpRelayAddress); otherwise false with *error "the relay host 'H' cannot
// be found". True for the other protocols and without --relay.
bool CheckRelayHost(const SearchSettings& settings, std::string* error, const HostResolver& resolve = ResolveHost);

// True when every --interface name is among the machine's usable interfaces
// now (BroadcastInterfaces); otherwise false with *error the usage error,
// which lists the interfaces there are.
bool CheckInterfaceNames(const std::vector<std::string>& names, std::string* error);

// How a command ends before it runs, as `search` and `setup` do: arguments
// that did not parse (`parsed` false, `error` saying why) print
// "device-search: <error> (see device-search <command> --help)" on standard
// error, the error as ShownText shows it (it quotes arguments and interface
// names), and give exit status 2; --help prints `usage` and gives 0.
// Nothing (the command runs) otherwise.
std::optional<int> EndBeforeRunning(const std::string& command, bool parsed, bool help, const std::string& error,
                                    const std::string& usage);

// "TCP", "UDP" or "HttpCmd" for the command line's tcp, udp or httpcmd.
std::optional<std::string> RelayProtocolOf(const std::string& argument);
