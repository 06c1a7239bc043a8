#include "V7Aruviv/Models/AppPreferences.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"
#include "V7Aruviv/Stores/SettingsDefaultsStore.h"
#include "ModelTestSupport.h"

namespace k7 {
namespace {

using TurboLimit = AppPreferences::TurboLimit;
using ReceiveFormat = AppPreferences::ReceiveFormat;

Bytes json(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every required key, with values that differ from the defaults where a type allows it.
const std::string completeBody =
    R"("reloadFiles":true,"delayTicks":7,"turboLimit":"x6.7","useHandshake":false,"useExtendedSDS":true,)"
    R"("sendSPS1UWName":true,"deviceNumber":9,"receiveFormat":"WAV")";

AppPreferences completeValue() {
    AppPreferences p;
    p.reloadFiles = true;
    p.delayTicks = 7;
    p.turboLimit = TurboLimit::x6_7;
    p.useExtendedSDS = true;
    p.sendSPS1UWName = true;
    p.deviceNumber = 9;
    p.receiveFormat = ReceiveFormat::wav;
    return p;
}

TEST(AppPreferencesEnumerations, RawValuesIdsAndDisplayNames) {
    const char* limits[] = {"None", "x20", "x16", "x13.3", "x10", "x8", "x6.7", "x5", "x4", "x3.3", "x2", "x1"};
    for (std::size_t i = 0; i < AppPreferences::allTurboLimits.size(); ++i) {
        const auto limit = AppPreferences::allTurboLimits[i];
        EXPECT_EQ(rawValue(limit), limits[i]);
        EXPECT_EQ(id(limit), limits[i]);
        EXPECT_EQ(turboLimitFromRawValue(limits[i]), limit);
    }
    const char* formats[][2] = {{"SDS", "SDS"}, {"WAV", "WAV"}, {"AIFF", "AIFF"}, {"None", "Raw SysEx"}};
    for (std::size_t i = 0; i < AppPreferences::allReceiveFormats.size(); ++i) {
        const auto format = AppPreferences::allReceiveFormats[i];
        EXPECT_EQ(rawValue(format), formats[i][0]);
        EXPECT_EQ(id(format), formats[i][0]);
        EXPECT_EQ(displayName(format), formats[i][1]);
        EXPECT_EQ(receiveFormatFromRawValue(formats[i][0]), format);
    }
    for (const char* wrong : {"x13_3", "X20", "none", "x20 ", ""}) EXPECT_FALSE(turboLimitFromRawValue(wrong)) << wrong;
    for (const char* wrong : {"Raw SysEx", "sds", "wav", "rawSDS"}) EXPECT_FALSE(receiveFormatFromRawValue(wrong)) << wrong;
}

TEST(AppPreferencesJSON, RoundTripsAndLeavesAbsentEndpointsOut) {
    AppPreferences p = completeValue();
    const std::string withoutIDs = text(p.encodeJSON());
    EXPECT_EQ(withoutIDs.find("EndpointID"), std::string::npos) << withoutIDs;
    EXPECT_EQ(AppPreferences::decodeJSON(json(withoutIDs)), p);

    p.inputEndpointID = -2147483647 - 1;
    p.outputEndpointID = 2147483647;
    p.delayTicks = std::numeric_limits<int64_t>::max();
    p.deviceNumber = 255;
    EXPECT_EQ(AppPreferences::decodeJSON(p.encodeJSON()), p);
}

struct DecodeCase {
    const char* name;
    std::string json;
    std::optional<AppPreferences> expected;
};

std::optional<AppPreferences> withEndpoints(std::optional<int32_t> in, std::optional<int32_t> out) {
    AppPreferences p = completeValue();
    p.inputEndpointID = in;
    p.outputEndpointID = out;
    return p;
}

std::string withReplaced(const std::string& key, const std::string& value) {
    std::string body = "{" + completeBody + "}";
    const auto at = body.find("\"" + key + "\":");
    const auto valueStart = at + key.size() + 3;
    const auto valueEnd = body.find_first_of(",}", valueStart);
    return body.substr(0, valueStart) + value + body.substr(valueEnd);
}

std::string without(const std::string& key) {
    std::string body = "{" + completeBody + "}";
    const auto at = body.find("\"" + key + "\":");
    auto end = body.find_first_of(",}", at);
    if (body[end] == ',') ++end;
    body.erase(at, end - at);
    if (body[body.size() - 2] == ',') body.erase(body.size() - 2, 1);
    return body;
}

class AppPreferencesDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(AppPreferencesDecoding, IsStrict) {
    EXPECT_EQ(AppPreferences::decodeJSON(json(GetParam().json)), GetParam().expected) << GetParam().json;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppPreferencesDecoding,
    ::testing::Values(
        DecodeCase{"complete", "{" + completeBody + "}", completeValue()},
        DecodeCase{"endpoints", R"({"inputEndpointID":-5,"outputEndpointID":12,)" + completeBody + "}",
                   withEndpoints(-5, 12)},
        DecodeCase{"null endpoints", R"({"inputEndpointID":null,"outputEndpointID":null,)" + completeBody + "}",
                   withEndpoints(std::nullopt, std::nullopt)},
        DecodeCase{"unknown keys", R"({"futureOption":[1,2],)" + completeBody + "}", completeValue()},
        DecodeCase{"whole number written with a fraction", withReplaced("delayTicks", "7.0"), completeValue()},
        DecodeCase{"missing receiveFormat", without("receiveFormat"), std::nullopt},
        DecodeCase{"missing reloadFiles", without("reloadFiles"), std::nullopt},
        DecodeCase{"missing delayTicks", without("delayTicks"), std::nullopt},
        DecodeCase{"case name as turbo limit", withReplaced("turboLimit", R"("x13_3")"), std::nullopt},
        DecodeCase{"upper-case X", withReplaced("turboLimit", R"("X6.7")"), std::nullopt},
        DecodeCase{"display name as format", withReplaced("receiveFormat", R"("Raw SysEx")"), std::nullopt},
        DecodeCase{"number as Boolean", withReplaced("useExtendedSDS", "1"), std::nullopt},
        DecodeCase{"text as Boolean", withReplaced("reloadFiles", R"("true")"), std::nullopt},
        DecodeCase{"null required Boolean", withReplaced("useHandshake", "null"), std::nullopt},
        DecodeCase{"device number 256", withReplaced("deviceNumber", "256"), std::nullopt},
        DecodeCase{"negative device number", withReplaced("deviceNumber", "-1"), std::nullopt},
        DecodeCase{"fractional delay", withReplaced("delayTicks", "1.5"), std::nullopt},
        DecodeCase{"delay beyond 64 bits", withReplaced("delayTicks", "9223372036854775808"), std::nullopt},
        DecodeCase{"text as delay", withReplaced("delayTicks", R"("1")"), std::nullopt},
        DecodeCase{"endpoint beyond 32 bits", R"({"inputEndpointID":2147483648,)" + completeBody + "}", std::nullopt},
        DecodeCase{"array", "[" + completeBody + "]", std::nullopt},
        DecodeCase{"not JSON", "preferences", std::nullopt},
        DecodeCase{"empty", "", std::nullopt}),
    test::CaseName());

class AppPreferencesLoading : public ::testing::Test {
protected:
    InMemoryDefaultsStore store;
    const std::string key = AppPreferences::preferencesKey();
    const std::string marker = AppPreferences::openLoopDelayMarkerKey();
};

TEST_F(AppPreferencesLoading, EmptyStoreGivesDefaultsAndSetsOnlyTheMarker) {
    const AppPreferences loaded = AppPreferences::load(store);
    EXPECT_EQ(loaded, AppPreferences{});
    EXPECT_EQ(loaded.delayTicks, 1);
    EXPECT_EQ(loaded.turboLimit, TurboLimit::none);
    EXPECT_EQ(loaded.receiveFormat, ReceiveFormat::rawSDS);
    EXPECT_FALSE(loaded.inputEndpointID || loaded.outputEndpointID);
    EXPECT_TRUE(store.boolean("org.v764.open-loop-delay-default-v1"));
    EXPECT_FALSE(store.contains("org.v764.preferences.v1"));
}

TEST_F(AppPreferencesLoading, UndecodableValueGivesCompleteDefaultsAndIsLeftAlone) {
    const Bytes stored = json(without("receiveFormat"));
    store.setData(key, stored);
    EXPECT_EQ(AppPreferences::load(store), AppPreferences{});
    EXPECT_EQ(store.data(key), stored);
}

TEST_F(AppPreferencesLoading, LegacyKeyIsRemovedEvenWhenTheRestFailsToDecode) {
    store.setData(key, json(R"({"sendTurboActiveSensing":true,)" + completeBody + "}"));
    EXPECT_EQ(AppPreferences::load(store), completeValue());
    EXPECT_EQ(text(*store.data(key)).find("sendTurboActiveSensing"), std::string::npos);

    store.setData(key, json(R"({"sendTurboActiveSensing":false,"delayTicks":"broken"})"));
    EXPECT_EQ(AppPreferences::load(store), AppPreferences{});
    EXPECT_EQ(text(*store.data(key)), R"({"delayTicks":"broken"})");
}

struct MigrationCase {
    const char* name;
    bool markerSet;
    bool handshake;
    int64_t storedDelay;
    int64_t expectedDelay;
    bool rewritten;
};

class AppPreferencesDelayMigration : public ::testing::TestWithParam<MigrationCase> {};

TEST_P(AppPreferencesDelayMigration, OnlyTheFirstLoadMovesAZeroDelay) {
    const auto& c = GetParam();
    InMemoryDefaultsStore store;
    if (c.markerSet) store.setBoolean(AppPreferences::openLoopDelayMarkerKey(), true);
    AppPreferences stored = completeValue();
    stored.useHandshake = c.handshake;
    stored.delayTicks = c.storedDelay;
    stored.save(store);
    const Bytes before = *store.data(AppPreferences::preferencesKey());

    const AppPreferences loaded = AppPreferences::load(store);
    EXPECT_EQ(loaded.delayTicks, c.expectedDelay);
    const Bytes after = *store.data(AppPreferences::preferencesKey());
    EXPECT_EQ(after != before, c.rewritten);
    EXPECT_EQ(AppPreferences::decodeJSON(after)->delayTicks, c.expectedDelay);
    // The second load never migrates.
    EXPECT_EQ(AppPreferences::load(store).delayTicks, c.expectedDelay);
}

INSTANTIATE_TEST_SUITE_P(Cases, AppPreferencesDelayMigration,
                         ::testing::Values(MigrationCase{"first load", false, false, 0, 1, true},
                                           MigrationCase{"marker already set", true, false, 0, 0, false},
                                           MigrationCase{"handshake on", false, true, 0, 0, false},
                                           MigrationCase{"non-zero delay", false, false, 3, 3, false}),
                         test::CaseName());

TEST_F(AppPreferencesLoading, ZeroDelayChosenAfterAnEmptyFirstLoadIsKept) {
    AppPreferences::load(store);
    AppPreferences chosen;
    chosen.delayTicks = 0;
    chosen.save(store);
    EXPECT_EQ(AppPreferences::load(store).delayTicks, 0);
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
        store->setBoolean("org.v764.off", false);
        store->setData("org.v764.gone", payload);
        store->remove("org.v764.gone");
    }
    auto reopened = SettingsDefaultsStore::suite(file, true);
    EXPECT_EQ(reopened->data("org.v764.preferences.v1"), payload);
    EXPECT_TRUE(reopened->boolean("org.v764.flag"));
    EXPECT_FALSE(reopened->boolean("org.v764.off"));
    EXPECT_FALSE(reopened->boolean("org.v764.missing"));
    EXPECT_FALSE(reopened->data("org.v764.gone"));
    EXPECT_FALSE(reopened->data("org.v764.flag"));
    reopened.reset();
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace k7
