// Files the window writes (an export, a saved log) are written whole or not
// at all: into a new file that replaces the old one only once every byte is
// on disk, so that a failure never leaves a half-written file behind.
#pragma once

#include <QByteArray>
#include <QString>

// Writes `bytes` to `path` (QSaveFile). Result: "" when it was written,
// else the reason it was not.
QString WriteWholeFile(const QString& path, const QByteArray& bytes);
