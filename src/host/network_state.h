// Whether the system says there is any network at all, as NetworkManager
// reports it on the system bus. Learnt from its signals, so nothing wakes
// the program between polls.
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace host {

class NetworkState : public QObject {
  Q_OBJECT

 public:
  // Asks NetworkManager's state once, without waiting, and follows its
  // changes; onChange hears each change of online().
  NetworkState(QObject* parent, std::function<void(bool online)> onChange);

  // False only while NetworkManager reports no network at all (asleep,
  // disconnected, going down, still connecting) and while its first answer
  // is awaited (a bounded wait). True where nothing reports: no system bus,
  // no NetworkManager, no answer.
  bool online() const { return online_; }

 private Q_SLOTS:
  void StateChanged(uint state);
  void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated);

 private:
  void AskState();
  void Set(bool online);

  std::function<void(bool)> onChange_;
  bool online_ = true;
  // A signal came after the question was sent: its word is the newer one.
  bool heardSinceAsking_ = false;
};

}  // namespace host
