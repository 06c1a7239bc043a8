#include "K7Core/DigiPRO/DigiPROEncodingError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string DigiPROEncodingError::messageFor(const Case& errorCase) {
    using std::to_string;
    return std::visit(
        Overloaded{
            [](const TooManySamples& e) {
                return "The waveform has " + to_string(e.actual) + " samples, but a DigiPRO waveform is made from at most " +
                       to_string(e.maximum) + " samples of one cycle. Shorten the sample or set a loop around one cycle.";
            },
            [](const InvalidPosition& e) {
                return "DigiPRO position " + to_string(e.position) +
                       " does not exist; the Monomachine has waveform positions 0 to 63.";
            },
            [](const EmptySample&) {
                return std::string("The waveform has no samples, so no DigiPRO waveform can be made from it.");
            },
        },
        errorCase);
}

std::string DigiPROEncodingError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const TooManySamples& e) {
                return k7::describeCase("tooManySamples", {labelled("actual", e.actual), labelled("maximum", e.maximum)});
            },
            [](const InvalidPosition& e) { return k7::describeCase("invalidPosition", {labelled("", e.position)}); },
            [](const EmptySample&) { return k7::describeCase("emptySample"); },
        },
        errorCase);
}

}  // namespace k7
