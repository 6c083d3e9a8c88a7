#include "QtRenderer.h"

#include <QMetaObject>

#include "frontend/qt/TableViewWidget.h"
#include "platform/toolkit/NavigationController.h"

namespace vantory::qt {

QtRenderer::QtRenderer(std::shared_ptr<platform::Window> window) : model_(std::move(window)) {
  platform::ModelObject::setObserver(this);
  phone_.setSettingsAction([this] { openSettings(); });
  phone_.show();
  scheduleFlush();
}

SettingsDialog* QtRenderer::openSettings() {
  auto* dialog = new SettingsDialog(*model_, &phone_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
  return dialog;
}

QtRenderer::~QtRenderer() {
  platform::ModelObject::setObserver(nullptr);
  if (alert_) {
    alert_->deleteLater();
  }
}

void QtRenderer::modelChanged(platform::ModelObject& object) {
  dirty_.insert(&object);
  scheduleFlush();
}

void QtRenderer::scheduleFlush() {
  if (flushScheduled_) {
    return;
  }
  flushScheduled_ = true;
  QMetaObject::invokeMethod(
      this, [this] { flush(); }, Qt::QueuedConnection);
}

void QtRenderer::flush() {
  flushScheduled_ = false;
  syncStructure();
  const auto dirty = std::move(dirty_);
  dirty_.clear();
  if (screen_ != nullptr) {
    for (const platform::ModelObject* object : dirty) {
      screen_->refresh(object);
    }
  }
}

void QtRenderer::syncStructure() {
  const platform::Window::Front front = model_->front();
  platform::ViewController* screen = front.screen;
  platform::NavigationController* navigation = front.navigation;
  platform::AlertController* alert = front.alert;

  if (screen != nullptr && (screen_ == nullptr || &screen_->screen() != screen)) {
    screen_ = new ScreenView(*screen, &phone_);
    phone_.showScreen(screen_);
    // A list screen starts with the keyboard on its list.
    if (auto* table = screen_->findChild<TableViewWidget*>()) {
      table->list()->setFocus();
    }
  }
  if (navigation != nullptr && screen != nullptr) {
    std::weak_ptr<platform::ViewController> weak = navigation->shared_from_this();
    phone_.bar().showItem(
        screen->navigationItem(), navigation->navigationBar(),
        navigation->viewControllers().size() > 1, [weak] {
          if (auto owner = weak.lock()) {
            static_cast<platform::NavigationController&>(*owner).popViewControllerAnimated(true);
          }
        });
  } else {
    phone_.bar().hide();
  }

  if ((alert_ ? alert_->alert() : nullptr) != alert) {
    if (alert_) {
      alert_->hide();
      alert_->deleteLater();
    }
    if (alert != nullptr) {
      alert_ = new AlertDialog(
          std::static_pointer_cast<platform::AlertController>(alert->shared_from_this()), &phone_);
      alert_->open();
    }
  }
  phone_.setDimmed(alert != nullptr);
}

}  // namespace vantory::qt
