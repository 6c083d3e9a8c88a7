#include "SpinnerWidget.h"

#include <QPainter>

namespace vantory::qt {

namespace {
constexpr int kSpokes = 12;
}

SpinnerWidget::SpinnerWidget(QWidget* parent) : QWidget(parent) {
  setFixedSize(sizeHint());
  timer_.setInterval(80);
  connect(&timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % kSpokes;
    update();
  });
}

void SpinnerWidget::setAnimating(bool animating) {
  if (animating && !timer_.isActive()) {
    timer_.start();
  } else if (!animating) {
    timer_.stop();
  }
  update();
}

void SpinnerWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(width() / 2.0, height() / 2.0);
  const double radius = std::min(width(), height()) / 2.0;
  for (int i = 0; i < kSpokes; ++i) {
    // The leading spoke is darkest; the others fade behind it.
    const int age = (step_ - i + kSpokes) % kSpokes;
    QColor color(90, 70, 50);
    color.setAlphaF(timer_.isActive() ? 1.0F - static_cast<float>(age) / kSpokes : 0.35F);
    painter.setPen(QPen(color, radius / 5.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
    painter.rotate(360.0 / kSpokes);
  }
}

}  // namespace vantory::qt
