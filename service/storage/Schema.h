#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vantory::service {

enum class SchemaEngine { sqlite, postgresql };

// The versioned schema files of service/schema/<engine>/, built into the
// binary so an installed server needs no files beside it. Version N is the
// N-th script.
struct SchemaScript {
  int version;
  std::string name;
  std::string sql;
};

const std::vector<SchemaScript>& schemaScripts(SchemaEngine engine);

// Raised when the database was written by a newer server.
class SchemaTooNew : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vantory::service
