#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Stores/DefaultsStore.h"

namespace k7 {

// The one persistent settings record. Stored as one JSON object whose keys are the field names.
struct AppPreferences {
    // The highest Turbo speed the user allows, in the order the settings list offers them.
    enum class TurboLimit { none, x20, x16, x13_3, x10, x8, x6_7, x5, x4, x3_3, x2, x1 };
    // What a received SDS dump becomes.
    enum class ReceiveFormat { rawSDS, wav, aiff, none };

    static constexpr std::array<TurboLimit, 12> allTurboLimits{
        TurboLimit::none, TurboLimit::x20, TurboLimit::x16, TurboLimit::x13_3, TurboLimit::x10, TurboLimit::x8,
        TurboLimit::x6_7, TurboLimit::x5,  TurboLimit::x4,  TurboLimit::x3_3,  TurboLimit::x2,  TurboLimit::x1};
    static constexpr std::array<ReceiveFormat, 4> allReceiveFormats{ReceiveFormat::rawSDS, ReceiveFormat::wav,
                                                                    ReceiveFormat::aiff, ReceiveFormat::none};

    std::optional<int32_t> inputEndpointID;
    std::optional<int32_t> outputEndpointID;
    bool reloadFiles = false;
    // Open-loop delay after each SysEx message in ticks of 1/60 s; the send clamps it to 0...120.
    int64_t delayTicks = 1;
    TurboLimit turboLimit = TurboLimit::none;
    bool useHandshake = false;
    bool useExtendedSDS = false;
    bool sendSPS1UWName = false;
    uint8_t deviceNumber = 0;
    ReceiveFormat receiveFormat = ReceiveFormat::rawSDS;

    bool operator==(const AppPreferences&) const = default;

    static std::string preferencesKey();
    static std::string openLoopDelayMarkerKey();

    // The store the application uses: in a test process (see testProcessEnvironmentVariable) a
    // separate suite named after the process, otherwise the user's own settings. Created once.
    static DefaultsStore& defaultStore();
    // The suite name defaultStore() uses in this process, or nothing outside tests.
    static std::optional<std::string> testSuiteName();

    // Never fails to the caller: an encoding failure writes nothing.
    void save(DefaultsStore& store) const;
    // Never fails: anything unreadable gives the defaults. Sets the one-time delay marker, drops
    // the legacy "sendTurboActiveSensing" key and migrates a first-load delay of 0 without handshake.
    static AppPreferences load(DefaultsStore& store);

    Bytes encodeJSON() const;
    // Strict: every non-optional key present with a value of its exact type and range; unknown
    // keys ignored. Nothing on any fault.
    static std::optional<AppPreferences> decodeJSON(ByteView json);
};

std::string_view rawValue(AppPreferences::TurboLimit limit);
std::string_view rawValue(AppPreferences::ReceiveFormat format);
// The id of either enumeration is its raw value.
inline std::string_view id(AppPreferences::TurboLimit limit) { return rawValue(limit); }
inline std::string_view id(AppPreferences::ReceiveFormat format) { return rawValue(format); }
std::string_view displayName(AppPreferences::ReceiveFormat format);
// Exact, case-sensitive match of a raw value.
std::optional<AppPreferences::TurboLimit> turboLimitFromRawValue(std::string_view text);
std::optional<AppPreferences::ReceiveFormat> receiveFormatFromRawValue(std::string_view text);

}  // namespace k7
