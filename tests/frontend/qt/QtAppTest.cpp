#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <QIcon>
#include <QScreen>

#include <cstdio>
#include <fstream>

#include "frontend/qt/AppLauncher.h"
#include "frontend/qt/TableViewWidget.h"
#include "platform/DispatchQueue.h"
#include "platform/UserDefaults.h"
#include "service/HttpClient.h"
#include "support/ServerProcess.h"

using vantory::qt::AppLauncher;
using vantory::qt::PhoneWindow;

namespace {

// Colours as the model holds them, as drawn.
const QColor kBrown = QColor::fromRgbF(0.6F, 0.4F, 0.2F);  // the bar and the platform's brown
const QColor kRed(255, 0, 0);                              // cell tints
const QColor kSearchHeader(131, 0, 0);

// How many pixels of the image (or of its area) are within a small distance
// of the colour: text and lines drawn in it leave many such pixels, whatever
// antialiasing does at their edges.
int pixelsOf(const QImage& image, const QColor& color, QRect area = {}) {
  if (area.isNull()) {
    area = image.rect();
  }
  int count = 0;
  for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y) {
    for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (std::abs(pixel.red() - color.red()) < 24 &&
          std::abs(pixel.green() - color.green()) < 24 &&
          std::abs(pixel.blue() - color.blue()) < 24) {
        ++count;
      }
    }
  }
  return count;
}

double brightness(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); y += 4) {
    for (int x = 0; x < image.width(); x += 4) {
      sum += static_cast<double>(image.pixelColor(x, y).lightnessF());
    }
  }
  return sum / ((image.height() / 4 + 1) * (image.width() / 4 + 1));
}

// Types as a keyboard would; characters outside ASCII arrive as key events
// carrying their text (QTest's key names cover ASCII only).
void typeText(QWidget* widget, const QString& text) {
  for (const QChar character : text) {
    if (character.unicode() < 0x80) {
      QTest::keyClicks(widget, QString(character));
    } else {
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character),
                          Qt::NoModifier);
    }
  }
}

