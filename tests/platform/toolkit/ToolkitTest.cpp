#include <gtest/gtest.h>

#include "platform/DispatchQueue.h"
#include "platform/toolkit/AlertController.h"
#include "platform/toolkit/Button.h"
#include "platform/toolkit/Label.h"
#include "platform/toolkit/NavigationController.h"
#include "platform/toolkit/Storyboard.h"
#include "platform/toolkit/TableView.h"
#include "platform/toolkit/Window.h"

using namespace platform;

namespace {

// Counts its lifecycle calls.
class CountingScreen : public ViewController {
 public:
  void viewDidLoad() override { ++loads; }
  void viewDidAppear(bool) override { ++appearances; }
  int loads = 0;
  int appearances = 0;
};

void drainMain() { DispatchQueue::main().drain(); }

TEST(Toolkit, AlertButtonClosesTheAlertBeforeItsHandlerRunsOnTheMainQueue) {
  drainMain();
  auto screen = std::make_shared<CountingScreen>();
  Window window;
  window.setRootViewController(screen);
  window.makeKeyAndVisible();

  auto alert =
      AlertController::alertControllerWithTitle("Title", "Message", AlertControllerStyle::alert);
  bool handled = false;
  bool closedWhenHandled = false;
  alert->addAction(
      AlertAction::actionWithTitle("OK", AlertActionStyle::defaultStyle, [&](AlertAction&) {
        handled = true;
        closedWhenHandled = screen->presentedViewController() == nullptr;
      }));
  screen->presentViewController(alert, true);
  EXPECT_EQ(screen->presentedViewController(), nullptr) << "presentation waits for the main queue";
  drainMain();
  ASSERT_EQ(window.frontViewController(), alert.get());

  EXPECT_FALSE(alert->tapButtonWithTitle("Nope"));
  EXPECT_TRUE(alert->tapButtonWithTitle("OK"));
  EXPECT_EQ(window.frontViewController(), screen.get());
  EXPECT_FALSE(handled) << "the handler runs on a later turn of the main queue";
  drainMain();
  EXPECT_TRUE(handled);
  EXPECT_TRUE(closedWhenHandled);
  EXPECT_EQ(screen->appearances, 1) << "closing an alert is no new appearance";
}

TEST(Toolkit, AnAlertKnowsWhichButtonConfirmsAndWhichBacksOut) {
  const auto alertWith = [](std::vector<std::string> titles) {
    auto alert = AlertController::alertControllerWithTitle("T", "", AlertControllerStyle::alert);
    for (auto& title : titles) {
      alert->addAction(AlertAction::actionWithTitle(title, AlertActionStyle::defaultStyle, {}));
    }
    return alert;
  };
  const auto title = [](const std::shared_ptr<AlertAction>& action) {
    return action ? action->title() : std::string("(none)");
  };
  auto confirm = alertWith({"Cancel", "Proceed"});
  EXPECT_EQ(title(confirm->preferredAction()), "Proceed") << "wherever it stands";
  EXPECT_EQ(title(confirm->cancelAction()), "Cancel");
  auto message = alertWith({"OK"});
  EXPECT_EQ(title(message->preferredAction()), "OK");
  EXPECT_EQ(title(message->cancelAction()), "OK");
  auto choice = alertWith({"Keep", "Drop"});
  EXPECT_EQ(title(choice->cancelAction()), "(none)") << "no way to back out";
  choice->setPreferredAction(choice->actions()[1]);
  EXPECT_EQ(title(choice->preferredAction()), "Drop");
}

TEST(Toolkit, APresentationWaitsUntilThePresentedScreenIsDismissed) {
  drainMain();
  auto screen = std::make_shared<CountingScreen>();
  Window window;
  window.setRootViewController(screen);
  window.makeKeyAndVisible();
  auto first = AlertController::alertControllerWithTitle("1", "", AlertControllerStyle::alert);
  first->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::defaultStyle, {}));
  auto second = AlertController::alertControllerWithTitle("2", "", AlertControllerStyle::alert);
  screen->presentViewController(first, true);
  screen->presentViewController(second, true);
  drainMain();
  EXPECT_EQ(window.frontViewController(), first.get());
  first->tapButtonWithTitle("OK");
  drainMain();
  EXPECT_EQ(window.frontViewController(), second.get());
}

TEST(Toolkit, APushedScreenLoadsOnceAndAppearsEachTimeItComesOnTop) {
  drainMain();
  auto root = std::make_shared<CountingScreen>();
  auto next = std::make_shared<CountingScreen>();
  auto navigation = std::make_shared<NavigationController>();
  navigation->setRootViewController(root);
  Window window;
  window.setRootViewController(navigation);
  window.makeKeyAndVisible();
  EXPECT_EQ(root->loads, 1);
  EXPECT_EQ(root->appearances, 1);

  navigation->pushViewController(next, true);
  EXPECT_EQ(next->navigationController(), navigation.get());
  EXPECT_EQ(next->loads, 1);
  EXPECT_EQ(next->appearances, 1);
  EXPECT_EQ(navigation->popViewControllerAnimated(true), next);
  EXPECT_EQ(root->appearances, 2) << "the screen beneath appears again";
  EXPECT_EQ(next->navigationController(), nullptr);
  EXPECT_EQ(navigation->popViewControllerAnimated(true), nullptr) << "the root stays";
  navigation->pushViewController(next, true);
  EXPECT_EQ(next->loads, 1);
  EXPECT_EQ(next->appearances, 2);
}

