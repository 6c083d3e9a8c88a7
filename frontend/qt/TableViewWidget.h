#pragma once

#include <QLabel>
#include <QListView>
#include <QWidget>

#include <memory>

#include "frontend/qt/TableModel.h"
#include "platform/toolkit/TableView.h"

namespace vantory::qt {

// Draws a model table: its rows, section headers, and its background view
// (the empty-list message) behind the rows. A click selects the row. The
// keyboard starts on a row, and scroll and marked row outlive reloads.
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
  // The place the person left (kept in the model table) put back after a
  // reload or a new view of the screen, and kept as they move.
  void restorePosition();
  void scrollToKeptTop();
  void remember();

  std::shared_ptr<platform::TableView> table_;
  QListView* list_;
  TableModel* model_;
  QLabel* background_;
  int seenReloads_ = -1;
  bool restoring_ = false;
  int keptTop_ = -1;  // a top row still to scroll to
};

}  // namespace vantory::qt
