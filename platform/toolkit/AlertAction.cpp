#include "AlertAction.h"

namespace platform {

std::shared_ptr<AlertAction> AlertAction::actionWithTitle(std::string title, AlertActionStyle style,
                                                          Handler handler) {
  return std::make_shared<AlertAction>(std::move(title), style, std::move(handler));
}

}  // namespace platform
