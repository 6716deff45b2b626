// The throwaway mailbox of scripts/mailbox.sh, for the C++ tests: a private
// dovecot POP3 server on a loopback port. Needs root, as dovecot does.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Dovecot {
 public:
  // Starts the server with the user name and password given; error() says
  // why when dovecot cannot be started. With tls, it also serves POP3 inside
  // TLS on tlsPort(), with a certificate of its own for "localhost" only.
  Dovecot(const QString& user, const QString& password, quint16 port = 0, bool tls = false);
  ~Dovecot();
  Dovecot(const Dovecot&) = delete;
  Dovecot& operator=(const Dovecot&) = delete;

  // Empty when the server answers; otherwise what went wrong.
  QString error() const { return error_; }
  quint16 port() const { return port_; }
  quint16 tlsPort() const { return tlsPort_; }
  // The server's self-signed certificate, to be trusted by a test.
  QString certificate() const { return dir_.path() + "/cert.pem"; }

  // What the server has logged so far, for a failing test to show.
  QString log() const;

  // Drops one message into the user's mailbox, as a delivery would.
  void AddMessage();
  // Removes every message.
  void RemoveMessages();

 private:
  QString Maildir() const;

  QTemporaryDir dir_;
  QString user_;
  quint16 port_ = 0;
  quint16 tlsPort_ = 0;
  QProcess process_;
  QString error_;
  int delivered_ = 0;
};

// A loopback TCP port that nothing listens on at the moment.
quint16 FreePort();
