#pragma once

#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "ViewController.h"

namespace platform {

// The external layout: screens by identifier with their controller class,
// outlets, wired actions and cell prototypes, read from a JSON resource.
// A screen is made by identifier; its views are built and its outlets
// connected when its view loads.
class Storyboard : public std::enable_shared_from_this<Storyboard> {
 public:
  using Factory = std::function<std::shared_ptr<ViewController>()>;

  // The app registers each controller class the layout names.
  static void registerControllerClass(const std::string& className, Factory factory);

  // Reads "<name>.storyboard.json" from the resources. Throws with a clear
  // message when the file is missing or malformed: the app cannot run then.
  static std::shared_ptr<Storyboard> storyboardWithName(const std::string& name);
  static std::shared_ptr<Storyboard> fromLayout(nlohmann::json layout);

  std::shared_ptr<ViewController> instantiateInitialViewController();
  // Nothing for an identifier the layout does not name.
  std::shared_ptr<ViewController> instantiateViewControllerWithIdentifier(
      const std::string& identifier);

 private:
  explicit Storyboard(nlohmann::json layout) : layout_(std::move(layout)) {}
  std::shared_ptr<View> buildView(ViewController& controller, const nlohmann::json& scene) const;
  void wireBarButtons(ViewController& controller, const nlohmann::json& scene) const;

  nlohmann::json layout_;
};

}  // namespace platform
