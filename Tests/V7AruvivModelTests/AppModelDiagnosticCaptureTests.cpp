#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "AppModelTestHelpers.h"
#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "K7MIDI/Diagnostics/MIDIDiagnosticTraceError.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "Support/Model/TemporaryFolder.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;
using Fields = std::map<std::string, std::string>;

const std::vector<std::string> routeAnswers{"UM-ONE mk2, snd-usb-audio", "Analog Four 1.50", "TM-1 DIN, 1 m cable",
                                            "events.jsonl, steady clock"};
const std::string metadataRequired =
    "Diagnostic capture was not started: interface, target, route, and capture-method metadata are required.";

struct Event {
    std::string name;
    Fields fields;
};

// Every line of the capture's event log; a line that is not one whole JSON event fails the test.
std::vector<Event> readEvents(const fs::path& folder) {
    std::ifstream file(folder / MIDIDiagnosticRecorder::eventLogFileName);
    std::vector<Event> events;
    std::string line;
    while (std::getline(file, line)) {
        const auto json = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(json.is_discarded()) << line;
        if (json.is_discarded()) continue;
        events.push_back({json.at("event").get<std::string>(), json.at("fields").get<Fields>()});
    }
    return events;
}

std::vector<std::string> names(const std::vector<Event>& events, const std::string& prefix) {
    std::vector<std::string> result;
    for (const auto& event : events) {
        if (event.name.rfind(prefix, 0) == 0) result.push_back(event.name);
    }
    return result;
}

// A rig whose capture metadata hashes a small stand-in for the program (hashing the test program
// itself, tens of megabytes, is left to the one test about it).
AppModelRig::Options captureOptions(const TemporaryFolder& temp, std::shared_ptr<SimulatedPeer> peer = nullptr) {
    const fs::path program = temp.path() / "program";
    std::ofstream(program) << "abc";
    AppModelRig::Options options = withPeer(std::move(peer));
    options.executablePath = program;
    return options;
}

void answerCapturePrompts(AppModelRig& rig, const fs::path& folder, std::vector<std::string> fields = routeAnswers) {
    rig.interaction->alertAnswers.push_back(0);
    rig.interaction->folderAnswers.push_back(folder);
    rig.interaction->fieldAnswers.push_back(std::move(fields));
}

void startCapture(AppModelRig& rig, const fs::path& folder) {
    answerCapturePrompts(rig, folder);
    rig->toggleDiagnosticCapture();
    ASSERT_TRUE(rig->tracingTransport().isRecording()) << rig->alertMessage().value_or("");
}

