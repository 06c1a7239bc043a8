#include "V7Aruviv/Models/AppPreferences.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"
#include "V7Aruviv/Stores/SettingsDefaultsStore.h"

namespace k7 {
namespace {

using TurboLimit = AppPreferences::TurboLimit;
using ReceiveFormat = AppPreferences::ReceiveFormat;

Bytes json(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every required key, with values that differ from the defaults where a type allows it.
const std::vector<std::pair<std::string, std::string>> fields{
    {"reloadFiles", "true"},   {"delayTicks", "7"},        {"turboLimit", R"("x6.7")"},   {"useHandshake", "false"},
    {"useExtendedSDS", "true"}, {"sendSPS1UWName", "true"}, {"deviceNumber", "9"}, {"receiveFormat", R"("WAV")"}};

// The complete object after `extra` members, with `key` given `value`, or left out when `value` is empty.
std::string object(const std::string& key = "", const std::string& value = "", const std::string& extra = "") {
    std::string out = "{" + extra;
    for (const auto& [k, v] : fields) {
        if (k != key || !value.empty()) out += (out.size() > 1 ? ",\"" : "\"") + k + "\":" + (k == key ? value : v);
    }
    return out + "}";
}

AppPreferences completeValue(std::optional<int32_t> in = std::nullopt, std::optional<int32_t> out = std::nullopt) {
    return {.inputEndpointID = in, .outputEndpointID = out, .reloadFiles = true, .delayTicks = 7,
            .turboLimit = TurboLimit::x6_7, .useExtendedSDS = true, .sendSPS1UWName = true, .deviceNumber = 9,
            .receiveFormat = ReceiveFormat::wav};
}

// The stored record holds the raw values.
TEST(AppPreferencesEnumerations, RawValuesAreExact) {
    std::string limits, formats;
    for (const auto limit : AppPreferences::allTurboLimits) {
        limits += std::string(rawValue(limit)) + " ";
        EXPECT_EQ(turboLimitFromRawValue(rawValue(limit)), limit);
    }
    for (const auto format : AppPreferences::allReceiveFormats) {
        formats += std::string(rawValue(format)) + "/" + std::string(displayName(format)) + " ";
        EXPECT_EQ(receiveFormatFromRawValue(rawValue(format)), format);
    }
    EXPECT_EQ(limits, "None x20 x16 x13.3 x10 x8 x6.7 x5 x4 x3.3 x2 x1 ");
    EXPECT_EQ(formats, "SDS/SDS WAV/WAV AIFF/AIFF None/Raw SysEx ");
    for (const char* wrong : {"x13_3", "X20", "none", "x20 ", ""}) EXPECT_FALSE(turboLimitFromRawValue(wrong)) << wrong;
    for (const char* wrong : {"Raw SysEx", "sds", "rawSDS"}) EXPECT_FALSE(receiveFormatFromRawValue(wrong)) << wrong;
}

TEST(AppPreferencesJSON, RoundTripsAndLeavesAbsentEndpointsOut) {
    AppPreferences p = completeValue();
    const std::string withoutIDs = text(p.encodeJSON());
    EXPECT_EQ(withoutIDs.find("EndpointID"), std::string::npos) << withoutIDs;
    EXPECT_EQ(AppPreferences::decodeJSON(json(withoutIDs)), p);

    p = completeValue(-2147483647 - 1, 2147483647);
    p.delayTicks = std::numeric_limits<int64_t>::max();
    p.deviceNumber = 255;
    EXPECT_EQ(AppPreferences::decodeJSON(p.encodeJSON()), p);
}

TEST(AppPreferencesJSON, DecodingIsStrict) {
    const std::optional<AppPreferences> none;
    const struct {
        std::string json;
        std::optional<AppPreferences> expected;
    } cases[] = {
        {object(), completeValue()},
        {object("", "", R"("inputEndpointID":-5,"outputEndpointID":12)"), completeValue(-5, 12)},
        {object("", "", R"("inputEndpointID":null,"outputEndpointID":null)"), completeValue()},
        {object("", "", R"("futureOption":[1,2])"), completeValue()},  // unknown keys are ignored
        {object("delayTicks", "7.0"), completeValue()},                // a whole number written with a fraction
        {object("receiveFormat"), none}, {object("reloadFiles"), none},
        {object("delayTicks"), none}, {object("turboLimit", R"("x13_3")"), none},
        {object("receiveFormat", R"("Raw SysEx")"), none}, {object("useExtendedSDS", "1"), none},
        {object("reloadFiles", R"("true")"), none}, {object("useHandshake", "null"), none},
        {object("deviceNumber", "256"), none}, {object("deviceNumber", "-1"), none},
        {object("delayTicks", "1.5"), none}, {object("delayTicks", "9223372036854775808"), none},
        {object("delayTicks", R"("1")"), none}, {object("", "", R"("inputEndpointID":2147483648)"), none},
        {"[" + object() + "]", none}, {"preferences", none}, {"", none},
    };
    for (const auto& c : cases) EXPECT_EQ(AppPreferences::decodeJSON(json(c.json)), c.expected) << c.json;
}

TEST(AppPreferencesLoading, EmptyStoreGivesDefaultsAndSetsOnlyTheMarker) {
    InMemoryDefaultsStore store;
    EXPECT_EQ(AppPreferences::load(store), AppPreferences{});
    EXPECT_TRUE(store.boolean("org.v764.open-loop-delay-default-v1"));
    EXPECT_FALSE(store.contains("org.v764.preferences.v1"));
}

// Loading rewrites the stored bytes only to drop the retired key, even when the rest fails to decode.
TEST(AppPreferencesLoading, OnlyTheLegacyKeyIsRemovedFromTheStoredValue) {
    InMemoryDefaultsStore store;
    const auto key = AppPreferences::preferencesKey();
    store.setData(key, json(object("receiveFormat")));
    EXPECT_EQ(AppPreferences::load(store), AppPreferences{});
    EXPECT_EQ(store.data(key), json(object("receiveFormat")));

    store.setData(key, json(object("", "", R"("sendTurboActiveSensing":true)")));
    EXPECT_EQ(AppPreferences::load(store), completeValue());
    EXPECT_EQ(text(*store.data(key)).find("sendTurboActiveSensing"), std::string::npos);

    store.setData(key, json(R"({"sendTurboActiveSensing":false,"delayTicks":"broken"})"));
    EXPECT_EQ(AppPreferences::load(store), AppPreferences{});
    EXPECT_EQ(text(*store.data(key)), R"({"delayTicks":"broken"})");
}

TEST(AppPreferencesLoading, OnlyTheFirstLoadMovesAZeroOpenLoopDelay) {
    const struct {
        bool markerSet, handshake;
        int64_t storedDelay, expectedDelay;
    } cases[] = {{false, false, 0, 1}, {true, false, 0, 0}, {false, true, 0, 0}, {false, false, 3, 3}};
    for (const auto& c : cases) {
        InMemoryDefaultsStore store;
        if (c.markerSet) store.setBoolean(AppPreferences::openLoopDelayMarkerKey(), true);
        AppPreferences stored = completeValue();
        stored.useHandshake = c.handshake;
        stored.delayTicks = c.storedDelay;
        stored.save(store);
        const Bytes before = *store.data(AppPreferences::preferencesKey());

        EXPECT_EQ(AppPreferences::load(store).delayTicks, c.expectedDelay);
        const Bytes after = *store.data(AppPreferences::preferencesKey());
        EXPECT_EQ(after != before, c.storedDelay != c.expectedDelay);
        EXPECT_EQ(AppPreferences::decodeJSON(after)->delayTicks, c.expectedDelay);
        EXPECT_EQ(AppPreferences::load(store).delayTicks, c.expectedDelay);  // the second load never migrates
    }
}

TEST(AppPreferencesDefaultStore, TestProcessesUseTheirOwnThrowAwaySuite) {
    const auto suite = AppPreferences::testSuiteName();
    ASSERT_TRUE(suite);
    EXPECT_EQ(*suite, "org.v764.tests." + std::to_string(::getpid()));
    auto* store = dynamic_cast<SettingsDefaultsStore*>(&AppPreferences::defaultStore());
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->fileName().filename().string(), *suite + ".conf");
    EXPECT_EQ(&AppPreferences::defaultStore(), store);
}

TEST(SettingsDefaultsStore, KeepsDataAndBooleansAcrossInstances) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("org.v764.tests.store." + std::to_string(::getpid()) + ".conf");
    const Bytes payload = {0x00, 0x7B, 0xFF, 0x22, 0x0A};
    {
        auto store = SettingsDefaultsStore::suite(file, false);
        store->setData("org.v764.preferences.v1", payload);
        store->setBoolean("org.v764.flag", true);
        store->setData("org.v764.gone", payload);
        store->remove("org.v764.gone");
    }
    auto reopened = SettingsDefaultsStore::suite(file, true);
    EXPECT_EQ(reopened->data("org.v764.preferences.v1"), payload);
    EXPECT_TRUE(reopened->boolean("org.v764.flag"));
    EXPECT_FALSE(reopened->data("org.v764.gone") || reopened->data("org.v764.flag") ||
                 reopened->boolean("org.v764.missing"));
    reopened.reset();
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace k7
