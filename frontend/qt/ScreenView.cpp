#include "ScreenView.h"

#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTextEdit>
#include <QVBoxLayout>

#include "frontend/qt/PlaceholderLineEdit.h"
#include "frontend/qt/QtStyle.h"
#include "frontend/qt/SpinnerWidget.h"
#include "frontend/qt/TableViewWidget.h"
#include "platform/toolkit/ActivityIndicatorView.h"
#include "platform/toolkit/Button.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/TableView.h"
#include "platform/toolkit/TextField.h"
#include "platform/toolkit/TextView.h"

namespace vantory::qt {

namespace {

// How far below the top of the content the turning indicator sits: where a
// person looks for the list, not at the bottom of the window.
constexpr int kSpinnerTop = 12;
// Rows of a list (of up to two lines each) that show whatever is above it.
constexpr int kRowsAlwaysShown = 3;

}  // namespace

ScreenView::ScreenView(platform::ViewController& screen, QWidget* parent)
    : QWidget(parent), screen_(screen.shared_from_this()), root_(screen.view().shared_from_this()) {
  const auto& subviews = root_->subviews();
  const bool hasTable = std::any_of(subviews.begin(), subviews.end(), [](const auto& subview) {
    return dynamic_cast<platform::TableView*>(subview.get()) != nullptr;
  });
  QWidget* content = this;
  if (hasTable) {
    // On a short or magnified window what is above the list scrolls with it
    // instead of being squeezed until its text is clipped.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    content = new QWidget(scroll);
    scroll->setWidget(content);
    content->setAutoFillBackground(false);  // after setWidget, which sets it: the tiles show
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
  }
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(16, 12, 16, 12);
  layout->setSpacing(8);
  for (const auto& subview : subviews) {
    QWidget* widget = makeWidget(subview, content);
    if (dynamic_cast<platform::ActivityIndicatorView*>(subview.get()) != nullptr) {
      spinner_ = widget;  // floats over the content, placed on resize
      spinner_->setParent(this);
    } else if (dynamic_cast<platform::TableView*>(subview.get()) != nullptr) {
      // A few rows always show, however much is above the list.
      widget->setMinimumHeight(widget->fontMetrics().height() * kRowsAlwaysShown * 2);
      layout->addWidget(widget, 1);
    } else {
      layout->addWidget(widget, 0);
    }
  }
  if (!hasTable) {
    // A form (the registration screen): centred on the screen.
    layout->insertStretch(0, 1);
    layout->addStretch(1);
  }
  refreshAll();
}

QWidget* ScreenView::makeWidget(const std::shared_ptr<platform::View>& view, QWidget* parent) {
  QWidget* widget = nullptr;
  if (auto table = std::dynamic_pointer_cast<platform::TableView>(view)) {
    widget = new TableViewWidget(table, parent);
  } else if (auto field = std::dynamic_pointer_cast<platform::TextField>(view)) {
    auto* edit = new PlaceholderLineEdit(parent);
    platform::TextField* model = field.get();
    connect(edit, &QLineEdit::textEdited, this,
            [model](const QString& text) { model->typeText(text.toStdString()); });
    connect(edit, &QLineEdit::returnPressed, this, [model] { model->pressReturn(); });
    widget = edit;
  } else if (std::dynamic_pointer_cast<platform::TextView>(view)) {
    auto* text = new QTextEdit(parent);
    text->setReadOnly(true);
    text->setMaximumHeight(80);
    text->setStyleSheet(
        QStringLiteral("QTextEdit { background: rgba(255,255,255,160); border: none; }"));
    widget = text;
  } else if (auto button = std::dynamic_pointer_cast<platform::Button>(view)) {
    auto* push = new QPushButton(parent);
    platform::Button* model = button.get();
    connect(push, &QPushButton::clicked, this, [model] { model->tap(); });
    push->setDefault(model->isDefault());
    push->setStyleSheet(QStringLiteral(
        "QPushButton { background: #996633; color: white; border-radius: 6px; padding: 8px; }"));
    widget = push;
  } else if (std::dynamic_pointer_cast<platform::ActivityIndicatorView>(view)) {
    widget = new SpinnerWidget(parent);
  } else if (std::dynamic_pointer_cast<platform::Label>(view)) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    widget = label;
  } else {
    widget = new QWidget(parent);
  }
  widget->setObjectName(QtStyle::text(view->identifier()));
  shown_[view.get()] = {view, widget};
  return widget;
}

void ScreenView::refreshAll() {
  for (const auto& [object, shown] : shown_) {
    apply(shown);
  }
  const auto& background = root_->backgroundColor();
  if (background && background->patternImage) {
    background_.load(QString::fromStdString(background->patternImage->path().string()));
  }
  update();
}

bool ScreenView::refresh(const platform::ModelObject* object) {
  if (object == root_.get()) {
    refreshAll();
    return true;
  }
  const auto found = shown_.find(object);
  if (found == shown_.end()) {
    return false;
  }
  apply(found->second);
  return true;
}

void ScreenView::apply(const Shown& shown) {
  platform::View& view = *shown.view;
  shown.widget->setVisible(!view.isHidden());
  if (auto* label = dynamic_cast<platform::Label*>(&view)) {
    auto* widget = static_cast<QLabel*>(shown.widget);
    widget->setText(QtStyle::text(label->text()));
    widget->setFont(QtStyle::font(label->font()));
    widget->setAlignment(QtStyle::alignment(label->textAlignment()));
    widget->setStyleSheet(QtStyle::textColorStyle(label->textColor(), QColor(40, 30, 20)));
  } else if (auto* field = dynamic_cast<platform::TextField*>(&view)) {
    auto* edit = static_cast<PlaceholderLineEdit*>(shown.widget);
    const QString text = QtStyle::text(field->text());
    if (edit->text() != text) {
      edit->setText(text);  // only when the model differs, so typing keeps its cursor
    }
    QtStyle::placeholder(*field, *edit);
    edit->setAlignment(QtStyle::alignment(field->textAlignment()));
    edit->setStyleSheet(QtStyle::fieldStyle(field->layer()));
    if (!field->isFirstResponder() && edit->hasFocus()) {
      edit->clearFocus();
    }
  } else if (auto* textView = dynamic_cast<platform::TextView*>(&view)) {
    static_cast<QTextEdit*>(shown.widget)->setPlainText(QtStyle::text(textView->text()));
  } else if (auto* button = dynamic_cast<platform::Button*>(&view)) {
    static_cast<QPushButton*>(shown.widget)->setText(QtStyle::text(button->title()));
  } else if (auto* spinner = dynamic_cast<platform::ActivityIndicatorView*>(&view)) {
    static_cast<SpinnerWidget*>(shown.widget)->setAnimating(spinner->isAnimating());
  } else if (dynamic_cast<platform::TableView*>(&view) != nullptr) {
    static_cast<TableViewWidget*>(shown.widget)->refresh();
  }
}

void ScreenView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (spinner_ == nullptr) {
    return;
  }
  // Over the top of the list when there is one, else over the content.
  int top = kSpinnerTop;
  if (auto* table = findChild<TableViewWidget*>()) {
    top += table->mapTo(this, QPoint(0, 0)).y();
  }
  spinner_->move((width() - spinner_->width()) / 2, top);
  spinner_->raise();
}

void ScreenView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (!background_.isNull()) {
    painter.drawTiledPixmap(rect(), background_);
  } else {
    const auto& color = root_->backgroundColor();
    painter.fillRect(rect(), QtStyle::color(color, QColor(245, 238, 226)));
  }
}

}  // namespace vantory::qt