TEST(AppModelDiagnosticCapture, OpensWithTheSessionAndRecordsTurboUntilStopped) {
    TemporaryFolder temp;
    AppModelRig::Options options = captureOptions(temp, tm1(TurboSpeed::x8));
    options.preferences.useHandshake = true;
    options.preferences.deviceNumber = 3;
    options.preferences.turboLimit = AppPreferences::TurboLimit::x10;
    options.buildCommit = "0123abcd";
    AppModelRig rig(options);
    const fs::path folder = temp.path() / "route check";

    answerCapturePrompts(rig, folder, {"  UM-ONE mk2, snd-usb-audio\n", "\tAnalog Four 1.50", routeAnswers[2],
                                       routeAnswers[3] + " "});
    rig->toggleDiagnosticCapture();
    EXPECT_EQ(rig->alertMessage(), std::nullopt);
    EXPECT_EQ(rig->statusText(), "Diagnostic capture active");
    EXPECT_EQ(rig->diagnosticCaptureStatus(), "Recording: route check");

    const auto& interaction = *rig.interaction;
    ASSERT_EQ(interaction.alertsShown.size(), 1u);
    EXPECT_EQ(interaction.alertsShown[0].message, "Start lossless MIDI diagnostic capture?");
    EXPECT_EQ(interaction.alertsShown[0].informativeText,
              "This records the exact incoming MIDI 1 byte stream before SysEx decoding, incoming and outgoing SysEx "
              "records, callback/ring counters, endpoint names, protocol states, and timing to the folder you choose. "
              "Use a dedicated folder and stop capture before handling unrelated MIDI data.");
    EXPECT_EQ(interaction.alertsShown[0].buttons, (std::vector<std::string>{"Choose Folder\u2026", "Cancel"}));
    ASSERT_EQ(interaction.folderPanelsShown.size(), 1u);
    EXPECT_EQ(interaction.folderPanelsShown[0].title, "Choose Empty or Dedicated Diagnostic Capture Folder");
    EXPECT_EQ(interaction.folderPanelsShown[0].prompt, "Use Folder");
    EXPECT_TRUE(interaction.folderPanelsShown[0].allowsFolderCreation);
    ASSERT_EQ(interaction.promptsShown.size(), 1u);
    const auto& prompt = interaction.promptsShown[0];
    EXPECT_EQ(prompt.message, "Describe this diagnostic route");
    EXPECT_EQ(prompt.informativeText,
              "All fields are required so captures remain attributable. Use \u201cnot applicable\u201d only for a "
              "physical loopback field that genuinely has no target.");
    EXPECT_EQ(prompt.buttons, (std::vector<std::string>{"Start Capture", "Cancel"}));
    std::vector<std::string> placeholders;
    for (const auto& field : prompt.fields) placeholders.push_back(field.key + ": " + field.placeholder);
    EXPECT_EQ(placeholders, (std::vector<std::string>{
                                "interfaceDriverFirmware: Interface model + driver/firmware",
                                "targetDeviceFirmware: Target model + firmware, or physical loopback",
                                "route: Direct USB / TM-1 / DIN route and cable",
                                "captureMethodTimebase: Monitor/capture method + timestamp timebase"}));

    rig->negotiateTurbo();
    rig.runFor(1s);
    rig->toggleDiagnosticCapture();
    EXPECT_FALSE(rig->tracingTransport().isRecording());
    EXPECT_EQ(rig->diagnosticCaptureStatus(), "Off");
    EXPECT_EQ(rig->statusText(), "Diagnostic capture stopped");

    const auto events = readEvents(folder);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().name, "session.metadata");
    Fields metadata = events.front().fields;
    EXPECT_FALSE(metadata["os"].empty());
    metadata.erase("os");
    EXPECT_EQ(metadata, (Fields{
                            {"processID", std::to_string(::getpid())}, {"sdsDeviceID", "3"}, {"sdsHandshake", "true"},
                            {"turboLimit", "x10"}, {"commit", "0123abcd"},
                            {"binarySHA256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                            {"inputEndpoint", "1:Simulated In"}, {"outputEndpoint", "2:Simulated Out"},
                            {"interfaceDriverFirmware", routeAnswers[0]}, {"targetDeviceFirmware", routeAnswers[1]},
                            {"route", routeAnswers[2]}, {"captureMethodTimebase", routeAnswers[3]},
                        }));
    EXPECT_EQ(names(events, "session."), (std::vector<std::string>{"session.metadata", "session.operatorStarted",
                                                                    "session.operatorStopped", "session.finished"}));
    EXPECT_EQ(events.back().name, "session.finished");

    EXPECT_EQ(names(events, "turbo."),
              (std::vector<std::string>{"turbo.transition", "turbo.frame.received", "turbo.transition"}));
    std::vector<std::string> transitions;
    for (const auto& event : events) {
        const auto& f = event.fields;
        if (event.name == "turbo.transition") transitions.push_back(f.at("from") + ">" + f.at("to") + f.at("effects"));
    }
    EXPECT_EQ(transitions,
              (std::vector<std::string>{
                  "idle>waitingForResponse(localMaximum: .x10)[send(F0 00 20 3C 04 00 01 F7), armTimeout]",
                  "waitingForResponse(localMaximum: .x10)>active(peer: .x8, negotiated: .x8)[disarmTimeout]"}));
}

