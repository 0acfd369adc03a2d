// When a search says that a firewall may drop its answers.
#include "search/firewall_hint.h"

const char kFirewallHintLog[] =
    "No answer at all: a firewall on this machine may drop the replies to UDP port 6667 and to the "
    "M-SEARCH port 6668; see \"Firewall\" in the README or FIREWALL in man device-search";

bool HeardNothing(const SearchHearing& hearing) {
  if (!hearing.broadcast || hearing.answers != std::size_t{0}) return false;
  return !hearing.with_upnp || hearing.upnp_replies == std::size_t{0};
}

bool FirewallHintOnce::Tell(std::ostream& out) {
  if (told_) return false;
  told_ = true;
  out << "device-search: " << kFirewallHintLog << "\n";
  out.flush();
  return true;
}