// A data source that counts what it is asked.
class CountingSource : public TableViewDataSource {
 public:
  int numberOfSectionsInTableView(TableView&) override {
    ++countQuestions;
    return sections;
  }
  int numberOfRowsInSection(TableView&, int) override { return 1000; }
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath path) override {
    ++cellQuestions;
    return table.dequeueReusableCellWithIdentifier("cell", path);
  }
  int sections = 1;
  int countQuestions = 0;
  int cellQuestions = 0;
};

TEST(Toolkit, ReloadDataAsksForCountsAgainAndCellsOnlyWhenShown) {
  TableView table;
  CountingSource source;
  table.setDataSource(&source);
  table.registerPrototype("cell", {CellPrototype::Style::custom, {1, 2, 3}});
  EXPECT_EQ(table.numberOfSections(), 1) << "the first layout asks";
  source.sections = 3;
  EXPECT_EQ(table.numberOfSections(), 1) << "counts stay until reloadData";
  table.reloadData();
  EXPECT_EQ(table.numberOfSections(), 3);
  EXPECT_EQ(table.numberOfRowsInSection(2), 1000);
  EXPECT_EQ(table.reloadCount(), 1);
  EXPECT_EQ(source.countQuestions, 2);
  EXPECT_EQ(source.cellQuestions, 0) << "no cell is built until someone shows it";

  auto cell = table.cellForRowAtIndexPath({2, 999});
  ASSERT_NE(cell, nullptr);
  EXPECT_NE(cell->viewWithTag(3), nullptr);
  EXPECT_EQ(cell->textLabel(), nullptr) << "custom cells carry only their tagged labels";
  EXPECT_EQ(table.cellForRowAtIndexPath({3, 0}), nullptr);
  EXPECT_THROW(table.dequeueReusableCellWithIdentifier("missing", {0, 0}), std::logic_error);
}

// A screen with an outlet, an action and a table.
class WiredScreen : public ViewController, public TableViewDataSource {
 public:
  WiredScreen() {
    outlet("nameLabel", nameLabel);
    outlet("table", table);
    outlet("editButton", editButton);
    action("save:", [this](ModelObject* sender) { saved = sender; });
  }
  int numberOfSectionsInTableView(TableView&) override { return 0; }
  int numberOfRowsInSection(TableView&, int) override { return 0; }
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath) override {
    return nullptr;
  }
  Label* nameLabel = nullptr;
  TableView* table = nullptr;
  std::shared_ptr<BarButtonItem> editButton;
  ModelObject* saved = nullptr;
};

TEST(Toolkit, StoryboardBuildsScreensByIdentifierAndWiresThem) {
  Storyboard::registerControllerClass("WiredScreen",
                                      [] { return std::make_shared<WiredScreen>(); });
  auto storyboard = Storyboard::fromLayout(nlohmann::json::parse(R"({
    "initialScreen": "stack",
    "cellPrototypes": {"row": {"style": "rightDetail"}},
    "screens": {
      "stack": {"class": "NavigationController", "root": "wired"},
      "wired": {"class": "WiredScreen", "title": "Wired",
                "barButtons": [{"outlet": "editButton", "title": "Edit", "action": "save:"}],
                "views": [{"kind": "Label", "outlet": "nameLabel", "text": "hello"},
                          {"kind": "Button", "title": "Save", "action": "save:"},
                          {"kind": "TableView", "outlet": "table", "prototypes": ["row"]}]}
    }})"));
  EXPECT_EQ(storyboard->instantiateViewControllerWithIdentifier("unknown"), nullptr);

  auto initial = std::dynamic_pointer_cast<NavigationController>(
      storyboard->instantiateInitialViewController());
  ASSERT_TRUE(initial);
  auto* screen = dynamic_cast<WiredScreen*>(initial->topViewController());
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->storyboard(), storyboard);
  EXPECT_EQ(screen->navigationItem().title(), "Wired");
  ASSERT_TRUE(screen->editButton) << "bar button outlets are there before the view loads";
  EXPECT_EQ(screen->nameLabel, nullptr);

  screen->view();
  ASSERT_NE(screen->nameLabel, nullptr);
  EXPECT_EQ(screen->nameLabel->text(), "hello");
  ASSERT_NE(screen->table, nullptr);
  EXPECT_EQ(screen->table->dataSource(), screen);
  EXPECT_EQ(
      screen->table->dequeueReusableCellWithIdentifier("row", {0, 0})->detailTextLabel() != nullptr,
      true);

  screen->editButton->tap();
  EXPECT_EQ(screen->saved, screen->editButton.get());
  auto* button = dynamic_cast<Button*>(screen->view().subviews().at(1).get());
  ASSERT_NE(button, nullptr);
  button->tap();
  EXPECT_EQ(screen->saved, button);
}

}  // namespace
