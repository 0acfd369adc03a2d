// The relay address box's list: a relay address the user typed joins it when
// the focus leaves the box.
#pragma once

#include <string>
#include <vector>

// A typed text (no entry picked from the list) that is not "0" and not empty
// becomes a new last entry of `items`, even when an equal entry exists.
// Result: whether it was added.
bool AddTypedRelayAddress(std::vector<std::string>& items, const std::string& text, bool entry_picked);
