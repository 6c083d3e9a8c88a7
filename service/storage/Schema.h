#pragma once

#include <string>
#include <vector>

namespace vantory::service {

// The versioned schema files of service/schema/, built into the binary so an
// installed server needs no files beside it. Version N is the N-th script.
struct SchemaScript {
  int version;
  std::string name;
  std::string sql;
};

const std::vector<SchemaScript>& schemaScripts();

}  // namespace vantory::service
