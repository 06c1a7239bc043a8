#include "V7Aruviv/Models/TransferItem.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include "ModelTestSupport.h"
#include "V7Aruviv/Stores/BackupRepairState.h"
#include "V7Aruviv/Stores/PersistedOpenItem.h"
#include "V7Aruviv/Stores/PreparedImport.h"

namespace k7 {
namespace {

using Item = TransferItem;
using State = TransferItem::State;

// Only a case converts to its wrapper; a bare text or number must not pick a case by itself.
static_assert(!std::is_convertible_v<const char*, TransferSendMethod>);
static_assert(!std::is_convertible_v<std::string, State>);
static_assert(!std::is_convertible_v<int, TransferWireWorkload>);
static_assert(std::is_convertible_v<State::Received, State>);

TEST(TransferItemEnumerations, RawValuesRoundTripExactly) {
    const char* kinds[] = {"SysEx", "WAV", "AIFF", "K7", "-"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(rawValue(static_cast<Item::Kind>(i)), kinds[i]);
        EXPECT_EQ(transferItemKindFromRawValue(kinds[i]), static_cast<Item::Kind>(i));
    }
    const char* devices[] = {"\u2014",    "Unknown",   "Multiple",    "SIDstation",  "Machinedrum",
                             "Monomachine", "Octatrack", "Analog Four", "Analog Rytm", "TM-1"};
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(rawValue(static_cast<Item::Device>(i)), devices[i]);
        EXPECT_EQ(transferItemDeviceFromRawValue(devices[i]), static_cast<Item::Device>(i));
    }
    const char* loops[] = {"Loop:File", "Loop On", "Loop Off"};
    const char* stereo[] = {"L + R", "Left", "Right"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(id(Item::allLoopModes[i]), loops[i]);
        EXPECT_EQ(loopModeFromRawValue(loops[i]), Item::allLoopModes[i]);
        EXPECT_EQ(id(Item::allStereoModes[i]), stereo[i]);
        EXPECT_EQ(stereoModeFromRawValue(stereo[i]), Item::allStereoModes[i]);
    }
    for (const char* wrong : {"Loop: File", "loop:file", "Loop:File ", ""}) EXPECT_FALSE(loopModeFromRawValue(wrong));
    for (const char* wrong : {"L+R", "left", "Mix"}) EXPECT_FALSE(stereoModeFromRawValue(wrong));
    EXPECT_FALSE(transferItemDeviceFromRawValue("-"));  // a hyphen is not the em dash
}

TEST(TransferItemState, EqualityComparesCaseAndText) {
    EXPECT_EQ(State::failed("a"), State::failed("a"));
    EXPECT_NE(State::failed("a"), State::failed("b"));
    EXPECT_NE(State(State::Ready{}), State(State::Submitted{}));
    EXPECT_EQ(State(), State(State::Ready{}));
    EXPECT_EQ(State::failed("no \"reply\"").describe(), R"(failed("no \"reply\""))");
}

TEST(TransferItem, IsAudioOnlyForWAVAndAIFF) {
    Item item;
    item.audioSample = AudioSample{48000, {{1, 2}}, 24, false, std::nullopt};
    for (auto [kind, audio] : {std::pair{Item::Kind::wav, true}, std::pair{Item::Kind::aiff, true},
                               std::pair{Item::Kind::sysEx, false}, std::pair{Item::Kind::project, false},
                               std::pair{Item::Kind::unknown, false}}) {
        item.kind = kind;
        EXPECT_EQ(item.isAudio(), audio) << rawValue(kind);
    }
}

TEST(TransferItem, FileInfoDetail) {
    const struct {
        const char* name;
        TransferSendMethod method;
        std::vector<DigiPROFrameMetadata> frames;
        std::string detail;
        std::string expected;
    } cases[] = {
        {"plain", TransferSendMethod::RawGenericSysEx{}, {}, "3 messages", "3 messages"},
        {"reason not quoted", TransferSendMethod::invalid("Bad file."), {}, "Opened today", "Bad file. Opened today"},
        {"reason already quoted", TransferSendMethod::invalid("Bad file."), {}, "Problem: Bad file. Fix it",
         "Problem: Bad file. Fix it"},
        {"digipro first even when invalid", TransferSendMethod::invalid("Bad"), {{1, "AAAA"}, {2, "BBBB"}}, "detail",
         "2 DigiPRO waveforms \u2022 Positions 1\u20132 \u2022 Valid checksums. detail"},
        {"one waveform", TransferSendMethod::RawDigiPRO{}, {{9, "SINE"}}, "",
         "DigiPRO waveform \u2022 Position 9 \u2022 Name SINE \u2022 Valid checksum. "},
    };
    for (const auto& c : cases) {
        Item item;
        item.sendMethod = c.method;
        item.digiPROFrames = c.frames;
        item.detail = c.detail;
        EXPECT_EQ(item.fileInfoDetail(), c.expected) << c.name;
    }
}

QJsonObject object(const char* json) { return QJsonDocument::fromJson(json).object(); }

TEST(PersistedOpenItem, JSONRows) {
    const PersistedOpenItem named{"/music/kick.wav", "Kick", Item::LoopMode::forceOff, Item::StereoMode::right};
    EXPECT_EQ(PersistedOpenItem::fromJSON(named.toJSON()), named);
    EXPECT_EQ(named.toJSON(), object(R"({"path":"/music/kick.wav","displayName":"Kick","loopMode":"Loop Off",)"
                                     R"("stereoMode":"Right"})"));

    const auto unnamed = PersistedOpenItem::fromJSON(object(R"({"path":"/a.syx","loopMode":"Loop:File","stereoMode":"L + R"})"));
    ASSERT_TRUE(unnamed);
    EXPECT_FALSE(unnamed->displayName);
    EXPECT_FALSE(unnamed->toJSON().contains("displayName"));

    for (const char* broken : {
             R"({"loopMode":"Loop:File","stereoMode":"L + R"})",
             R"({"path":"/a","stereoMode":"L + R"})",
             R"({"path":"/a","loopMode":"Loop:File"})",
             R"({"path":"/a","loopMode":"Loop:File","stereoMode":"Mix"})",
             R"({"path":"/a","loopMode":"Loop: File","stereoMode":"L + R"})",
             R"({"path":7,"loopMode":"Loop:File","stereoMode":"L + R"})",
             R"({"path":"/a","displayName":3,"loopMode":"Loop:File","stereoMode":"L + R"})",
         }) {
        EXPECT_FALSE(PersistedOpenItem::fromJSON(object(broken))) << broken;
    }
    EXPECT_FALSE(PersistedOpenItem::fromJSON(QJsonValue(QStringLiteral("/a.syx"))));
}

TEST(PreparedImport, RetainedBytesCountOnlyItemData) {
    PreparedImport import;
    EXPECT_EQ(import.retainedByteCount(), 0);
    Item wav;
    wav.data = Bytes(1000000, 0x55);
    wav.byteCount = 5;  // the shown size is not what memory holds
    Item syx;
    syx.data = Bytes(7027, 0xF0);
    import.items = {wav, syx};
    EXPECT_EQ(import.retainedByteCount(), 1007027);
}

}  // namespace
}  // namespace k7
