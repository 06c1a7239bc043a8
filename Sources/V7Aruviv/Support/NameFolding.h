#pragma once

#include <string>
#include <string_view>

namespace k7 {

// The form in which item and file names are compared: canonical precomposed Unicode (NFC), then
// lower-cased without regard to the user's locale. Invalid UTF-8 is replaced, never dropped.
std::string foldedName(std::string_view name);

// Whether `name` contains `part`, both folded.
bool foldedNameContains(std::string_view name, std::string_view part);

}  // namespace k7
