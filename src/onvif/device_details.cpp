// GetDeviceInformation over HTTP: the request, the HTTP response's framing
// and the SOAP response's fields.
#include "onvif/device_details.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <optional>
#include <vector>

#include "onvif/discovery_messages.h"
#include "onvif/onvif_device.h"

namespace {

constexpr char kBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
    "<s:Body><GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/></s:Body>"
    "</s:Envelope>";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string_view Trim(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r')) t.remove_suffix(1);
  return t;
}

// An HTTP response's parts.
struct Framing {
  int status = 0;
  std::size_t body_start = 0;
  std::optional<std::size_t> content_length;
  bool chunked = false;
};

// The status line and headers, once they are all there.
std::optional<Framing> ReadFraming(std::string_view response) {
  std::size_t end = response.find("\r\n\r\n");
  std::size_t gap = 4;
  const std::size_t lf = response.find("\n\n");
  if (lf != std::string_view::npos && (end == std::string_view::npos || lf < end)) {
    end = lf;
    gap = 2;
  }
  if (end == std::string_view::npos) return std::nullopt;
  Framing f;
  f.body_start = end + gap;
  const std::string_view head = response.substr(0, end);
  std::size_t line_end = head.find('\n');
  const std::string_view status = Trim(head.substr(0, line_end));
  if (status.size() < 12 || status.substr(0, 7) != "HTTP/1." || status[8] != ' ') return Framing{};
  for (std::size_t i = 9; i < 12; ++i) {
    if (status[i] < '0' || status[i] > '9') return Framing{};
    f.status = f.status * 10 + (status[i] - '0');
  }
  while (line_end != std::string_view::npos) {
    const std::size_t start = line_end + 1;
    line_end = head.find('\n', start);
    const std::string_view line = head.substr(start, line_end == std::string_view::npos ? line_end : line_end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = LowerText(Trim(line.substr(0, colon)));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
      std::size_t n = 0;
      bool digits = !value.empty() && value.size() <= 9;
      for (char c : value) digits = digits && c >= '0' && c <= '9', n = n * 10 + static_cast<std::size_t>(c - '0');
      if (digits) f.content_length = n;
    } else if (name == "transfer-encoding" && LowerText(value).find("chunked") != std::string::npos) {
      f.chunked = true;
    }
  }
  return f;
}

// The body of chunks starting at `body`; nullopt while it is not complete
// (or when a chunk size cannot be read: *bad then).
std::optional<std::string> Dechunk(std::string_view body, bool* bad) {
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t line_end = body.find('\n', at);
    if (line_end == std::string_view::npos) return std::nullopt;
    std::size_t size = 0;
    std::size_t digits = 0;
    for (std::size_t i = at; i < line_end; ++i) {
      const char c = Lower(body[i]);
      const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (v < 0) break;
      if (++digits > 8) {
        *bad = true;
        return std::nullopt;
      }
      size = size * 16 + static_cast<std::size_t>(v);
    }
    if (digits == 0) {
      *bad = true;
      return std::nullopt;
    }
    at = line_end + 1;
    if (size == 0) return out;  // trailers are not needed
    if (body.size() < at + size) return std::nullopt;
    out.append(body.substr(at, size));
    at += size;
    if (body.substr(at, 2) == "\r\n") at += 2;
    else if (body.substr(at, 1) == "\n") at += 1;
    else if (body.size() <= at + 1) return std::nullopt;
    else {
      *bad = true;
      return std::nullopt;
    }
  }
}

std::string Utf8(QStringView text) { return text.toString().toStdString(); }

