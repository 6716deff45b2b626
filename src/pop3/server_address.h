// What the server field names: a host for plain POP3 on port 110, or a URL
// that asks for TLS or another port.
//   mail.example.org, 192.0.2.1, ::1   plain POP3, port 110
//   pop3://HOST[:PORT]                 plain POP3, port 110 unless given
//   pop3s://HOST[:PORT]                POP3 inside TLS, port 995 unless given
// HOST may be an IPv6 address in brackets in the URL forms.
#pragma once

#include <QString>

#include <optional>

namespace modPOP3 {

struct ServerAddress {
  QString host;
  std::optional<quint16> port;  // nothing: the scheme's own port
  bool tls = false;
};

inline constexpr quint16 kPop3Port = 110;
inline constexpr quint16 kPop3sPort = 995;

// Nothing when a URL form is malformed (no host, a bad port).
std::optional<ServerAddress> ParseServerField(const QString& field);

}  // namespace modPOP3
