#pragma once

#include <QDialog>

#include "frontend/qt/PlaceholderLineEdit.h"

#include <memory>
#include <vector>

#include "platform/toolkit/AlertController.h"

namespace vantory::qt {

// An alert as a modal dialog: title, message, its text fields in order and
// its buttons in the order added. A button closes the alert in the model,
// which runs the button's handler on the main queue. Return presses the
// alert's preferred button wherever it stands, Escape its cancel button.
class AlertDialog : public QDialog {
  Q_OBJECT

 public:
  AlertDialog(std::shared_ptr<platform::AlertController> alert, QWidget* parent);

  platform::AlertController* alert() const { return alert_.get(); }
  const std::vector<PlaceholderLineEdit*>& fields() const { return fields_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Escape or closing the window: the alert's cancel button; an alert that
  // cannot be backed out of stays.
  void reject() override;

 private:
  void tap(const std::shared_ptr<platform::AlertAction>& action);

  std::shared_ptr<platform::AlertController> alert_;
  std::vector<PlaceholderLineEdit*> fields_;
};

}  // namespace vantory::qt
