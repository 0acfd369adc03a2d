// The options of where to search, shared by `search` and `setup`.
#include "cli/search_options.h"

#include <iostream>

#include "protocol/interfaces.h"

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
              *error = "--protocol must be tcp, udp or httpcmd, not '" + value + "'";
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

bool CheckWhereToSearch(const SearchSettings& settings, bool protocol_given, std::string* error) {
  if (protocol_given && !settings.ip_relay) {
    *error = "--protocol goes with --relay";
    return false;
  }
  if (settings.ip_relay && !settings.interfaces.empty()) {
    *error = kInterfaceWithRelayError;
    return false;
  }
  return true;
}

bool CheckInterfaceNames(const std::vector<std::string>& names, std::string* error) {
  const std::vector<NetInterface> there = BroadcastInterfaces();
  std::vector<std::string> unknown = UnknownInterfaces(there, names);
  if (unknown.empty()) return true;
  *error = "no interface '" + unknown.front() + "' to search on; " +
           (there.empty() ? std::string("there is none (up, with an IPv4 address and broadcast)")
                          : "the interfaces are: " + InterfaceNames(there));
  return false;
}

std::optional<int> EndBeforeRunning(const std::string& command, bool parsed, bool help, const std::string& error,
                                    const std::string& usage) {
  if (!parsed) {
    std::cerr << "device-search: " << error << " (see device-search " << command << " --help)\n";
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
