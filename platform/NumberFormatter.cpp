#include "NumberFormatter.h"

#include <cstdlib>

namespace platform {

std::string NumberFormatter::currentLocaleIdentifier() {
  std::string name;
  for (const char* variable : {"LC_ALL", "LC_MONETARY", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') {
      name = value;
      break;
    }
  }
  // "de_DE.UTF-8@euro" -> "de_DE"
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") {
    return "en_US_POSIX";
  }
  return name;
}

}  // namespace platform
