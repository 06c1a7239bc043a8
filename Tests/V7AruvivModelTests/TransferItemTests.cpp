#include "V7Aruviv/Models/TransferItem.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include "V7Aruviv/Stores/PersistedOpenItem.h"

namespace k7 {
namespace {

using Item = TransferItem;

// Only a case converts to its wrapper; a bare text or number must not pick a case by itself.
static_assert(!std::is_convertible_v<const char*, TransferSendMethod>);
static_assert(!std::is_convertible_v<std::string, Item::State>);
static_assert(!std::is_convertible_v<int, TransferWireWorkload>);
static_assert(std::is_convertible_v<Item::State::Received, Item::State>);

// Every raw value, in case order, reads back to its case; the texts are shown and stored.
template <typename Enumeration>
std::string rawValues(int count, std::optional<Enumeration> (*fromRawValue)(std::string_view)) {
    std::string joined;
    for (int i = 0; i < count; ++i) {
        const auto value = static_cast<Enumeration>(i);
        EXPECT_EQ(fromRawValue(rawValue(value)), value) << rawValue(value);
        joined += std::string(rawValue(value)) + "|";
    }
    return joined;
}

TEST(TransferItemEnumerations, RawValuesAreExact) {
    EXPECT_EQ(rawValues<Item::Kind>(5, transferItemKindFromRawValue), "SysEx|WAV|AIFF|K7|-|");
    EXPECT_EQ(rawValues<Item::Device>(10, transferItemDeviceFromRawValue),
              "\u2014|Unknown|Multiple|SIDstation|Machinedrum|Monomachine|Octatrack|Analog Four|Analog Rytm|TM-1|");
    EXPECT_EQ(rawValues<Item::LoopMode>(3, loopModeFromRawValue), "Loop:File|Loop On|Loop Off|");
    EXPECT_EQ(rawValues<Item::StereoMode>(3, stereoModeFromRawValue), "L + R|Left|Right|");
    for (const char* wrong : {"Loop: File", "loop:file", "Loop:File ", ""}) EXPECT_FALSE(loopModeFromRawValue(wrong));
    EXPECT_FALSE(stereoModeFromRawValue("L+R"));
    EXPECT_FALSE(transferItemDeviceFromRawValue("-"));  // a hyphen is not the em dash
}

TEST(TransferItemState, EqualityComparesTheCaseAndItsReason) {
    using State = Item::State;
    const struct {
        State a, b;
        bool equal;
    } cases[] = {
        {State::failed("Timed out."), State::failed("Timed out."), true},
        {State::failed("Timed out."), State::failed("Cancelled."), false},
        {State::failed(""), State::failed(" "), false},
        {State::failed(""), State{}, false},
        {State{}, State::Ready{}, true},
        {State::Submitted{}, State::Sending{}, false},
        {State::Received{}, State::Cancelled{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a.describe() + " against " + c.b.describe());
        EXPECT_EQ(c.a == c.b, c.equal);
        EXPECT_EQ(c.b == c.a, c.equal);
    }
}

TEST(TransferItem, FileInfoDetail) {
    const struct {
        TransferSendMethod method;
        std::vector<DigiPROFrameMetadata> frames;
        std::string detail, expected;
    } cases[] = {
        {TransferSendMethod::RawGenericSysEx{}, {}, "3 messages", "3 messages"},
        {TransferSendMethod::invalid("Bad file."), {}, "Opened today", "Bad file. Opened today"},
        // A reason the detail already quotes is not repeated.
        {TransferSendMethod::invalid("Bad file."), {}, "Problem: Bad file. Fix it", "Problem: Bad file. Fix it"},
        // Waveforms come first, even when the item is invalid.
        {TransferSendMethod::invalid("Bad"), {{1, "AAAA"}, {2, "BBBB"}}, "detail",
         "2 DigiPRO waveforms \u2022 Positions 1\u20132 \u2022 Valid checksums. detail"},
        {TransferSendMethod::RawDigiPRO{}, {{9, "SINE"}}, "",
         "DigiPRO waveform \u2022 Position 9 \u2022 Name SINE \u2022 Valid checksum. "},
    };
    for (const auto& c : cases) {
        Item item;
        item.sendMethod = c.method;
        item.digiPROFrames = c.frames;
        item.detail = c.detail;
        EXPECT_EQ(item.fileInfoDetail(), c.expected);
    }
}

QJsonObject object(const char* json) { return QJsonDocument::fromJson(json).object(); }

TEST(PersistedOpenItem, JSONRows) {
    const PersistedOpenItem named{"/music/kick.wav", "Kick", Item::LoopMode::forceOff, Item::StereoMode::right};
    EXPECT_EQ(named.toJSON(), object(R"({"path":"/music/kick.wav","displayName":"Kick","loopMode":"Loop Off",)"
                                     R"("stereoMode":"Right"})"));
    EXPECT_EQ(PersistedOpenItem::fromJSON(named.toJSON()), named);

    const auto unnamed = PersistedOpenItem::fromJSON(object(R"({"path":"/a.syx","loopMode":"Loop:File","stereoMode":"L + R"})"));
    ASSERT_TRUE(unnamed);
    EXPECT_FALSE(unnamed->displayName);
    EXPECT_FALSE(unnamed->toJSON().contains("displayName"));

    // A path that is no UTF-8 keeps its bytes beside the readable text, and they are what is read.
    const PersistedOpenItem latin1{"/music/Caf\xE9.syx", std::nullopt, Item::LoopMode::file, Item::StereoMode::mix};
    EXPECT_EQ(latin1.toJSON(), object(R"({"path":"/music/Caf\ufffd.syx","pathBytes":"L211c2ljL0NhZukuc3l4",)"
                                      R"("loopMode":"Loop:File","stereoMode":"L + R"})"));
    EXPECT_EQ(PersistedOpenItem::fromJSON(latin1.toJSON()), latin1);
    const auto preferred = PersistedOpenItem::fromJSON(
        object(R"({"path":"/elsewhere","pathBytes":"L2Euc3l4","loopMode":"Loop:File","stereoMode":"L + R"})"));
    ASSERT_TRUE(preferred);
    EXPECT_EQ(preferred->path, "/a.syx");

    for (const char* broken : {
             R"({"loopMode":"Loop:File","stereoMode":"L + R"})",
             R"({"path":"/a","pathBytes":"L2E*","loopMode":"Loop:File","stereoMode":"L + R"})",
             R"({"path":"/a","pathBytes":7,"loopMode":"Loop:File","stereoMode":"L + R"})",
             R"({"path":"/a","loopMode":"Loop:File"})",
             R"({"path":"/a","loopMode":"Loop: File","stereoMode":"L + R"})",
             R"({"path":7,"loopMode":"Loop:File","stereoMode":"L + R"})",
             R"({"path":"/a","displayName":3,"loopMode":"Loop:File","stereoMode":"L + R"})",
         }) {
        EXPECT_FALSE(PersistedOpenItem::fromJSON(object(broken))) << broken;
    }
    EXPECT_FALSE(PersistedOpenItem::fromJSON(QJsonValue(QStringLiteral("/a.syx"))));
}

}  // namespace
}  // namespace k7
