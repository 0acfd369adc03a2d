// The intake of answers: only answers to this search's own Probes, on the
// socket they went out of, each device once, ONVIF devices only, within the
// search's bound; and the account of what it left out.
#include "onvif/probe_intake.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

std::uint32_t Ip(const char* text) {
  in_addr a{};
  inet_pton(AF_INET, text, &a);
  return a.s_addr;
}

std::string Answer(const std::string& relates_to, const std::string& endpoint,
                   const std::string& types = "dn:NetworkVideoTransmitter",
                   const std::string& xaddrs = "http://10.99.0.2/onvif/device_service") {
  return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
         "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
         "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
         "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
         "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"><s:Header><a:RelatesTo>" + relates_to +
         "</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>" +
         endpoint + "</a:Address></a:EndpointReference><d:Types>" + types +
         "</d:Types><d:Scopes>onvif://www.onvif.org/name/Lobby%20Cam onvif://www.onvif.org/hardware/KC-1</d:Scopes>"
         "<d:XAddrs>" + xaddrs + "</d:XAddrs></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>";
}

NetInterface Eth0() {
  NetInterface i;
  i.name = "eth0";
  i.index = 2;
  i.address = Ip("10.99.0.1");
  i.netmask = Ip("255.255.255.0");
  return i;
}

}  // namespace

TEST(ProbeIntake, TakesEachDeviceOnceFromAnswersToItsOwnProbes) {
  OnvifSearchAccount account;
  ProbeIntake intake(&account);
  intake.NoteSent(0, "urn:uuid:p1");
  intake.NoteSent(0, "urn:uuid:p2");
  intake.NoteSent(1, "urn:uuid:q1");
  const NetInterface eth0 = Eth0();
  const std::uint32_t cam = Ip("10.99.0.2");

  std::vector<TakenDevice> first = intake.Take(0, Answer("urn:uuid:p1", "urn:uuid:c1"), cam, 3702, eth0);
  ASSERT_EQ(first.size(), 1u);
  const OnvifDevice& d = first[0].device;
  EXPECT_EQ(d.endpoint, "urn:uuid:c1");
  EXPECT_EQ(d.name, "Lobby Cam");
  EXPECT_EQ(d.hardware, "KC-1");
  EXPECT_EQ(d.ip, "10.99.0.2");
  EXPECT_EQ(d.web_page, "http://10.99.0.2:80/");
  EXPECT_EQ(d.interface, "eth0");
  EXPECT_EQ(d.from_address, "10.99.0.2:3702");
  EXPECT_EQ(d.types, std::vector<std::string>{"dn:NetworkVideoTransmitter"});
  ASSERT_TRUE(first[0].details.has_value());
  EXPECT_EQ(first[0].details->path, "/onvif/device_service");

  // The same device again, to the other Probe and from a random port: not again.
  EXPECT_TRUE(intake.Take(0, Answer("urn:uuid:p2", "urn:uuid:c1"), cam, 40001, eth0).empty());
  // A Probe's MessageID sent from another socket, one never sent, none.
  EXPECT_TRUE(intake.Take(0, Answer("urn:uuid:q1", "urn:uuid:c2"), cam, 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(1, Answer("urn:uuid:p1", "urn:uuid:c2"), cam, 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(0, Answer("urn:uuid:zz", "urn:uuid:c2"), cam, 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(0, Answer("", "urn:uuid:c2"), cam, 3702, eth0).empty());
  // A computer, twice; an answer without XAddrs; one without an endpoint; junk.
  const std::string computer = Answer("urn:uuid:p1", "urn:uuid:pc", "wsdp:Device pub:Computer", "");
  EXPECT_TRUE(intake.Take(0, computer, Ip("10.99.0.7"), 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(0, computer, Ip("10.99.0.7"), 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(0, Answer("urn:uuid:p1", "urn:uuid:c3", "dn:NetworkVideoTransmitter", ""), cam, 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(0, Answer("urn:uuid:p1", " "), cam, 3702, eth0).empty());
  EXPECT_TRUE(intake.Take(0, "<s:Envelope", cam, 3702, eth0).empty());
  // The right socket takes the other device.
  EXPECT_EQ(intake.Take(1, Answer("urn:uuid:q1", "urn:uuid:c2"), cam, 3702, eth0).size(), 1u);
  EXPECT_EQ(intake.DeviceCount(), 2u);

  EXPECT_EQ(account.repeated, 1);
  EXPECT_EQ(account.foreign, 4);
  EXPECT_EQ(account.not_onvif, 2);
  EXPECT_EQ(account.not_onvif_list.size(), 1u);  // named once
  EXPECT_NE(account.not_onvif_list[0].find("\"wsdp:Device pub:Computer\""), std::string::npos);
  EXPECT_EQ(account.no_xaddrs, 1);
  EXPECT_EQ(account.no_endpoint, 1);
  EXPECT_EQ(account.malformed, 1);
  EXPECT_EQ(account.dropped.size(), 7u);
}

TEST(ProbeIntake, AskesDetailsOnlyOnTheSenderAndStopsAtItsBound) {
  OnvifSearchAccount account;
  ProbeIntake intake(&account, 3);
  intake.NoteSent(0, "urn:uuid:p");
  const NetInterface eth0 = Eth0();
  // The XAddr names another host: the device is listed there, but not asked.
  std::vector<TakenDevice> elsewhere = intake.Take(
      0, Answer("urn:uuid:p", "urn:uuid:e", "dn:NetworkVideoTransmitter", "http://10.99.0.50:81/x"), Ip("10.99.0.2"),
      3702, eth0);
  ASSERT_EQ(elsewhere.size(), 1u);
  EXPECT_EQ(elsewhere[0].device.ip, "10.99.0.50");
  EXPECT_FALSE(elsewhere[0].details.has_value());
  for (const char* endpoint : {"urn:uuid:a", "urn:uuid:b", "urn:uuid:c", "urn:uuid:d"})
    intake.Take(0, Answer("urn:uuid:p", endpoint), Ip("10.99.0.2"), 3702, eth0);
  EXPECT_EQ(intake.DeviceCount(), 3u);
  EXPECT_EQ(account.over_limit, 2);
}
