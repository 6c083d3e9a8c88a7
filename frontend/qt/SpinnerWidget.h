#pragma once

#include <QTimer>
#include <QWidget>

namespace vantory::qt {

// The activity indicator: twelve spokes that turn while animating.
class SpinnerWidget : public QWidget {
  Q_OBJECT

 public:
  explicit SpinnerWidget(QWidget* parent = nullptr);

  void setAnimating(bool animating);
  bool isAnimating() const { return timer_.isActive(); }
  QSize sizeHint() const override { return {36, 36}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer timer_;
  int step_ = 0;
};

}  // namespace vantory::qt
