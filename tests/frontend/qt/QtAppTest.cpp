#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <thread>

#include "frontend/qt/AppLauncher.h"
#include "frontend/qt/TableViewWidget.h"
#include "support/ServerProcess.h"

using vantory::qt::AppLauncher;

namespace {

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
    ASSERT_TRUE(server_->start());
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    vantory::qt::AppSettings settings;
    settings.service = server_->baseUrl();
    settings.defaults = directory_ / "defaults.json";
    launcher_ = std::make_unique<AppLauncher>(settings);
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
        QTest::mouseClick(candidate, Qt::LeftButton);
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

  std::filesystem::path directory_;
  std::unique_ptr<testsupport::ServerProcess> server_;
  std::unique_ptr<AppLauncher> launcher_;
};

TEST_F(QtAppTest, APersonUsesEveryScreenAgainstARealService) {
  ASSERT_NE(find<QLineEdit>("firstName"), nullptr);
  EXPECT_EQ(find<QLineEdit>("firstName")->placeholderText(), "First Name");
  screenshot("1-registration");
  registerAs("Ann", "Lee");
  ASSERT_TRUE(waitFor([this] { return labelText("title") == "Stores"; }));

  // A store through the dialog.
  click("Add");
  ASSERT_TRUE(waitFor([this] { return dialog() != nullptr; }));
  EXPECT_EQ(dialogText("alertTitle"), "Add Store");
  EXPECT_EQ(dialog()->fields().at(0)->placeholderText(), "Store Name");
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

TEST_F(QtAppTest, ReturnInARegistrationFieldGivesUpFocus) {
  QLineEdit* first = find<QLineEdit>("firstName");
  first->setFocus();
  QTest::keyClicks(first, "Ann");
  ASSERT_TRUE(waitFor([&] { return first->hasFocus() || !window().isActiveWindow(); }));
  QTest::keyClick(first, Qt::Key_Return);
  EXPECT_TRUE(waitFor([&] { return !first->hasFocus(); }));
  EXPECT_EQ(dialog(), nullptr) << "nothing was saved";
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
