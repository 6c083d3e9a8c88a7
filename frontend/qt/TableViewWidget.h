#pragma once

#include <QLabel>
#include <QListView>
#include <QWidget>

#include <memory>

#include "frontend/qt/TableModel.h"
#include "platform/toolkit/TableView.h"

namespace vantory::qt {

// Draws a model table: its rows, section headers, and its background view
// (the empty-list message) behind the rows. A click selects the row.
class TableViewWidget : public QWidget {
  Q_OBJECT

 public:
  TableViewWidget(std::shared_ptr<platform::TableView> table, QWidget* parent);

  // Follows the table: new counts after a reload, the background view.
  void refresh();

  QListView* list() const { return list_; }
  TableModel* model() const { return model_; }
  QLabel* backgroundLabel() const { return background_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::shared_ptr<platform::TableView> table_;
  QListView* list_;
  TableModel* model_;
  QLabel* background_;
  int seenReloads_ = -1;
};

}  // namespace vantory::qt
