#include <gtest/gtest.h>

#include <string>

#include "K7Core/K7ProjectCodec.h"

namespace k7 {

namespace k7_project_codec_error {
// Failure messages name the case and its payload.
void PrintTo(const K7ProjectCodecErrorCase& errorCase, std::ostream* out) {
    *out << K7ProjectCodecError::describeCase(errorCase);
}
}  // namespace k7_project_codec_error

namespace {

namespace fs = std::filesystem;
using Error = K7ProjectCodecError;
using Format = K7ProjectFormat;
using Limits = K7ProjectCodec::Limits;

const fs::path listFile = "/home/user/Music/Lists/My List.k7";

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }
std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

template <typename Body>
Error::Case errorOf(Body&& body) {
    try {
        body();
    } catch (const Error& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no K7ProjectCodecError thrown";
    return Error::UnrecognizedFormat{};
}

K7Project projectWith(std::vector<fs::path> paths, uint32_t position = 0) {
    K7Project project{position, {}};
    int i = 0;
    for (auto& path : paths) {
        project.items.push_back({std::move(path), static_cast<K7LoopMode>(i % 3), static_cast<K7StereoMode>(i / 3 % 3)});
        ++i;
    }
    return project;
}

struct RoundTrip {
    const char* name;
    K7Project project;
    std::vector<std::string> storedPaths;  // how the rows appear in the file
    friend void PrintTo(const RoundTrip& c, std::ostream* out) { *out << c.name; }
};

class K7ProjectRoundTripTests : public ::testing::TestWithParam<std::tuple<Format, RoundTrip>> {};

TEST_P(K7ProjectRoundTripTests, DecodesToWhatWasEncodedWithPathsStoredAsExpected) {
    const auto& [format, trip] = GetParam();
    const auto bytes = K7ProjectCodec::encode(trip.project, format, listFile);
    EXPECT_EQ(K7ProjectCodec::sniffFormat(bytes), format);
    EXPECT_EQ(K7ProjectCodec::decodeSniffed(bytes, listFile), trip.project);
    const auto text = textOf(bytes);
    for (const auto& stored : trip.storedPaths) {
        const auto framed = format == Format::legacyV0 ? std::string(1, '\0') + stored + '\0'
                                                       : "<string>" + stored + "</string>";
        EXPECT_NE(text.find(framed), std::string::npos) << stored;
    }
    // Moving the list and its folder together keeps relative rows pointing into the new folder.
    const fs::path moved = "/mnt/backup/Lists/My List.k7";
    const auto relocated = K7ProjectCodec::decodeSniffed(bytes, moved);
    for (std::size_t row = 0; row < trip.storedPaths.size(); ++row) {
        if (trip.storedPaths[row].front() != '/') {
            EXPECT_EQ(relocated.items[row].fileURL, moved.parent_path() / trip.storedPaths[row]);
        }
    }
}

const std::vector<RoundTrip> roundTrips{
    {"empty", K7Project{}, {}},
    {"largestPosition", projectWith({"/home/user/Music/Lists/a.wav"}, UINT32_MAX), {"a.wav"}},
    {"everyMode",
     projectWith({"/x/1.wav", "/x/2.wav", "/x/3.wav", "/x/4.wav", "/x/5.wav", "/x/6.wav", "/x/7.wav", "/x/8.wav",
                  "/x/9.wav"}),
     {"/x/1.wav", "/x/9.wav"}},
    {"belowAndBeside",
     projectWith({"/home/user/Music/Lists/Drums/Kick 01.wav", "/home/user/Music/Samples/Snare.aif"}, 17),
     {"Drums/Kick 01.wav", "/home/user/Music/Samples/Snare.aif"}},
    {"nonASCII",
     projectWith({"/home/user/Music/Lists/Œuvres/café – übung.syx", "/home/user/音楽/ドラム.wav", "/tmp/🥁.wav"}),
     {"Œuvres/café – übung.syx", "/home/user/音楽/ドラム.wav", "/tmp/🥁.wav"}},
    {"dotSegmentsStayAbsolute",
     projectWith({"/home/user/Music/Lists/../Samples/Hat.wav", "/home/user/Music/Lists/./Hat.wav"}),
     {"/home/user/Music/Lists/../Samples/Hat.wav", "./Hat.wav"}},
    {"xmlSpecialCharacters", projectWith({"/home/user/Music/Lists/R&B <live> \"mix\".syx"}),
     {}},
    {"spacesOnlyName", projectWith({"/home/user/Music/Lists/ "}), {" "}},
    {"similarFolderName", projectWith({"/home/user/Music/Lists2/a.wav"}), {"/home/user/Music/Lists2/a.wav"}},
};

INSTANTIATE_TEST_SUITE_P(BothFormats, K7ProjectRoundTripTests,
                         ::testing::Combine(::testing::Values(Format::legacyV0, Format::macOSXMLPropertyListV1),
                                            ::testing::ValuesIn(roundTrips)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Format::legacyV0 ? "legacy_" : "xml_") +
                                    std::get<1>(info.param).name;
                         });

TEST(K7ProjectCodecTests, ListInTheRootFolderStoresBareNames) {
    const auto project = projectWith({"/kick.wav", "/sub/snare.wav"});
    for (auto format : {Format::legacyV0, Format::macOSXMLPropertyListV1}) {
        const auto bytes = K7ProjectCodec::encode(project, format, "/list.k7");
        EXPECT_NE(textOf(bytes).find("sub/snare.wav"), std::string::npos);
        EXPECT_EQ(textOf(bytes).find("/sub/snare.wav"), std::string::npos);
        EXPECT_EQ(K7ProjectCodec::decodeSniffed(bytes, "/list.k7"), project);
    }
}

TEST(K7ProjectCodecTests, LegacyLayoutIsFixed) {
    K7Project project{42, {{"/home/user/Music/Lists/a b.wav", K7LoopMode::disabled, K7StereoMode::leftChannel}}};
    const std::string expected("K7FILELIST\0" "0\0" "42\0" "a b.wav\0" "2\0" "1\0", 28);
    EXPECT_EQ(textOf(K7ProjectCodec::encode(project, Format::legacyV0, listFile)), expected);
}

struct LimitCase {
    const char* name;
    Limits limits;
    K7Project project;
    std::optional<Error::Case> error;
    friend void PrintTo(const LimitCase& c, std::ostream* out) { *out << c.name; }
};

class K7ProjectLimitTests : public ::testing::TestWithParam<std::tuple<Format, LimitCase>> {};

TEST_P(K7ProjectLimitTests, EncodeAndDecodeStopAtTheSameLimits) {
    const auto& [format, c] = GetParam();
    if (!c.error) {
        const auto bytes = K7ProjectCodec::encode(c.project, format, listFile, c.limits);
        EXPECT_EQ(K7ProjectCodec::decodeSniffed(bytes, listFile, c.limits), c.project);
        return;
    }
    EXPECT_EQ(errorOf([&] { K7ProjectCodec::encode(c.project, format, listFile, c.limits); }), *c.error);
    const auto bytes = K7ProjectCodec::encode(c.project, format, listFile, {1048576, 10000, 65536});
    EXPECT_EQ(errorOf([&] { K7ProjectCodec::decodeSniffed(bytes, listFile, c.limits); }), *c.error);
}

K7Project rows(std::size_t count) {
    return projectWith(std::vector<fs::path>(count, "/home/user/Music/Lists/a.wav"));
}
K7Project pathOfLength(std::size_t bytes) {
    return projectWith({"/home/user/Music/Lists/" + std::string(bytes - 4, 'p') + ".wav"});
}

const std::vector<LimitCase> limitCases{
    {"rowsAtLimit", {1048576, 3, 4096}, rows(3), std::nullopt},
    {"rowsOverLimit", {1048576, 3, 4096}, rows(4), Error::TooManyRows{4, 3}},
    {"pathAtLimit", {1048576, 10000, 4096}, pathOfLength(4096), std::nullopt},
    {"pathOverLimit", {1048576, 10000, 4096}, pathOfLength(4097), Error::PathTooLong{0, 4097, 4096}},
    {"defaultPathOverLimit", Limits::defaults(), pathOfLength(4097), Error::PathTooLong{0, 4097, 4096}},
};

INSTANTIATE_TEST_SUITE_P(BothFormats, K7ProjectLimitTests,
                         ::testing::Combine(::testing::Values(Format::legacyV0, Format::macOSXMLPropertyListV1),
                                            ::testing::ValuesIn(limitCases)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Format::legacyV0 ? "legacy_" : "xml_") +
                                    std::get<1>(info.param).name;
                         });

