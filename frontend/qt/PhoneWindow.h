#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <memory>
#include <vector>

#include "platform/toolkit/BarButtonItem.h"
#include "platform/toolkit/NavigationBar.h"
#include "platform/toolkit/NavigationItem.h"

namespace vantory::qt {

// A phone-shaped window: a navigation bar over the screen in front.
class PhoneWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PhoneWindow(QWidget* parent = nullptr);

  // Puts the screen's widget in front (the window owns it from then on).
  void showScreen(QWidget* screen);
  QWidget* screen() const { return screen_; }

  // The bar of a screen inside a navigation stack; `back` pops it.
  void showBar(const platform::NavigationItem& item, const platform::NavigationBar& bar,
               bool canGoBack, const std::function<void()>& back);
  void hideBar();

  QLabel* titleLabel() const { return title_; }
  QPushButton* backButton() const { return back_; }
  // The bar buttons, left ones first, then the right ones from the outer edge.
  const std::vector<QPushButton*>& barButtons() const { return buttons_; }

 private:
  void setButtons(const platform::NavigationItem& item, const QColor& tint);

  QWidget* bar_;
  QLabel* title_;
  QPushButton* back_;
  QHBoxLayout* leftItems_;
  QHBoxLayout* rightItems_;
  QWidget* screen_ = nullptr;
  std::vector<QPushButton*> buttons_;
  std::vector<const platform::BarButtonItem*> shownItems_;
  QColor shownTint_;
  std::function<void()> backAction_;
};

}  // namespace vantory::qt
