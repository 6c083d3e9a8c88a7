#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TableViewCell.h"
#include "TableViewDataSource.h"
#include "View.h"

namespace platform {

// A list of sections and rows asked of its data source. Counts are asked on
// every reloadData (and at first layout); cells only for the rows a renderer
// shows or a caller asks for, so thousands of rows cost nothing until seen.
class TableView : public View {
 public:
  explicit TableView(Rect frame = {}) : View(frame) {}

  TableViewDataSource* dataSource() const { return dataSource_; }
  void setDataSource(TableViewDataSource* dataSource) { dataSource_ = dataSource; }
  TableViewDelegate* delegate() const { return delegate_; }
  void setDelegate(TableViewDelegate* delegate) { delegate_ = delegate; }

  void registerPrototype(const std::string& identifier, CellPrototype prototype);
  // A new cell of the layout's prototype; a missing prototype is a layout error.
  std::shared_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                   IndexPath indexPath);

  // Drawn behind the rows; nullptr removes it.
  const std::shared_ptr<View>& backgroundView() const { return backgroundView_; }
  void setBackgroundView(std::shared_ptr<View> view);

  // Asks the data source for its counts again.
  void reloadData();
  // The first load, done by layout; not counted as a reload.
  void layoutIfNeeded();
  int reloadCount() const { return reloadCount_; }

  int numberOfSections();
  int numberOfRowsInSection(int section);
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(IndexPath indexPath);
  std::shared_ptr<View> headerViewForSection(int section);
  double headerHeightForSection(int section);

  // What a user does.
  void selectRowAtIndexPath(IndexPath indexPath);
  // Asks the delegate; false for a row that is not there.
  bool canDeleteRowAtIndexPath(IndexPath indexPath);
  // Does nothing for a row the delegate does not let go.
  void deleteRowAtIndexPath(IndexPath indexPath);

  // Where the person is in the list, in the rows a renderer lists (section
  // headers counted): the first one shown and the one marked for the
  // keyboard. Renderers keep it here, so that going back to a screen or
  // reloading its list leaves the person where they were.
  struct Position {
    std::size_t top = 0;
    std::size_t marked = 0;
  };
  Position position() const { return position_; }
  void setPosition(Position position) { position_ = position; }

 private:
  void loadCounts();
  bool hasRow(IndexPath indexPath);

  TableViewDataSource* dataSource_ = nullptr;
  TableViewDelegate* delegate_ = nullptr;
  std::map<std::string, CellPrototype> prototypes_;
  std::shared_ptr<View> backgroundView_;
  std::vector<int> rowCounts_;  // one entry per section
  bool loaded_ = false;
  int reloadCount_ = 0;
  Position position_;
};

}  // namespace platform
