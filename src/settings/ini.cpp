#include "settings/ini.h"

#include "host/host.h"
#include "settings/profile.h"

#include <QLineEdit>

#include <array>
#include <utility>

namespace modIni {
namespace {

constexpr char kSection[] = "POP3";
// A value read is at most 254 characters, as the file has always been read.
constexpr int kCapacity = 255;

}  // namespace

void LoadSettings(QLineEdit& Text1, QLineEdit& Text2, QLineEdit& Text3, const QByteArray& ini) {
  const std::array<std::pair<const char*, QLineEdit*>, 3> keys{
      {{"Servername", &Text1}, {"Username", &Text2}, {"Password", &Text3}}};
  for (const auto& [key, field] : keys)
    field->setText(profile::ReadString(kSection, key, QString(), kCapacity, ini));
}

void SaveSettings(const QLineEdit& Text1, const QLineEdit& Text2, const QLineEdit& Text3,
                  const QString& iniPath, host::Host& host) {
  const profile::Values values{{QStringLiteral("Servername"), Text1.text()},
                               {QStringLiteral("Username"), Text2.text()},
                               {QStringLiteral("Password"), Text3.text()}};
  if (const auto failure = profile::WriteValues(kSection, values, iniPath))
    host.MsgBox(
        QStringLiteral("Error: The settings could not be saved to %1\n%2").arg(iniPath, *failure));
}

}  // namespace modIni
