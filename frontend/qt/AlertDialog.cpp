#include "AlertDialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "frontend/qt/QtStyle.h"

namespace vantory::qt {

namespace {

Qt::InputMethodHints hintsFor(const platform::TextField& field) {
  Qt::InputMethodHints hints = Qt::ImhNone;
  if (field.keyboardType() == platform::KeyboardType::numbersAndPunctuation) {
    hints |= Qt::ImhPreferNumbers;
  }
  if (field.autocapitalizationType() == platform::AutocapitalizationType::none) {
    hints |= Qt::ImhNoAutoUppercase;
  }
  return hints;
}

}  // namespace

AlertDialog::AlertDialog(std::shared_ptr<platform::AlertController> alert, QWidget* parent)
    : QDialog(parent), alert_(std::move(alert)) {
  setModal(true);
  setWindowTitle(QtStyle::text(alert_->title()));
  setObjectName(QStringLiteral("alert"));
  setMinimumWidth(280);
  auto* layout = new QVBoxLayout(this);

  auto* title = new QLabel(QtStyle::text(alert_->title()), this);
  title->setObjectName(QStringLiteral("alertTitle"));
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.15);
  title->setFont(bold);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  if (!QtStyle::text(alert_->message()).isEmpty()) {
    auto* message = new QLabel(QtStyle::text(alert_->message()), this);
    message->setObjectName(QStringLiteral("alertMessage"));
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignCenter);
    layout->addWidget(message);
  }

  for (const auto& field : alert_->textFields()) {
    auto* edit = new PlaceholderLineEdit(this);
    QtStyle::placeholder(*field, *edit);
    edit->setText(QtStyle::text(field->text()));
    edit->setAlignment(QtStyle::alignment(field->textAlignment()));
    edit->setStyleSheet(QtStyle::fieldStyle(field->layer()));
    edit->setInputMethodHints(hintsFor(*field));
    platform::TextField* model = field.get();
    connect(edit, &QLineEdit::textEdited, this,
            [model](const QString& text) { model->typeText(text.toStdString()); });
    layout->addWidget(edit);
    fields_.push_back(edit);
  }

  auto* buttons = new QHBoxLayout();
  for (const auto& action : alert_->actions()) {
    auto* button = new QPushButton(QtStyle::text(action->title()), this);
    button->setAutoDefault(false);
    std::weak_ptr<platform::AlertAction> weakAction = action;
    connect(button, &QPushButton::clicked, this, [this, weakAction] { tap(weakAction.lock()); });
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
}

void AlertDialog::tap(const std::shared_ptr<platform::AlertAction>& action) {
  if (action && alert_->presentingViewController() != nullptr) {
    alert_->tapAction(action);  // once: a dismissed alert takes no second tap
  }
}

void AlertDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    tap(alert_->preferredAction());
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void AlertDialog::reject() { tap(alert_->cancelAction()); }

}  // namespace vantory::qt
