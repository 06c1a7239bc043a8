#include <gtest/gtest.h>

#include <string>

#include "K7Core/FileList/K7ProjectCodec.h"
#include "TestBytes.h"

namespace k7 {

namespace k7_project_codec_error {
void PrintTo(const K7ProjectCodecErrorCase& errorCase, std::ostream* out) {
    *out << K7ProjectCodecError::describeCase(errorCase);
}
}  // namespace k7_project_codec_error

namespace {

namespace fs = std::filesystem;
using Codec = K7ProjectCodec;
using Error = K7ProjectCodecError;
using Format = K7ProjectFormat;
using Limits = K7ProjectCodec::Limits;

const fs::path listFile = "/home/user/Music/Lists/My List.k7";
const Format bothFormats[] = {Format::legacyV0, Format::macOSXMLPropertyListV1};

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }
std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

template <typename Body>
Error::Case errorOf(Body&& body) {
    const auto error = test::thrown<Error>(body);
    if (!error) ADD_FAILURE() << "no K7ProjectCodecError thrown";
    return error ? error->errorCase() : Error::Case(Error::UnrecognizedFormat{});
}

// Rows cycle through every loop and stereo mode.
K7Project projectWith(std::vector<fs::path> paths, uint32_t position = 0) {
    K7Project project{position, {}};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        project.items.push_back({paths[i], static_cast<K7LoopMode>(i % 3), static_cast<K7StereoMode>(i / 3 % 3)});
    }
    return project;
}

struct RoundTrip {
    const char* name;
    K7Project project;
    std::vector<std::string> storedPaths;  // how the first rows appear in the file
    fs::path list = listFile;
    friend void PrintTo(const RoundTrip& c, std::ostream* out) { *out << c.name; }
};

class K7ProjectRoundTripTests : public ::testing::TestWithParam<std::tuple<Format, RoundTrip>> {};

