// Record bytes to Qt strings and back.
#include "protocol/record_text.h"

#include <QStringDecoder>

namespace {

enum class Sequence { kWhole, kCut, kBad };

// The UTF-8 sequence that `bytes` (not empty) begin with, by the table of
// well-formed sequences (Unicode, Table 3-7): kWhole with *length its bytes;
// kCut when the bytes end before it does, every byte so far in its place;
// kBad otherwise.
Sequence ReadSequence(std::string_view bytes, std::size_t* length) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  *length = 1;
  if (lead < 0x80) return Sequence::kWhole;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    *length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    *length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    *length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return Sequence::kBad;
  }
  for (std::size_t k = 1; k < *length; ++k) {
    if (k == bytes.size()) return Sequence::kCut;
    const auto c = static_cast<unsigned char>(bytes[k]);
    if (k == 1 ? c < low || c > high : (c & 0xC0) != 0x80) return Sequence::kBad;
  }
  return Sequence::kWhole;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::optional<std::string_view> text = Utf8Text(bytes);
  return text && text->size() == bytes.size();
}

std::optional<std::string_view> Utf8Text(std::string_view bytes) {
  bool multibyte = false;
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    switch (ReadSequence(bytes.substr(i), &length)) {
      case Sequence::kWhole:
        multibyte = true;
        i += length;
        break;
      case Sequence::kCut:
        if (!multibyte && bytes.size() - i < 2) return std::nullopt;
        return bytes.substr(0, i);
      case Sequence::kBad:
        return std::nullopt;
    }
  }
  return bytes;
}

QString RecordText(std::string_view bytes) {
  if (std::optional<std::string_view> text = Utf8Text(bytes)) {
    // QString::fromUtf8 would drop a leading U+FEFF; every character is kept.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text->data(), static_cast<qsizetype>(text->size())));
  }
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string RecordBytes(const QString& text, std::string_view shown) {
  if (text == RecordText(shown)) return std::string(shown);
  return text.toStdString();
}
