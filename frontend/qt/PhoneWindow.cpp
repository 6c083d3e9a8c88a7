#include "PhoneWindow.h"

#include <QVBoxLayout>

#include "frontend/qt/QtStyle.h"

namespace vantory::qt {

namespace {
QString barButtonStyle(const QColor& tint) {
  return QStringLiteral(
             "QPushButton { border: none; color: %1; font-weight: bold; padding: 4px 6px; }")
      .arg(tint.name());
}
}  // namespace

PhoneWindow::PhoneWindow(QWidget* parent)
    : QWidget(parent),
      bar_(new QWidget(this)),
      title_(new QLabel(bar_)),
      back_(new QPushButton(QStringLiteral("\u2039 Back"), bar_)),
      leftItems_(new QHBoxLayout()),
      rightItems_(new QHBoxLayout()) {
  setWindowTitle(QStringLiteral("Vantory"));
  resize(390, 780);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  bar_->setObjectName(QStringLiteral("navigationBar"));
  bar_->setFixedHeight(48);
  bar_->setAutoFillBackground(true);
  QPalette palette = bar_->palette();
  palette.setColor(QPalette::Window, QColor(250, 247, 242));
  bar_->setPalette(palette);
  auto* barLayout = new QHBoxLayout(bar_);
  barLayout->setContentsMargins(6, 0, 6, 0);
  back_->setObjectName(QStringLiteral("backButton"));
  connect(back_, &QPushButton::clicked, this, [this] {
    if (backAction_) {
      backAction_();
    }
  });
  title_->setObjectName(QStringLiteral("title"));
  title_->setAlignment(Qt::AlignCenter);
  QFont titleFont = title_->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
  title_->setFont(titleFont);
  barLayout->addWidget(back_);
  barLayout->addLayout(leftItems_);
  barLayout->addWidget(title_, 1);
  barLayout->addLayout(rightItems_);
  layout->addWidget(bar_);
  bar_->hide();
}

void PhoneWindow::showScreen(QWidget* screen) {
  auto* layout = static_cast<QVBoxLayout*>(this->layout());
  if (screen_ != nullptr) {
    layout->removeWidget(screen_);
    screen_->hide();
    screen_->deleteLater();
  }
  screen_ = screen;
  screen_->setParent(this);
  layout->addWidget(screen_, 1);
  screen_->show();
}

void PhoneWindow::showBar(const platform::NavigationItem& item, const platform::NavigationBar& bar,
                          bool canGoBack, const std::function<void()>& back) {
  bar_->show();
  backAction_ = back;
  back_->setVisible(canGoBack);
  const QColor tint = QtStyle::color(bar.tintColor(), QColor(0, 122, 255));
  back_->setStyleSheet(barButtonStyle(tint));
  title_->setText(QtStyle::text(item.title()));
  QPalette palette = title_->palette();
  palette.setColor(QPalette::WindowText,
                   QtStyle::color(bar.titleTextAttributes().foregroundColor, Qt::black));
  title_->setPalette(palette);
  setButtons(item, tint);
}

void PhoneWindow::hideBar() {
  bar_->hide();
  backAction_ = nullptr;
}

void PhoneWindow::setButtons(const platform::NavigationItem& item, const QColor& tint) {
  std::vector<const platform::BarButtonItem*> items;
  for (const auto& left : item.leftBarButtonItems()) {
    items.push_back(left.get());
  }
  for (const auto& right : item.rightBarButtonItems()) {
    items.push_back(right.get());
  }
  if (items == shownItems_ && tint == shownTint_) {
    return;  // unchanged: keep the widgets
  }
  for (QPushButton* button : buttons_) {
    button->deleteLater();
  }
  buttons_.clear();
  shownItems_ = items;
  shownTint_ = tint;
  const auto add = [this, &tint](const std::shared_ptr<platform::BarButtonItem>& model,
                                 QHBoxLayout* into, bool atFront) {
    auto* button = new QPushButton(QtStyle::text(model->title()), bar_);
    button->setObjectName(QtStyle::text(model->title()));
    button->setStyleSheet(barButtonStyle(tint));
    std::weak_ptr<platform::BarButtonItem> weak = model;
    connect(button, &QPushButton::clicked, this, [weak] {
      if (auto item = weak.lock()) {
        item->tap();
      }
    });
    atFront ? into->insertWidget(0, button) : into->addWidget(button);
    buttons_.push_back(button);
  };
  for (const auto& left : item.leftBarButtonItems()) {
    add(left, leftItems_, false);
  }
  // The first right item sits at the outer edge.
  for (const auto& right : item.rightBarButtonItems()) {
    add(right, rightItems_, true);
  }
}

}  // namespace vantory::qt
