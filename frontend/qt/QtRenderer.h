#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <unordered_set>

#include "frontend/qt/AlertDialog.h"
#include "frontend/qt/PhoneWindow.h"
#include "frontend/qt/ScreenView.h"
#include "frontend/qt/SettingsDialog.h"
#include "platform/toolkit/ModelObject.h"
#include "platform/toolkit/Window.h"

namespace vantory::qt {

// Follows the toolkit model and draws it with Qt Widgets: the screen in
// front (the top of the navigation stack), its bar, and the alert shown over
// it. Changes are gathered and drawn together on the next turn of the GUI
// thread, which is also the thread that drains the main queue.
class QtRenderer : public QObject, public platform::ModelObserver {
  Q_OBJECT

 public:
  explicit QtRenderer(std::shared_ptr<platform::Window> window);
  ~QtRenderer() override;

  void modelChanged(platform::ModelObject& object) override;
  // Draws what changed now (the GUI loop does it by itself).
  void flush();

  PhoneWindow& window() { return phone_; }
  // The settings dialog of the window's menu, opened.
  SettingsDialog* openSettings();
  ScreenView* screen() const { return screen_; }
  AlertDialog* alert() const { return alert_.data(); }

 private:
  void scheduleFlush();
  void syncStructure();

  std::shared_ptr<platform::Window> model_;
  PhoneWindow phone_;
  ScreenView* screen_ = nullptr;
  QPointer<AlertDialog> alert_;
  std::unordered_set<const platform::ModelObject*> dirty_;
  bool flushScheduled_ = false;
};

}  // namespace vantory::qt
