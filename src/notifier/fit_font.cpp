#include "notifier/fit_font.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

constexpr qreal kStep = 0.5;     // points, or one pixel for a pixel-sized font
constexpr qreal kSmallest = 6;   // below this no text is legible anyway

}  // namespace

QFont FitFont(QFont font, int height) {
  const bool pixels = font.pointSizeF() <= 0;
  while (QFontMetrics(font).height() > height) {
    const qreal size = pixels ? font.pixelSize() : font.pointSizeF();
    if (size - kStep < kSmallest) break;
    if (pixels)
      font.setPixelSize(font.pixelSize() - 1);
    else
      font.setPointSizeF(size - kStep);
  }
  return font;
}

int LineEditTextHeight(const QLineEdit& field) {
  // As the field paints itself: the style's contents rectangle of its
  // frame, less the text margins.
  QStyleOptionFrame option;
  option.initFrom(&field);
  option.rect = field.rect();
  option.lineWidth = field.hasFrame()
                         ? field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &field)
                         : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  option.features = QStyleOptionFrame::None;
  const QRect contents = field.style()->subElementRect(QStyle::SE_LineEditContents, &option, &field);
  return contents.marginsRemoved(field.textMargins()).height();
}
