// Painting the glyphs and the picture panel.
#include "corvid/wizard/WizGlyphs.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <utility>

namespace corvid {

namespace {

// Glyphs are drawn on a 16 x 16 grid into a pixmap of twice that size, so
// they stay crisp on high-density screens.
constexpr int kGlyphSize = 16;
constexpr qreal kGlyphRatio = 2.0;

// A block arrow pointing right; mirrored for the left-pointing glyphs.
QPolygonF RightArrow() {
  return QPolygonF({{1.5, 5.5}, {8, 5.5}, {8, 1.5}, {14.5, 8}, {8, 14.5}, {8, 10.5}, {1.5, 10.5}});
}

void PaintArrow(QPainter& P, bool Left, const QColor& Light, const QColor& Dark) {
  QPolygonF arrow = RightArrow();
  if (Left) {
    for (QPointF& pt : arrow) pt.setX(kGlyphSize - pt.x());
  }
  QLinearGradient fill(0, 2, 0, 14);
  fill.setColorAt(0, Light);
  fill.setColorAt(1, Dark);
  P.setPen(QPen(Dark.darker(140), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  P.setBrush(fill);
  P.drawPolygon(arrow);
}

void PaintCheck(QPainter& P) {
  QPainterPath tick;
  tick.moveTo(2.5, 8.5);
  tick.lineTo(6.2, 12.2);
  tick.lineTo(13.5, 3.8);
  // A dark rim under the green stroke keeps the mark readable on any
  // button colour.
  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(QColor(0x1d, 0x5e, 0x2a), 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  P.drawPath(tick);
  P.setPen(QPen(QColor(0x3c, 0xb0, 0x4f), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  P.drawPath(tick);
}

void PaintCross(QPainter& P) {
  const QLineF a(4, 4, 12, 12), b(12, 4, 4, 12);
  P.setPen(QPen(QColor(0x8e, 0x1b, 0x10), 3.8, Qt::SolidLine, Qt::RoundCap));
  P.drawLine(a);
  P.drawLine(b);
  P.setPen(QPen(QColor(0xe0, 0x4b, 0x3a), 2.2, Qt::SolidLine, Qt::RoundCap));
  P.drawLine(a);
  P.drawLine(b);
}

}  // namespace

QIcon WizardGlyph(TWizardGlyph Glyph) {
  QPixmap pm(static_cast<int>(kGlyphSize * kGlyphRatio),
             static_cast<int>(kGlyphSize * kGlyphRatio));
  pm.setDevicePixelRatio(kGlyphRatio);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor blueLight(0x8c, 0xc0, 0xf0), blueDark(0x23, 0x5f, 0xa8);
  const QColor tealLight(0x8e, 0xe0, 0xd0), tealDark(0x1a, 0x80, 0x72);
  switch (Glyph) {
    case TWizardGlyph::Back:
      PaintArrow(p, true, blueLight, blueDark);
      break;
    case TWizardGlyph::Next:
      PaintArrow(p, false, blueLight, blueDark);
      break;
    case TWizardGlyph::Finish:
      PaintCheck(p);
      break;
    case TWizardGlyph::Cancel:
      PaintCross(p);
      break;
    case TWizardGlyph::MoveRight:
      PaintArrow(p, false, tealLight, tealDark);
      break;
    case TWizardGlyph::MoveLeft:
      PaintArrow(p, true, tealLight, tealDark);
      break;
  }
  p.end();
  return QIcon(pm);
}

// ---------------------------------------------------------------------------

TWizardPicture::TWizardPicture(QStringList Steps, QWidget* Parent)
    : QWidget(Parent), steps_(std::move(Steps)) {}

void TWizardPicture::SetCurrentStep(int Step) {
  if (Step == current_) return;
  current_ = Step;
  update();
}

void TWizardPicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = width(), h = height();

  // Night-blue ground, lighter towards the bottom.
  QLinearGradient ground(0, 0, 0, h);
  ground.setColorAt(0, QColor(0x14, 0x2c, 0x45));
  ground.setColorAt(1, QColor(0x26, 0x65, 0x8f));
  p.fillRect(rect(), ground);

  // Title.
  QFont title = font();
  title.setPointSizeF(title.pointSizeF() * 1.35);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 12, w, 22), Qt::AlignHCenter | Qt::AlignVCenter, "Unitwright");
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  p.setFont(small);
  p.setPen(QColor(0xa9, 0xcc, 0xea));
  p.drawText(QRectF(0, 33, w, 16), Qt::AlignHCenter | Qt::AlignVCenter, "class generator");

  // A class card: a title bar and four member lines.
  const QRectF card(w / 2 - 50, 60, 100, 70);
  p.setPen(QPen(QColor(0x0b, 0x1d, 0x30), 1));
  p.setBrush(QColor(0xf4, 0xf7, 0xfb));
  p.drawRoundedRect(card, 3, 3);
  QPainterPath bar;
  bar.addRoundedRect(QRectF(card.left(), card.top(), card.width(), 17), 3, 3);
  p.fillPath(bar, QColor(0x3a, 0x7b, 0xd5));
  p.fillRect(QRectF(card.left(), card.top() + 10, card.width(), 7), QColor(0x3a, 0x7b, 0xd5));
  QFont cardFont = small;
  cardFont.setBold(true);
  p.setFont(cardFont);
  p.setPen(Qt::white);
  p.drawText(QRectF(card.left(), card.top(), card.width(), 17), Qt::AlignCenter, "TObject");
  const qreal lineWidths[] = {0.72, 0.55, 0.80, 0.46};
  for (int i = 0; i < 4; ++i) {
    const qreal y = card.top() + 25 + i * 11;
    p.fillRect(QRectF(card.left() + 9, y, 5, 5), QColor(0x3c, 0xb0, 0x4f));
    p.fillRect(QRectF(card.left() + 19, y + 1, (card.width() - 28) * lineWidths[i], 3),
               QColor(0x9a, 0xa9, 0xb8));
  }

  // The mapping: a dashed arrow from the class down to the database.
  const qreal arrowTop = card.bottom() + 6, arrowBottom = arrowTop + 26;
  p.setPen(QPen(QColor(0xf2, 0xb1, 0x34), 2, Qt::DashLine, Qt::RoundCap));
  p.drawLine(QPointF(w / 2, arrowTop), QPointF(w / 2, arrowBottom - 6));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xb1, 0x34));
  p.drawPolygon(QPolygonF(
      {{w / 2 - 6, arrowBottom - 8}, {w / 2 + 6, arrowBottom - 8}, {w / 2, arrowBottom}}));

