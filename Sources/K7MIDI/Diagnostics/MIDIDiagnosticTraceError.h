#pragma once

#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace midi_diagnostic_trace_error {
struct CaptureFinished {
    bool operator==(const CaptureFinished&) const = default;
};
// The folder already holds a capture, which a new one must not mix with.
struct CaptureAlreadyPresent {
    std::string path;
    bool operator==(const CaptureAlreadyPresent&) const = default;
};
// The folder cannot be created or is not a folder; `status` is the errno value.
struct DirectoryUnusable {
    std::string path;
    int status;
    bool operator==(const DirectoryUnusable&) const = default;
};
struct WriteFailed {
    std::string file;
    int status;
    bool operator==(const WriteFailed&) const = default;
};
}  // namespace midi_diagnostic_trace_error

using MIDIDiagnosticTraceErrorCase =
    std::variant<midi_diagnostic_trace_error::CaptureFinished, midi_diagnostic_trace_error::CaptureAlreadyPresent,
                 midi_diagnostic_trace_error::DirectoryUnusable, midi_diagnostic_trace_error::WriteFailed>;

class MIDIDiagnosticTraceError : public K7Error<MIDIDiagnosticTraceError, MIDIDiagnosticTraceErrorCase> {
public:
    using K7Error::K7Error;
    using CaptureFinished = midi_diagnostic_trace_error::CaptureFinished;
    using CaptureAlreadyPresent = midi_diagnostic_trace_error::CaptureAlreadyPresent;
    using DirectoryUnusable = midi_diagnostic_trace_error::DirectoryUnusable;
    using WriteFailed = midi_diagnostic_trace_error::WriteFailed;

    static MIDIDiagnosticTraceError captureFinished() { return MIDIDiagnosticTraceError(CaptureFinished{}); }

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
