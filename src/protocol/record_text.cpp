// Record bytes to Qt strings and back.
#include "protocol/record_text.h"

#include <QStringDecoder>

bool IsValidUtf8(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !decoder.hasError();
}

QString RecordText(std::string_view bytes) {
  const auto size = static_cast<qsizetype>(bytes.size());
  if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes.data(), size);
  return QString::fromLatin1(bytes.data(), size);
}

std::string RecordBytes(const QString& text, std::string_view shown) {
  if (text == RecordText(shown)) return std::string(shown);
  return text.toStdString();
}
