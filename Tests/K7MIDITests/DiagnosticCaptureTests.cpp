#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "MIDITestSupport.h"

namespace k7 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::bytes;

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "k7-capture-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

Bytes readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(file), {}};
}

std::vector<nlohmann::json> readEvents(const fs::path& folder) {
    std::ifstream file(folder / MIDIDiagnosticRecorder::eventLogFileName);
    std::vector<nlohmann::json> events;
    for (std::string line; std::getline(file, line);) events.push_back(nlohmann::json::parse(line));
    return events;
}

std::vector<std::string> names(const std::vector<nlohmann::json>& events) {
    std::vector<std::string> result;
    for (const auto& event : events) result.push_back(event["event"]);
    return result;
}

// A tracing transport over a mock on virtual time.
struct TracedMock {
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<MockMIDITransport> mock = std::make_shared<MockMIDITransport>(
        testing::twoPortSnapshot(), MockMIDITransportOptions{scheduler, MockMIDITransportOptions::withoutWorker()});
    MIDITracingTransport tracing{mock};
};

// A traced exchange over the mock, parsed back from the folder.
TEST(DiagnosticCapture, RecordsEveryExchangeAsFilesThatParseBack) {
    TemporaryFolder folder;
    TracedMock rig;
    auto& [scheduler, mock, tracing] = rig;
    mock->setPeer([](const MockMIDITransport::SentMessage&) {
        return std::vector<MockMIDITransport::PeerReply>{{bytes({0xF0, 0x7E, 0, 0x7F, 0, 0xF8, 0xF7}), 5ms}};
    });
    testing::Delivered delivered;
    delivered.attach(tracing);
    tracing.selectInput(11);
    tracing.selectOutput(21);
    auto recorder = std::make_shared<MIDIDiagnosticRecorder>(folder.path() / "capture",
                                                             std::map<std::string, std::string>{{"route", "loopback"}});
    tracing.startRecording(recorder);
    tracing.send(bytes({0xF0, 0x7E, 0, 0x01, 0xF7}));
    scheduler->runAll();
    mock->inject(bytes({0xF0, 1, 2}));  // never completed: only in the raw input
    scheduler->runAll();
    tracing.stopRecording();
    tracing.send(bytes({0xF0, 9, 0xF7}));  // after the capture: not recorded, still sent

    EXPECT_EQ(delivered.messages, std::vector<Bytes>{bytes({0xF0, 0x7E, 0, 0x7F, 0, 0xF7})});
    EXPECT_EQ(mock->sentMessages().size(), 2u);

    const fs::path capture = folder.path() / "capture";
    const auto events = readEvents(capture);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front()["fields"]["route"], "loopback");
    for (const auto& event : events) EXPECT_TRUE(event["time"].get<std::string>().ends_with("Z")) << event;
    const auto eventNames = names(events);
    for (const char* expected : {"session.metadata", "midi.message.sent", "midi.input.raw", "midi.message.received"}) {
        EXPECT_NE(std::find(eventNames.begin(), eventNames.end(), expected), eventNames.end()) << expected;
    }
    EXPECT_EQ(eventNames.back(), "session.finished");

    EXPECT_EQ(readFile(capture / "messages" / "000001-sent.syx"), bytes({0xF0, 0x7E, 0, 0x01, 0xF7}));
    EXPECT_EQ(readFile(capture / "messages" / "000002-received.syx"), bytes({0xF0, 0x7E, 0, 0x7F, 0, 0xF7}));
    EXPECT_EQ(std::distance(fs::directory_iterator(capture / "messages"), fs::directory_iterator()), 2);
    // The raw input holds the bytes exactly as they arrived, clock byte and unfinished message too.
    EXPECT_EQ(readFile(capture / MIDIDiagnosticRecorder::rawInputFileName),
              bytes({0xF0, 0x7E, 0, 0x7F, 0, 0xF8, 0xF7, 0xF0, 1, 2}));
}

TEST(DiagnosticCapture, RefusesAFolderThatHoldsACaptureAndEventsAfterTheEnd) {
    TemporaryFolder folder;
    using Error = MIDIDiagnosticTraceError;
    {
        MIDIDiagnosticRecorder recorder(folder.path(), {});
        recorder.record("first", {{"a", "1"}});
        recorder.finish();
        EXPECT_EQ(testing::thrown<Error>([&] { recorder.record("late", {}); }), Error::captureFinished());
    }
    EXPECT_EQ(names(readEvents(folder.path())), (std::vector<std::string>{"session.metadata", "first", "session.finished"}));
    const auto again = testing::thrown<Error>([&] { MIDIDiagnosticRecorder(folder.path(), {}); });
    EXPECT_TRUE(again && again->is<Error::CaptureAlreadyPresent>()) << "a second capture went into the same folder";
    std::ofstream(folder.path() / "plain-file") << "x";
    EXPECT_THROW(MIDIDiagnosticRecorder(folder.path() / "plain-file", {}), MIDIDiagnosticTraceError);
}

// Events from many threads land as whole lines; names that are not UTF-8 do not break the log.
TEST(DiagnosticCapture, ConcurrentEventsStayWholeLines) {
    TemporaryFolder folder;
    {
        MIDIDiagnosticRecorder recorder(folder.path(), {{"name", std::string("Caf\xE9", 4)}});
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 200; ++i) recorder.record("thread.event", {{"thread", std::to_string(t)}});
            });
        }
        for (auto& thread : threads) thread.join();
    }
    const auto events = readEvents(folder.path());
    EXPECT_EQ(events.size(), 1u + 800u + 1u);
}

// A recorder that fails must not fail the MIDI operation it records.
TEST(DiagnosticCapture, AFinishedRecorderDoesNotBreakSends) {
    TemporaryFolder folder;
    TracedMock rig;
    auto& [scheduler, mock, tracing] = rig;
    std::vector<std::string> failures;
    tracing.onDiagnostic = [&](const MIDITransportDiagnosticEvent& event) {
        if (event.name == "midi.trace.failed") failures.push_back(event.fields.at("error"));
    };
    tracing.selectOutput(21);
    auto recorder = std::make_shared<MIDIDiagnosticRecorder>(folder.path(), std::map<std::string, std::string>{});
    tracing.startRecording(recorder);
    recorder->finish();
    EXPECT_NO_THROW(tracing.send(bytes({0xF0, 1, 0xF7})));
    EXPECT_EQ(mock->sentMessages().size(), 1u);
    EXPECT_FALSE(failures.empty());
}

}  // namespace
}  // namespace k7
