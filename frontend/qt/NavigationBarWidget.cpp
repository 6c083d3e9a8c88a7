#include "NavigationBarWidget.h"

#include <QKeySequence>

#include "frontend/qt/QtStyle.h"

namespace vantory::qt {

namespace {

constexpr int kMargin = 6;
constexpr int kSpacing = 4;

QString buttonStyle(const QColor& tint) {
  return QStringLiteral(
             "QPushButton { border: none; color: %1; font-weight: bold; padding: 4px 6px; }")
      .arg(tint.name());
}

}  // namespace

NavigationBarWidget::NavigationBarWidget(QWidget* parent)
    : QWidget(parent), back_(makeButton(QStringLiteral("\u2039 Back"))), title_(new QLabel(this)) {
  setObjectName(QStringLiteral("navigationBar"));
  setFixedHeight(48);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(250, 247, 242));
  setPalette(palette);
  back_->setObjectName(QStringLiteral("backButton"));
  connect(back_, &QPushButton::clicked, this, [this] { goBack(); });
  title_->setObjectName(QStringLiteral("title"));
  title_->setAlignment(Qt::AlignCenter);
  QFont font = title_->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.2);
  title_->setFont(font);
}

QPushButton* NavigationBarWidget::makeButton(const QString& text) {
  auto* button = new QPushButton(text, this);
  // Out of the Tab chain, which belongs to the list and the fields: the
  // buttons have their keys (Alt and their first letter; Escape for Back).
  button->setFocusPolicy(Qt::NoFocus);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

void NavigationBarWidget::showItem(const platform::NavigationItem& item,
                                   const platform::NavigationBar& bar, bool canGoBack,
                                   std::function<void()> back) {
  QWidget::show();
  backAction_ = std::move(back);
  back_->setVisible(canGoBack);
  const QColor tint = QtStyle::color(bar.tintColor(), QColor(0, 122, 255));
  back_->setStyleSheet(buttonStyle(tint));
  fullTitle_ = QtStyle::text(item.title());
  // A style sheet, not a palette: under a parent with a style sheet Qt
  // ignores a palette's text colour.
  title_->setStyleSheet(
      QStringLiteral("QLabel { color: %1; }")
          .arg(QtStyle::color(bar.titleTextAttributes().foregroundColor, Qt::black).name()));
  setItems(item, tint);
  placeTitle();
}

bool NavigationBarWidget::goBack() {
  if (!back_->isVisible() || !backAction_) {
    return false;
  }
  backAction_();
  return true;
}

bool NavigationBarWidget::refresh() {
  for (const auto& item : items_) {
    if (item->systemItem() == platform::BarButtonSystemItem::refresh) {
      item->tap();
      return true;
    }
  }
  return false;
}

void NavigationBarWidget::setItems(const platform::NavigationItem& item, const QColor& tint) {
  std::vector<std::shared_ptr<platform::BarButtonItem>> items;
  for (const auto& left : item.leftBarButtonItems()) {
    items.push_back(left);
  }
  // The first right item sits at the outer edge: shown last.
  const auto& right = item.rightBarButtonItems();
  items.insert(items.end(), right.rbegin(), right.rend());
  if (items == items_ && tint == tint_) {
    return;  // unchanged: keep the widgets (and their focus)
  }
  for (QPushButton* button : buttons_) {
    // Gone now, not when deleted later: its Alt key must not meet the new one's.
    button->hide();
    button->setShortcut({});
    button->deleteLater();
  }
  buttons_.clear();
  items_ = std::move(items);
  leftCount_ = item.leftBarButtonItems().size();
  tint_ = tint;
  for (const auto& model : items_) {
    QPushButton* button = makeButton(QtStyle::text(model->title()));
    button->setObjectName(QtStyle::text(model->title()));
    button->setStyleSheet(buttonStyle(tint));
    if (!button->text().isEmpty()) {
      button->setShortcut(QKeySequence(QStringLiteral("Alt+") + button->text().at(0).toUpper()));
      button->setToolTip(button->shortcut().toString(QKeySequence::NativeText));
    }
    std::weak_ptr<platform::BarButtonItem> weak = model;
    connect(button, &QPushButton::clicked, this, [weak] {
      if (auto tapped = weak.lock()) {
        tapped->tap();
      }
    });
    button->show();
    buttons_.push_back(button);
  }
}

void NavigationBarWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeTitle();
}

void NavigationBarWidget::placeTitle() {
  const int middle = height() / 2;
  int left = kMargin;
  const auto place = [&middle](QPushButton* button, int x) {
    const QSize size = button->sizeHint();
    button->setGeometry(x, middle - size.height() / 2, size.width(), size.height());
    return size.width();
  };
  if (back_->isVisible()) {
    left += place(back_, left) + kSpacing;
  }
  for (std::size_t i = 0; i < leftCount_ && i < buttons_.size(); ++i) {
    left += place(buttons_[i], left) + kSpacing;
  }
  int right = width() - kMargin;
  for (std::size_t i = buttons_.size(); i > leftCount_; --i) {
    QPushButton* button = buttons_[i - 1];
    right -= button->sizeHint().width();
    place(button, right);
    right -= kSpacing;
  }
  // Centred on the bar, as wide as the wider side allows on both sides;
  // when that is too narrow for it, all the room between the buttons.
  const int side = std::max(left, width() - right);
  int x = side;
  int available = std::max(0, width() - 2 * side);
  if (title_->fontMetrics().horizontalAdvance(fullTitle_) > available) {
    x = left;
    available = std::max(0, right - left);
  }
  // Before the first layout there is no width to fit: show it whole.
  const QString shown = width() <= 2 * kMargin ? fullTitle_
                                               : title_->fontMetrics().elidedText(
                                                     fullTitle_, Qt::ElideRight, available);
  title_->setText(shown);
  title_->setToolTip(shown == fullTitle_ ? QString() : fullTitle_);
  title_->setGeometry(x, 0, available, height());
}

}  // namespace vantory::qt
