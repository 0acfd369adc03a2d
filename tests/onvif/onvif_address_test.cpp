// The address rule of WS-Discovery answers, as a table, and the XAddrs that
// may be asked for details.
#include "onvif/onvif_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

std::uint32_t Ip(const char* text) {
  in_addr a{};
  inet_pton(AF_INET, text, &a);
  return a.s_addr;
}

}  // namespace

TEST(OnvifAddress, ChoosesTheXaddrInTheInterfacesSubnetThenAnyIpv4ThenTheSender) {
  // The interface: 10.99.0.1/24 and 192.168.0.1/24; answers from 10.99.0.2.
  const std::vector<InterfaceAddress> subnets = {{Ip("10.99.0.1"), Ip("255.255.255.0")},
                                                 {Ip("192.168.0.1"), Ip("255.255.255.0")}};
  struct Case {
    const char* what;
    std::vector<std::string> xaddrs;
    const char* ip;
    int port;
  } cases[] = {
      {"one in the subnet", {"http://10.99.0.2/onvif/device_service"}, "10.99.0.2", 80},
      {"with a port", {"http://10.99.0.2:8080/onvif/device_service"}, "10.99.0.2", 8080},
      {"the second subnet", {"http://192.168.0.77:81/x"}, "192.168.0.77", 81},
      {"the one in the subnet, not the first",
       {"http://172.16.0.5/x", "http://10.99.0.9:88/y"}, "10.99.0.9", 88},
      {"no IPv4 in the subnet: the first IPv4", {"http://172.16.0.5:90/x", "http://172.16.0.6/x"}, "172.16.0.5", 90},
      {"IPv6 and a host name are skipped",
       {"http://[fe80::1]/x", "http://cam.local:85/x", "http://172.16.0.5/x"}, "172.16.0.5", 80},
      {"host names only: the sender with the first URL's port", {"http://cam.local:8000/x", "http://b.local/"},
       "10.99.0.2", 8000},
      {"IPv6 only: the sender", {"http://[fe80::1%25eth0]:8899/onvif"}, "10.99.0.2", 8899},
      {"https is not a web page", {"https://10.99.0.5/x", "http://cam.local/"}, "10.99.0.2", 80},
      {"nothing usable: the sender on 80", {"ftp://10.99.0.5/", "garbage"}, "10.99.0.2", 80},
      {"user information is no host", {"http://1 @evil.example/", "http://user@10.99.0.8/"}, "10.99.0.2", 80},
      {"a loose dotted quad is a name", {"http://10.99.1/x", "http://010.099.000.002/x"}, "10.99.0.2", 80},
      {"a bad port spoils the URL", {"http://10.99.0.3:0/", "http://10.99.0.4:65536/", "http://10.99.0.5:x/"},
       "10.99.0.2", 80},
      {"scheme in any case", {"HTTP://10.99.0.6/"}, "10.99.0.6", 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OnvifAddress a = OnvifAddressOf(c.xaddrs, subnets, Ip("10.99.0.2"));
    EXPECT_EQ(a.ip, c.ip);
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(a.web_page, "http://" + std::string(c.ip) + ":" + std::to_string(c.port) + "/");
  }
}

TEST(OnvifAddress, DetailsAreAskedOnlyOfTheHostThatAnswered) {
  const std::uint32_t from = Ip("10.99.0.2");
  const std::optional<XaddrUrl> own =
      DetailsXaddr({"http://cam.local/x", "http://10.99.0.3/y", "http://10.99.0.2:8080/onvif/device_service?a=b"}, from);
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(own->host, "10.99.0.2");
  EXPECT_EQ(own->port, 8080);
  EXPECT_EQ(own->path, "/onvif/device_service?a=b");
  EXPECT_FALSE(DetailsXaddr({"http://10.99.0.3/y", "https://10.99.0.2/", "http://cam.local/"}, from));
  EXPECT_FALSE(DetailsXaddr({}, from));
  // A URL without a path asks "/".
  EXPECT_EQ(DetailsXaddr({"http://10.99.0.2"}, from)->path, "/");
  EXPECT_EQ(DetailsXaddr({"http://10.99.0.2?x"}, from)->path, "/?x");
}
