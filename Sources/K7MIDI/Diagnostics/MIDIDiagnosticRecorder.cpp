#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace k7 {

namespace {

namespace fs = std::filesystem;

std::string utcTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(micros % 1000000));
    return text;
}

int openNew(const fs::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
}

}  // namespace

MIDIDiagnosticRecorder::MIDIDiagnosticRecorder(fs::path directory, std::map<std::string, std::string> sessionMetadata)
    : directory_(std::move(directory)), started_(std::chrono::steady_clock::now()) {
    std::error_code error;
    fs::create_directories(directory_, error);
    if (!fs::is_directory(directory_)) {
        throw MIDIDiagnosticTraceError(
            MIDIDiagnosticTraceError::DirectoryUnusable{directory_.string(), error ? error.value() : ENOTDIR});
    }
    for (const char* name : {eventLogFileName, rawInputFileName, messagesFolderName}) {
        if (fs::exists(directory_ / name, error)) {
            throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::CaptureAlreadyPresent{directory_.string()});
        }
    }
    eventLog_ = openNew(directory_ / eventLogFileName);
    if (eventLog_ < 0) {
        // Another capture may have claimed the folder between the check and the create.
        const int status = errno;
        if (status == EEXIST) {
            throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::CaptureAlreadyPresent{directory_.string()});
        }
        throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::DirectoryUnusable{directory_.string(), status});
    }
    rawInput_ = openNew(directory_ / rawInputFileName);
    const int rawStatus = errno;
    if (rawInput_ < 0 || !fs::create_directory(directory_ / messagesFolderName, error)) {
        const int status = rawInput_ < 0 ? rawStatus : error.value();
        ::close(eventLog_);
        if (rawInput_ >= 0) ::close(rawInput_);
        throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::DirectoryUnusable{directory_.string(), status});
    }
    std::lock_guard lock(mutex_);
    appendEvent("session.metadata", sessionMetadata);
}

MIDIDiagnosticRecorder::~MIDIDiagnosticRecorder() {
    try {
        finish();
    } catch (const MIDIDiagnosticTraceError&) {
        // A full disk at the end must not take the program down; the files are closed below.
    }
    if (eventLog_ >= 0) ::close(eventLog_);
    if (rawInput_ >= 0) ::close(rawInput_);
}

void MIDIDiagnosticRecorder::throwIfFinished() const {
    if (finished_) throw MIDIDiagnosticTraceError::captureFinished();
}

void MIDIDiagnosticRecorder::writeAll(int descriptor, const char* file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(descriptor, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::WriteFailed{file, errno});
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void MIDIDiagnosticRecorder::appendEvent(const std::string& event, const std::map<std::string, std::string>& fields) {
    nlohmann::ordered_json line;
    line["time"] = utcTimestamp();
    line["elapsedSeconds"] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    line["event"] = event;
    line["fields"] = nlohmann::ordered_json::object();
    for (const auto& [key, value] : fields) line["fields"][key] = value;
    // Device names are not always valid UTF-8; a capture must not fail over one.
    std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    text += '\n';
    // One write per line, so a crash never interleaves or splits two events.
    writeAll(eventLog_, eventLogFileName, text.data(), text.size());
    ++eventCount_;
}

void MIDIDiagnosticRecorder::record(const std::string& event, const std::map<std::string, std::string>& fields) {
    std::lock_guard lock(mutex_);
    throwIfFinished();
    appendEvent(event, fields);
}

std::string MIDIDiagnosticRecorder::recordMessage(Direction direction, ByteView message,
                                                  std::map<std::string, std::string> fields) {
    std::lock_guard lock(mutex_);
    throwIfFinished();
    char name[48];
    std::snprintf(name, sizeof name, "%06zu-%s.syx", messageCount_ + 1,
                  direction == Direction::sent ? "sent" : "received");
    const std::string relative = std::string(messagesFolderName) + "/" + name;
    const fs::path target = directory_ / messagesFolderName / name;
    const fs::path temporary = directory_ / messagesFolderName / ("." + std::string(name) + ".partial");
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::WriteFailed{relative, errno});
    try {
        writeAll(descriptor, relative.c_str(), message.data(), message.size());
    } catch (...) {
        ::close(descriptor);
        ::unlink(temporary.c_str());
        throw;
    }
    ::close(descriptor);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int status = errno;
        ::unlink(temporary.c_str());
        throw MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::WriteFailed{relative, status});
    }
    ++messageCount_;
    fields["file"] = relative;
    fields["byteCount"] = std::to_string(message.size());
    appendEvent(direction == Direction::sent ? "midi.message.sent" : "midi.message.received", fields);
    return relative;
}

void MIDIDiagnosticRecorder::recordRawInput(ByteView bytes, std::map<std::string, std::string> fields) {
    std::lock_guard lock(mutex_);
    throwIfFinished();
    fields["fileOffset"] = std::to_string(rawInputBytes_);
    fields["byteCount"] = std::to_string(bytes.size());
    writeAll(rawInput_, rawInputFileName, bytes.data(), bytes.size());
    rawInputBytes_ += bytes.size();
    appendEvent("midi.input.raw", fields);
}

void MIDIDiagnosticRecorder::finish() {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    appendEvent("session.finished", {{"eventCount", std::to_string(eventCount_ + 1)},
                                     {"messageCount", std::to_string(messageCount_)},
                                     {"rawInputByteCount", std::to_string(rawInputBytes_)}});
}

bool MIDIDiagnosticRecorder::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

}  // namespace k7
