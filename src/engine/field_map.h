#pragma once
// Names to texts for one agent run: the seven message fields, then the
// variables the extraction rules cut out. Names are compared exactly.

#include <map>
#include <string>

namespace quor {

using FieldMap = std::map<std::string, std::string>;

}  // namespace quor
