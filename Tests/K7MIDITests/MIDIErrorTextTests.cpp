#include <gtest/gtest.h>

#include "K7MIDI/Diagnostics/MIDIDiagnosticTraceError.h"
#include "K7MIDI/Transport/MIDITransportError.h"
#include "K7MIDI/Transport/MIDITransportIssue.h"

namespace k7 {
namespace {

struct TextCase {
    std::string text;
    std::vector<std::string> mustContain;
};

// User texts are whole sentences naming what happened; the parts a user acts on must be there.
TEST(MIDIErrorTexts, NameWhatHappenedAndWhatToDo) {
    const std::vector<TextCase> cases{
        {MIDITransportError::system("snd_seq_open", -2).what(),
         {"ALSA refused snd_seq_open", "error -2", "No such file or directory"}},
        {MIDITransportError::noOutputSelected().what(), {"No MIDI output is selected", "Settings"}},
        {MIDITransportError::endpointUnavailable().what(), {"not available", "Reconnect"}},
        {MIDITransportIssue::receiveTruncated(1).description(), {"1 byte was lost"}},
        {MIDITransportIssue::receiveTruncated(9).description(), {"9 bytes were lost"}},
        {MIDITransportIssue::malformedReceive(7, "Reason.", 5, 2).description(),
         {"MIDI input 7", "(5 bytes)", "Reason.", "Complete messages were kept"}},
        {MIDITransportIssue::malformedReceive(std::nullopt, "Reason.", 1, 1).description(),
         {"received was discarded (1 byte)"}},
        {MIDIDiagnosticTraceError(MIDIDiagnosticTraceError::WriteFailed{"events.jsonl", 28}).what(),
         {"events.jsonl", "No space left on device"}},
    };
    for (const auto& c : cases) {
        for (const auto& part : c.mustContain) EXPECT_NE(c.text.find(part), std::string::npos) << c.text << " / " << part;
        EXPECT_TRUE(c.text.ends_with(".")) << c.text;
    }
    EXPECT_EQ(MIDITransportError::system("snd_seq_open", -2).describe(), "system(operation: \"snd_seq_open\", status: -2)");
    EXPECT_NE(MIDITransportError::system("a", -2), MIDITransportError::system("a", -3));
}

}  // namespace
}  // namespace k7
