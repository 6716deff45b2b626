// A small StatusNotifierItem host, as KDE Plasma or GNOME's AppIndicator
// extension would be: it owns the watcher service on the session bus, and
// for the item that registers it prints
//   registered SERVICE
//   tooltip TITLE
//   icon FILE       (the item's largest picture, saved as PNG; again on NewIcon)
// and on the line "activate" from standard input calls the item's Activate.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QSocketNotifier>
#include <QTextStream>
#include <QtEndian>

#include <unistd.h>

#include <functional>

namespace {

struct Pixmap {
  int width = 0;
  int height = 0;
  QByteArray argb;  // 32-bit ARGB pixels in network byte order
};

const QDBusArgument& operator>>(const QDBusArgument& in, Pixmap& pixmap) {
  in.beginStructure();
  in >> pixmap.width >> pixmap.height >> pixmap.argb;
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const Pixmap& pixmap) {
  out.beginStructure();
  out << pixmap.width << pixmap.height << pixmap.argb;
  out.endStructure();
  return out;
}

struct ToolTip {
  QString iconName;
  QList<Pixmap> icons;
  QString title;
  QString text;
};

const QDBusArgument& operator>>(const QDBusArgument& in, ToolTip& tip) {
  in.beginStructure();
  in >> tip.iconName >> tip.icons >> tip.title >> tip.text;
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const ToolTip& tip) {
  out.beginStructure();
  out << tip.iconName << tip.icons << tip.title << tip.text;
  out.endStructure();
  return out;
}

}  // namespace

Q_DECLARE_METATYPE(Pixmap)
Q_DECLARE_METATYPE(ToolTip)

class Watcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

 public:
  Watcher(QString iconFile, bool hostRegistered, QTextStream& out)
      : iconFile_(std::move(iconFile)), hostRegistered_(hostRegistered), out_(out) {}
  bool hostRegistered() const { return hostRegistered_; }
  int protocolVersion() const { return 0; }
  QStringList items() const { return service_.isEmpty() ? QStringList() : QStringList{service_}; }

  void Activate() {
    QDBusInterface item(service_, "/StatusNotifierItem", "org.kde.StatusNotifierItem");
    item.call("Activate", 0, 0);
  }

 public slots:
  void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
    // Qt registers with its bus name or with an object path.
    service_ = service.startsWith('/') ? message.service() : service;
    out_ << "registered " << service_ << Qt::endl;
    QDBusConnection::sessionBus().connect(service_, "/StatusNotifierItem",
                                          "org.kde.StatusNotifierItem", "NewIcon", this,
                                          SLOT(ShowIcon()));
    ShowToolTip();
    ShowIcon();
  }
  void RegisterStatusNotifierHost(const QString&) {}

 private slots:
  void ShowIcon() {
    Property("IconPixmap", [this](const QDBusArgument& value) {
      const QList<Pixmap> pixmaps = qdbus_cast<QList<Pixmap>>(value);
      const Pixmap* largest = nullptr;
      for (const Pixmap& p : pixmaps)
        if (!largest || p.width > largest->width) largest = &p;
      if (!largest) return;
      QImage image(largest->width, largest->height, QImage::Format_ARGB32);
      const auto* pixels = reinterpret_cast<const quint32*>(largest->argb.constData());
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
          image.setPixel(x, y, qFromBigEndian(pixels[y * image.width() + x]));
      image.save(iconFile_);
      out_ << "icon " << iconFile_ << Qt::endl;
    });
  }

 private:
  // Asks without waiting, as a panel does: the item may be calling us at
  // the same moment, and two blocking calls would wait on each other.
  void Property(const char* name, std::function<void(const QDBusArgument&)> use) {
    QDBusMessage call = QDBusMessage::createMethodCall(service_, "/StatusNotifierItem",
                                                       "org.freedesktop.DBus.Properties", "Get");
    call << QString("org.kde.StatusNotifierItem") << QString(name);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [use = std::move(use)](QDBusPendingCallWatcher* done) {
              done->deleteLater();
              const QDBusMessage reply = done->reply();
              if (reply.arguments().isEmpty()) return;
              use(reply.arguments().first().value<QDBusVariant>().variant().value<QDBusArgument>());
            });
  }

  void ShowToolTip() {
    Property("ToolTip", [this](const QDBusArgument& value) {
      out_ << "tooltip " << qdbus_cast<ToolTip>(value).title << Qt::endl;
    });
  }

  QString iconFile_;
  bool hostRegistered_;
  QTextStream& out_;
  QString service_;
};

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  qDBusRegisterMetaType<Pixmap>();
  qDBusRegisterMetaType<QList<Pixmap>>();
  qDBusRegisterMetaType<ToolTip>();
  QTextStream out(stdout);
  // --no-host: the watcher of a panel whose host has not registered yet.
  const bool noHost = argc == 3 && QByteArray(argv[2]) == "--no-host";
  if (argc != 2 && !noHost) {
    out << "usage: sni_host ICON.png [--no-host]" << Qt::endl;
    return 2;
  }
  Watcher watcher(QString::fromLocal8Bit(argv[1]), !noHost, out);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject("/StatusNotifierWatcher", &watcher,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
      !bus.registerService("org.kde.StatusNotifierWatcher")) {
    out << "cannot own the watcher service: " << bus.lastError().message() << Qt::endl;
    return 1;
  }
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) return QCoreApplication::quit();
    if (QByteArray(buffer, n).startsWith("activate")) watcher.Activate();
    out << "done" << Qt::endl;
  });
  out << "ready" << Qt::endl;
  return app.exec();
}

#include "sni_host.moc"
