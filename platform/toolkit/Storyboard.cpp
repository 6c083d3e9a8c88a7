#include "Storyboard.h"

#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>

#include "ActivityIndicatorView.h"
#include "Bundle.h"
#include "Button.h"
#include "Label.h"
#include "NavigationController.h"
#include "TableView.h"
#include "TextField.h"
#include "TextView.h"

namespace platform {

namespace {

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::string, Storyboard::Factory>& registry() {
  static std::map<std::string, Storyboard::Factory> factories;
  return factories;
}

std::shared_ptr<View> makeView(const std::string& kind) {
  if (kind == "Label") {
    return std::make_shared<Label>();
  }
  if (kind == "TextView") {
    return std::make_shared<TextView>();
  }
  if (kind == "TextField") {
    return std::make_shared<TextField>();
  }
  if (kind == "Button") {
    return std::make_shared<Button>();
  }
  if (kind == "TableView") {
    return std::make_shared<TableView>();
  }
  if (kind == "ActivityIndicatorView") {
    return std::make_shared<ActivityIndicatorView>();
  }
  if (kind == "View") {
    return std::make_shared<View>();
  }
  throw std::runtime_error("layout: unknown view kind \"" + kind + "\"");
}

CellPrototype readPrototype(const nlohmann::json& spec) {
  CellPrototype prototype;
  const std::string style = spec.value("style", "basic");
  if (style == "rightDetail") {
    prototype.style = CellPrototype::Style::rightDetail;
  } else if (style == "custom") {
    prototype.style = CellPrototype::Style::custom;
  }
  for (const auto& tag : spec.value("labelTags", nlohmann::json::array())) {
    prototype.labelTags.push_back(tag.get<int>());
  }
  return prototype;
}

std::string describe(const std::string& screen, const std::string& what) {
  return "layout: screen \"" + screen + "\": " + what;
}

}  // namespace

void Storyboard::registerControllerClass(const std::string& className, Factory factory) {
  std::lock_guard lock(registryMutex());
  registry()[className] = std::move(factory);
}

std::shared_ptr<Storyboard> Storyboard::storyboardWithName(const std::string& name) {
  const std::string file = name + ".storyboard.json";
  const auto path = Bundle::pathForResource(file);
  if (!path) {
    throw std::runtime_error("the layout " + file + " is missing from " +
                             Bundle::resourceDirectory().string());
  }
  std::ifstream in(*path);
  nlohmann::json layout = nlohmann::json::parse(in, nullptr, false);
  if (layout.is_discarded() || !layout.is_object()) {
    throw std::runtime_error("the layout " + path->string() + " is not valid JSON");
  }
  return fromLayout(std::move(layout));
}

std::shared_ptr<Storyboard> Storyboard::fromLayout(nlohmann::json layout) {
  return std::shared_ptr<Storyboard>(new Storyboard(std::move(layout)));
}

std::shared_ptr<ViewController> Storyboard::instantiateInitialViewController() {
  return instantiateViewControllerWithIdentifier(layout_.value("initialScreen", ""));
}

std::shared_ptr<ViewController> Storyboard::instantiateViewControllerWithIdentifier(
    const std::string& identifier) {
  const auto& screens = layout_.at("screens");
  const auto found = screens.find(identifier);
  if (found == screens.end()) {
    return nullptr;
  }
  const nlohmann::json& scene = *found;
  const std::string className = scene.value("class", "");

  if (className == "NavigationController") {
    auto navigation = std::make_shared<NavigationController>();
    navigation->setStoryboard(shared_from_this());
    auto root = instantiateViewControllerWithIdentifier(scene.value("root", ""));
    if (!root) {
      throw std::runtime_error(describe(identifier, "the navigation stack has no root screen"));
    }
    navigation->setRootViewController(std::move(root));
    return navigation;
  }

  Factory factory;
  {
    std::lock_guard lock(registryMutex());
    const auto registered = registry().find(className);
    if (registered == registry().end()) {
      throw std::runtime_error(describe(identifier, "no controller class \"" + className + "\""));
    }
    factory = registered->second;
  }
  std::shared_ptr<ViewController> controller = factory();
  controller->setStoryboard(shared_from_this());
  if (scene.contains("title")) {
    controller->navigationItem().setTitle(scene.at("title").get<std::string>());
  }
  wireBarButtons(*controller, scene);
  std::weak_ptr<Storyboard> weakSelf = shared_from_this();
  controller->setViewLoader([weakSelf, scene](ViewController& owner) -> std::shared_ptr<View> {
    const auto self = weakSelf.lock();
    return self ? self->buildView(owner, scene) : nullptr;
  });
  return controller;
}

void Storyboard::wireBarButtons(ViewController& controller, const nlohmann::json& scene) const {
  const auto makeItem = [&controller](const nlohmann::json& spec) {
    auto item = std::make_shared<BarButtonItem>(spec.value("title", ""));
    if (spec.value("systemItem", "") == "refresh") {
      item->setSystemItem(BarButtonSystemItem::refresh);
    }
    const std::string actionName = spec.value("action", "");
    if (!actionName.empty()) {
      // The controller owns its items, so the item refers back to it weakly.
      std::weak_ptr<ViewController> target = controller.weak_from_this();
      item->setAction([target, actionName](BarButtonItem& sender) {
        if (const auto owner = target.lock()) {
          owner->performAction(actionName, &sender);
        }
      });
    }
    if (spec.contains("outlet")) {
      controller.connectOutlet(spec.at("outlet").get<std::string>(), item);
    }
    return item;
  };
  NavigationItem::Items right;
  for (const auto& spec : scene.value("rightBarButtons", nlohmann::json::array())) {
    right.push_back(makeItem(spec));
  }
  NavigationItem::Items left;
  for (const auto& spec : scene.value("leftBarButtons", nlohmann::json::array())) {
    left.push_back(makeItem(spec));
  }
  // Outlet-only items: the screen places them itself.
  for (const auto& spec : scene.value("barButtons", nlohmann::json::array())) {
    makeItem(spec);
  }
  if (!right.empty()) {
    controller.navigationItem().setRightBarButtonItems(std::move(right));
  }
  if (!left.empty()) {
    controller.navigationItem().setLeftBarButtonItems(std::move(left));
  }
}

std::shared_ptr<View> Storyboard::buildView(ViewController& controller,
                                            const nlohmann::json& scene) const {
  auto root = std::make_shared<View>(kScreenBounds);
  const nlohmann::json prototypes = layout_.value("cellPrototypes", nlohmann::json::object());
  std::weak_ptr<ViewController> target = controller.weak_from_this();

  for (const auto& spec : scene.value("views", nlohmann::json::array())) {
    std::shared_ptr<View> view = makeView(spec.value("kind", ""));
    if (spec.contains("tag")) {
      view->setTag(spec.at("tag").get<int>());
    }
    view->setIdentifier(spec.value("outlet", spec.value("action", "")));
    if (auto* label = dynamic_cast<Label*>(view.get()); label != nullptr && spec.contains("text")) {
      label->setText(spec.at("text").get<std::string>());
    }
    if (auto* button = dynamic_cast<Button*>(view.get())) {
      button->setTitle(spec.value("title", ""));
      button->setDefault(spec.value("isDefault", false));
      const std::string actionName = spec.value("action", "");
      button->setAction([target, actionName](Button& sender) {
        if (const auto owner = target.lock()) {
          owner->performAction(actionName, &sender);
        }
      });
    }
    if (auto* field = dynamic_cast<TextField*>(view.get())) {
      field->setDelegate(dynamic_cast<TextFieldDelegate*>(&controller));
    }
    if (auto* table = dynamic_cast<TableView*>(view.get())) {
      table->setFrame(kScreenBounds);  // until a front-end lays it out
      table->setDataSource(dynamic_cast<TableViewDataSource*>(&controller));
      table->setDelegate(dynamic_cast<TableViewDelegate*>(&controller));
      for (const auto& identifier : spec.value("prototypes", nlohmann::json::array())) {
        const std::string name = identifier.get<std::string>();
        if (!prototypes.contains(name)) {
          throw std::runtime_error("layout: no cell prototype \"" + name + "\"");
        }
        table->registerPrototype(name, readPrototype(prototypes.at(name)));
      }
    }
    root->addSubview(view);
    if (spec.contains("outlet")) {
      controller.connectOutlet(spec.at("outlet").get<std::string>(), view);
    }
  }
  return root;
}

}  // namespace platform
