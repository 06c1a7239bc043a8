#include "K7Core/SPS1UW/SPS1UWFileNameError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string SPS1UWFileNameError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InvalidLength& e) {
                return "The SPS-1UW sample name is " + std::to_string(e.actual) + " bytes long, but " +
                       std::to_string(e.expected) + " bytes were expected.";
            },
            [](const InvalidNameByte& e) {
                return "The SPS-1UW sample name holds the byte " + hexByte(e.byte) + " at position " +
                       std::to_string(e.index + 1) + ", which is not a seven-bit character.";
            },
            [](const ValueOutOfRange& e) {
                return "The SPS-1UW " + e.field + " " + std::to_string(e.value) + " is out of range; the maximum is " +
                       std::to_string(e.maximum) + ".";
            },
        },
        errorCase);
}

std::string SPS1UWFileNameError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InvalidLength& e) {
                return k7::describeCase("invalidLength", {labelled("expected", e.expected), labelled("actual", e.actual)});
            },
            [](const InvalidNameByte& e) {
                return k7::describeCase("invalidNameByte", {labelled("index", e.index), labelled("byte", e.byte)});
            },
            [](const ValueOutOfRange& e) {
                return k7::describeCase("valueOutOfRange", {labelled("field", e.field), labelled("value", e.value),
                                                            labelled("maximum", e.maximum)});
            },
        },
        errorCase);
}

}  // namespace k7
