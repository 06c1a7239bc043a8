// How received items are named, and what the user reads when a dump does not arrive.
#include <gtest/gtest.h>

#include "Support/Model/ReceiveRig.h"
#include "Support/Model/TransferItemFixtures.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {
namespace {

TEST(ReceivedNames, SanitizedNames) {
    const std::string hundred(100, 'x');
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"Kick", "Kick"},
        {"  Kick \t\r\n", "Kick"},
        {"\x01Kick\x7F", "Kick"},
        {"----", std::nullopt},
        {" ---- ", std::nullopt},
        {"-----", "-----"},
        {"", std::nullopt},
        {" \t", std::nullopt},
        {"a/b:c\\d", "a_b_c_d"},
        {"tab\tinside", "tab_inside"},
        {hundred, std::string(64, 'x')},
        {std::string(63, 'x') + "\u00e9\u00e9", std::string(63, 'x') + "\u00e9"},  // counted in characters
        {"Caf\u00e9 \u2013 2", "Caf\u00e9 \u2013 2"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(AppModel::sanitizedReceivedName(text), expected);
    }
}

TEST(ReceivedNames, TransferFailureTexts) {
    using namespace sds_failure;
    const std::vector<std::pair<SDSTransferFailure, std::string>> cases{
        {RetryExhausted{SDSRetryCause::timeout, 3}, "SDS retry limit reached for packet 3 (timeout)"},
        {RetryExhausted{SDSRetryCause::negativeAcknowledgement, 127},
         "SDS retry limit reached for packet 127 (negativeAcknowledgement)"},
        {RetryExhausted{SDSRetryCause::invalidPacket, 0}, "SDS retry limit reached for packet 0 (invalidPacket)"},
        {InterruptedByNewHeader{80, 200}, "A new SDS header replaced an incomplete dump after 80 of 200 sample words"},
        {LocalCancelled{}, "SDS receive cancelled"},
        {RemoteCancelled{}, "The remote SDS sender cancelled"},
        {UnexpectedEndOfFile{}, "SDS ended before all sample data arrived"},
        {ProtocolError{SDSError(sds_error::ChecksumMismatch{4, 0x11, 0x12})},
         "SDS protocol error: checksumMismatch(packetNumber: 4, expected: 17, actual: 18)"},
    };
    for (const auto& [failure, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(AppModel::describeTransferFailure(failure), text);
    }
}

// Names taken from the name messages, made unique against the list in its folded form.
TEST(ReceivedNames, ItemNamesAvoidTheListAndKeepTheirExtension) {
    struct Case {
        const char* name;
        std::vector<std::string> listed;
        std::vector<std::string> sampleNames;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"repeated names", {}, {"Kick", "Kick", "KICK"}, {"Kick.syx", "Kick 2.syx", "KICK 3.syx"}},
        {"a listed name in another case", {"kick.SYX"}, {"Kick"}, {"Kick 2.syx"}},
        {"numbered names taken too", {"Kick.syx", "kick 2.syx"}, {"Kick"}, {"Kick 3.syx"}},
        {"the extension is not doubled", {}, {"Loop.syx", "Loop.SYX"}, {"Loop.syx", "Loop 2.syx"}},
        {"a name that is only the extension", {}, {".syx"}, {".syx.syx"}},
        {"another extension stays", {}, {"Loop.wav"}, {"Loop.wav.syx"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig::Options options;
        options.automaticallyDetectTurbo = false;
        AppModelRig rig(options);
        std::vector<TransferItem> listed;
        for (const auto& name : c.listed) listed.push_back(sysExItem(name));
        rig->setItems(listed);
        std::vector<SimulatedSDSDump> dumps;
        for (std::size_t i = 0; i < c.sampleNames.size(); ++i) {
            const auto number = static_cast<uint16_t>(i);
            dumps.push_back(SimulatedSDSDump::make(0, number, 16, 22675, sds_wire::testSignal(20),
                                                   {sdsSampleNameMessage(0, number, c.sampleNames[i])}));
        }
        SimulatedSDSSender::Options sender;
        sender.handshake = false;
        auto sampler = attachSDSSender(rig, sender, dumps);
        pressReceive(rig);
        sampler->start(rig.wire());
        ASSERT_TRUE(rig.runUntil([&] { return rig->items().size() == listed.size() + dumps.size(); }));
        ASSERT_TRUE(stopReceiveAndFinish(rig));
        EXPECT_EQ(names(itemsReceivedSince(rig, listed.size())), c.expected);
    }
}

}  // namespace
}  // namespace k7::testing
