// Whether the system says there is any network at all, as NetworkManager
// reports it on the system bus. Learnt from its signals, so nothing wakes
// the program between polls.
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <QDBusConnection>

#include <functional>
#include <memory>
#include <optional>

namespace host {

class NetworkState : public QObject {
  Q_OBJECT

 public:
  // Opens the system bus on a thread of its own, then asks NetworkManager's
  // state once, without waiting, and follows its changes; onChange hears
  // each change of online(), from the event loop.
  NetworkState(QObject* parent, std::function<void(bool online)> onChange);
  ~NetworkState() override;

  // False only while NetworkManager reports no network at all (asleep,
  // or disconnected, going down or still connecting with no default route)
  // and while its first answer is awaited (a bounded wait). True where
  // nothing reports: no system bus, no NetworkManager, no answer.
  bool online() const { return online_; }

 private Q_SLOTS:
  void StateChanged(uint state);
  void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated);

 private:
  struct Link;
  void Follow(const std::optional<QDBusConnection>& bus);
  void AskState();
  void Set(bool online);

  std::function<void(bool)> onChange_;
  std::shared_ptr<Link> link_;  // shared with the thread that opens the bus
  std::optional<QDBusConnection> bus_;
  bool online_ = false;  // until it answers, so a start at login does not poll blind
  bool learnt_ = false;
  // A signal came after the question was sent: its word is the newer one.
  bool heardSinceAsking_ = false;
};

}  // namespace host