// The app drawn offscreen against a real vantory-server, driven through its
// widgets as a person would.
class QtAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("vantory-qt-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    server_ = std::make_unique<testsupport::ServerProcess>(directory_ / "vantory.db");
    server_->setLogLevel("info");  // its access log tells which requests came
    ASSERT_TRUE(server_->start());
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    settings_.service = server_->baseUrl();
    settings_.defaults = directory_ / "defaults.json";
    launch();
  }
  void launch() {
    launcher_.reset();
    launcher_ = std::make_unique<AppLauncher>(settings_);
    settle();
  }
  void TearDown() override {
    launcher_.reset();
    QApplication::processEvents();
    server_.reset();
    std::filesystem::remove_all(directory_);
  }

  // Lets the GUI loop, the main queue and the service work until the
  // condition holds.
  bool waitFor(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      launcher_->renderer().flush();
      if (condition()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
  }
  // Runs the loop for a moment so that replies in flight arrive.
  void settle() {
    waitFor([] { return false; }, std::chrono::milliseconds(400));
  }

  QWidget& window() { return launcher_->renderer().window(); }
  template <typename T>
  T* find(const QString& name) {
    return window().findChild<T*>(name);
  }
  QPushButton* button(const QString& text) {
    for (auto* candidate : window().findChildren<QPushButton*>()) {
      if (candidate->text() == text && candidate->isVisible()) {
        return candidate;
      }
    }
    return nullptr;
  }
  void click(const QString& text) {
    QPushButton* target = button(text);
    ASSERT_NE(target, nullptr) << "no visible button " << text.toStdString();
    QTest::mouseClick(target, Qt::LeftButton);
    settle();
  }
  vantory::qt::AlertDialog* dialog() { return launcher_->renderer().alert(); }
  QString dialogText(const char* name) {
    auto* label = dialog() != nullptr ? dialog()->findChild<QLabel*>(name) : nullptr;
    return label != nullptr ? label->text() : QString();
  }
  void clickInDialog(const QString& text) {
    ASSERT_TRUE(waitFor([this] { return dialog() != nullptr && dialog()->isVisible(); }));
    for (auto* candidate : dialog()->findChildren<QPushButton*>()) {
      if (candidate->text() == text) {
        // Until the clicked dialog is gone, what comes next would find it
        // instead of the one the click opens (on a loaded machine).
        const QPointer<vantory::qt::AlertDialog> clicked = dialog();
        QTest::mouseClick(candidate, Qt::LeftButton);
        waitFor([&clicked, this] {
          return clicked.isNull() || !clicked->isVisible() || dialog() != clicked.data();
        });
        settle();
        return;
      }
    }
    FAIL() << "the dialog has no button " << text.toStdString();
  }
  void typeInDialog(std::size_t field, const QString& text) {
    ASSERT_TRUE(waitFor([this] { return dialog() != nullptr; }));
    ASSERT_LT(field, dialog()->fields().size());
    typeText(dialog()->fields()[field], text);
  }
  vantory::qt::TableViewWidget* table() {
    return launcher_->renderer().screen()->findChild<vantory::qt::TableViewWidget*>();
  }
  QStringList rows() {
    QStringList texts;
    auto* model = table()->model();
    for (int row = 0; row < model->rowCount({}); ++row) {
      texts << model->index(row).data().toString();
    }
    return texts;
  }
  void clickRow(int row) {
    QListView* list = table()->list();
    const QRect area = list->visualRect(table()->model()->index(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, area.center());
    settle();
  }
  void screenshot(const std::string& name, QWidget* widget = nullptr) {
    const auto folder = std::filesystem::path(VANTORY_SCREENSHOT_DIR);
    std::filesystem::create_directories(folder);
    (widget != nullptr ? widget : &window())
        ->grab()
        .save(QString::fromStdString((folder / (name + ".png")).string()));
  }
  QString labelText(const char* name) {
    auto* label = find<QLabel>(name);
    return label != nullptr ? label->text() : QStringLiteral("<missing>");
  }
  void registerAs(const QString& first, const QString& last) {
    typeText(find<QLineEdit>("firstName"), first);
    typeText(find<QLineEdit>("lastName"), last);
    click("Save");
  }

  // Requests the service has answered for the path so far.
  int requestsTo(const std::string& method, const std::string& path) {
    const std::string log = server_->log();
    const std::string needle = " " + method + " /kelvane/qx/" + path;
    int count = 0;
    for (auto at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) {
      ++count;
    }
    return count;
  }
  // A key pressed in the target's window, which has become active again (as
  // a window manager makes it after a dialog closes).
  void key(QWidget* target, Qt::Key pressed, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    target->window()->activateWindow();
    QApplication::setActiveWindow(target->window());
    QTest::keyClick(target, pressed, modifiers);
    settle();
  }
  void toStores() {
    registerAs("Ann", "Lee");
    ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));
  }
  void addStoreThroughTheApp(const QString& name) {
    click("Add");
    typeInDialog(0, name);
    clickInDialog("Save");
    ASSERT_TRUE(waitFor([&] { return rows().contains(name); }));
  }

  std::filesystem::path directory_;
  std::unique_ptr<testsupport::ServerProcess> server_;
  vantory::AppStart::Options settings_;
  std::unique_ptr<AppLauncher> launcher_;
};

