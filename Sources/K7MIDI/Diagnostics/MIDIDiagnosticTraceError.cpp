#include "K7MIDI/Diagnostics/MIDIDiagnosticTraceError.h"

#include <cstring>

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {
std::string reason(int status) {
    const char* text = status > 0 ? strerrordesc_np(status) : nullptr;
    return text ? std::string(text) : "error " + std::to_string(status);
}
}  // namespace

std::string MIDIDiagnosticTraceError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const CaptureFinished&) {
                return std::string(
                    "The diagnostic capture has already finished, so this event was not recorded. Start a new "
                    "capture to record more.");
            },
            [](const CaptureAlreadyPresent& e) {
                return "The folder \"" + e.path +
                       "\" already holds a diagnostic capture, which was left untouched. Choose an empty folder.";
            },
            [](const DirectoryUnusable& e) {
                return "The diagnostic capture cannot use the folder \"" + e.path + "\" (" + reason(e.status) +
                       "). Choose a folder you can write to.";
            },
            [](const WriteFailed& e) {
                return "The diagnostic capture could not write \"" + e.file + "\" (" + reason(e.status) +
                       "); what was written before is kept. Free some disk space or choose another folder.";
            },
        },
        errorCase);
}

std::string MIDIDiagnosticTraceError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const CaptureFinished&) { return k7::describeCase("captureFinished"); },
            [](const CaptureAlreadyPresent& e) {
                return k7::describeCase("captureAlreadyPresent", {labelled("path", e.path)});
            },
            [](const DirectoryUnusable& e) {
                return k7::describeCase("directoryUnusable", {labelled("path", e.path), labelled("status", e.status)});
            },
            [](const WriteFailed& e) {
                return k7::describeCase("writeFailed", {labelled("file", e.file), labelled("status", e.status)});
            },
        },
        errorCase);
}

}  // namespace k7
