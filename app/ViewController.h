#pragma once

#include "platform/toolkit/TextField.h"
#include "platform/toolkit/ViewController.h"

namespace vantory {

// The first screen: asks once for a first and a last name, stores them as
// the user's name ("Name") and opens the stores. With a name stored it
// passes straight on.
class ViewController : public platform::ViewController, public platform::TextFieldDelegate {
 public:
  ViewController();

  void viewDidLoad() override;
  // Presents the stores when a name is stored.
  void viewDidAppear(bool animated) override;
  void saveSelected(platform::ModelObject* sender);
  bool textFieldShouldReturn(platform::TextField& textField) override;

  platform::TextField* firstName() const { return firstName_; }
  platform::TextField* lastName() const { return lastName_; }

 private:
  void presentStores();

  platform::TextField* firstName_ = nullptr;
  platform::TextField* lastName_ = nullptr;
};

}  // namespace vantory
