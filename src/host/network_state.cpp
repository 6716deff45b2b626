#include "host/network_state.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <utility>

namespace host {
namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kInterface = kService;
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kAnswerWaitMs = 5000;

// NetworkManager's NMState. Its global state is the best of its devices':
// below "connected" (limited connectivity counts: the mail server may be
// on that LAN) nothing at all is up, not even while connecting.
bool OnlineIn(uint state) {
  constexpr uint kUnknown = 0, kConnectedLocal = 50;
  return state == kUnknown || state >= kConnectedLocal;
}

}  // namespace

NetworkState::NetworkState(QObject* parent, std::function<void(bool online)> onChange)
    : QObject(parent), onChange_(std::move(onChange)) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  // NetworkManager announces a change of its State both ways; whichever
  // comes first is enough.
  bus.connect(kService, kPath, kInterface, QStringLiteral("StateChanged"), this,
              SLOT(StateChanged(uint)));
  bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
              SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
  // A NetworkManager that goes away stops reporting: as where there is none.
  auto* owner =
      new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            if (newOwner.isEmpty())
              Set(true);
            else
              AskState();
          });
  online_ = false;  // until it answers, so a start at login does not poll blind
  AskState();
}

void NetworkState::AskState() {
  QDBusMessage get =
      QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
  get << kInterface << QStringLiteral("State");
  get.setAutoStartService(false);  // where none runs, none is started for us
  heardSinceAsking_ = false;
  auto* answer =
      new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(get, kAnswerWaitMs), this);
  connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *call;
    if (!heardSinceAsking_) Set(reply.isError() || OnlineIn(reply.value().variant().toUInt()));
  });
}

void NetworkState::StateChanged(uint state) {
  heardSinceAsking_ = true;
  Set(OnlineIn(state));
}

void NetworkState::PropertiesChanged(const QString& interface, const QVariantMap& changed,
                                     const QStringList&) {
  const auto state = changed.find(QStringLiteral("State"));
  if (interface == kInterface && state != changed.end()) StateChanged(state->toUInt());
}

void NetworkState::Set(bool online) {
  if (online == std::exchange(online_, online)) return;
  onChange_(online);
}

}  // namespace host