  // The database: a cylinder with two bands.
  const qreal cx = w / 2, rx = 38, ry = 9, top = arrowBottom + 8, bottom = top + 52;
  QLinearGradient metal(cx - rx, 0, cx + rx, 0);
  metal.setColorAt(0, QColor(0xb4, 0xc6, 0xd9));
  metal.setColorAt(0.45, QColor(0xf1, 0xf5, 0xf9));
  metal.setColorAt(1, QColor(0x8b, 0xa3, 0xbd));
  QPainterPath body;
  body.moveTo(cx - rx, top);
  body.lineTo(cx - rx, bottom);
  body.arcTo(QRectF(cx - rx, bottom - ry, 2 * rx, 2 * ry), 180, 180);
  body.lineTo(cx + rx, top);
  body.arcTo(QRectF(cx - rx, top - ry, 2 * rx, 2 * ry), 0, -180);
  p.setPen(QPen(QColor(0x0b, 0x1d, 0x30), 1));
  p.setBrush(metal);
  p.drawPath(body);
  p.setBrush(Qt::NoBrush);
  for (qreal band : {top + 17, top + 34}) {
    p.drawArc(QRectF(cx - rx, band - ry, 2 * rx, 2 * ry), 180 * 16, 180 * 16);
  }
  p.setBrush(QColor(0xdd, 0xe7, 0xf1));
  p.drawEllipse(QRectF(cx - rx, top - ry, 2 * rx, 2 * ry));

  // The steps, the current one marked, the finished ones ticked off.
  const qreal stepTop = bottom + 34, pitch = 30, r = 9, x = 22;
  p.setPen(QPen(QColor(0x7f, 0xa6, 0xc8), 2));
  if (steps_.size() > 1) {
    p.drawLine(QPointF(x, stepTop), QPointF(x, stepTop + pitch * (steps_.size() - 1)));
  }
  QFont stepFont = font();
  for (int i = 0; i < steps_.size(); ++i) {
    const QPointF c(x, stepTop + pitch * i);
    const bool current = i == current_, done = i < current_;
    p.setPen(QPen(current ? QColor(0xf2, 0xb1, 0x34) : QColor(0xa9, 0xcc, 0xea), 1.5));
    p.setBrush(current ? QColor(0xf2, 0xb1, 0x34)
               : done  ? QColor(0x7f, 0xb8, 0xe0)
                       : QColor(0x14, 0x2c, 0x45));
    p.drawEllipse(c, r, r);
    stepFont.setBold(true);
    p.setFont(stepFont);
    p.setPen(current || done ? QColor(0x14, 0x2c, 0x45) : QColor(0xa9, 0xcc, 0xea));
    p.drawText(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QString::number(i + 1));
    stepFont = font();
    stepFont.setBold(current);
    // A caption too long for the panel (the bold current one) is set
    // smaller rather than cut at the edge.
    const qreal textLeft = x + r + 7, room = w - textLeft - 6;
    const qreal wide = QFontMetricsF(stepFont).horizontalAdvance(steps_[i]);
    if (wide > room) stepFont.setPointSizeF(stepFont.pointSizeF() * room / wide);
    p.setFont(stepFont);
    p.setPen(current ? Qt::white : done ? QColor(0xd6, 0xe6, 0xf4) : QColor(0x9d, 0xb8, 0xd0));
    p.drawText(QRectF(textLeft, c.y() - 10, room, 20), Qt::AlignLeft | Qt::AlignVCenter, steps_[i]);
  }
}

}  // namespace corvid