TEST_F(QtAppTest, APersonUsesEveryScreenAgainstARealService) {
  ASSERT_NE(find<QLineEdit>("firstName"), nullptr);
  EXPECT_EQ(find<vantory::qt::PlaceholderLineEdit>("firstName")->placeholder(), "First Name");
  screenshot("1-registration");
  registerAs("Ann", "Lee");
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));

  // A store through the dialog.
  click("Add");
  ASSERT_TRUE(waitFor([this] { return dialog() != nullptr; }));
  EXPECT_EQ(dialogText("alertTitle"), "Add Store");
  EXPECT_EQ(dialog()->fields().at(0)->placeholder(), "Store Name");
  EXPECT_EQ(dialog()->fields().at(0)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
  typeInDialog(0, QString::fromUtf8("Caf\xC3\xA9 & Co"));
  screenshot("2-add-store-dialog", dialog());
  clickInDialog("Save");
  ASSERT_TRUE(
      waitFor([this] { return rows() == QStringList{QString::fromUtf8("Caf\xC3\xA9 & Co")}; }));
  screenshot("3-stores");

  // Its deals: add one, open it.
  clickRow(0);
  ASSERT_TRUE(
      waitFor([this] { return labelText("title") == QString::fromUtf8("Caf\xC3\xA9 & Co"); }));
  EXPECT_EQ(labelText("createdLabel"), "Store added by Ann Lee");
  ASSERT_NE(find<QPushButton>("backButton"), nullptr);
  EXPECT_TRUE(find<QPushButton>("backButton")->isVisible());
  click("Add");
  typeInDialog(0, "Oat milk");
  typeInDialog(1, "Two for one");
  typeInDialog(2, "2.5");
  clickInDialog("Save");
  ASSERT_TRUE(waitFor([this] { return rows() == QStringList{"Oat milk"}; }));
  EXPECT_EQ(table()->model()->index(0).data(vantory::qt::TableModel::ThirdRole).toString(),
            "$2.50");
  EXPECT_EQ(table()->model()->index(0).data(Qt::ToolTipRole).toString(),
            "Oat milk\nTwo for one\n$2.50")
      << "a deal's tooltip is its whole row";
  screenshot("4-deals");
  clickRow(0);
  ASSERT_TRUE(waitFor([this] { return labelText("postedBy") == "Deal posted by Ann Lee"; }));
  EXPECT_EQ(labelText("itemName"), "Oat milk");
  EXPECT_EQ(labelText("priceLabel"), "$2.50");

  // Interest, then purchases.
  click("I'm Interested");
  typeInDialog(0, "2");
  clickInDialog("Save");
  ASSERT_TRUE(waitFor([this] { return labelText("totalLabel") == "Total: 2"; }));
  EXPECT_EQ(labelText("neededLabel"), "Needed: 2");
  EXPECT_EQ(rows(), QStringList{"Ann Lee"});
  screenshot("5-deal");
  {
    // One's own row: Delete, or "Withdraw" from its context menu, asks once more.
    const auto asked = [this] {
      return dialog() != nullptr && (dialogText("alertTitle") + dialogText("alertMessage"))
                                        .contains("Take back your interest of 2?");
    };
    table()->list()->setFocus();
    table()->list()->setCurrentIndex(table()->model()->index(0));
    key(table()->list(), Qt::Key_Delete);
    ASSERT_TRUE(waitFor(asked));
    clickInDialog("Cancel");
    ASSERT_TRUE(waitFor([this] { return dialog() == nullptr; }));
    QStringList offered;
    QTimer chooser;  // the menu runs a loop of its own: choose from inside it
    QObject::connect(&chooser, &QTimer::timeout, [&offered] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (const QAction* action : menu->actions()) {
          offered << action->text();
        }
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
      }
    });
    chooser.start(20);
    QListView* list = table()->list();
    const QPoint at = list->visualRect(table()->model()->index(0)).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &rightClick);
    chooser.stop();
    EXPECT_EQ(offered, QStringList{"Withdraw"});
    ASSERT_TRUE(waitFor(asked));
    clickInDialog("Cancel");
    EXPECT_EQ(requestsTo("POST", "removeInterested.php"), 0);
  }
  {
    // The smallest window still shows the whole deal.
    const QSize size = window().size();
    window().resize(window().minimumSize());
    settle();
    screenshot("5-deal-smallest");
    for (const char* label :
         {"itemName", "priceLabel", "postedBy", "totalLabel", "boughtLabel", "neededLabel"}) {
      QWidget* shown = find<QLabel>(label);
      EXPECT_GE(shown->height(), shown->heightForWidth(shown->width())) << label << " is whole";
    }
    EXPECT_GE(button("I'm Interested")->height(), button("I'm Interested")->sizeHint().height());
    const QRect row = table()->list()->visualRect(table()->model()->index(0));
    EXPECT_LE(row.right(), table()->list()->viewport()->width()) << "rows fit the width";
    window().resize(size);
    settle();
  }
  click("Purchases");
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Purchases"; }));
  click("I Bought This");
  ASSERT_TRUE(waitFor([this] { return dialog() != nullptr; }));
  EXPECT_EQ(dialogText("alertTitle"), "Bought this Item?");
  clickInDialog("Proceed");
  ASSERT_TRUE(waitFor([this] { return dialogText("alertTitle") == "How many did you Buy?"; }));
  typeInDialog(0, "1");
  clickInDialog("Save");
  ASSERT_TRUE(waitFor([this] { return labelText("boughtLabel") == "Bought: 1"; }));
  EXPECT_EQ(labelText("neededLabel"), "Needed: 1");
  EXPECT_EQ(labelText("totalLabel"), "Total: 2");
  screenshot("6-purchases");

  // Back: the deal's counters are read again; back to the stores.
  click(QStringLiteral("\u2039 Back"));
  ASSERT_TRUE(waitFor([this] { return labelText("boughtLabel") == "Bought: 1"; }));
  click(QStringLiteral("\u2039 Back"));
  click(QStringLiteral("\u2039 Back"));
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));

  // Search and open the result.
  click("Search");
  typeInDialog(0, "oat");
  clickInDialog("Search");
  ASSERT_TRUE(
      waitFor([this] { return labelText("title") == "Search Results" && rows().size() == 2; }));
  EXPECT_EQ(rows(), (QStringList{QString::fromUtf8("Caf\xC3\xA9 & Co"), "Oat milk"}))
      << "a header for the store, then its deal";
  screenshot("7-search-results");
  clickRow(1);
  ASSERT_TRUE(waitFor([this] { return labelText("itemName") == "Oat milk"; }));
}

