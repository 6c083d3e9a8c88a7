#pragma once

#include <QDialog>
#include <QLineEdit>

#include <memory>
#include <vector>

#include "platform/toolkit/AlertController.h"

namespace vantory::qt {

// An alert as a modal dialog: title, message, its text fields in order and
// its buttons in the order added. A button closes the alert in the model,
// which runs the button's handler on the main queue.
class AlertDialog : public QDialog {
  Q_OBJECT

 public:
  AlertDialog(std::shared_ptr<platform::AlertController> alert, QWidget* parent);

  platform::AlertController* alert() const { return alert_.get(); }
  const std::vector<QLineEdit*>& fields() const { return fields_; }

 protected:
  // Escape or closing the window: "Cancel" if there is one, else the only
  // button; otherwise the alert stays.
  void reject() override;

 private:
  std::shared_ptr<platform::AlertController> alert_;
  std::vector<QLineEdit*> fields_;
};

}  // namespace vantory::qt
