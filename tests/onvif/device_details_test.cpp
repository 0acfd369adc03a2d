// GetDeviceInformation: the request sent, and what the answers give.
#include "onvif/device_details.h"

#include <gtest/gtest.h>

namespace {

const std::string kResponse =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
    "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">"
    "<SOAP-ENV:Body><tds:GetDeviceInformationResponse><tds:Manufacturer>Kestra</tds:Manufacturer>"
    "<tds:Model> KC-100 </tds:Model><tds:FirmwareVersion>2.1</tds:FirmwareVersion>"
    "<tds:SerialNumber>S1</tds:SerialNumber><tds:HardwareId>H1</tds:HardwareId>"
    "</tds:GetDeviceInformationResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>";
const std::string kFault =
    "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body><env:Fault><env:Code><env:Value>"
    "env:Sender</env:Value></env:Code><env:Reason><env:Text>Sender not Authorized</env:Text></env:Reason>"
    "</env:Fault></env:Body></env:Envelope>";

std::string Http(int status, const std::string& body, const std::string& framing = "length") {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: application/soap+xml\r\n";
  if (framing == "length") return head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  if (framing == "close") return head + "Connection: close\r\n\r\n" + body;
  // Chunks of 100 bytes.
  std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
  for (std::size_t i = 0; i < body.size(); i += 100) {
    const std::string part = body.substr(i, 100);
    char size[16];
    std::snprintf(size, sizeof(size), "%zx", part.size());
    chunked += std::string(size) + "\r\n" + part + "\r\n";
  }
  return chunked + "0\r\n\r\n";
}

}  // namespace

TEST(DeviceDetails, TheRequestIsOnePlainSoapPostWithoutCredentials) {
  const std::string r = DeviceInformationRequest("10.99.0.2:8080", "/onvif/device_service");
  EXPECT_EQ(r.rfind("POST /onvif/device_service HTTP/1.1\r\nHost: 10.99.0.2:8080\r\n", 0), 0u);
  EXPECT_NE(r.find("Content-Type: application/soap+xml"), std::string::npos);
  EXPECT_NE(r.find("<GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/>"), std::string::npos);
  EXPECT_EQ(r.find("Authorization"), std::string::npos);
  EXPECT_EQ(r.find("Security"), std::string::npos);
  const std::size_t body = r.find("\r\n\r\n") + 4;
  EXPECT_NE(r.find("Content-Length: " + std::to_string(r.size() - body) + "\r\n"), std::string::npos);
}

TEST(DeviceDetails, ReadsTheAnswerHoweverItIsFramed) {
  for (const char* framing : {"length", "close", "chunked"}) {
    SCOPED_TRACE(framing);
    const std::string response = Http(200, kResponse, framing);
    EXPECT_EQ(HttpResponseComplete(response), std::string(framing) != "close");
    const DeviceDetails d = ReadDeviceDetails(response, true);
    EXPECT_EQ(d.outcome, DetailsOutcome::kRead);
    EXPECT_EQ(d.status, 200);
    EXPECT_EQ(d.manufacturer, "Kestra");
    EXPECT_EQ(d.model, "KC-100");
    EXPECT_EQ(d.firmware_version, "2.1");
    EXPECT_EQ(d.serial_number, "S1");
    EXPECT_EQ(d.hardware_id, "H1");
    // Cut short, it is not read.
    EXPECT_FALSE(HttpResponseComplete(response.substr(0, response.size() - 30)));
    EXPECT_EQ(ReadDeviceDetails(response.substr(0, response.size() - 30), std::string(framing) != "close").outcome,
              DetailsOutcome::kMalformed);
  }
}

TEST(DeviceDetails, CredentialsFaultsRedirectsAndJunkGiveNoDetails) {
  struct Case {
    const char* what;
    std::string response;
    DetailsOutcome outcome;
  } cases[] = {
      {"401", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"x\"\r\nContent-Length: 0\r\n\r\n",
       DetailsOutcome::kCredentials},
      {"a fault with 400", Http(400, kFault), DetailsOutcome::kFault},
      {"a fault with 500, chunked", Http(500, kFault, "chunked"), DetailsOutcome::kFault},
      {"a fault with 200", Http(200, kFault), DetailsOutcome::kFault},
      {"a redirect is not followed", "HTTP/1.1 302 Found\r\nLocation: http://10.0.0.9/\r\n\r\n" + kResponse,
       DetailsOutcome::kRefused},
      {"an answer with 500 is no answer", Http(500, kResponse), DetailsOutcome::kRefused},
      {"another body", Http(200, "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body/></s:Envelope>"),
       DetailsOutcome::kRefused},
      {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", DetailsOutcome::kMalformed},
      {"not XML", Http(200, "<html><body>Login"), DetailsOutcome::kMalformed},
      {"a DTD", Http(200, "<!DOCTYPE x [<!ENTITY a \"b\">]>" + kResponse), DetailsOutcome::kMalformed},
      {"bad chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", DetailsOutcome::kMalformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DeviceDetails d = ReadDeviceDetails(c.response, true);
    EXPECT_EQ(d.outcome, c.outcome) << DetailsOutcomeWord(d.outcome);
    EXPECT_TRUE(d.manufacturer.empty());
    EXPECT_TRUE(d.model.empty());
  }
}