// Ann has a deal open; Bo, on his phone, declares interest and buys one:
// Ann's window shows it with nothing done there (drawn before and after).
TEST_F(QtAppTest, WhatSomeoneElseDoesShowsOnTheOpenDealWithoutRefresh) {
  toStores();
  addStoreThroughTheApp("Deli");
  clickRow(0);
  click("Add");
  typeInDialog(0, "Oat milk");
  typeInDialog(2, "2.5");
  clickInDialog("Save");
  ASSERT_TRUE(waitFor([this] { return rows() == QStringList{"Oat milk"}; }));
  clickRow(0);
  ASSERT_TRUE(waitFor([this] { return labelText("totalLabel") == "Total: 0"; }));
  screenshot("live-1-before");

  testsupport::HttpClient bo(server_->port());
  ASSERT_EQ(bo.request("POST", "/kelvane/qx/addInterested.php",
                       R"(interested={"itemId":"1","name":"Bo Kim","qty":"3"})")
                ->status,
            200);
  ASSERT_EQ(bo.request("POST", "/kelvane/qx/addBuy.php",
                       R"(buy={"itemId":"1","name":"Bo Kim","qty":"1"})")
                ->status,
            200);
  EXPECT_TRUE(waitFor([this] {
    return labelText("totalLabel") == "Total: 3" && labelText("boughtLabel") == "Bought: 1" &&
           rows().contains("Bo Kim");
  })) << labelText("totalLabel").toStdString();
  EXPECT_EQ(labelText("neededLabel"), "Needed: 2");
  EXPECT_EQ(requestsTo("POST", "addInterested.php"), 1) << "Ann sent nothing";
  screenshot("live-2-after");
}

TEST_F(QtAppTest, BlankInputShowsTheAlertDialog) {
  click("Save");
  ASSERT_TRUE(waitFor([this] { return dialog() != nullptr && dialog()->isVisible(); }));
  EXPECT_EQ(dialogText("alertTitle"), "Alert");
  EXPECT_EQ(dialogText("alertMessage"), "First Name can't be blank");
  const auto buttons = dialog()->findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_EQ(buttons[0]->text(), "OK");
  screenshot("8-alert", dialog());
  clickInDialog("OK");
  EXPECT_TRUE(waitFor([this] { return dialog() == nullptr; }));
}

TEST_F(QtAppTest, TheEmptyMessageIsDrawnBehindAnEmptyTableUntilRowsArrive) {
  registerAs("Bo", "Ek");
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));
  QLabel* message = table()->backgroundLabel();
  ASSERT_TRUE(waitFor([&] { return message->isVisible(); }));
  EXPECT_EQ(message->text(), "You Dont have any Stores.");
  EXPECT_EQ(message->alignment() & Qt::AlignCenter, Qt::AlignCenter);
  EXPECT_EQ(message->geometry(), table()->list()->viewport()->rect());
  EXPECT_TRUE(message->font().bold());
  screenshot("9-empty-stores");

  click("Add");
  typeInDialog(0, "Bakery");
  clickInDialog("Save");
  ASSERT_TRUE(waitFor([this] { return rows() == QStringList{"Bakery"}; }));
  EXPECT_FALSE(message->isVisible());
}

