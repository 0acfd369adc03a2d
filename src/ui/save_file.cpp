// Whole-file writes through QSaveFile.
#include "ui/save_file.h"

#include <QSaveFile>

QString WriteWholeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  if (file.write(bytes) != bytes.size()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    return reason;
  }
  if (!file.commit()) return file.errorString().isEmpty() ? QString("it could not be written") : file.errorString();
  return {};
}
