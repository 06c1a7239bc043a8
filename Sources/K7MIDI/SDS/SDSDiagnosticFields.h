#pragma once

#include <map>
#include <string>

namespace k7 {

// The flat string fields of an SDS driver's or session's diagnostic event.
using SDSDiagnosticFields = std::map<std::string, std::string>;

}  // namespace k7