TEST(AppModelDiagnosticCapture, SessionMetadataFollowsTheSettingsAndLeavesOutWhatIsUnknown) {
    TemporaryFolder temp;
    const auto sha = [](const std::string& text) {
        return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
    };
    const struct {
        const char* name;
        std::function<void(AppPreferences&)> settings;
        std::optional<fs::path> executable;  // nothing: the running test program (hashed once, here)
        std::map<std::string, std::optional<std::string>> expected;  // nothing: the key is absent
    } cases[] = {
        {"defaults", [](AppPreferences&) {}, std::nullopt,
         {{"sdsDeviceID", "0"}, {"sdsHandshake", "false"}, {"turboLimit", "None"},
          {"inputEndpoint", "1:Simulated In"}, {"outputEndpoint", "2:Simulated Out"}}},
        {"handshake, device 127, 1x",
         [](AppPreferences& p) {
             p.useHandshake = true;
             p.deviceNumber = 127;
             p.turboLimit = AppPreferences::TurboLimit::x1;
         },
         temp.path() / "program", {{"sdsDeviceID", "127"}, {"sdsHandshake", "true"}, {"turboLimit", "x1"}}},
        {"output missing from the snapshot", [](AppPreferences& p) { p.outputEndpointID = 77; },
         temp.path() / "program",
         {{"inputEndpoint", "1:Simulated In"}, {"outputEndpoint", std::nullopt}}},
        {"no route", [](AppPreferences& p) { p.inputEndpointID.reset(), p.outputEndpointID.reset(); },
         temp.path() / "program",
         {{"inputEndpoint", std::nullopt}, {"outputEndpoint", std::nullopt}}},
        {"unreadable program file", [](AppPreferences&) {}, temp.path() / "missing",
         {{"binarySHA256", std::nullopt}}},
    };
    std::ofstream(temp.path() / "program") << "abc";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig::Options options = withPeer(nullptr);
        options.executablePath = c.executable;
        AppModelRig rig(options);
        AppPreferences preferences = rig->preferences();
        c.settings(preferences);
        rig->setPreferences(preferences);

        const auto metadata = rig->diagnosticSessionMetadata();
        EXPECT_EQ(metadata.at("processID"), std::to_string(::getpid()));
        EXPECT_FALSE(metadata.at("os").empty());
        if (!c.executable) {
            EXPECT_TRUE(sha(metadata.at("binarySHA256"))) << metadata.at("binarySHA256");
        } else if (fs::exists(*c.executable)) {
            EXPECT_EQ(metadata.at("binarySHA256"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        }
        for (const auto& [key, value] : c.expected) {
            const auto found = metadata.find(key);
            EXPECT_EQ(found == metadata.end() ? std::nullopt : std::optional(found->second), value) << key;
        }
    }
}

TEST(AppModelDiagnosticCapture, DoesNotStartWithoutConsentFolderOrACompleteRouteDescription) {
    TemporaryFolder temp;
    const fs::path occupied = temp.path() / "occupied";
    fs::create_directories(occupied);
    const std::string earlierCapture = "{\"event\":\"session.metadata\",\"fields\":{}}\n";
    std::ofstream(occupied / MIDIDiagnosticRecorder::eventLogFileName) << earlierCapture;
    const fs::path plainFile = temp.path() / "plain file";
    std::ofstream(plainFile) << "x";
    const std::string recorderRefused = "Could not start diagnostic capture: ";

    using Answers = std::optional<std::vector<std::string>>;
    const struct {
        const char* name;
        std::optional<std::size_t> consent;
        std::optional<fs::path> folder;
        Answers fields;
        std::size_t questions;
        std::string alert;  // empty: none; ends with "…": a prefix
    } cases[] = {
        {"confirmation closed", std::nullopt, temp.path() / "a", routeAnswers, 1, ""},
        {"confirmation cancelled", 1, temp.path() / "a", routeAnswers, 1, ""},
        {"no folder", 0, std::nullopt, routeAnswers, 2, ""},
        {"description cancelled", 0, temp.path() / "a", std::nullopt, 3, ""},
        {"a field of spaces", 0, temp.path() / "a",
         std::vector<std::string>{routeAnswers[0], routeAnswers[1], "   ", routeAnswers[3]}, 3, metadataRequired},
        {"an empty field", 0, temp.path() / "a",
         std::vector<std::string>{"", routeAnswers[1], routeAnswers[2], routeAnswers[3]}, 3, metadataRequired},
        {"a field of line breaks", 0, temp.path() / "a",
         std::vector<std::string>{routeAnswers[0], routeAnswers[1], routeAnswers[2], "\n\t\r\n"}, 3, metadataRequired},
        {"fields missing", 0, temp.path() / "a", std::vector<std::string>{routeAnswers[0]}, 3, metadataRequired},
        {"a folder holding a capture", 0, occupied, routeAnswers, 3, recorderRefused + "\u2026"},
        {"a file instead of a folder", 0, plainFile, routeAnswers, 3, recorderRefused + "\u2026"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(captureOptions(temp));
        rig.interaction->alertAnswers.push_back(c.consent);
        rig.interaction->folderAnswers.push_back(c.folder);
        rig.interaction->fieldAnswers.push_back(c.fields);

        rig->toggleDiagnosticCapture();
        EXPECT_EQ(rig.interaction->questionCount(), c.questions);
        EXPECT_FALSE(rig->tracingTransport().isRecording());
        EXPECT_EQ(rig->diagnosticCaptureStatus(), "Off");
        EXPECT_EQ(rig->statusText(), "Ready");
        EXPECT_FALSE(fs::exists(temp.path() / "a"));
        if (c.alert.empty()) {
            EXPECT_EQ(rig->alertMessage(), std::nullopt);
        } else if (c.alert.ends_with("\u2026")) {
            ASSERT_TRUE(rig->alertMessage());
            EXPECT_EQ(rig->alertMessage()->rfind(c.alert.substr(0, c.alert.size() - 3), 0), 0u)
                << *rig->alertMessage();
        } else {
            EXPECT_EQ(rig->alertMessage(), c.alert);
        }
    }
    // The earlier capture is left as it was.
    std::ifstream earlier(occupied / MIDIDiagnosticRecorder::eventLogFileName);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), earlierCapture);
}

