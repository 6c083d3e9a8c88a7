#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include "platform/toolkit/Window.h"

namespace vantory::qt {

// The desktop's settings, outside the phone screens: the registered name and
// the service's address. Save checks both and keeps the dialog open with the
// reason when either cannot be used.
class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(platform::Window& window, QWidget* parent);

  QLineEdit* nameField() const { return name_; }
  QLineEdit* addressField() const { return address_; }
  QLabel* problem() const { return problem_; }

 public slots:
  void accept() override;

 private:
  platform::Window& window_;
  QLineEdit* name_;
  QLineEdit* address_;
  QLabel* problem_;
};

}  // namespace vantory::qt
