// Windows-1252, the code page a config.ini written on a Western Windows
// system is in. Its five undefined bytes map to the C1 controls of the same
// number, as Windows maps them, so every byte comes back as it was.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace profile {

bool IsUtf8(QByteArrayView bytes);

QString FromWindows1252(QByteArrayView bytes);

// Nothing when a character has no byte in the code page.
std::optional<QByteArray> ToWindows1252(QStringView text);

}  // namespace profile
