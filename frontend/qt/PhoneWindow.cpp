#include "PhoneWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "platform/UserDefaults.h"

namespace vantory::qt {

namespace {

constexpr char kGeometryKey[] = "WindowGeometry";
constexpr QSize kPhoneSize{390, 780};
// The smallest size at which every screen (the deal with its seven labels,
// two buttons and a table) still shows all it holds.
constexpr QSize kMinimumSize{340, 600};
// Room for the frame and title bar a window manager puts around the window.
constexpr QSize kFrameAllowance{16, 48};

QRect available(const QWidget& widget) {
  const QScreen* screen =
      widget.screen() != nullptr ? widget.screen() : QApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

PhoneWindow::PhoneWindow(QWidget* parent)
    : QWidget(parent),
      menu_(new QMenuBar(this)),
      bar_(new NavigationBarWidget(this)),
      veil_(new QWidget(this)) {
  setWindowTitle(QStringLiteral("Vantory"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menu_);
  layout->addWidget(bar_);
  bar_->hide();

  QMenu* app = menu_->addMenu(QStringLiteral("&Vantory"));
  app->addAction(QStringLiteral("&Settings\u2026"), this, [this] {
    if (settingsAction_) {
      settingsAction_();
    }
  });
  app->addSeparator();
  app->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, this, [this] { close(); });

  veil_->setObjectName(QStringLiteral("veil"));
  veil_->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 110);"));
  veil_->hide();

  for (const QKeySequence& keys :
       {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::ALT | Qt::Key_Left)}) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { bar_->goBack(); });
  }
  for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_R), QKeySequence(Qt::Key_F5)}) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] { bar_->refresh(); });
  }
  restoreGeometry();
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
  veil_->raise();
}

void PhoneWindow::setDimmed(bool dimmed) {
  veil_->setGeometry(rect());
  veil_->setVisible(dimmed);
  veil_->raise();
}

bool PhoneWindow::isDimmed() const { return veil_->isVisible(); }

void PhoneWindow::keyPressEvent(QKeyEvent* event) {
  const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  // Return in a field gives up its focus (the field's own reply); only once no
  // field has focus does it press the form's default button.
  if (returnKey && screen_ != nullptr &&
      qobject_cast<QLineEdit*>(QApplication::focusWidget()) == nullptr) {
    for (auto* button : screen_->findChildren<QPushButton*>()) {
      if (button->isDefault() && button->isVisible()) {
        button->click();
        event->accept();
        return;
      }
    }
  }
  QWidget::keyPressEvent(event);
}

void PhoneWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  veil_->setGeometry(rect());
}

void PhoneWindow::closeEvent(QCloseEvent* event) {
  saveGeometry();
  QWidget::closeEvent(event);
}

void PhoneWindow::restoreGeometry() {
  const QRect all = available(*this);
  const QRect screen(all.topLeft(), all.size() - kFrameAllowance);
  setMinimumSize(kMinimumSize.boundedTo(screen.size()));
  QRect wanted(QPoint(), kPhoneSize.boundedTo(screen.size() * 0.9));
  wanted.moveCenter(screen.center());
  const auto stored = platform::UserDefaults::standardUserDefaults().objectForKey(kGeometryKey);
  if (stored && stored->is_object()) {
    const auto number = [&stored](const char* key, int fallback) {
      const auto found = stored->find(key);
      return found != stored->end() && found->is_number_integer() ? found->get<int>() : fallback;
    };
    wanted = QRect(number("x", wanted.x()), number("y", wanted.y()),
                   number("width", wanted.width()), number("height", wanted.height()));
  }
  // Whatever was stored, the window fits the screen it opens on now.
  wanted.setSize(wanted.size().expandedTo(minimumSize()).boundedTo(screen.size()));
  wanted.moveLeft(std::clamp(wanted.left(), screen.left(), screen.right() - wanted.width() + 1));
  wanted.moveTop(std::clamp(wanted.top(), screen.top(), screen.bottom() - wanted.height() + 1));
  resize(wanted.size());
  move(wanted.topLeft());
}

void PhoneWindow::saveGeometry() const {
  platform::UserDefaults::standardUserDefaults().setObject(
      nlohmann::json{{"x", x()}, {"y", y()}, {"width", width()}, {"height", height()}},
      kGeometryKey);
}

}  // namespace vantory::qt
