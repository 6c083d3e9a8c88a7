#include "TableViewWidget.h"

#include <algorithm>

#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QVBoxLayout>

#include "frontend/qt/CellDelegate.h"
#include "frontend/qt/QtStyle.h"
#include "platform/toolkit/Label.h"

namespace vantory::qt {

TableViewWidget::TableViewWidget(std::shared_ptr<platform::TableView> table, QWidget* parent)
    : QWidget(parent),
      table_(std::move(table)),
      list_(new QListView(this)),
      model_(new TableModel(table_, this)),
      background_(new QLabel(list_->viewport())) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  list_->setModel(model_);
  list_->setItemDelegate(new CellDelegate(list_));
  list_->setLayoutMode(QListView::Batched);
  list_->setBatchSize(200);
  list_->setFrameShape(QFrame::NoFrame);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setResizeMode(QListView::Adjust);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
  list_->viewport()->setAutoFillBackground(false);
  list_->viewport()->installEventFilter(this);
  list_->installEventFilter(this);
  background_->setAlignment(Qt::AlignCenter);
  background_->setWordWrap(true);
  background_->setAttribute(Qt::WA_TransparentForMouseEvents);
  background_->hide();
  connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) {
    if (const auto path = model_->indexPathAt(index.row())) {
      table_->selectRowAtIndexPath(*path);
    }
  });
  // A row of one's own offers "Withdraw" on a right click (or a long press).
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QListView::customContextMenuRequested, this, [this](const QPoint& at) {
    const auto path = model_->indexPathAt(list_->indexAt(at).row());
    if (!path || !table_->canDeleteRowAtIndexPath(*path)) {
      return;
    }
    QMenu menu(this);
    const QAction* withdraw = menu.addAction(QStringLiteral("Withdraw"));
    if (menu.exec(list_->viewport()->mapToGlobal(at)) == withdraw) {
      table_->deleteRowAtIndexPath(*path);
    }
  });
  // Per item, the scroll bar's value is the row at the top.
  list_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { remember(); });
  connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { scrollToKeptTop(); });
  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { remember(); });
  refresh();
}

void TableViewWidget::refresh() {
  if (table_->reloadCount() != seenReloads_) {
    seenReloads_ = table_->reloadCount();
    restoring_ = true;
    model_->rebuild();
    restorePosition();
  }
  auto* message = dynamic_cast<platform::Label*>(table_->backgroundView().get());
  if (message != nullptr && message->text()) {
    background_->setText(QtStyle::text(message->text()));
    background_->setFont(QtStyle::font(message->font()));
    background_->setStyleSheet(QtStyle::textColorStyle(message->textColor(), Qt::black));
    background_->setGeometry(list_->viewport()->rect());
    background_->show();
  } else {
    background_->hide();
  }
}

void TableViewWidget::restorePosition() {
  const auto position = table_->position();
  const int rows = model_->rowCount({});
  restoring_ = true;
  keptTop_ = -1;
  if (rows > 0) {
    // The row marked before, or the first: the keyboard starts on a row.
    int marked = std::min(static_cast<int>(position.marked), rows - 1);
    while (marked + 1 < rows && !model_->indexPathAt(marked)) {
      ++marked;
    }
    list_->setCurrentIndex(model_->index(marked));
    keptTop_ = std::min(static_cast<int>(position.top), rows - 1);
  }
  restoring_ = false;
  scrollToKeptTop();
}

void TableViewWidget::scrollToKeptTop() {
  // Rows are laid out in batches: the top row kept may be reachable only
  // once enough of them are.
  if (keptTop_ < 0) {
    return;
  }
  restoring_ = true;
  list_->verticalScrollBar()->setValue(keptTop_);
  restoring_ = false;
  if (list_->verticalScrollBar()->value() == keptTop_) {
    keptTop_ = -1;
  }
}

void TableViewWidget::remember() {
  if (restoring_ || keptTop_ >= 0) {
    return;  // moves made by a reload or a restore are not the person's
  }
  const int current = list_->currentIndex().row();
  table_->setPosition({static_cast<std::size_t>(std::max(0, list_->verticalScrollBar()->value())),
                       static_cast<std::size_t>(std::max(0, current))});
}

bool TableViewWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Resize) {
    background_->setGeometry(list_->viewport()->rect());
  }
  // Once the person scrolls or moves, their place is theirs, not the one kept.
  if ((watched == list_ || watched == list_->viewport()) &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel ||
       event->type() == QEvent::MouseButtonPress)) {
    keptTop_ = -1;
  }
  // Return opens the row the keyboard is on, as a click would.
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const auto path = model_->indexPathAt(list_->currentIndex().row());
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && list_->currentIndex().isValid() &&
        path) {
      table_->selectRowAtIndexPath(*path);
      return true;
    }
    // Delete takes back a row of one's own.
    if (key == Qt::Key_Delete && list_->currentIndex().isValid() && path &&
        table_->canDeleteRowAtIndexPath(*path)) {
      table_->deleteRowAtIndexPath(*path);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vantory::qt
