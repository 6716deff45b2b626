// Renders an SVG picture into the files a desktop wants of it:
//   render_icon ico PICTURE.svg OUT.ico SIZE...   one icon file, every size
//   render_icon png PICTURE.svg OUT.png SIZE      one picture
// The ICO holds each size as a 32-bit image with alpha, so a tray asks for
// the size it shows and nothing is scaled up.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <algorithm>
#include <cstdio>

namespace {

QImage Render(QSvgRenderer& svg, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  svg.render(&painter);
  return image;
}

template <typename T>
void Put(QByteArray& out, T value) {
  const T le = qToLittleEndian(value);
  out.append(reinterpret_cast<const char*>(&le), sizeof le);
}

// One ICO image: a bitmap header, the colour rows bottom up, and the mask
// (set where a pixel is wholly transparent, for readers that ignore alpha).
QByteArray IcoImage(const QImage& image) {
  const int side = image.width();
  const int maskStride = ((side + 31) / 32) * 4;
  QByteArray out;
  Put<quint32>(out, 40);
  Put<qint32>(out, side);
  Put<qint32>(out, 2 * side);  // the colour and mask halves together
  Put<quint16>(out, 1);
  Put<quint16>(out, 32);
  Put<quint32>(out, 0);
  Put<quint32>(out, side * side * 4 + maskStride * side);
  for (int i = 0; i < 4; ++i) Put<quint32>(out, 0);
  for (int y = side - 1; y >= 0; --y)
    for (int x = 0; x < side; ++x) Put<quint32>(out, image.pixel(x, y));  // B, G, R, A in order
  for (int y = side - 1; y >= 0; --y) {
    QByteArray row(maskStride, '\0');
    for (int x = 0; x < side; ++x)
      if (qAlpha(image.pixel(x, y)) == 0) row[x / 8] = static_cast<char>(row[x / 8] | 0x80 >> x % 8);
    out += row;
  }
  return out;
}

QByteArray Ico(QSvgRenderer& svg, const QList<int>& sizes) {
  QByteArray directory, images;
  Put<quint16>(directory, 0);
  Put<quint16>(directory, 1);
  Put<quint16>(directory, static_cast<quint16>(sizes.size()));
  qsizetype offset = 6 + 16 * sizes.size();
  for (int size : sizes) {
    const QByteArray image = IcoImage(Render(svg, size));
    directory.append(static_cast<char>(size));
    directory.append(static_cast<char>(size));
    directory.append(2, '\0');  // no palette, reserved
    Put<quint16>(directory, 1);
    Put<quint16>(directory, 32);
    Put<quint32>(directory, static_cast<quint32>(image.size()));
    Put<quint32>(directory, static_cast<quint32>(offset));
    offset += image.size();
    images += image;
  }
  return directory + images;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  QList<int> sizes;
  for (qsizetype i = 4; i < args.size(); ++i) sizes << args[i].toInt();
  const bool ico = args.value(1) == "ico";
  if ((!ico && args.value(1) != "png") || sizes.isEmpty() || sizes.contains(0) ||
      (!ico && sizes.size() != 1) || (ico && *std::max_element(sizes.begin(), sizes.end()) > 255)) {
    std::fputs("usage: render_icon ico|png PICTURE.svg OUT SIZE...\n", stderr);
    return 2;
  }
  QSvgRenderer svg(args[2]);
  if (!svg.isValid()) {
    std::fprintf(stderr, "%s: not a picture\n", qPrintable(args[2]));
    return 1;
  }
  QFile out(args[3]);
  const bool written = out.open(QIODevice::WriteOnly) &&
                       (ico ? out.write(Ico(svg, sizes)) > 0 : Render(svg, sizes[0]).save(&out, "PNG"));
  if (!written || !out.flush()) {
    std::fprintf(stderr, "%s: cannot write\n", qPrintable(args[3]));
    return 1;
  }
  return 0;
}
