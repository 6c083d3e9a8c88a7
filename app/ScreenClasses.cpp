#include "ScreenClasses.h"

#include "app/ViewController.h"
#include "platform/toolkit/Storyboard.h"
#include "ui/item_detail/InterestedViewController.h"
#include "ui/items/ItemViewController.h"
#include "ui/purchases/BuyViewController.h"
#include "ui/search/SearchViewController.h"
#include "ui/stores/StoreViewController.h"

namespace vantory {

namespace {
template <typename T>
void registerClass(const char* name) {
  platform::Storyboard::registerControllerClass(name, [] { return std::make_shared<T>(); });
}
}  // namespace

void registerScreenClasses() {
  registerClass<ViewController>("ViewController");
  registerClass<StoreViewController>("StoreViewController");
  registerClass<ItemViewController>("ItemViewController");
  registerClass<InterestedViewController>("InterestedViewController");
  registerClass<BuyViewController>("BuyViewController");
  registerClass<SearchViewController>("SearchViewController");
}

}  // namespace vantory