TEST_F(QtAppTest, WhatIsDrawnHasTheColoursTheScreensSet) {
  toStores();
  QLabel* message = table()->backgroundLabel();
  ASSERT_TRUE(waitFor([&] { return message->isVisible(); }));
  const QImage empty = table()->grab().toImage();
  EXPECT_GT(pixelsOf(empty, kBrown, message->geometry()), 60) << "the empty-list message";
  EXPECT_EQ(pixelsOf(empty, Qt::black, message->geometry()), 0) << "no black text";
  EXPECT_GT(pixelsOf(launcher_->renderer().window().bar().titleLabel()->grab().toImage(), kBrown),
            30)
      << "the bar title";
  for (QPushButton* bar : launcher_->renderer().window().bar().buttons()) {
    EXPECT_GT(pixelsOf(bar->grab().toImage(), kBrown), 10) << bar->text().toStdString();
  }

  // A prompt's field, focused and empty, shows its placeholder, and the
  // screen behind the prompt is dimmed.
  const double before = brightness(window().grab().toImage());
  click("Add");
  ASSERT_TRUE(waitFor([this] { return dialog() != nullptr && dialog()->isVisible(); }));
  QLineEdit* field = dialog()->fields().at(0);
  ASSERT_TRUE(waitFor([&] { return field->hasFocus() || !dialog()->isActiveWindow(); }));
  field->setFocus();
  EXPECT_TRUE(field->text().isEmpty());
  EXPECT_GT(pixelsOf(field->grab().toImage(), kBrown), 30) << "the placeholder, focused";
  EXPECT_LT(brightness(window().grab().toImage()), before * 0.8) << "dimmed behind the prompt";
  screenshot("10-add-store-focused", dialog());
  typeInDialog(0, "Deli");
  clickInDialog("Save");
  ASSERT_TRUE(waitFor([this] { return rows() == QStringList{"Deli"}; }));
  EXPECT_FALSE(launcher_->renderer().window().isDimmed());

  // Rows carry red chevrons; search headers are dark red.
  const QRect row = table()->list()->visualRect(table()->model()->index(0));
  const QImage drawnRows = table()->list()->viewport()->grab().toImage();
  EXPECT_GT(pixelsOf(drawnRows, kRed, row.adjusted(row.width() - 30, 0, 0, 0)), 8) << "the chevron";
  clickRow(0);
  click("Add");
  typeInDialog(0, "Oat milk");
  typeInDialog(2, "2");
  clickInDialog("Save");
  click(QStringLiteral("\u2039 Back"));
  click("Search");
  typeInDialog(0, "oat");
  clickInDialog("Search");
  ASSERT_TRUE(waitFor([this] { return rows().size() == 2; }));
  const QRect header = table()->list()->visualRect(table()->model()->index(0));
  EXPECT_GT(pixelsOf(table()->list()->viewport()->grab().toImage(), kSearchHeader, header), 40);
}

