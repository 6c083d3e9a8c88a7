#include "SettingsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "app/Settings.h"
#include "frontend/qt/QtStyle.h"

namespace vantory::qt {

SettingsDialog::SettingsDialog(platform::Window& window, QWidget* parent)
    : QDialog(parent),
      window_(window),
      name_(new QLineEdit(this)),
      address_(new QLineEdit(this)),
      problem_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Settings"));
  setObjectName(QStringLiteral("settings"));
  setModal(true);
  setMinimumWidth(360);
  name_->setObjectName(QStringLiteral("Name"));
  name_->setText(QtStyle::text(Settings::registeredName()));
  name_->setPlaceholderText(QStringLiteral("First Last"));
  address_->setObjectName(QStringLiteral("ServiceHost"));
  address_->setText(QtStyle::text(Settings::serviceAddress()));
  address_->setPlaceholderText(QStringLiteral("http://127.0.0.1:8080"));
  problem_->setObjectName(QStringLiteral("problem"));
  problem_->setWordWrap(true);
  problem_->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
  problem_->hide();

  auto* form = new QFormLayout();
  form->addRow(QStringLiteral("Name"), name_);
  form->addRow(QStringLiteral("Service address"), address_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(problem_);
  layout->addWidget(buttons);
}

void SettingsDialog::accept() {
  const auto refusal = Settings::apply(window_, name_->text().toStdString(),
                                       address_->text().trimmed().toStdString());
  if (refusal) {
    problem_->setText(QtStyle::text(*refusal));
    problem_->show();
    return;
  }
  QDialog::accept();
}

}  // namespace vantory::qt
