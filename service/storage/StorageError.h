#pragma once

#include <stdexcept>
#include <string>

namespace vantory::service {

// A failure of the storage itself (not of the request), with its kind, which
// a client may be told, and its cause, which only the log gets.
class StorageError : public std::runtime_error {
 public:
  enum class Kind {
    full,         // no room left: nothing was stored
    unreadable,   // the data cannot be read (damaged, or not a database)
    readOnly,     // the data cannot be written
    busy,         // held by someone else for too long; worth trying again
    unavailable,  // the database cannot be reached (for now)
    failed,       // anything else
  };

  StorageError(Kind kind, const std::string& cause) : std::runtime_error(cause), kind_(kind) {}

  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace vantory::service