TEST(AppModelDiagnosticCapture, RecorderFailuresReachTheAlertOnTheMainThreadWhileTheModelLives) {
    TemporaryFolder temp;
    AppModelRig rig(captureOptions(temp));
    const auto recordElsewhere = [&] {
        std::thread([&] { rig->recordDiagnostic("transfer.send.progress", {{"completedBytes", "12"}}); }).join();
    };

    recordElsewhere();  // no capture: nothing written, nothing said
    rig.settle();
    EXPECT_EQ(rig->alertMessage(), std::nullopt);

    startCapture(rig, temp.path() / "capture");
    rig->tracingTransport().stopRecording();  // the recorder finishes under the model
    const std::string failed = "MIDI diagnostics failed: " + MIDIDiagnosticTraceError::captureFinished().message();

    recordElsewhere();
    EXPECT_EQ(rig->alertMessage(), std::nullopt);  // set on the main thread only
    rig.settle();
    EXPECT_EQ(rig->alertMessage(), failed);

    rig->setAlertMessage(std::nullopt);
    rig->recordDiagnostic("turbo.detection.timedOut");  // on the main thread: at once
    EXPECT_EQ(rig->alertMessage(), failed);

    recordElsewhere();
    rig.stop();
    rig.settle();  // the report finds the model gone and does nothing
    EXPECT_EQ(rig.scheduler().pendingTaskCount(), 0u);
}

// Events reported from several threads at once, as the send worker and the SDS sessions do while
// the main thread runs a negotiation.
TEST(AppModelDiagnosticCapture, EventsFromSeveralThreadsAtOnceAreEachWrittenWhole) {
    constexpr int threadCount = 6;
    constexpr int eventsPerThread = 150;
    TemporaryFolder temp;
    AppModelRig rig(captureOptions(temp, tm1(TurboSpeed::x4)));
    startCapture(rig, temp.path() / "capture");

    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < eventsPerThread; ++i) {
                rig->recordDiagnostic("test.concurrent", {{"thread", std::to_string(t)}, {"index", std::to_string(i)}});
            }
        });
    }
    go = true;
    rig->negotiateTurbo();
    rig.runFor(1s);
    for (auto& thread : threads) thread.join();
    rig->toggleDiagnosticCapture();
    rig.settle();
    EXPECT_EQ(rig->alertMessage(), std::nullopt);

    std::vector<int> next(threadCount, 0);
    for (const auto& event : readEvents(temp.path() / "capture")) {
        if (event.name != "test.concurrent") continue;
        const int t = std::stoi(event.fields.at("thread"));
        EXPECT_EQ(std::stoi(event.fields.at("index")), next[t]++) << "thread " << t;  // each thread's in order
    }
    EXPECT_EQ(next, std::vector<int>(threadCount, eventsPerThread));
    EXPECT_EQ(rig->turboState(), TurboNegotiation::State(TurboNegotiation::Active{TurboSpeed::x4, TurboSpeed::x4}));
}

TEST(AppModelDiagnosticCapture, StoppingWhileOtherThreadsReportEndsTheLogCleanly) {
    constexpr int threadCount = 4;
    TemporaryFolder temp;
    AppModelRig rig(captureOptions(temp));
    startCapture(rig, temp.path() / "capture");

    std::atomic<int> recorded{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&] {
            while (!done.load()) {
                rig->recordDiagnostic("test.racing");
                recorded.fetch_add(1);
            }
        });
    }
    while (recorded.load() < 200) std::this_thread::yield();
    rig->toggleDiagnosticCapture();
    const int atStop = recorded.load();
    while (recorded.load() < atStop + 200) std::this_thread::yield();
    done = true;
    for (auto& thread : threads) thread.join();
    rig.settle();

    // Events racing with the end are dropped, not reported as failures of a stopped capture.
    EXPECT_EQ(rig->alertMessage(), std::nullopt);
    const auto events = readEvents(temp.path() / "capture");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().name, "session.finished");
    EXPECT_EQ(events.back().fields.at("eventCount"), std::to_string(events.size()));
}

}  // namespace
}  // namespace k7::testing
