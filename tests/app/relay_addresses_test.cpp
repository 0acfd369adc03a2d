// The relay address list: typed addresses join it, picked ones do not.
#include "app/relay_addresses.h"

#include <gtest/gtest.h>

TEST(RelayAddresses, TypedTextJoinsTheListEveryTime) {
  std::vector<std::string> items = {"<Customized>"};
  EXPECT_TRUE(AddTypedRelayAddress(items, "192.168.1.5", false));
  EXPECT_TRUE(AddTypedRelayAddress(items, "192.168.1.5", false));
  EXPECT_FALSE(AddTypedRelayAddress(items, "0", false));
  EXPECT_FALSE(AddTypedRelayAddress(items, "", false));
  EXPECT_FALSE(AddTypedRelayAddress(items, "<Customized>", true));
  EXPECT_EQ(items, (std::vector<std::string>{"<Customized>", "192.168.1.5", "192.168.1.5"}));
}
