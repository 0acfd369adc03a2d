// Encoding of the simulator's answers and decoding of the requests it gets.
#include "answers.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "protocol/answer_codec.h"
#include "protocol/codec.h"

std::vector<std::string> DevicePacketTexts(const std::vector<tComUnitInfo>& devices) {
  std::vector<std::string> texts;
  texts.reserve(devices.size());
  for (const tComUnitInfo& d : devices) texts.push_back(FormatUnitPacket(1, d));
  return texts;
}

std::vector<std::string> EncodeAnswerDatagrams(const std::vector<tComUnitInfo>& devices,
                                               int per_datagram,
                                               const std::vector<std::string>& extra) {
  std::vector<std::string> texts = DevicePacketTexts(devices);
  texts.insert(texts.end(), extra.begin(), extra.end());
  std::vector<std::string> datagrams;
  std::vector<std::string> group;
  std::size_t group_bytes = 0;
  auto flush = [&] {
    if (!group.empty()) datagrams.push_back(EncodeAnswer(group));
    group.clear();
    group_bytes = 0;
  };
  for (std::string& text : texts) {
    std::size_t bytes = text.size() + 1;
    if (!group.empty() && Base64EncodedSize(group_bytes + bytes) > kMaxDatagram) flush();
    group.push_back(std::move(text));
    group_bytes += bytes;
    if (static_cast<int>(group.size()) >= per_datagram) flush();
  }
  flush();
  return datagrams;
}

std::string EncodeRelayAnswer(const std::vector<tComUnitInfo>& devices,
                              const std::vector<std::string>& extra) {
  std::vector<std::string> texts = DevicePacketTexts(devices);
  texts.insert(texts.end(), extra.begin(), extra.end());
  return EncodeAnswer(texts);
}

std::vector<std::string> GarbageDatagrams() {
  return {
      "%%% this is not Base64 at all %%%",
      EncodeAnswer({"hello, no packet here"}),
      EncodeAnswer({"Zentravox,99,????"}),
      EncodeAnswer({"not a packet", "Zentravox,99,x,y", "zentravox,01,M,P,N,10.0.0.1,80"}),
  };
}

std::string DecodeRequest(const char* data, std::size_t len, bool* complete) {
  std::string bytes(len, '\0');
  std::size_t dirty = 0;
  bytes.resize(DecodeAnswer(data, len, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), &dirty));
  std::size_t zero = bytes.find('\0');
  if (complete) *complete = zero != std::string::npos;
  if (zero != std::string::npos) bytes.resize(zero);
  return bytes;
}

int RequestFlag(const std::string& plain) {
  const std::size_t magic = std::strlen(kMagicWord);
  if (plain.compare(0, magic, kMagicWord) != 0 || plain.size() < magic + 2 || plain[magic] != ',')
    return -1;
  std::size_t i = magic + 1;
  if (!std::isdigit(static_cast<unsigned char>(plain[i]))) return -1;
  int flag = 0;
  for (; i < plain.size() && std::isdigit(static_cast<unsigned char>(plain[i])) && flag < 1000; ++i)
    flag = flag * 10 + (plain[i] - '0');
  return flag;
}

std::string AddressText(const sockaddr_in& addr) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &addr.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}