TEST_F(QtAppTest, TheKeyboardWorksAsOnADesktop) {
  // Return in a field only closes it; Return once no field has focus saves.
  typeText(find<QLineEdit>("firstName"), "Ann");
  QLineEdit* last = find<QLineEdit>("lastName");
  last->setFocus();
  typeText(last, "Lee");
  key(last, Qt::Key_Return);
  EXPECT_FALSE(last->hasFocus());
  EXPECT_EQ(labelText("title"), QString()) << "nothing was saved by Return in a field";
  key(&window(), Qt::Key_Return);
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));

  // Ctrl+R and F5 refresh.
  ASSERT_TRUE(waitFor([this] { return requestsTo("GET", "getListOfStores.php") == 1; }));
  key(&window(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(waitFor([this] { return requestsTo("GET", "getListOfStores.php") == 2; }));
  key(&window(), Qt::Key_F5);
  EXPECT_TRUE(waitFor([this] { return requestsTo("GET", "getListOfStores.php") == 3; }));

  // Escape cancels a prompt and sends nothing; Enter confirms it.
  click("Add");
  typeInDialog(0, "Kept back");
  key(dialog()->fields().at(0), Qt::Key_Escape);
  EXPECT_TRUE(waitFor([this] { return dialog() == nullptr; }));
  EXPECT_EQ(requestsTo("POST", "addStore.php"), 0);
  click("Add");
  typeInDialog(0, "Bakery");
  key(dialog()->fields().at(0), Qt::Key_Return);
  ASSERT_TRUE(waitFor([this] { return rows() == QStringList{"Bakery"}; }));
  EXPECT_EQ(requestsTo("POST", "addStore.php"), 1);

  // Return opens the row the keyboard is on; Escape and Alt+Left go back.
  table()->list()->setFocus();
  table()->list()->setCurrentIndex(table()->model()->index(0));
  key(table()->list(), Qt::Key_Return);
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Bakery"; }));
  key(&window(), Qt::Key_Escape);
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));
  clickRow(0);
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Bakery"; }));
  key(&window(), Qt::Key_Left, Qt::AltModifier);
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));

  // The bar's buttons stay out of the Tab chain; each has its key instead.
  std::vector<QPushButton*> order = launcher_->renderer().window().bar().buttons();
  ASSERT_EQ(order.size(), 3U);
  for (QPushButton* barButton : order) {
    EXPECT_EQ(barButton->focusPolicy(), Qt::NoFocus) << barButton->text().toStdString();
    EXPECT_EQ(barButton->shortcut(),
              QKeySequence(QStringLiteral("Alt+") + barButton->text().at(0)));
  }
  key(&window(), Qt::Key_A, Qt::AltModifier);
  EXPECT_TRUE(waitFor([this] { return dialog() != nullptr; })) << "Alt+A adds";
  clickInDialog("Cancel");
}

