// A private dovecot POP3 server on a loopback port, with its own config,
// users and maildirs in a temporary directory. Needs root, as dovecot does.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Dovecot {
 public:
  // Starts the server with the user name and password given; fails the
  // test (through ready()) when dovecot cannot be started.
  Dovecot(const QString& user, const QString& password, quint16 port = 0);
  ~Dovecot();
  Dovecot(const Dovecot&) = delete;
  Dovecot& operator=(const Dovecot&) = delete;

  // Empty when the server answers; otherwise what went wrong.
  QString error() const { return error_; }
  quint16 port() const { return port_; }

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
  QProcess process_;
  QString error_;
  int delivered_ = 0;
};

// A loopback TCP port that nothing listens on at the moment.
quint16 FreePort();
