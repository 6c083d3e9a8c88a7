#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "platform/toolkit/BarButtonItem.h"
#include "platform/toolkit/NavigationBar.h"
#include "platform/toolkit/NavigationItem.h"

namespace vantory::qt {

// A screen's navigation bar: the back button and the left items at the left,
// the right items at the right, the title centred on the whole bar (elided
// with its full text as a tooltip when it does not fit), in the bar's colours.
// Tab runs left to right; clicks do not leave a focus box behind.
class NavigationBarWidget : public QWidget {
  Q_OBJECT

 public:
  explicit NavigationBarWidget(QWidget* parent);

  void showItem(const platform::NavigationItem& item, const platform::NavigationBar& bar,
                bool canGoBack, std::function<void()> back);

  // Goes back when the bar offers it; false when it does not.
  bool goBack();
  // Taps the bar's refresh item when it has one; false when it has none.
  bool refresh();

  QLabel* titleLabel() const { return title_; }
  QPushButton* backButton() const { return back_; }
  // In the order shown, left to right.
  const std::vector<QPushButton*>& buttons() const { return buttons_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPushButton* makeButton(const QString& text);
  void setItems(const platform::NavigationItem& item, const QColor& tint);
  void placeTitle();

  QPushButton* back_;
  QLabel* title_;
  QString fullTitle_;
  QColor tint_;
  std::vector<QPushButton*> buttons_;
  std::vector<std::shared_ptr<platform::BarButtonItem>> items_;
  std::size_t leftCount_ = 0;
  std::function<void()> backAction_;
};

}  // namespace vantory::qt
