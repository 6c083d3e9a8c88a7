#include "TableViewWidget.h"

#include <QEvent>
#include <QKeyEvent>
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
  refresh();
}

void TableViewWidget::refresh() {
  if (table_->reloadCount() != seenReloads_) {
    seenReloads_ = table_->reloadCount();
    model_->rebuild();
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

bool TableViewWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::Resize) {
    background_->setGeometry(list_->viewport()->rect());
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
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vantory::qt
