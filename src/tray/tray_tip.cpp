#include "tray/tray_tip.h"

namespace modSystray {

QString ComposeTip(const QString& title, int major, int minor) {
  QString tip = title + QStringLiteral(" v") + QString::number(major) + '.' +
                QStringLiteral("%1").arg(minor, 2, 10, QLatin1Char('0')) + QChar(0);
  return tip.leftJustified(kTipLength, ' ', true);
}

QString ShownTip(const QString& tip) {
  const qsizetype nul = tip.indexOf(QChar(0));
  return nul < 0 ? tip : tip.first(nul);
}

int MouseMessage(QSystemTrayIcon::ActivationReason reason, bool statusNotifierHost) {
  switch (reason) {
    case QSystemTrayIcon::DoubleClick:
      return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Trigger:
      return statusNotifierHost ? WM_LBUTTONDBLCLK : WM_LBUTTONUP;
    case QSystemTrayIcon::Context:
      return WM_RBUTTONUP;
    case QSystemTrayIcon::MiddleClick:
      return WM_MBUTTONUP;
    case QSystemTrayIcon::Unknown:
      break;
  }
  return 0;
}

}  // namespace modSystray
