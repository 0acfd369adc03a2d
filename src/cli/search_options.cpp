// The options of where to search, shared by `search` and `setup`.
#include "cli/search_options.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <iostream>

#include "protocol/interfaces.h"
#include "protocol/ipv4_text.h"
#include "protocol/shown_text.h"

const char kInterfaceWithRelayError[] = "--interface does not go with --relay (a relay is reached by its route)";

Option RelayOption(SearchSettings* settings, std::string help) {
  return {{"--relay"}, "ADDRESS", std::move(help), [settings](const std::string& value, std::string* error) {
            if (value.empty()) {
              *error = "--relay needs an address";
              return false;
            }
            settings->ip_relay = true;
            settings->relay_address = value;
            return true;
          }};
}

Option ProtocolOption(SearchSettings* settings, bool* given) {
  return {{"--protocol"}, "PROTOCOL", "the relay's protocol: tcp (the default), udp or httpcmd",
          [settings, given](const std::string& value, std::string* error) {
            std::optional<std::string> protocol = RelayProtocolOf(value);
            if (!protocol) {
              *error = "--protocol must be tcp, udp or httpcmd, not " + QuotedArgument(value);
              return false;
            }
            settings->relay_protocol = *protocol;
            *given = true;
            return true;
          }};
}

Option InterfaceOption(SearchSettings* settings, std::string help) {
  return {{"--interface"}, "NAME", std::move(help), [settings](const std::string& value, std::string*) {
            settings->interfaces.push_back(value);
            return true;
          }};
}

Option VerboseOption(bool* verbose) {
  return {{"--verbose"}, "", "copy the debug log to standard error", SetFlag(verbose)};
}

Option HelpOption(bool* help) {
  return Option({"-h", "--help"}, "", "print this help and exit", SetFlag(help)).Ending();
}

namespace {

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool IsHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  std::size_t start = 0;
  bool last_all_digits = false;
  for (;;) {
    const std::size_t dot = std::min(name.find('.', start), name.size());
    const std::string_view label(name.data() + start, dot - start);
    if (label.empty() || label.size() > 63 || !std::all_of(label.begin(), label.end(), IsNameByte)) return false;
    last_all_digits = std::all_of(label.begin(), label.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (dot == name.size()) break;
    start = dot + 1;
  }
  return !last_all_digits;
}

}  // namespace

std::optional<std::string> RelayHostOf(const std::string& address) {
  std::string host = address;
  const std::size_t colon = address.find(':');
  if (colon != std::string::npos) {
    const std::string port = address.substr(colon + 1);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) {
          return c >= '0' && c <= '9';
        }))
      return std::nullopt;
    const long value = std::stol(port);
    if (value < 1 || value > 65535) return std::nullopt;
    host = address.substr(0, colon);
  }
  if (IsStrictAddress(host) || IsHostName(host)) return host;
  return std::nullopt;
}

std::optional<std::string> ResolveHost(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
  const std::uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return DottedAddress(address);
}

std::optional<std::string> HttpRelayAddress(const SearchSettings& settings, const HostResolver& resolve) {
  if (!settings.ip_relay || settings.relay_protocol != "HttpCmd") return std::nullopt;
  const std::optional<std::string> host = RelayHostOf(settings.relay_address);
  if (!host) return std::nullopt;
  return IsStrictAddress(*host) ? host : resolve(*host);
}

bool CheckWhereToSearch(const SearchSettings& settings, bool protocol_given, std::string* error) {
  if (protocol_given && !settings.ip_relay) {
    *error = "--protocol goes with --relay";
    return false;
  }
  if (settings.ip_relay && !settings.interfaces.empty()) {
    *error = kInterfaceWithRelayError;
    return false;
  }
  if (!settings.ip_relay) return true;
  if (settings.relay_protocol == "HttpCmd") {
    if (RelayHostOf(settings.relay_address)) return true;
    *error = "--relay needs a host name or an IPv4 address with --protocol httpcmd, not " +
             QuotedArgument(settings.relay_address);
    return false;
  }
  if (IsStrictAddress(settings.relay_address)) return true;
  *error = "--relay needs an IPv4 address such as 192.168.1.20 with --protocol " +
           std::string(settings.relay_protocol == "UDP" ? "udp" : "tcp") + ", not " +
           QuotedArgument(settings.relay_address);
  return false;
}

bool CheckRelayHost(const SearchSettings& settings, std::string* error, const HostResolver& resolve) {
  if (!settings.ip_relay || settings.relay_protocol != "HttpCmd" || HttpRelayAddress(settings, resolve)) return true;
  *error = "the relay host " + QuotedArgument(RelayHostOf(settings.relay_address).value_or(settings.relay_address)) +
           " cannot be found";
  return false;
}

bool CheckInterfaceNames(const std::vector<std::string>& names, std::string* error) {
  const std::vector<NetInterface> there = BroadcastInterfaces();
  std::vector<std::string> unknown = UnknownInterfaces(there, names);
  if (unknown.empty()) return true;
  *error = "no interface " + QuotedArgument(unknown.front()) + " to search on; " +
           (there.empty() ? std::string("there is none (up, with an IPv4 address and broadcast)")
                          : "the interfaces are: " + InterfaceNames(there));
  return false;
}

std::optional<int> EndBeforeRunning(const std::string& command, bool parsed, bool help, const std::string& error,
                                    const std::string& usage) {
  if (!parsed) {
    std::cerr << "device-search: " << ShownText(error) << " (see device-search " << command << " --help)\n";
    return 2;
  }
  if (help) {
    std::cout << usage;
    return 0;
  }
  return std::nullopt;
}

std::optional<std::string> RelayProtocolOf(const std::string& argument) {
  if (argument == "tcp") return "TCP";
  if (argument == "udp") return "UDP";
  if (argument == "httpcmd") return "HttpCmd";
  return std::nullopt;
}
