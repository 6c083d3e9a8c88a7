#pragma once

#include <string>

namespace platform {

// A buffer of bytes. A std::string holds arbitrary bytes (NUL included) and
// converts to and from text without copies where the bytes are UTF-8.
using Data = std::string;

}  // namespace platform
