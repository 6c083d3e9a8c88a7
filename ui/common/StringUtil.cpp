#include "StringUtil.h"

namespace vantory {

bool StringUtil::isNotBlank(const std::optional<std::string>& text) {
  return text && text->find_first_not_of(' ') != std::string::npos;
}

}  // namespace vantory
