#include "K7Core/FileList/K7ProjectCodecError.h"

#include <cstdio>

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
std::string rowText(std::size_t row) { return "file-list row " + std::to_string(row + 1); }

std::string codePoint(uint32_t character) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(character));
    return text;
}
}  // namespace

std::string K7ProjectCodecError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InvalidLimits& e) {
                return "The file-list limit " + e.field + " is " + std::to_string(e.value) +
                       ", but every limit must be at least 1.";
            },
            [](const UnrecognizedFormat&) {
                return std::string(
                    "The data is not a K7 file list in a format this program reads (the legacy format or an XML "
                    "property list of version 1).");
            },
            [](const TooManyBytes& e) {
                return "The file list is " + std::to_string(e.actual) + " bytes long, more than the limit of " +
                       std::to_string(e.maximum) + " bytes.";
            },
            [](const TooManyRows& e) {
                return "The file list has " + std::to_string(e.actual) + " rows, more than the limit of " +
                       std::to_string(e.maximum) + ".";
            },
            [](const PathTooLong& e) {
                return "The path of " + rowText(e.row) + " is " + std::to_string(e.byteCount) +
                       " bytes long, more than the limit of " + std::to_string(e.maximum) + " bytes.";
            },
            [](const InvalidItemFileURL& e) {
                return "The path of " + rowText(e.row) + " does not name a file: it is empty, names a folder or is "
                       "not absolute.";
            },
            [](const UnsafePath& e) {
                return "The path of " + rowText(e.row) + " holds the control character " + codePoint(e.character) +
                       ", which file lists do not allow; rename the file and try again.";
            },
            [](const InvalidXMLCharacter& e) {
                return "The path of " + rowText(e.row) + " holds the character " + codePoint(e.character) +
                       ", which an XML property list cannot carry; rename the file or use the legacy format.";
            },
            [](const InvalidUTF8& e) {
                return "The path of " + rowText(e.row) + " is not valid UTF-8 text at byte " +
                       std::to_string(e.offset) + "; rename the file and try again.";
            },
            [](const InvalidProjectFileURL&) {
                return std::string(
                    "The file list's own location is not an absolute path to a file, so the paths of its rows "
                    "cannot be resolved.");
            },
            [](const MalformedXML& e) {
                return "The XML file list cannot be read: " + e.reason + " at byte offset " +
                       std::to_string(e.offset) + ".";
            },
            [](const MalformedPropertyList& e) {
                return "The XML file list is not a K7 file list: " + e.reason + ".";
            },
            [](const UnsupportedVersion& e) {
                return "The file list has version " + e.version + ", which this program cannot read.";
            },
            [](const MalformedLegacyList& e) {
                return "The file list is damaged: " + e.reason + " at byte offset " + std::to_string(e.offset) + ".";
            },
        },
        errorCase);
}

std::string K7ProjectCodecError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const InvalidLimits& e) {
                return k7::describeCase("invalidLimits", {labelled("field", e.field), labelled("value", e.value)});
            },
            [](const UnrecognizedFormat&) { return k7::describeCase("unrecognizedFormat"); },
            [](const TooManyBytes& e) {
                return k7::describeCase("tooManyBytes", {labelled("actual", e.actual), labelled("maximum", e.maximum)});
            },
            [](const TooManyRows& e) {
                return k7::describeCase("tooManyRows", {labelled("actual", e.actual), labelled("maximum", e.maximum)});
            },
            [](const PathTooLong& e) {
                return k7::describeCase("pathTooLong", {labelled("row", e.row), labelled("byteCount", e.byteCount),
                                                        labelled("maximum", e.maximum)});
            },
            [](const InvalidItemFileURL& e) {
                return k7::describeCase("invalidItemFileURL", {labelled("row", e.row)});
            },
            [](const UnsafePath& e) {
                return k7::describeCase("unsafePath", {labelled("row", e.row), labelled("character", e.character)});
            },
            [](const InvalidXMLCharacter& e) {
                return k7::describeCase("invalidXMLCharacter",
                                        {labelled("row", e.row), labelled("character", e.character)});
            },
            [](const InvalidUTF8& e) {
                return k7::describeCase("invalidUTF8", {labelled("row", e.row), labelled("offset", e.offset)});
            },
            [](const InvalidProjectFileURL&) { return k7::describeCase("invalidProjectFileURL"); },
            [](const MalformedXML& e) {
                return k7::describeCase("malformedXML", {labelled("reason", e.reason), labelled("offset", e.offset)});
            },
            [](const MalformedPropertyList& e) {
                return k7::describeCase("malformedPropertyList", {labelled("reason", e.reason)});
            },
            [](const UnsupportedVersion& e) {
                return k7::describeCase("unsupportedVersion", {labelled("version", e.version)});
            },
            [](const MalformedLegacyList& e) {
                return k7::describeCase("malformedLegacyList",
                                        {labelled("reason", e.reason), labelled("offset", e.offset)});
            },
        },
        errorCase);
}

}  // namespace k7
