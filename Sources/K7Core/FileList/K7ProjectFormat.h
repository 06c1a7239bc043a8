#pragma once

#include <cstdint>

namespace k7 {

enum class K7ProjectFormat : uint8_t {
    legacyV0,                // NUL-separated fields; what the program writes
    macOSXMLPropertyListV1,  // XML property list, version 1; read
};

}  // namespace k7