TEST_P(K7ProjectRoundTripTests, DecodesToWhatWasEncodedWithPathsStoredAsExpected) {
    const auto& [format, trip] = GetParam();
    const auto bytes = Codec::encode(trip.project, format, trip.list);
    EXPECT_EQ(Codec::sniffFormat(bytes), format);
    EXPECT_EQ(Codec::decodeSniffed(bytes, trip.list), trip.project);
    // Moving the list and its folder together keeps relative rows pointing into the new folder.
    const fs::path moved = "/mnt/backup/Lists/My List.k7";
    const auto relocated = Codec::decodeSniffed(bytes, moved);
    for (std::size_t row = 0; row < trip.storedPaths.size(); ++row) {
        const auto& stored = trip.storedPaths[row];
        const auto framed = format == Format::legacyV0 ? '\0' + stored + '\0' : "<string>" + stored + "</string>";
        EXPECT_NE(textOf(bytes).find(framed), std::string::npos) << stored;
        if (stored.front() != '/') {
            EXPECT_EQ(relocated.items[row].fileURL, moved.parent_path() / stored);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothFormats, K7ProjectRoundTripTests,
    ::testing::Combine(
        ::testing::ValuesIn(bothFormats),
        ::testing::Values(
            RoundTrip{"empty", K7Project{}, {}},
            RoundTrip{"largestPosition", projectWith({"/home/user/Music/Lists/a.wav"}, UINT32_MAX), {"a.wav"}},
            RoundTrip{"everyMode", projectWith({"/x/1", "/x/2", "/x/3", "/x/4", "/x/5", "/x/6", "/x/7", "/x/8", "/x/9"}),
                      {"/x/1"}},
            RoundTrip{"belowAndBeside",
                      projectWith({"/home/user/Music/Lists/Drums/Kick 01.wav", "/home/user/Music/Samples/Snare.aif"}, 17),
                      {"Drums/Kick 01.wav", "/home/user/Music/Samples/Snare.aif"}},
            RoundTrip{"nonASCII",
                      projectWith({"/home/user/Music/Lists/Œuvres/café – übung.syx", "/home/user/音楽/ド.wav",
                                   "/tmp/🥁"}),
                      {"Œuvres/café – übung.syx", "/home/user/音楽/ド.wav", "/tmp/🥁"}},
            RoundTrip{"dotSegmentsStayAbsolute",
                      projectWith({"/home/user/Music/Lists/../Samples/Hat.wav", "/home/user/Music/Lists/./Hat.wav"}),
                      {"/home/user/Music/Lists/../Samples/Hat.wav", "./Hat.wav"}},
            RoundTrip{"xmlSpecialCharacters", projectWith({"/home/user/Music/Lists/R&B <live> \"mix\".syx"}), {}},
            RoundTrip{"similarFolderName", projectWith({"/home/user/Music/Lists2/a.wav"}), {"/home/user/Music/Lists2/a.wav"}},
            RoundTrip{"listInTheRootFolder", projectWith({"/kick.wav", "/sub/snare.wav"}), {"kick.wav", "sub/snare.wav"},
                      "/list.k7"})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Format::legacyV0 ? "legacy_" : "xml_") + std::get<1>(info.param).name;
    });

TEST(K7ProjectCodecTests, LegacyLayoutIsFixed) {
    K7Project project{42, {{"/home/user/Music/Lists/a b.wav", K7LoopMode::disabled, K7StereoMode::leftChannel}}};
    const std::string expected("K7FILELIST\0" "0\0" "42\0" "a b.wav\0" "2\0" "1\0", 28);
    EXPECT_EQ(textOf(Codec::encode(project, Format::legacyV0, listFile)), expected);
}

K7Project rows(std::size_t count) { return projectWith(std::vector<fs::path>(count, "/home/user/Music/Lists/a.wav")); }
K7Project pathOfLength(std::size_t bytes) {
    return projectWith({"/home/user/Music/Lists/" + std::string(bytes - 4, 'p') + ".wav"});
}

// Every limit is inclusive, and encoding, sniffing and decoding stop at the same one.
TEST(K7ProjectCodecTests, LimitsAreInclusiveBothWays) {
    for (auto format : bothFormats) {
        const auto size = static_cast<int64_t>(Codec::encode(rows(5), format, listFile).size());
        const std::vector<std::tuple<K7Project, Limits, Limits, Error::Case>> cases{
            {rows(3), {1048576, 3, 4096}, {1048576, 2, 4096}, Error::TooManyRows{3, 2}},
            {pathOfLength(4096), Limits::defaults(), {1048576, 10000, 4095}, Error::PathTooLong{0, 4096, 4095}},
            {rows(5), {size, 10, 100}, {size - 1, 10, 100}, Error::TooManyBytes{size, size - 1}},
        };
        for (const auto& [project, at, over, error] : cases) {
            const auto bytes = Codec::encode(project, format, listFile, at);
            EXPECT_EQ(Codec::decodeSniffed(bytes, listFile, at), project);
            EXPECT_EQ(errorOf([&, &project = project, &over = over] { Codec::encode(project, format, listFile, over); }), error);
            EXPECT_EQ(errorOf([&, &over = over] { Codec::decodeSniffed(bytes, listFile, over); }), error);
        }
        const auto fiveRows = Codec::encode(rows(5), format, listFile);
        EXPECT_EQ(errorOf([&] { Codec::sniffFormat(fiveRows, {size - 1, 10, 100}); }), std::get<3>(cases[2]));
        EXPECT_EQ(errorOf([&] { Codec::encode(pathOfLength(4097), format, listFile); }),
                  Error::Case(Error::PathTooLong{0, 4097, 4096}));
    }
}

TEST(K7ProjectCodecTests, BadLimitsAndListLocationsAreRefusedBeforeAnythingIsRead) {
    const auto bytes = Codec::encode(K7Project{}, Format::legacyV0, listFile);
    const std::vector<std::tuple<Limits, fs::path, Error::Case>> cases{
        {{0, 1, 1}, listFile, Error::InvalidLimits{"maximumTotalBytes", 0}},
        {{1, -5, 1}, listFile, Error::InvalidLimits{"maximumRows", -5}},
        {{1, 1, 0}, listFile, Error::InvalidLimits{"maximumPathBytes", 0}},
        {Limits::defaults(), "Lists/a.k7", Error::InvalidProjectFileURL{}},
        {Limits::defaults(), "/home/user/Lists/", Error::InvalidProjectFileURL{}},
        {Limits::defaults(), "", Error::InvalidProjectFileURL{}},
    };
    for (const auto& [limits, location, expected] : cases) {
        EXPECT_EQ(errorOf([&location = location, &limits = limits] { Codec::encode(K7Project{}, Format::legacyV0, location, limits); }), expected);
        EXPECT_EQ(errorOf([&, &location = location, &limits = limits] { Codec::decodeSniffed(bytes, location, limits); }), expected);
    }
    EXPECT_EQ(errorOf([&] { Codec::sniffFormat(bytes, {1, 1, 0}); }), std::get<2>(cases[2]));
}

// Row faults are found when writing and, for lists written by others, when reading.
TEST(K7ProjectCodecTests, UnsafePathsAreRefusedBothWays) {
    const auto unsafe = [](uint32_t character) { return Error::Case(Error::UnsafePath{1, character}); };
    const auto utf8 = [](std::size_t offset) { return Error::Case(Error::InvalidUTF8{1, offset}); };
    const Error::Case notAFile = Error::InvalidItemFileURL{1};
    // The XML error, and the legacy one when that format cannot carry the path either.
    const std::vector<std::tuple<std::string, Error::Case, std::optional<Error::Case>>> cases{
        {std::string("/home/a\0b.wav", 13), unsafe(0), unsafe(0)},
        {"/home/a\x1b.wav", unsafe(0x1B), unsafe(0x1B)},
        {"/home/a\x7f.wav", unsafe(0x7F), unsafe(0x7F)},
        {"/home/a\xc2\x85.wav", unsafe(0x85), unsafe(0x85)},             // a C1 control
        {"/home/caf\xe9.wav", utf8(9), utf8(9)},                         // Latin-1
        {"/home/a\xc0\xaf.wav", utf8(7), utf8(7)},                       // an overlong slash
        {"/home/a\xed\xa0\x80.wav", utf8(7), utf8(7)},                   // a surrogate
        {"/home/a\xf4\x90\x80\x80.wav", utf8(7), utf8(7)},               // beyond Unicode
        {"/home/a\xe2\x82", utf8(7), utf8(7)},                           // cut short
        {"/home/a\xef\xbf\xbe.wav", Error::InvalidXMLCharacter{1, 0xFFFE}, std::nullopt},
        {"/home/user/", notAFile, notAFile},
        {"a.wav", notAFile, notAFile},
        {"", notAFile, notAFile},
    };
    for (const auto& [path, xmlError, legacyError] : cases) {
        SCOPED_TRACE(path);
        const auto project = projectWith({"/home/user/a.wav", path});
        EXPECT_EQ(errorOf([&] { Codec::encode(project, Format::macOSXMLPropertyListV1, listFile); }), xmlError);
        if (!legacyError) {
            EXPECT_EQ(Codec::decodeSniffed(Codec::encode(project, Format::legacyV0, listFile), listFile), project);
            continue;
        }
        EXPECT_EQ(errorOf([&] { Codec::encode(project, Format::legacyV0, listFile); }), *legacyError);
        if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) continue;
        const std::string legacy = std::string("K7FILELIST\0" "0\0" "0\0" "a.wav\0" "0\0" "0\0", 25) + path +
                                   std::string("\0" "0\0" "0\0", 5);
        EXPECT_EQ(errorOf([&] { Codec::decodeSniffed(bytesOf(legacy), listFile); }), *legacyError);
    }
}