TEST(K7ProjectCodecTests, TotalByteLimitIsInclusive) {
    for (auto format : {Format::legacyV0, Format::macOSXMLPropertyListV1}) {
        const auto project = rows(5);
        const auto bytes = K7ProjectCodec::encode(project, format, listFile);
        const auto size = static_cast<int64_t>(bytes.size());
        const Limits exact{size, 10, 100};
        const Limits under{size - 1, 10, 100};
        EXPECT_EQ(K7ProjectCodec::encode(project, format, listFile, exact), bytes);
        EXPECT_EQ(K7ProjectCodec::decodeSniffed(bytes, listFile, exact), project);
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::encode(project, format, listFile, under); }),
                  Error::Case(Error::TooManyBytes{size, size - 1}));
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::decodeSniffed(bytes, listFile, under); }),
                  Error::Case(Error::TooManyBytes{size, size - 1}));
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::sniffFormat(bytes, under); }),
                  Error::Case(Error::TooManyBytes{size, size - 1}));
    }
}

TEST(K7ProjectCodecTests, LimitsBelowOneAreRefusedEverywhere) {
    const std::vector<std::pair<Limits, Error::InvalidLimits>> cases{
        {{0, 1, 1}, {"maximumTotalBytes", 0}},
        {{1, -5, 1}, {"maximumRows", -5}},
        {{1, 1, 0}, {"maximumPathBytes", 0}},
    };
    const auto bytes = K7ProjectCodec::encode(K7Project{}, Format::legacyV0, listFile);
    for (const auto& [limits, expected] : cases) {
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::encode(K7Project{}, Format::legacyV0, listFile, limits); }),
                  Error::Case(expected));
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::decodeSniffed(bytes, listFile, limits); }), Error::Case(expected));
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::sniffFormat(bytes, limits); }), Error::Case(expected));
    }
    EXPECT_EQ(Limits::defaults(), (Limits{1048576, 10000, 4096}));
}

