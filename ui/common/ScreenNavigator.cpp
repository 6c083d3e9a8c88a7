#include "ScreenNavigator.h"

#include "platform/DispatchQueue.h"
#include "platform/toolkit/NavigationController.h"
#include "platform/toolkit/Storyboard.h"
#include "ui/common/RecordReceiver.h"

namespace vantory {

void ScreenNavigator::open(const std::string& identifier,
                           const std::function<void(platform::ViewController&)>& prepare) const {
  if (!screen_.storyboard()) {
    return;
  }
  auto next = screen_.storyboard()->instantiateViewControllerWithIdentifier(identifier);
  if (!next) {
    return;
  }
  prepare(*next);
  platform::DispatchQueue::main().async([from = screen_.shared_from_this(), next] {
    if (platform::NavigationController* navigation = from->navigationController()) {
      navigation->pushViewController(next, true);
    }
  });
}

void ScreenNavigator::openWithRecord(const std::string& identifier,
                                     const std::string& recordInfo) const {
  open(identifier, [&recordInfo](platform::ViewController& next) {
    if (auto* receiver = dynamic_cast<RecordReceiver*>(&next)) {
      receiver->receiveRecordInfo(recordInfo);
    }
  });
}

void ScreenNavigator::goBack() const {
  if (platform::NavigationController* navigation = screen_.navigationController()) {
    navigation->popViewControllerAnimated(true);
  }
}

}  // namespace vantory
