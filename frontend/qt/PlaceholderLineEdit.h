#pragma once

#include <QLineEdit>

namespace vantory::qt {

// A line edit that draws its placeholder itself, in the model's colour and
// font, whenever it is empty: Qt hides a centred field's placeholder while the
// field has focus, which would leave a person facing an empty box.
class PlaceholderLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit PlaceholderLineEdit(QWidget* parent);

  void setPlaceholder(const QString& text, const QColor& color, const QFont& font);
  const QString& placeholder() const { return placeholder_; }
  const QColor& placeholderColor() const { return placeholderColor_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString placeholder_;
  QColor placeholderColor_{Qt::gray};
  QFont placeholderFont_;
};

}  // namespace vantory::qt
