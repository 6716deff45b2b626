#include "host/host.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace host {

QString AppPath() { return QCoreApplication::applicationDirPath(); }

QString AppFile(const QString& name) { return AppPath() + '/' + name; }

float TwipsPerPixelX() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
  return static_cast<float>(1440.0 / dpi);
}

QRect TwipsToPixels(int left, int top, int width, int height, float twipsPerPixel) {
  auto px = [twipsPerPixel](int twips) {
    return static_cast<int>(std::lround(twips / twipsPerPixel));
  };
  return QRect(px(left), px(top), px(width), px(height));
}

std::optional<QIcon> LoadPicture(const QString& path) {
  // QIcon loads lazily and never fails, so read the picture here to know.
  QImageReader reader(path);
  const QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  return QIcon(QPixmap::fromImage(image));
}

void Host::MsgBox(const QString& prompt) {
  QMessageBox box(QMessageBox::Critical, AppTitle, prompt, QMessageBox::Ok);
  box.exec();
}

void Host::End(int exitCode) {
  // Unwinding nested event loops would let queued events run first.
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

void Host::RuntimeError(const QString& what) {
  MsgBox(what);
  End(EXIT_FAILURE);
}

}  // namespace host
