// Reading and writing whole files in tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// The file's bytes; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
           qPrintable(path));
}
