#include "pop3/server_address.h"

namespace modPOP3 {
namespace {

std::optional<quint16> ParsePort(QStringView text) {
  if (text.isEmpty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (QChar c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c.unicode() - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return static_cast<quint16>(port);
}

}  // namespace

std::optional<ServerAddress> ParseServerField(const QString& field) {
  ServerAddress address;
  QStringView rest;
  if (field.startsWith(QLatin1String("pop3s://"), Qt::CaseInsensitive)) {
    address.tls = true;
    rest = QStringView(field).sliced(8);
  } else if (field.startsWith(QLatin1String("pop3://"), Qt::CaseInsensitive)) {
    rest = QStringView(field).sliced(7);
  } else {
    // Anything else is a host name or address, used as it stands.
    address.host = field;
    return address;
  }
  if (rest.endsWith('/')) rest.chop(1);

  std::optional<QStringView> portText;
  if (rest.startsWith('[')) {
    const qsizetype close = rest.indexOf(']');
    if (close < 0) return std::nullopt;
    address.host = rest.sliced(1, close - 1).toString();
    const QStringView after = rest.sliced(close + 1);
    if (!after.isEmpty()) {
      if (!after.startsWith(':')) return std::nullopt;
      portText = after.sliced(1);
    }
  } else {
    const qsizetype colon = rest.lastIndexOf(':');
    if (colon >= 0) {
      portText = rest.sliced(colon + 1);
      rest = rest.first(colon);
    }
    if (rest.contains(':') || rest.contains('/') || rest.contains('@')) return std::nullopt;
    address.host = rest.toString();
  }
  if (address.host.isEmpty()) return std::nullopt;
  if (portText) {
    address.port = ParsePort(*portText);
    if (!address.port) return std::nullopt;
  }
  return address;
}

}  // namespace modPOP3