std::string plist(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(body) + "\n</plist>\n";
}
std::string header(std::string_view position) {
    return "<dict><key>version</key><integer>1</integer><key>samplePosition</key><integer>" + std::string(position) +
           "</integer>";
}
std::string listDict(std::string_view items, std::string_view extra = "") {
    return header("3") + std::string(extra) + "<key>items</key><array>" + std::string(items) + "</array></dict>";
}
std::string row(std::string_view path, std::string_view loop = "enabled") {
    return "<dict><key>path</key><string>" + std::string(path) + "</string><key>loopMode</key><string>" +
           std::string(loop) + "</string><key>stereoMode</key><string>rightChannel</string></dict>";
}

TEST(K7ProjectCodecTests, ReadsPropertyListsWrittenByOthers) {
    const std::vector<std::string> documents{
        // Keys in another order, a comment, white space and unknown keys.
        "\xef\xbb\xbf  <!-- saved elsewhere -->\n" +
            plist("<dict>\n  <key>items</key>\n  <array>\n    " + row("../Samples/Kick.wav") +
                  "\n  </array>\n  <key>future</key><dict><key>on</key><true/><key>n</key><real>1.5</real></dict>"
                  "\n  <key>samplePosition</key> <integer> 3 </integer>\n  <key>version</key><integer>+1</integer>"
                  "\n</dict>"),
        plist(listDict(row("<![CDATA[../Samples/]]>Kick&#46;wav"))),
    };
    for (const auto& document : documents) {
        EXPECT_EQ(Codec::decodeSniffed(bytesOf(document), listFile),
                  (K7Project{3, {{"/home/user/Music/Lists/../Samples/Kick.wav", K7LoopMode::enabled,
                                  K7StereoMode::rightChannel}}}))
            << document;
        EXPECT_EQ(Codec::sniffFormat(bytesOf(document)), Format::macOSXMLPropertyListV1);
    }
}

std::string nested(int depth) { return depth == 0 ? "" : "<array>" + nested(depth - 1) + "</array>"; }
template <std::size_t N>
std::string legacyData(const char (&afterSignature)[N]) {
    return std::string("K7FILELIST\0", 11) + std::string(afterSignature, N - 1);
}

