#pragma once

#include <QWidget>

#include <memory>
#include <unordered_map>

#include "platform/toolkit/View.h"
#include "platform/toolkit/ViewController.h"

namespace vantory::qt {

// The widgets of one screen, built from its view tree: labels, text views,
// text fields, buttons and tables in layout order over the screen's
// background, and the activity indicator floating over the top of the list.
// Typing and taps go back to the model.
class ScreenView : public QWidget {
  Q_OBJECT

 public:
  ScreenView(platform::ViewController& screen, QWidget* parent);

  // Brings the widget of a changed model object up to date; false if this
  // screen does not show it.
  bool refresh(const platform::ModelObject* object);
  void refreshAll();

  platform::ViewController& screen() const { return *screen_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Shown {
    std::shared_ptr<platform::View> view;
    QWidget* widget;
  };

  QWidget* makeWidget(const std::shared_ptr<platform::View>& view, QWidget* parent);
  void apply(const Shown& shown);

  std::shared_ptr<platform::ViewController> screen_;
  std::shared_ptr<platform::View> root_;
  std::unordered_map<const platform::ModelObject*, Shown> shown_;
  QPixmap background_;
  QWidget* spinner_ = nullptr;
};

}  // namespace vantory::qt