struct RowCase {
    const char* name;
    std::string path;
    std::optional<Error::Case> legacyError;  // nil: the legacy format carries it
    Error::Case xmlError;
    friend void PrintTo(const RowCase& c, std::ostream* out) { *out << c.name; }
};

// Row faults are found when writing and, for lists written by others, when reading.
class K7ProjectRowTests : public ::testing::TestWithParam<RowCase> {};

TEST_P(K7ProjectRowTests, UnsafePathsAreRefusedBothWays) {
    const auto& c = GetParam();
    const auto project = projectWith({"/home/user/a.wav", c.path});
    EXPECT_EQ(errorOf([&] { K7ProjectCodec::encode(project, Format::macOSXMLPropertyListV1, listFile); }), c.xmlError);
    if (!c.legacyError) {
        const auto bytes = K7ProjectCodec::encode(project, Format::legacyV0, listFile);
        EXPECT_EQ(K7ProjectCodec::decodeSniffed(bytes, listFile), project);
        return;
    }
    EXPECT_EQ(errorOf([&] { K7ProjectCodec::encode(project, Format::legacyV0, listFile); }), *c.legacyError);

    if (c.path.empty() || c.path.front() != '/' || c.path.find('\0') != std::string::npos) return;
    const std::string legacy = std::string("K7FILELIST\0" "0\0" "0\0" "a.wav\0" "0\0" "0\0", 25) + c.path +
                               std::string("\0" "0\0" "0\0", 5);
    EXPECT_EQ(errorOf([&] { K7ProjectCodec::decodeSniffed(bytesOf(legacy), listFile); }), *c.legacyError);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, K7ProjectRowTests,
    ::testing::Values(
        RowCase{"nul", std::string("/home/a\0b.wav", 13), Error::UnsafePath{1, 0}, Error::UnsafePath{1, 0}},
        RowCase{"escape", "/home/a\x1b.wav", Error::UnsafePath{1, 0x1B}, Error::UnsafePath{1, 0x1B}},
        RowCase{"lineFeed", "/home/a\nb.wav", Error::UnsafePath{1, 0x0A}, Error::UnsafePath{1, 0x0A}},
        RowCase{"delete", "/home/a\x7f.wav", Error::UnsafePath{1, 0x7F}, Error::UnsafePath{1, 0x7F}},
        RowCase{"c1Control", "/home/a\xc2\x85.wav", Error::UnsafePath{1, 0x85}, Error::UnsafePath{1, 0x85}},
        RowCase{"latin1Byte", "/home/caf\xe9.wav", Error::InvalidUTF8{1, 9}, Error::InvalidUTF8{1, 9}},
        RowCase{"overlongSlash", "/home/a\xc0\xaf.wav", Error::InvalidUTF8{1, 7}, Error::InvalidUTF8{1, 7}},
        RowCase{"surrogate", "/home/a\xed\xa0\x80.wav", Error::InvalidUTF8{1, 7}, Error::InvalidUTF8{1, 7}},
        RowCase{"beyondUnicode", "/home/a\xf4\x90\x80\x80.wav", Error::InvalidUTF8{1, 7}, Error::InvalidUTF8{1, 7}},
        RowCase{"truncatedSequence", "/home/a\xe2\x82", Error::InvalidUTF8{1, 7}, Error::InvalidUTF8{1, 7}},
        RowCase{"xmlNonCharacter", "/home/a\xef\xbf\xbe.wav", std::nullopt,
                Error::InvalidXMLCharacter{1, 0xFFFE}},
        RowCase{"folder", "/home/user/", Error::InvalidItemFileURL{1}, Error::InvalidItemFileURL{1}},
        RowCase{"relative", "a.wav", Error::InvalidItemFileURL{1}, Error::InvalidItemFileURL{1}},
        RowCase{"empty", "", Error::InvalidItemFileURL{1}, Error::InvalidItemFileURL{1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(K7ProjectCodecTests, TheListItselfMustBeAnAbsoluteFile) {
    for (const fs::path& location : {fs::path("Lists/a.k7"), fs::path("/home/user/Lists/"), fs::path()}) {
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::encode(K7Project{}, Format::legacyV0, location); }),
                  Error::Case(Error::InvalidProjectFileURL{}));
        const auto bytes = K7ProjectCodec::encode(K7Project{}, Format::legacyV0, listFile);
        EXPECT_EQ(errorOf([&] { K7ProjectCodec::decodeSniffed(bytes, location); }),
                  Error::Case(Error::InvalidProjectFileURL{}));
    }
}

std::string plist(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(body) + "\n</plist>\n";
}

std::string listDict(std::string_view items, std::string_view extra = "") {
    return "<dict><key>version</key><integer>1</integer><key>samplePosition</key><integer>3</integer>" +
           std::string(extra) + "<key>items</key><array>" + std::string(items) + "</array></dict>";
}

std::string row(std::string_view path, std::string_view loop = "enabled", std::string_view stereo = "rightChannel") {
    return "<dict><key>path</key><string>" + std::string(path) + "</string><key>loopMode</key><string>" +
           std::string(loop) + "</string><key>stereoMode</key><string>" + std::string(stereo) + "</string></dict>";
}

TEST(K7ProjectCodecTests, ReadsPropertyListsWrittenByOthers) {
    const std::vector<std::pair<std::string, std::string>> documents{
        {"keys in another order, comments, white space and unknown keys",
         "\xef\xbb\xbf  <!-- saved elsewhere -->\n" +
             plist("<dict>\n  <key>items</key>\n  <array>\n    " + row("../Samples/Kick.wav") +
                   "\n  </array>\n  <key>future</key><dict><key>on</key><true/><key>n</key><real>1.5</real></dict>"
                   "\n  <key>samplePosition</key> <integer> 3 </integer>\n  <key>version</key><integer>+1</integer>"
                   "\n</dict>")},
        {"CDATA and a character reference", plist(listDict(row("<![CDATA[../Samples/]]>Kick&#46;wav")))},
    };
    for (const auto& [what, document] : documents) {
        const auto project = K7ProjectCodec::decodeSniffed(bytesOf(document), listFile);
        EXPECT_EQ(project, (K7Project{3, {{"/home/user/Music/Lists/../Samples/Kick.wav", K7LoopMode::enabled,
                                           K7StereoMode::rightChannel}}}))
            << what;
        EXPECT_EQ(K7ProjectCodec::sniffFormat(bytesOf(document)), Format::macOSXMLPropertyListV1);
    }
}

struct BadDocument {
    const char* name;
    std::string data;
    Error::Case error;
    friend void PrintTo(const BadDocument& c, std::ostream* out) { *out << c.name; }
};

class K7ProjectBadDocumentTests : public ::testing::TestWithParam<BadDocument> {};

TEST_P(K7ProjectBadDocumentTests, IsRefusedWithItsReason) {
    const auto& c = GetParam();
    const auto error = errorOf([&] { K7ProjectCodec::decodeSniffed(bytesOf(c.data), listFile); });
    if (std::holds_alternative<Error::MalformedXML>(c.error)) {
        EXPECT_TRUE(std::holds_alternative<Error::MalformedXML>(error)) << Error::describeCase(error);
    } else if (const auto* expected = std::get_if<Error::MalformedPropertyList>(&c.error)) {
        const auto* actual = std::get_if<Error::MalformedPropertyList>(&error);
        ASSERT_TRUE(actual) << Error::describeCase(error);
        EXPECT_NE(actual->reason.find(expected->reason), std::string::npos) << actual->reason;
    } else {
        EXPECT_EQ(error, c.error) << Error::describeCase(error);
    }
}

Error::Case propertyList(std::string reasonPart) { return Error::MalformedPropertyList{std::move(reasonPart)}; }
Error::Case legacy(std::string reason, std::size_t offset) { return Error::MalformedLegacyList{std::move(reason), offset}; }
std::string legacyData(std::string_view afterSignature) { return std::string("K7FILELIST\0", 11) + std::string(afterSignature); }

INSTANTIATE_TEST_SUITE_P(
    Documents, K7ProjectBadDocumentTests,
    ::testing::Values(
        BadDocument{"empty", "", Error::UnrecognizedFormat{}},
        BadDocument{"sysEx", "\xf0\x7e\x00\x01\xf7", Error::UnrecognizedFormat{}},
        BadDocument{"otherXML", "<svg><g/></svg>", Error::UnrecognizedFormat{}},
        BadDocument{"brokenXML", plist("<dict><key>version</key>"), Error::MalformedXML{"", 0}},
        BadDocument{"unknownElement", plist(listDict(row("a.wav"), "<key>x</key><script/>")),
                    propertyList("<script> is not a property-list element")},
        BadDocument{"attribute", plist(listDict("<dict kind=\"x\"></dict>")), propertyList("has attributes")},
        BadDocument{"versionTwo", plist("<dict><key>version</key><integer>2</integer></dict>"),
                    Error::UnsupportedVersion{"2"}},
        BadDocument{"versionAsString", plist("<dict><key>version</key><string>1</string></dict>"),
                    propertyList("\"version\" is not a <integer>")},
        BadDocument{"noItems",
                    plist("<dict><key>version</key><integer>1</integer><key>samplePosition</key><integer>0</integer>"
                          "</dict>"),
                    propertyList("has no \"items\"")},
        BadDocument{"duplicateKey", plist(listDict(row("a.wav"), "<key>samplePosition</key><integer>1</integer>")),
                    propertyList("appears twice")},
        BadDocument{"textInDict", plist(listDict("", "stray")), propertyList("holds text outside its elements")},
        BadDocument{"rowNotDict", plist(listDict("<string>a.wav</string>")), propertyList("row 1 is not a <dict>")},
        BadDocument{"unknownMode", plist(listDict(row("a.wav", "sometimes"))), propertyList("not a known mode")},
        BadDocument{"negativePosition",
                    plist("<dict><key>version</key><integer>1</integer><key>samplePosition</key><integer>-1</integer>"
                          "<key>items</key><array/></dict>"),
                    propertyList("sample position")},
        BadDocument{"tooDeep",
                    plist(listDict("", "<key>deep</key>" + [] {
                        std::string s;
                        for (int i = 0; i < 40; ++i) s += "<array>";
                        for (int i = 0; i < 40; ++i) s += "</array>";
                        return s;
                    }())),
                    propertyList("nested more than")},
        BadDocument{"nulByReference", plist(listDict(row("a&#x00;b.wav"))), Error::MalformedXML{"", 0}},
        BadDocument{"nulByDecimalReference", plist(listDict(row("a.wav", "enabled&#0;x"))), Error::MalformedXML{"", 0}},
        BadDocument{"controlByReference", plist(listDict(row("a&#27;.wav"))), Error::UnsafePath{0, 0x1B}},
        BadDocument{"nonCharacterByReference", plist(listDict(row("a&#xFFFE;.wav"))),
                    Error::InvalidXMLCharacter{0, 0xFFFE}},
        BadDocument{"legacyVersionOne", legacyData(std::string("1\0" "0\0", 4)), Error::UnsupportedVersion{"1"}},
        BadDocument{"legacyNoVersion", legacyData(""), legacy("the format version is missing", 11)},
        BadDocument{"legacyLeadingZero", legacyData(std::string("0\0" "07\0", 5)),
                    legacy("the sample position is not a decimal number", 13)},
        BadDocument{"legacyPositionTooLarge", legacyData(std::string("0\0" "4294967296\0", 13)),
                    legacy("the sample position is beyond 4294967295", 13)},
        BadDocument{"legacyIncompleteRow", legacyData(std::string("0\0" "0\0" "a.wav\0" "1\0", 12)),
                    legacy("the stereo mode is missing", 23)},
        BadDocument{"legacyBadMode", legacyData(std::string("0\0" "0\0" "a.wav\0" "3\0" "0\0", 14)),
                    legacy("the loop mode is not 0, 1 or 2", 21)},
        BadDocument{"legacyUnterminated", legacyData(std::string("0\0" "0\0" "a.wav", 9)),
                    legacy("the path has no terminating NUL", 15)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(K7ProjectCodecTests, TooManyRowsAreRefusedBeforeTheirPathsAreRead) {
    std::string items;
    for (int i = 0; i < 4; ++i) items += row("\x1b");
    EXPECT_EQ(errorOf([&] { K7ProjectCodec::decodeSniffed(bytesOf(plist(listDict(items))), listFile, {1048576, 3, 10}); }),
              Error::Case(Error::TooManyRows{4, 3}));
}

TEST(K7ProjectCodecTests, ErrorTextsAreWholeSentencesWithRowsCountedFromOne) {
    const std::vector<std::pair<Error, std::string>> cases{
        {Error(Error::UnsafePath{0, 0x1B}),
         "The path of file-list row 1 holds the control character U+001B, which file lists do not allow; rename the "
         "file and try again."},
        {Error(Error::TooManyRows{10001, 10000}), "The file list has 10001 rows, more than the limit of 10000."},
        {Error(Error::InvalidLimits{"maximumRows", 0}),
         "The file-list limit maximumRows is 0, but every limit must be at least 1."},
    };
    for (const auto& [error, text] : cases) EXPECT_EQ(error.what(), text);
    EXPECT_EQ(Error(Error::PathTooLong{2, 5000, 4096}).describe(), "pathTooLong(row: 2, byteCount: 5000, maximum: 4096)");
}

}  // namespace
}  // namespace k7