// For malformed XML only the case is compared; for a malformed property list, part of the reason.
TEST(K7ProjectCodecTests, RefusesBadDocumentsWithTheirReason) {
    const auto plistReason = [](std::string part) { return Error::Case(Error::MalformedPropertyList{std::move(part)}); };
    const auto legacy = [](std::string why, std::size_t at) { return Error::Case(Error::MalformedLegacyList{why, at}); };
    const Error::Case malformedXML = Error::MalformedXML{"", 0};
    const std::vector<std::pair<std::string, Error::Case>> documents{
        {"", Error::UnrecognizedFormat{}},
        {"\xf0\x7e\x7f\x06\x01\xf7", Error::UnrecognizedFormat{}},  // a SysEx message
        {"<svg><g/></svg>", Error::UnrecognizedFormat{}},
        {plist("<dict><key>version</key>"), malformedXML},
        {plist(listDict(row("a.wav"), "<key>x</key><script/>")), plistReason("<script> is not a property-list element")},
        {plist(listDict("<dict kind=\"x\"></dict>")), plistReason("has attributes")},
        {plist("<dict><key>version</key><integer>2</integer></dict>"), Error::UnsupportedVersion{"2"}},
        {plist("<dict><key>version</key><string>1</string></dict>"), plistReason("\"version\" is not a <integer>")},
        {plist(header("0") + "</dict>"), plistReason("has no \"items\"")},
        {plist(listDict(row("a.wav"), "<key>samplePosition</key><integer>1</integer>")), plistReason("appears twice")},
        {plist(listDict("", "stray")), plistReason("holds text outside its elements")},
        {plist(listDict("<string>a.wav</string>")), plistReason("row 1 is not a <dict>")},
        {plist(listDict(row("a.wav", "sometimes"))), plistReason("not a known mode")},
        {plist(header("-1") + "<key>items</key><array/></dict>"), plistReason("sample position")},
        {plist(listDict("", "<key>deep</key>" + nested(40))), plistReason("nested more than")},
        // A reference to U+0000 used to cut the text short, so a row could name another file than it shows.
        {plist(listDict(row("a&#x00;b.wav"))), malformedXML},
        {plist(listDict(row("a.wav", "enabled&#0;x"))), malformedXML},
        {plist(listDict(row("a&#27;.wav"))), Error::UnsafePath{0, 0x1B}},
        {plist(listDict(row("a&#xFFFE;.wav"))), Error::InvalidXMLCharacter{0, 0xFFFE}},
        {legacyData("1\0" "0\0"), Error::UnsupportedVersion{"1"}},
        {legacyData(""), legacy("the format version is missing", 11)},
        {legacyData("0\0" "07\0"), legacy("the sample position is not a decimal number", 13)},
        {legacyData("0\0" "4294967296\0"), legacy("the sample position is beyond 4294967295", 13)},
        {legacyData("0\0" "0\0" "a.wav\0" "1\0"), legacy("the stereo mode is missing", 23)},
        {legacyData("0\0" "0\0" "a.wav\0" "3\0" "0\0"), legacy("the loop mode is not 0, 1 or 2", 21)},
        {legacyData("0\0" "0\0" "a.wav"), legacy("the path has no terminating NUL", 15)},
    };
    for (const auto& [document, expected] : documents) {
        const auto error = errorOf([&, &document = document] { Codec::decodeSniffed(bytesOf(document), listFile); });
        const auto* expectedList = std::get_if<Error::MalformedPropertyList>(&expected);
        const auto* actualList = std::get_if<Error::MalformedPropertyList>(&error);
        if (std::holds_alternative<Error::MalformedXML>(expected)) {
            EXPECT_TRUE(std::holds_alternative<Error::MalformedXML>(error)) << Error::describeCase(error);
        } else if (expectedList) {
            EXPECT_TRUE(actualList && actualList->reason.find(expectedList->reason) != std::string::npos)
                << Error::describeCase(error) << " for " << expectedList->reason;
        } else {
            EXPECT_EQ(error, expected) << document;
        }
    }
}

TEST(K7ProjectCodecTests, TooManyRowsAreRefusedBeforeTheirPathsAreReadAndRowsCountFromOne) {
    std::string items;
    for (int i = 0; i < 4; ++i) items += row("\x1b");
    EXPECT_EQ(errorOf([&] { Codec::decodeSniffed(bytesOf(plist(listDict(items))), listFile, {1048576, 3, 10}); }),
              Error::Case(Error::TooManyRows{4, 3}));
    // Texts count rows from one.
    EXPECT_STREQ(Error(Error::UnsafePath{0, 0x1B}).what(),
                 "The path of file-list row 1 holds the control character U+001B, which file lists do not allow; "
                 "rename the file and try again.");
    EXPECT_EQ(Error(Error::PathTooLong{2, 5000, 4096}).describe(), "pathTooLong(row: 2, byteCount: 5000, maximum: 4096)");
}

}  // namespace
}  // namespace k7
