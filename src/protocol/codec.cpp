// Packet builder, transport encoding and reply parser of the discovery protocol.
#include "protocol/codec.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "protocol/ipv4_text.h"
#include "protocol/string_printf.h"

const char kMagicWord[] = "Zentravox";

namespace {

const char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a Base64 character, or -1 outside the alphabet.
struct DecodeTable {
  signed char value[256];
  DecodeTable() {
    std::memset(value, -1, sizeof(value));
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
};
const DecodeTable kDecode;

bool PassesFieldCheck(int position, const std::string& token) {
  switch (position) {
    case 3:  // ip
    case 5:  // netmask
      return InetAddr(token.c_str()) != kInetAddrNone;
    case 4: {  // trigger_port
      long port = ParseNumber(token.c_str());
      return port >= 0 && port <= 65535;
    }
    case 8:  // mac
      return GetMacFromCString(token.c_str());
    default:
      return true;
  }
}

}  // namespace

std::string FormatUnitPacket(int flag, const tComUnitInfo& info) {
  return StringPrintf("%s,%02d,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s", kMagicWord, flag,
                      std::string(FieldText(info.model)).c_str(),
                      std::string(FieldText(info.proj)).c_str(),
                      std::string(FieldText(info.name)).c_str(),
                      std::string(FieldText(info.ip)).c_str(),
                      std::string(FieldText(info.trigger_port)).c_str(),
                      std::string(FieldText(info.netmask)).c_str(),
                      std::string(FieldText(info.gateway)).c_str(),
                      std::string(FieldText(info.dns)).c_str(),
                      std::string(FieldText(info.mac)).c_str(),
                      std::string(FieldText(info.dev)).c_str(),
                      std::string(FieldText(info.note)).c_str());
}

int BuildPacket(int flag, char* out, std::size_t out_size,
                const tComUnitInfo* pInfo, DebugLog& log) {
  std::string text;
  switch (flag) {
    case 0:
    case 2:
      text = StringPrintf("%s,%02d,%s", kMagicWord, flag, "????");
      break;
    case 1:
    case 3:
      if (pInfo != nullptr) {
        text = FormatUnitPacket(flag, *pInfo);
        log.Append(StringPrintf("[%s]", text.c_str()));
      } else {
        log.Append(StringPrintf("Invalid pInfo [%d]", flag));
      }
      break;
    default:
      log.Append(StringPrintf("Undefined flag = %d", flag));
      break;
  }
  if (text.empty() || out == nullptr) return -1;
  // The text buffer of the protocol holds 65,535 characters and a zero.
  if (text.size() >= kPacketBufferSize) text.resize(kPacketBufferSize - 1);
  std::size_t count = text.size() + 1;
  if (Base64EncodedSize(count) + 1 > out_size) return -1;
  std::vector<unsigned char> bytes(text.begin(), text.end());
  bytes.push_back(0);
  Complement(bytes.data(), bytes.size());
  int written = Base64Encode(out, bytes.data(), static_cast<int>(bytes.size()));
  return written >= 1 ? 0 : -1;
}

int Base64Encode(char* out, const unsigned char* in, int count) {
  int o = 0;
  int i = 0;
  for (; i + 2 < count; i += 3) {
    unsigned v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = kAlphabet[v & 63];
  }
  int rest = count - i;
  if (rest == 1) {
    unsigned v = in[i] << 16;
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = '=';
    out[o++] = '=';
  } else if (rest == 2) {
    unsigned v = (in[i] << 16) | (in[i + 1] << 8);
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = '=';
  }
  out[o] = '\0';
  return o;
}

std::size_t Base64Decode(unsigned char* out, std::size_t out_size,
                         const char* in, std::size_t in_len) {
  if (out == nullptr || in == nullptr) return 0;
  std::size_t i = 0;
  std::size_t written = 0;
  int p = 0;
  unsigned char carry = 0;
  auto emit = [&](unsigned char b) {
    if (written < out_size) out[written++] = b;
  };
  for (;;) {
    if (i < in_len && in[i] == '=') break;
    int v = -1;
    while (i < in_len && in[i] != '\0') {
      v = kDecode.value[static_cast<unsigned char>(in[i])];
      if (v >= 0) break;
      ++i;
    }
    if (i >= in_len || in[i] == '\0') break;
    ++i;
    switch (p) {
      case 0:
        carry = static_cast<unsigned char>(v << 2);
        break;
      case 1:
        emit(static_cast<unsigned char>(carry | (v >> 4)));
        carry = static_cast<unsigned char>(v << 4);
        break;
      case 2:
        emit(static_cast<unsigned char>(carry | (v >> 2)));
        carry = static_cast<unsigned char>(v << 6);
        break;
      default:
        emit(static_cast<unsigned char>(carry | v));
        break;
    }
    p = (p + 1) % 4;
    if (written >= out_size) break;  // output full: nothing more fits
  }
  return written;
}

int Complement(unsigned char* buffer, std::size_t count) {
  if (buffer == nullptr) return -1;
  for (std::size_t i = 0; i < count; ++i) buffer[i] ^= 0xFF;
  return 0;
}

int ParseReply(const char* text, std::size_t text_len, tComUnitInfo* info,
               DebugLog& log) {
  if (text == nullptr || info == nullptr) return -1;
  std::size_t len = 0;
  std::size_t limit = text_len < kPacketBufferSize - 1 ? text_len : kPacketBufferSize - 1;
  while (len < limit && text[len] != '\0') ++len;
  std::string_view packet(text, len);
  const std::size_t magic_len = sizeof(kMagicWord) - 1;
  if (packet.substr(0, magic_len) != kMagicWord) return -1;

  std::string_view rest;
  if (packet.size() > magic_len + 1) rest = packet.substr(magic_len + 1);

  long flag = -1;
  bool have_flag = false;
  int position = 0;
  std::size_t i = 0;
  while (i < rest.size() && position < kUnitFieldCount) {
    while (i < rest.size() && (rest[i] == ',' || rest[i] == '\n')) ++i;
    if (i >= rest.size()) break;
    std::size_t start = i;
    while (i < rest.size() && rest[i] != ',' && rest[i] != '\n') ++i;
    std::string token(rest.substr(start, i - start));
    if (!have_flag) {
      flag = ParseNumber(token.c_str());
      have_flag = true;
      continue;
    }
    if (PassesFieldCheck(position, token)) {
      SetUnitField(UnitField(*info, position), UnitFieldWidth(position), token);
      ++position;
    }
  }

  if (flag == 0) return 0;
  if (flag == 1) return 1;
  log.Append(StringPrintf("flag(%02ld) not implemented.\n", flag));
  return -1;
}

bool GetMacFromCString(const char* text) {
  if (text == nullptr) return false;
  const char* p = text;
  for (int i = 0; i < 5; ++i) {
    const char* colon = std::strchr(p, ':');
    if (colon == nullptr) return false;
    p = colon + 1;
  }
  return true;
}

long ParseNumber(const char* text) {
  if (text == nullptr) return 0;
  int saved = errno;
  long value = std::strtol(text, nullptr, 10);  // clamps at LONG_MIN/LONG_MAX
  errno = saved;
  return value;
}
