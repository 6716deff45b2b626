// The three connection settings, carried from one run to the next in
// config.ini beside the program.
#pragma once

#include <QByteArray>
#include <QString>

class QLineEdit;

namespace host {
class Host;
}

namespace modIni {

// Fills the three fields from the file's content, read once; a missing
// file, section or key empties its field.
void LoadSettings(QLineEdit& Text1, QLineEdit& Text2, QLineEdit& Text3, const QByteArray& ini);

// Writes the three fields to the file in one step. When that fails, one
// message box names the file and the reason; the file keeps what it held.
void SaveSettings(const QLineEdit& Text1, const QLineEdit& Text2, const QLineEdit& Text3,
                  const QString& iniPath, host::Host& host);

}  // namespace modIni
