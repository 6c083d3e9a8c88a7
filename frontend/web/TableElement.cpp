#include "TableElement.h"

#include <emscripten/html5.h>

#include <algorithm>

#include "frontend/web/Dom.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/ModelObject.h"
#include "platform/toolkit/TableRowList.h"

namespace vantory::web {

namespace {

using Content = platform::TableRowList::CellContent;

std::string escaped(const std::optional<std::string>& text) {
  std::string out;
  for (const char c : text.value_or("")) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\0':
        out += "&#xFFFD;";  // a NUL cannot stand in an HTML text
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One row: its texts (elided by the page, whole in the title and on a long
// press) and the chevron in the row's tint.
std::string rowHtml(const Content& content, int id) {
  std::string whole = content.title.value_or("");
  if (content.detail && !content.detail->empty()) {
    whole += " \xE2\x80\x94 " + *content.detail;  // " — "
  }
  std::string html = "<li><button type=\"button\" class=\"cell " +
                     std::string(content.style == Content::Style::item ? "item" : "line") +
                     "\" data-tap=\"" + std::to_string(id) + "\" title=\"" + escaped(whole) + "\">";
  html += "<span class=\"title\">" + escaped(content.title) + "</span>";
  if (content.style == Content::Style::item) {
    html += "<span class=\"price\">" + escaped(content.third) + "</span>";
    html += "<span class=\"detail\">" + escaped(content.detail) + "</span>";
  } else if (content.style == Content::Style::rightDetail) {
    html += "<span class=\"detail\">" + escaped(content.detail) + "</span>";
  }
  html += "<span class=\"chevron" +
          (content.tint ? " " + Dom::colorClass(*content.tint) : std::string()) +
          "\" aria-hidden=\"true\"></span></button></li>";
  return html;
}

// The cells are made only to be read at once into the rows' HTML: what they
// report while being filled is no change of the screen. Reported, each part
// of a long list would draw the whole screen again.
class UnreportedChanges {
 public:
  UnreportedChanges() : observer_(platform::ModelObject::observer()) {
    platform::ModelObject::setObserver(nullptr);
  }
  ~UnreportedChanges() { platform::ModelObject::setObserver(observer_); }
  UnreportedChanges(const UnreportedChanges&) = delete;
  UnreportedChanges& operator=(const UnreportedChanges&) = delete;

 private:
  platform::ModelObserver* observer_;
};

}  // namespace

std::set<TableElement*>& TableElement::live() {
  static std::set<TableElement*> tables;
  return tables;
}

TableElement::~TableElement() { live().erase(this); }

TableElement::TableElement(std::shared_ptr<platform::TableView> table)
    : table_(std::move(table)),
      element_(Dom::create("section", "table")),
      message_(Dom::create("p", "empty")),
      list_(Dom::create("ul", "rows")) {
  list_.call<void>("setAttribute", std::string("role"), std::string("list"));
  element_.call<void>("append", message_, list_);
  live().insert(this);
  update();
}

void TableElement::update() {
  auto* message = dynamic_cast<platform::Label*>(table_->backgroundView().get());
  const bool hasMessage = message != nullptr && message->text() && !message->isHidden();
  Dom::setHidden(message_, !hasMessage);
  if (hasMessage) {
    Dom::setText(message_, message->text());
    if (message->textColor()) {
      Dom::setStyle(message_, "color", Dom::color(*message->textColor()));
    }
    Dom::applyFont(message_, message->font());
  }
  if (table_->reloadCount() != seenReloads_) {
    rebuild();
  }
}

void TableElement::rebuild() {
  seenReloads_ = table_->reloadCount();
  rows_.clear();
  entries_ = platform::TableRowList::entries(*table_);
  built_ = 0;
  list_.set("innerHTML", std::string());
  ++generation_;
  if (entries_.size() <= kWholeList) {
    appendRows(false);
  } else {
    // The turn that brought a long list was long already: its rows start in
    // the frame after the one that ends it.
    scheduleRows(false);
  }
}

void TableElement::scheduleRows(bool inFrame) {
  // One part a frame, each put in as its frame starts (a timer could run
  // two parts before a frame). Asked for outside a frame, the part waits for
  // the frame after the next one, which draws what the turn changed.
  emscripten_request_animation_frame(continueRows,
                                     new Continuation{this, generation_, inFrame ? 0 : 1});
}

void TableElement::appendRows(bool inFrame) {
  // What is in view first, then the rest a part at a time in later frames,
  // so that no frame waits for a thousand rows.
  const std::size_t part = built_ > 0                      ? kMoreRows
                           : entries_.size() <= kWholeList ? entries_.size()
                                                           : kFirstRows;
  const std::size_t end = std::min(entries_.size(), built_ + part);
  std::string html;
  const UnreportedChanges cellsBeingFilled;
  for (; built_ < end; ++built_) {
    const auto& entry = entries_[built_];
    if (entry.header) {
      const auto header =
          platform::TableRowList::headerContent(table_->headerViewForSection(entry.section).get());
      html += "<li class=\"header" +
              (header.color ? " " + Dom::colorClass(*header.color) : std::string()) +
              "\" role=\"heading\" aria-level=\"2\">" + escaped(header.text) + "</li>";
      continue;
    }
    auto cell = table_->cellForRowAtIndexPath({entry.section, entry.row});
    if (!cell) {
      continue;
    }
    std::weak_ptr<platform::TableView> table = table_;
    const platform::TableRowList::Entry at = entry;
    const int id = rows_.add({[table, at] {
                                if (auto shown = table.lock()) {
                                  shown->selectRowAtIndexPath({at.section, at.row});
                                }
                              },
                              {},
                              {},
                              {}});
    html += rowHtml(platform::TableRowList::cellContent(*cell), id);
  }
  list_.call<void>("insertAdjacentHTML", std::string("beforeend"), html);
  if (built_ < entries_.size()) {
    scheduleRows(inFrame);
  }
}

EM_BOOL TableElement::continueRows(double /*time*/, void* continuation) {
  std::unique_ptr<Continuation> next(static_cast<Continuation*>(continuation));
  if (next->framesToWait > 0) {
    --next->framesToWait;
    emscripten_request_animation_frame(continueRows, next.release());
    return EM_FALSE;
  }
  // The table may be gone, or built again since, by now.
  if (live().count(next->table) > 0 && next->table->generation_ == next->generation) {
    next->table->appendRows(true);
  }
  return EM_FALSE;
}

}  // namespace vantory::web