// Scrolled down the store list, a person opens a store and comes back, or
// refreshes: the list is drawn exactly as they left it, the same row marked.
TEST_F(QtAppTest, BackAndRefreshKeepThePlaceInTheListAndTheKeyboardStartsOnIt) {
  toStores();
  ASSERT_TRUE(testsupport::addShops(server_->port(), 40));
  click("Refresh");
  ASSERT_TRUE(waitFor([this] { return rows().size() == 40; }));
  QListView* list = table()->list();
  EXPECT_TRUE(list->hasFocus()) << "the keyboard starts on the list";
  EXPECT_EQ(list->currentIndex().row(), 0) << "on its first row";
  EXPECT_TRUE(list->selectionModel()->isSelected(list->currentIndex())) << "marked, as seen";

  for (int i = 0; i < 14; ++i) {
    key(list, Qt::Key_Down);
  }
  list->verticalScrollBar()->setValue(8);  // the row marked stays in view
  settle();
  const int marked = list->currentIndex().row();
  ASSERT_EQ(marked, 14);
  const QString markedName = rows().at(marked);
  const QImage before = list->viewport()->grab().toImage();

  key(list, Qt::Key_Return);
  ASSERT_TRUE(waitFor([&] { return labelText("title") == markedName; }));
  key(&window(), Qt::Key_Escape);
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores" && rows().size() == 40; }));
  list = table()->list();
  EXPECT_TRUE(waitFor([&] { return list->viewport()->grab().toImage() == before; }))
      << "drawn as it was left";
  EXPECT_EQ(list->verticalScrollBar()->value(), 8);
  EXPECT_EQ(list->currentIndex().row(), marked);
  EXPECT_TRUE(list->hasFocus());

  key(&window(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(waitFor([this] { return requestsTo("GET", "getListOfStores.php") >= 4; }));
  settle();
  EXPECT_EQ(list->viewport()->grab().toImage(), before) << "a refresh moves nothing";
  key(list, Qt::Key_Return);
  EXPECT_TRUE(waitFor([&] { return labelText("title") == markedName; }))
      << "Return opens the row marked";
}

// On a short window (a small screen, or one magnified twice) the deal's name
// is never clipped and a few interest rows still show: what is above the
// list scrolls with it.
TEST_F(QtAppTest, OnAShortWindowTheDealScreenClipsNothingAndKeepsRowsInView) {
  toStores();
  testsupport::HttpClient service(server_->port());
  service.request("POST", "/kelvane/qx/addStore.php", R"(store={"name":"Deli","created":"Bo"})");
  service.request(
      "POST", "/kelvane/qx/addItem.php",
      R"(item={"storeId":"1","name":"Oat milk from the farm down the road, two for one on Fridays","description":"A long description of the deal that takes more than one line to say","price":"2.50","posted":"Bo"})");
  for (int i = 1; i <= 6; ++i) {
    service.request(
        "POST", "/kelvane/qx/addInterested.php",
        R"(interested={"itemId":"1","name":"Person )" + std::to_string(i) + R"(","qty":"1"})");
  }
  click("Refresh");
  ASSERT_TRUE(waitFor([this] { return rows().size() == 1; }));
  clickRow(0);
  ASSERT_TRUE(waitFor([this] { return rows().size() == 1; }));
  clickRow(0);
  ASSERT_TRUE(
      waitFor([this] { return rows().size() == 6 && labelText("totalLabel") == "Total: 6"; }));
  window().setMinimumSize(0, 0);  // as on a screen smaller than the usual minimum
  window().resize(360, 400);
  settle();
  screenshot("10-deal-short-window");
  auto* name = find<QLabel>("itemName");
  ASSERT_NE(name, nullptr);
  EXPECT_GE(name->height(), name->heightForWidth(name->width())) << "the deal's name is whole";
  QListView* list = table()->list();
  const int rowHeight = list->visualRect(table()->model()->index(0)).height();
  ASSERT_GT(rowHeight, 0);
  EXPECT_GE(list->viewport()->height(), 2 * rowHeight) << "more than one interest row shows";
  // The tiled background shows through what scrolls, as drawn (a pixel of
  // the left margin is the tile's).
  QWidget* screenView = launcher_->renderer().screen();
  const QImage drawn = screenView->grab().toImage();
  const QImage tile(
      QString::fromStdString(std::string(VANTORY_SOURCE_DIR) + "/resources/background.jpg"));
  ASSERT_FALSE(tile.isNull());
  for (const int y : {40, 150, 250}) {
    EXPECT_EQ(drawn.pixelColor(4, y), tile.pixelColor(4 % tile.width(), y % tile.height()))
        << "at y " << y;
  }
}

TEST_F(QtAppTest, ALongStoreNameIsElidedWithTheWholeNameAsItsTooltip) {
  toStores();
  const QString name = QString(199, QLatin1Char('W')) + QStringLiteral("!");
  addStoreThroughTheApp(name);
  const QModelIndex index = table()->model()->index(0);
  EXPECT_EQ(index.data(Qt::ToolTipRole).toString(), name);
  const QRect row = table()->list()->visualRect(index);
  const QImage drawn = table()->list()->viewport()->grab().toImage();
  const QColor ink(40, 30, 20);
  EXPECT_GT(pixelsOf(drawn, ink, QRect(row.right() - 90, row.top(), 60, row.height())), 20)
      << "the text runs up to its room";
  EXPECT_EQ(pixelsOf(drawn, ink, QRect(row.right() - 28, row.top(), 8, row.height())), 0)
      << "and stops there, before the chevron";
}

TEST_F(QtAppTest, TheWindowFitsTheScreenAndIsRememberedAcrossRuns) {
  PhoneWindow& phone = launcher_->renderer().window();
  const QRect screen = phone.QWidget::screen()->availableGeometry();
  EXPECT_LE(phone.width(), screen.width());
  EXPECT_LE(phone.height(), screen.height());
  EXPECT_EQ(phone.minimumSize(), QSize(340, 600).boundedTo(screen.size()));

  phone.resize(360, 640);
  phone.move(screen.left() + 20, screen.top() + 30);
  phone.close();
  launch();
  PhoneWindow& again = launcher_->renderer().window();
  EXPECT_EQ(again.size(), QSize(360, 640));
  EXPECT_EQ(again.pos(), QPoint(screen.left() + 20, screen.top() + 30));

  // A place remembered from a bigger screen still fits this one.
  platform::UserDefaults::standardUserDefaults().setObject(
      nlohmann::json{{"x", -4000}, {"y", 9000}, {"width", 9000}, {"height", 9000}},
      "WindowGeometry");
  launch();
  EXPECT_TRUE(screen.contains(launcher_->renderer().window().frameGeometry()));
}

TEST_F(QtAppTest, SettingsChangeTheNameAndTheServiceAndRefuseWhatCannotBeUsed) {
  toStores();
  testsupport::ServerProcess other(directory_ / "other.db");
  ASSERT_TRUE(other.start());
  testsupport::HttpClient(other.port())
      .request("POST", "/kelvane/qx/addStore.php", R"(store={"name":"Elsewhere","created":"Bo"})");

  vantory::qt::SettingsDialog* settings = launcher_->renderer().openSettings();
  EXPECT_EQ(settings->nameField()->text(), "Ann Lee");
  EXPECT_EQ(settings->addressField()->text().toStdString(), server_->baseUrl())
      << "the address in use shows";
  screenshot("12-settings", settings);
  settings->nameField()->setText("   ");
  settings->accept();
  EXPECT_TRUE(settings->isVisible());
  EXPECT_EQ(settings->problem()->text(), "Name can't be blank");
  settings->nameField()->setText("Zed Po");
  settings->addressField()->setText("ftp://example.org");
  settings->accept();
  EXPECT_TRUE(settings->isVisible());
  EXPECT_TRUE(settings->problem()->text().startsWith("The service address must be"));

  settings->addressField()->setText(QString::fromStdString(other.baseUrl()));
  settings->accept();
  EXPECT_FALSE(settings->isVisible());
  ASSERT_TRUE(waitFor([this] { return rows() == QStringList{"Elsewhere"}; }))
      << "the list is fetched again from the new address";
  addStoreThroughTheApp("Mine");
  const auto stores =
      testsupport::HttpClient(other.port()).request("GET", "/kelvane/qx/getListOfStores.php?");
  ASSERT_TRUE(stores);
  EXPECT_NE(stores->body.find(R"("name":"Mine","created_by":"Zed Po")"), std::string::npos)
      << "the next send carries the new name: " << stores->body;
}

TEST(DesktopEntry, IsValidAndNamesAnIconOfOurOwn) {
  const std::filesystem::path source = VANTORY_SOURCE_DIR;
  if (std::system("command -v desktop-file-validate >/dev/null") != 0) {
    GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
  }
  const std::string entry = (source / "frontend/qt/vantory.desktop").string();
  EXPECT_EQ(std::system(("desktop-file-validate " + entry).c_str()), 0);
  std::ifstream file(entry);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(text.find("\nIcon=vantory\n"), std::string::npos);
  const QIcon icon(QString::fromStdString((source / "resources/vantory.svg").string()));
  const QImage drawn = icon.pixmap(64, 64).toImage();
  ASSERT_FALSE(drawn.isNull()) << "the SVG icon draws (Qt's SVG plugin is installed)";
  EXPECT_GT(pixelsOf(drawn, kBrown), 200);
}

TEST_F(QtAppTest, ReturnInARegistrationFieldGivesUpFocus) {
  QLineEdit* first = find<QLineEdit>("firstName");
  first->setFocus();
  QTest::keyClicks(first, "Ann");
  ASSERT_TRUE(waitFor([&] { return first->hasFocus() || !window().isActiveWindow(); }));
  QTest::keyClick(first, Qt::Key_Return);
  EXPECT_TRUE(waitFor([&] { return !first->hasFocus(); }));
  EXPECT_EQ(dialog(), nullptr) << "nothing was saved";
}

// Work queued from another thread the moment the GUI thread runs the work
// before it must still be run: the drain posted for it may not be lost
// between the queue found empty and the next wake. The poster watches for
// each item to run so as to queue the next one within that window; the GUI
// thread sleeps in its event loop, so that the test leaves the machine to
// what runs beside it.
TEST_F(QtAppTest, WorkQueuedWhileTheMainQueueDrainsIsNotLeftWaiting) {
  constexpr int kItems = 10000;
  std::atomic<int> ran{0};
  std::atomic<bool> stalled{false};
  std::thread poster([&] {
    for (int i = 1; i <= kItems && !stalled; ++i) {
      platform::DispatchQueue::main().async([&ran] { ++ran; });
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (ran < i && !stalled) {
        if (std::chrono::steady_clock::now() > deadline) {
          stalled = true;
        }
        std::this_thread::yield();
      }
    }
  });
  QEventLoop loop;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (ran == kItems || stalled) {
      loop.quit();
    }
  });
  watch.start(20);
  loop.exec();
  poster.join();
  EXPECT_FALSE(stalled) << "stopped after " << ran << " of " << kItems;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
