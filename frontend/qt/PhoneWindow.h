#pragma once

#include <QMenuBar>
#include <QWidget>

#include <functional>

#include "frontend/qt/NavigationBarWidget.h"

namespace vantory::qt {

// The desktop window around the phone screens: a menu (Settings, Quit), the
// navigation bar over the screen in front, and a dimming veil while an alert
// is open. It fits the screen it opens on, keeps a size below which nothing
// would clip, remembers its size and place in the user defaults, and gives
// the screens their desktop keys: Escape or Alt+Left goes back, Ctrl+R or F5
// refreshes, Return presses a form's default button once no field has focus.
class PhoneWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PhoneWindow(QWidget* parent = nullptr);

  // Puts the screen's widget in front (the window owns it from then on).
  void showScreen(QWidget* screen);
  QWidget* screen() const { return screen_; }

  NavigationBarWidget& bar() { return *bar_; }
  QMenuBar* menuBar() const { return menu_; }

  // The veil over everything while an alert asks for attention.
  void setDimmed(bool dimmed);
  bool isDimmed() const;

  // What "Settings…" in the menu opens.
  void setSettingsAction(std::function<void()> action) { settingsAction_ = std::move(action); }

  // Size and place as last left (within the screen as it is now), else a
  // phone's proportions fitted to the available screen.
  void restoreGeometry();
  void saveGeometry() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QMenuBar* menu_;
  NavigationBarWidget* bar_;
  QWidget* screen_ = nullptr;
  QWidget* veil_;
  std::function<void()> settingsAction_;
};

}  // namespace vantory::qt
