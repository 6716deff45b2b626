#include "host/network_state.h"
#include "host/default_route.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <dbus/dbus.h>

#include <thread>
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
// on that LAN) none of its devices is up, not even while connecting.
bool OnlineIn(uint state) {
  constexpr uint kUnknown = 0, kAsleep = 10, kConnectedLocal = 50;
  if (state == kUnknown || state >= kConnectedLocal) return true;
  // Interfaces it does not manage (ifupdown, systemd-networkd) may still be up.
  return state != kAsleep && HasDefaultRoute();
}

}  // namespace

// The thread that opens the bus may outlive its NetworkState: it finds
// here, on the event loop's thread, whether anyone still listens.
struct NetworkState::Link {
  NetworkState* owner;
};

NetworkState::NetworkState(QObject* parent, std::function<void(bool online)> onChange)
    : QObject(parent), onChange_(std::move(onChange)), link_(std::make_shared<Link>(Link{this})) {
  // Registering on a bus waits for its answer with no time limit, and Qt
  // registers its connections one at a time on a thread they all share: a
  // bus that does not answer would hold every other one (the tray's). It is
  // first tried here, on a thread of its own, detached so that no end waits
  // for it.
  std::thread([link = link_] {
    DBusError error;
    dbus_error_init(&error);
    std::optional<QDBusConnection> bus;
    if (DBusConnection* trial = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error)) {
      dbus_connection_close(trial);
      dbus_connection_unref(trial);
      bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus,
                                          QStringLiteral("tallowin_network"));
    }
    dbus_error_free(&error);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [link, bus] {
          if (link->owner) link->owner->Follow(bus);
        },
        Qt::QueuedConnection);
  }).detach();
  // A bus or a NetworkManager that does not answer in time reports nothing.
  QTimer::singleShot(kAnswerWaitMs, this, [this] {
    if (!learnt_) Set(true);
  });
}

NetworkState::~NetworkState() { link_->owner = nullptr; }

void NetworkState::Follow(const std::optional<QDBusConnection>& bus) {
  if (!bus || !bus->isConnected()) return Set(true);
  bus_ = bus;
  // NetworkManager announces a change of its State both ways; whichever
  // comes first is enough.
  bus_->connect(kService, kPath, kInterface, QStringLiteral("StateChanged"), this,
                SLOT(StateChanged(uint)));
  bus_->connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
  // A NetworkManager that goes away stops reporting: as where there is none.
  auto* owner =
      new QDBusServiceWatcher(kService, *bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            if (newOwner.isEmpty())
              Set(true);
            else
              AskState();
          });
  AskState();
}

void NetworkState::AskState() {
  QDBusMessage get =
      QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
  get << kInterface << QStringLiteral("State");
  get.setAutoStartService(false);  // where none runs, none is started for us
  heardSinceAsking_ = false;
  auto* answer = new QDBusPendingCallWatcher(bus_->asyncCall(get, kAnswerWaitMs), this);
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
  learnt_ = true;
  if (online == std::exchange(online_, online)) return;
  onChange_(online);
}

}  // namespace host
