// The typed-relay-address rule.
#include "app/relay_addresses.h"

bool AddTypedRelayAddress(std::vector<std::string>& items, const std::string& text, bool entry_picked) {
  if (entry_picked || text == "0" || text.empty()) return false;
  items.push_back(text);
  return true;
}