std::string Bounded(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  if (text.size() <= kOnvifTextLimit) return std::string(text);
  std::size_t end = kOnvifTextLimit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

// Reads the SOAP body into `d` (outcome kRead, kFault, kRefused or kMalformed).
void ReadSoap(std::string_view body, DeviceDetails* d) {
  QXmlStreamReader xml(QByteArray(body.data(), static_cast<qsizetype>(body.size())));
  std::vector<std::pair<std::string, std::string>> open;  // namespace, local name
  std::string text;
  bool response = false, fault = false;
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference || open.size() > 64) {
      d->outcome = DetailsOutcome::kMalformed;
      return;
    }
    if (token == QXmlStreamReader::StartElement) {
      open.emplace_back(Utf8(xml.namespaceUri()), Utf8(xml.name()));
      text.clear();
      if (open.size() == 3 && open[1].second == "Body") {
        if (open[2] == std::make_pair(std::string(onvif_ns::kDeviceWsdl), std::string("GetDeviceInformationResponse")))
          response = true;
        if (open[2].second == "Fault" && open[2].first == open[0].first) fault = true;
      }
    } else if (token == QXmlStreamReader::Characters) {
      if (text.size() < kOnvifTextLimit * 4) text += Utf8(xml.text());
    } else if (token == QXmlStreamReader::EndElement) {
      if (open.size() == 4 && response && open[2].second == "GetDeviceInformationResponse" &&
          open[3].first == onvif_ns::kDeviceWsdl) {
        const std::string& field = open[3].second;
        if (field == "Manufacturer") d->manufacturer = Bounded(text);
        if (field == "Model") d->model = Bounded(text);
        if (field == "FirmwareVersion") d->firmware_version = Bounded(text);
        if (field == "SerialNumber") d->serial_number = Bounded(text);
        if (field == "HardwareId") d->hardware_id = Bounded(text);
      }
      text.clear();
      open.pop_back();
    }
  }
  if (xml.hasError()) {
    *d = DeviceDetails{DetailsOutcome::kMalformed, d->status, {}, {}, {}, {}, {}};
    return;
  }
  if (fault) *d = DeviceDetails{DetailsOutcome::kFault, d->status, {}, {}, {}, {}, {}};
  else if (response) d->outcome = DetailsOutcome::kRead;
  else *d = DeviceDetails{DetailsOutcome::kRefused, d->status, {}, {}, {}, {}, {}};
}

}  // namespace

std::string DeviceInformationRequest(const std::string& host_port, const std::string& path) {
  const std::string body = kBody;
  return "POST " + path + " HTTP/1.1\r\nHost: " + host_port +
         "\r\nContent-Type: application/soap+xml; charset=utf-8; "
         "action=\"http://www.onvif.org/ver10/device/wsdl/GetDeviceInformation\"\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

const char* DetailsOutcomeWord(DetailsOutcome outcome) {
  switch (outcome) {
    case DetailsOutcome::kRead: return "read";
    case DetailsOutcome::kCredentials: return "credentials asked";
    case DetailsOutcome::kFault: return "SOAP fault";
    case DetailsOutcome::kRefused: return "refused";
    case DetailsOutcome::kMalformed: return "malformed";
  }
  return "malformed";
}

bool HttpResponseComplete(std::string_view response) {
  const std::optional<Framing> f = ReadFraming(response);
  if (!f) return false;
  if (f->status == 0) return true;  // not HTTP: nothing more will help
  const std::string_view body = response.substr(f->body_start);
  if (f->chunked) {
    bool bad = false;
    return Dechunk(body, &bad).has_value() || bad;
  }
  if (f->content_length) return body.size() >= *f->content_length;
  return false;
}

DeviceDetails ReadDeviceDetails(std::string_view response, bool whole) {
  DeviceDetails d;
  const std::optional<Framing> f = ReadFraming(response);
  if (!f || f->status == 0) return d;
  d.status = f->status;
  if (f->status == 401) {
    d.outcome = DetailsOutcome::kCredentials;
    return d;
  }
  std::string_view body = response.substr(f->body_start);
  std::string dechunked;
  if (f->chunked) {
    bool bad = false;
    std::optional<std::string> b = Dechunk(body, &bad);
    if (!b) return d;  // cut or bad chunks
    dechunked = std::move(*b);
    body = dechunked;
  } else if (f->content_length) {
    if (body.size() < *f->content_length) return d;
    body = body.substr(0, *f->content_length);
  } else if (!whole) {
    return d;  // a body that ends with the connection, which did not end
  }
  // A SOAP fault comes with 400 or 500; any other status but 200 is refused.
  if (f->status != 200 && f->status != 400 && f->status != 500) {
    d.outcome = DetailsOutcome::kRefused;
    return d;
  }
  ReadSoap(body, &d);
  if (f->status != 200 && d.outcome == DetailsOutcome::kRead) d = DeviceDetails{DetailsOutcome::kRefused, f->status, {}, {}, {}, {}, {}};
  return d;
}
