#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "K7Core/Support/Bytes.h"
#include "K7MIDI/Diagnostics/MIDIDiagnosticTraceError.h"

namespace k7 {

// Writes a diagnostic capture folder:
//
//   events.jsonl    one JSON object per line: {"time", "elapsedSeconds", "event", "fields"};
//                   the first line is "session.metadata" with the session's metadata as fields,
//                   the last (when finished) "session.finished"
//   midi-input.bin  the MIDI input bytes exactly as received, real-time bytes and all
//   messages/       one file per complete message, numbered in order across both directions:
//                   000001-sent.syx, 000002-received.syx, ...
//
// Every call is thread-safe and written through at once, so a crash loses at most the event
// being written. Each .syx file appears whole (written aside, then renamed).
class MIDIDiagnosticRecorder {
public:
    enum class Direction { sent, received };

    static constexpr const char* eventLogFileName = "events.jsonl";
    static constexpr const char* rawInputFileName = "midi-input.bin";
    static constexpr const char* messagesFolderName = "messages";

    // Creates the folder when needed; throws MIDIDiagnosticTraceError when it cannot be used or
    // already holds a capture.
    MIDIDiagnosticRecorder(std::filesystem::path directory, std::map<std::string, std::string> sessionMetadata);
    ~MIDIDiagnosticRecorder();

    MIDIDiagnosticRecorder(const MIDIDiagnosticRecorder&) = delete;
    MIDIDiagnosticRecorder& operator=(const MIDIDiagnosticRecorder&) = delete;

    // Throws captureFinished after finish(), writeFailed when the disk refuses.
    void record(const std::string& event, const std::map<std::string, std::string>& fields = {});
    // Stores one complete message as the next numbered .syx file and logs it; returns the file name.
    std::string recordMessage(Direction direction, ByteView message,
                              std::map<std::string, std::string> fields = {});
    // Appends input bytes to the raw input file and logs where they went.
    void recordRawInput(ByteView bytes, std::map<std::string, std::string> fields = {});

    // Logs "session.finished" and closes the files; later calls throw captureFinished.
    void finish();
    bool isFinished() const;

    const std::filesystem::path& directory() const { return directory_; }

private:
    void appendEvent(const std::string& event, const std::map<std::string, std::string>& fields);
    void writeAll(int descriptor, const char* file, const void* data, std::size_t size);
    void throwIfFinished() const;

    std::filesystem::path directory_;
    std::chrono::steady_clock::time_point started_;
    mutable std::mutex mutex_;
    int eventLog_ = -1;
    int rawInput_ = -1;
    bool finished_ = false;
    std::size_t messageCount_ = 0;
    std::size_t eventCount_ = 0;
    uint64_t rawInputBytes_ = 0;
};

}  // namespace k7
