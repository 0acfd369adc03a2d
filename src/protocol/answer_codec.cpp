// The transport encoding of answers and its inverse.
#include "protocol/answer_codec.h"

#include <cstring>

#include "protocol/codec.h"

std::string EncodeAnswer(const std::vector<std::string>& texts) {
  std::vector<unsigned char> bytes;
  for (const std::string& text : texts) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
  }
  Complement(bytes.data(), bytes.size());
  std::string wire(Base64EncodedSize(bytes.size()) + 1, '\0');
  wire.resize(static_cast<std::size_t>(Base64Encode(wire.data(), bytes.data(), static_cast<int>(bytes.size()))));
  return wire;
}

std::size_t DecodeAnswer(const char* received, std::size_t len, unsigned char* out,
                         std::size_t out_size, std::size_t* dirty) {
  std::size_t n = Base64Decode(out, out_size, received, len);
  Complement(out, n);
  std::size_t end = *dirty < out_size ? *dirty : out_size;
  if (end > n) std::memset(out + n, 0, end - n);
  *dirty = n;
  return n;
}

std::vector<std::string> DecodeAnswerTexts(std::string_view wire) {
  // Four characters decode into at most three bytes.
  std::vector<unsigned char> bytes(wire.size() / 4 * 3 + 3);
  std::size_t dirty = 0;
  const std::size_t n = DecodeAnswer(wire.data(), wire.size(), bytes.data(), bytes.size(), &dirty);
  std::vector<std::string> texts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] != 0) continue;
    texts.emplace_back(reinterpret_cast<const char*>(bytes.data()) + start, i - start);
    start = i + 1;
  }
  if (start < n) texts.emplace_back(reinterpret_cast<const char*>(bytes.data()) + start, n - start);
  return texts;
}
