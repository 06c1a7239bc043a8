#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <variant>

#include "ImportTestFiles.h"
#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/FileList/K7ProjectCodec.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7 {
namespace {

namespace fs = std::filesystem;
using Kind = TransferItem::Kind;
using Error = AppModelError;
using test::FileFolder;
using test::concatenated;
using test::genericSysEx;

std::string thrownText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "nothing thrown";
}

std::string posixText(int code) { return std::system_error(code, std::generic_category()).what(); }

// What a read gives: the bytes, the model's own failure, or the errno of a POSIX failure.
using ReadOutcome = std::variant<Bytes, Error, int>;

ReadOutcome readOutcome(const fs::path& path, int64_t maximum) {
    try {
        return AppModel::readBoundedRegularFile(path, maximum);
    } catch (const Error& error) {
        return error;
    } catch (const std::system_error& error) {
        return error.code().value();
    }
}

std::string describe(const ReadOutcome& outcome) {
    if (const auto* bytes = std::get_if<Bytes>(&outcome)) return std::to_string(bytes->size()) + " bytes";
    if (const auto* error = std::get_if<Error>(&outcome)) return error->describe();
    return "errno " + std::to_string(std::get<int>(outcome));
}

TEST(ImportPreparation, KindComesFromTheLastExtensionOfTheNameOnly) {
    const std::pair<const char*, Kind> cases[] = {
        {"/a/kick.syx", Kind::sysEx},   {"/a/KICK.SYX", Kind::sysEx},      {"/a/b.sysx", Kind::sysEx},
        {"/a/b.wav", Kind::wav},        {"/a/b.WAVE", Kind::wav},          {"/a/b.aif", Kind::aiff},
        {"/a/b.aiff", Kind::aiff},      {"/a/b.AIFC", Kind::aiff},         {"/a/set.k7", Kind::project},
        {"/a/set.K7", Kind::project},   {"/a/dump", Kind::unknown},        {"/a/notes.txt", Kind::unknown},
        {"/a/.syx", Kind::unknown},     {"/a/dump.", Kind::unknown},       {"/a/kick.syx.bak", Kind::unknown},
        {"/a/dir.wav/dump", Kind::unknown}, {"/a/kick.wav.syx", Kind::sysEx},
    };
    for (const auto& [path, kind] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(AppModel::kind(path), kind);
    }
}

TEST(ImportPreparation, ReadsOnlyRegularFilesWithinTheirAllowance) {
    FileFolder folder;
    const auto ten = folder.write("ten.syx", Bytes(10, 0x20));
    Bytes large(3 * 1048576 + 5);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7);
    const auto multiChunk = folder.write("large.bin", large);
    const auto empty = folder.write("empty.syx", Bytes{});
    fs::create_directory(folder / "dir");
    ASSERT_EQ(::mkfifo((folder / "pipe.syx").c_str(), 0600), 0);
    fs::create_symlink(ten, folder / "link.syx");
    fs::create_symlink(folder / "gone.syx", folder / "dangling.syx");
    fs::create_symlink(folder / "loop-b", folder / "loop-a");
    fs::create_symlink(folder / "loop-a", folder / "loop-b");
    fs::create_symlink(folder / "dir", folder / "dirlink");
    folder.write("dir/inner.syx", Bytes(4, 0x20));
    fs::create_directory_symlink(folder / "dir", folder / "linked-folder");

    const struct {
        const char* name;
        fs::path path;
        int64_t maximum;
        ReadOutcome expected;
    } cases[] = {
        {"exactly the allowance", ten, 10, Bytes(10, 0x20)},
        {"one byte over, refused from its size", ten, 9, Error(Error::ImportFileTooLarge{10, 9})},
        {"empty with no allowance", empty, 0, Bytes{}},
        {"several read chunks", multiChunk, static_cast<int64_t>(large.size()), large},
        {"folder", folder / "dir", 100, Error(Error::ImportRequiresRegularFile{})},
        {"FIFO without a writer", folder / "pipe.syx", 100, Error(Error::ImportRequiresRegularFile{})},
        {"relative path", "ten.syx", 100, Error(Error::InvalidImportURL{})},
        {"empty path", "", 100, Error(Error::InvalidImportURL{})},
        {"link to a file", folder / "link.syx", 10, Bytes(10, 0x20)},
        {"file below a linked folder", folder / "linked-folder" / "inner.syx", 10, Bytes(4, 0x20)},
        {"dangling link", folder / "dangling.syx", 100, ELOOP},
        {"link loop", folder / "loop-a", 100, ELOOP},
        {"link to a folder", folder / "dirlink", 100, Error(Error::ImportRequiresRegularFile{})},
        {"missing file", folder / "missing.syx", 100, ENOENT},
        // Resolving would cut the path at the NUL and read ten.syx under the kind of a .wav.
        {"NUL inside the path", ten.string() + std::string(1, '\0') + ".wav", 100, EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = readOutcome(c.path, c.maximum);
        EXPECT_TRUE(outcome == c.expected) << describe(outcome) << " instead of " << describe(c.expected);
    }
}

TEST(ImportPreparation, AFileThatGrowsWhileReadIsRefused) {
    // Kernel files report size 0 and then deliver text: the growth after fstat the read must catch.
    const fs::path growing = "/proc/self/status";
    if (!fs::exists(growing)) GTEST_SKIP() << "no " << growing << " on this system";
    const auto outcome = readOutcome(growing, 10);
    EXPECT_TRUE(outcome == ReadOutcome(Error(Error::ImportFileTooLarge{11, 10}))) << describe(outcome);
}

TEST(ImportPreparation, AnUnreadableFileFailsWithItsErrno) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
    FileFolder folder;
    const auto file = folder.write("locked.syx", test::genericSysEx());
    fs::permissions(file, fs::perms::none);
    const auto outcome = readOutcome(file, 100);
    EXPECT_TRUE(outcome == ReadOutcome(EACCES)) << describe(outcome);
}


// The outcome of recognising content, as comparable text.
std::string contentOutcome(ByteView data, Kind declared, const ImportLimits& limits = {}) {
    try {
        return "kind " + std::string(rawValue(AppModel::contentKind(data, declared, limits)));
    } catch (const Error& error) {
        return error.describe();
    } catch (const std::exception& error) {
        return error.what();
    }
}

enum class Decoder { audio, sysEx, project };
using Expected = std::variant<Kind, Error, Decoder>;

std::string expectedOutcome(const Expected& expected, ByteView data) {
    if (const auto* kind = std::get_if<Kind>(&expected)) return "kind " + std::string(rawValue(*kind));
    if (const auto* error = std::get_if<Error>(&expected)) return error->describe();
    switch (std::get<Decoder>(expected)) {
    case Decoder::audio: return thrownText([&] { AudioFileDecoder::decode(data); });
    case Decoder::sysEx: return thrownText([&] { SysExFileCodec::parse(data); });
    case Decoder::project: return thrownText([&] { K7ProjectCodec::sniffFormat(data); });
    }
    return "";
}

TEST(ImportPreparation, ContentDecidesTheKindAndTheDeclaredDecoderExplainsAFailure) {
    const Bytes sysEx = concatenated({genericSysEx(), {'\n'}, genericSysEx(6)});
    const Bytes riffOnly = {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V'};
    const Bytes riffNotWave = {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'X'};
    const Bytes list = test::fileList(3, {{"/a/kick.syx"}});
    const Bytes text = {'h', 'e', 'l', 'l', 'o'};
    const Bytes blank = {' ', '\n', '\t', '\r'};
    const struct {
        const char* name;
        Bytes data;
        Kind declared;
        Expected expected;
    } cases[] = {
        {"WAV under any name", test::wavFile(4), Kind::sysEx, Kind::wav},
        {"AIFF", test::aiffFile(4), Kind::unknown, Kind::aiff},
        {"AIFC", test::aiffFile(4, 1, true), Kind::wav, Kind::aiff},
        {"file list", list, Kind::sysEx, Kind::project},
        {"SysEx with white space", sysEx, Kind::wav, Kind::sysEx},
        {"11 bytes of RIFF are never WAV", riffOnly, Kind::wav, Decoder::audio},
        {"11 bytes of RIFF, nameless", riffOnly, Kind::unknown, Error(Error::UnsupportedImportContent{})},
        {"RIFF without WAVE", riffNotWave, Kind::unknown, Error(Error::UnsupportedImportContent{})},
        {"text declared SysEx", text, Kind::sysEx, Decoder::sysEx},
        {"text declared a list", text, Kind::project, Decoder::project},
        {"text declared audio", text, Kind::aiff, Decoder::audio},
        {"text, nameless", text, Kind::unknown, Error(Error::UnsupportedImportContent{})},
        // No message, nothing to send: an empty or blank file is no SysEx content.
        {"empty declared SysEx", {}, Kind::sysEx, Error(Error::UnsupportedImportContent{})},
        {"blank declared SysEx", blank, Kind::sysEx, Error(Error::UnsupportedImportContent{})},
        {"empty, nameless", {}, Kind::unknown, Error(Error::UnsupportedImportContent{})},
        {"empty declared WAV", {}, Kind::wav, Decoder::audio},
        {"empty declared a list", {}, Kind::project, Decoder::project},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(contentOutcome(c.data, c.declared), expectedOutcome(c.expected, c.data));
    }
}

TEST(ImportPreparation, SysExContentIsBoundedWhateverTheName) {
    ImportLimits limits;
    limits.sysExContentBytes = 16;
    const Bytes atLimit = concatenated({genericSysEx(8), {' ', ' ', ' ', ' '}});  // 11 + 4 + 1
    const Bytes fits = concatenated({atLimit, {' '}});
    const Bytes over = concatenated({fits, {' '}});
    ASSERT_EQ(fits.size(), 16u);
    EXPECT_EQ(contentOutcome(fits, Kind::wav, limits), "kind SysEx");
    EXPECT_EQ(contentOutcome(over, Kind::unknown, limits), Error(Error::ImportFileTooLarge{17, 16}).describe());
}

// One prepared batch, summed up per URL as the item's kind or the failure line.
struct BatchResult {
    PreparedImport prepared;
    std::vector<std::pair<int64_t, int64_t>> progress;
};

BatchResult prepare(const std::vector<fs::path>& urls, const ImportLimits& limits = {}) {
    BatchResult result;
    result.prepared = AppModel::prepareImport(
        urls, [&result](int64_t done, int64_t total) { result.progress.emplace_back(done, total); }, limits);
    return result;
}

std::vector<std::string> itemNames(const PreparedImport& prepared) {
    std::vector<std::string> names;
    for (const auto& item : prepared.items) names.push_back(item.displayName + " " + std::string(rawValue(item.kind)));
    return names;
}

std::string line(const std::string& name, const Error& error) { return name + ": " + error.message(); }

TEST(ImportPreparation, ANameThatContradictsTheContentFailsAndANamelessFileTakesItsContent) {
    FileFolder folder;
    const Bytes sysEx = genericSysEx();
    const Bytes wav = test::wavFile(4);
    const std::vector<fs::path> urls = {
        folder.write("kick.wav", sysEx),      folder.write("kick.bin", sysEx),
        folder.write("Kick.SYX", sysEx),      folder.write("dump", wav),
        folder.write("dump.syx", wav),        folder.write("set.syx", test::fileList(0, {})),
        folder.write("song.aif", test::aiffFile(4)), folder.write("song.aifc", test::aiffFile(4, 2, true)),
        folder.write("notes.txt", "hello"),   folder.write("blank", " \n"),
    };
    const auto result = prepare(urls);
    EXPECT_EQ(itemNames(result.prepared),
              (std::vector<std::string>{"kick.bin SysEx", "Kick.SYX SysEx", "dump WAV", "song.aif AIFF",
                                        "song.aifc AIFF"}));
    EXPECT_EQ(result.prepared.failures,
              (std::vector<std::string>{
                  line("kick.wav", Error(Error::FileContentMismatch{"wav", "SysEx"})),
                  line("dump.syx", Error(Error::FileContentMismatch{"syx", "WAV"})),
                  line("set.syx", Error(Error::FileContentMismatch{"syx", "K7"})),
                  line("notes.txt", Error(Error::UnsupportedImportContent{})),
                  line("blank", Error(Error::UnsupportedImportContent{})),
              }));
    std::vector<std::pair<int64_t, int64_t>> expectedProgress;
    for (int64_t i = 1; i <= 10; ++i) expectedProgress.emplace_back(i, 10);
    EXPECT_EQ(result.progress, expectedProgress);
}

TEST(ImportPreparation, EachKindOfFileHasItsCapAtItsBoundary) {
    FileFolder folder;
    const struct {
        const char* name;
        int64_t size;
        std::optional<Error> expected;
    } cases[] = {
        {"big.syx", 67108865, Error(Error::ImportFileTooLarge{67108865, 67108864})},
        {"big.k7", 1048577, Error(Error::ImportFileTooLarge{1048577, 1048576})},
        {"big.wav", 536870913, Error(Error::ImportFileTooLarge{536870913, 536870912})},
        {"big.aiff", 536870913, Error(Error::ImportFileTooLarge{536870913, 536870912})},
        {"big", 536870913, Error(Error::ImportFileTooLarge{536870913, 536870912})},
        // At its cap a file is read; its zero bytes are then simply no list.
        {"full.k7", 1048576, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = prepare({folder.sparse(c.name, c.size)});
        ASSERT_EQ(result.prepared.failures.size(), 1u);
        if (c.expected) {
            EXPECT_EQ(result.prepared.failures.front(), line(c.name, *c.expected));
        } else {
            EXPECT_EQ(result.prepared.failures.front(),
                      c.name + std::string(": ") + thrownText([] { K7ProjectCodec::sniffFormat(Bytes(1048576, 0)); }));
        }
    }
}

TEST(ImportPreparation, SysExContentOverItsCapIsReadUnderAnAudioNameAndThenRefused) {
    FileFolder folder;
    Bytes content(67108865, ' ');
    const Bytes message = genericSysEx();
    std::copy(message.begin(), message.end(), content.begin());
    const auto file = folder.write("huge.wav", content);
    content = {};
    const auto result = prepare({file});
    EXPECT_EQ(result.prepared.failures,
              std::vector<std::string>{line("huge.wav", Error(Error::ImportFileTooLarge{67108865, 67108864}))});
}

TEST(ImportPreparation, ThePayloadBudgetBoundsWhatABatchKeeps) {
    FileFolder folder;
    ImportLimits limits;
    limits.payloadBudget = 100;
    const auto file = [&](const std::string& name, std::size_t size) {
        return folder.write(name, genericSysEx(size - 3));
    };
    const auto result = prepare({file("a.syx", 40), file("b.syx", 40), file("c.syx", 30), file("d.syx", 20),
                                 file("e.syx", 5), file("f.syx", 5)},
                                limits);
    EXPECT_EQ(itemNames(result.prepared), (std::vector<std::string>{"a.syx SysEx", "b.syx SysEx", "d.syx SysEx"}));
    EXPECT_EQ(result.prepared.retainedByteCount(), 100);
    EXPECT_EQ(result.prepared.failures, (std::vector<std::string>{
                                            line("c.syx", Error(Error::ImportPayloadLimit{100})),
                                            line("e.syx", Error(Error::ImportPayloadLimit{100})),
                                            line("f.syx", Error(Error::ImportPayloadLimit{100})),
                                        }));
    EXPECT_EQ(result.progress.size(), 6u);

    // Rows of a file list draw on what the batch has left.
    const auto list = folder.write("set.k7", test::fileList(0, {{"a.syx"}, {"c.syx"}, {"b.syx"}, {"e.syx"}}));
    const auto listed = prepare({folder / "d.syx", list}, limits);
    EXPECT_EQ(itemNames(listed.prepared),
              (std::vector<std::string>{"d.syx SysEx", "a.syx SysEx", "c.syx SysEx", "e.syx SysEx"}));
    EXPECT_EQ(listed.prepared.failures,
              std::vector<std::string>{"set.k7 \u2192 b.syx: " + Error(Error::ImportPayloadLimit{100}).message()});
}

// What the batch has left is no limit of the file's: a refusal names the full batch, or the
// file's own cap when it is over that too.
TEST(ImportPreparation, AFileRefusedByTheBatchsRemainderNamesTheFullBatch) {
    FileFolder folder;
    ImportLimits limits;
    limits.payloadBudget = 100;
    limits.projectFileBytes = 4;
    const auto first = folder.write("first.syx", genericSysEx(96));  // 99 bytes: 1 left
    const struct {
        const char* name;
        fs::path file;
        Error expected;
    } cases[] = {
        {"7 bytes of SysEx", folder.write("small.syx", genericSysEx(4)), Error(Error::ImportPayloadLimit{100})},
        {"a file over its own cap", folder.write("list.k7", test::fileList(0, {})),
         Error(Error::ImportFileTooLarge{15, 4})},
        {"a nameless file", folder.write("dump", genericSysEx(4)), Error(Error::ImportPayloadLimit{100})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = prepare({first, c.file}, limits);
        EXPECT_EQ(itemNames(result.prepared), std::vector<std::string>{"first.syx SysEx"});
        EXPECT_EQ(result.prepared.failures,
                  std::vector<std::string>{line(c.file.filename().string(), c.expected)});
    }
}

TEST(ImportPreparation, AFileListExpandsOneLevelWithALineForEachBadRow) {
    FileFolder folder;
    fs::create_directory(folder / "sub");
    folder.write("a.syx", genericSysEx());
    folder.write("sub/b.wav", test::wavFile(8, 2));
    folder.write("c.wav", genericSysEx());
    folder.write("inner.k7", test::fileList(9, {{"a.syx"}}));
    folder.write("inner-named.syx", test::fileList(9, {{"a.syx"}}));
    const auto list = folder.write("set.k7", test::fileList(12, {
                                                                  {"a.syx", 1, 2},
                                                                  {"sub/b.wav", 2, 1},
                                                                  {"missing.syx"},
                                                                  {"inner.k7"},
                                                                  {"inner-named.syx"},
                                                                  {"c.wav"},
                                                                  {(folder / "sub/b.wav").string(), 0, 0},
                                                              }));
    const auto result = prepare({list});
    const auto& prepared = result.prepared;
    EXPECT_EQ(itemNames(prepared), (std::vector<std::string>{"a.syx SysEx", "b.wav WAV", "b.wav WAV"}));
    ASSERT_EQ(prepared.items.size(), 3u);
    EXPECT_EQ(prepared.items[0].loopMode, TransferItem::LoopMode::forceOn);
    EXPECT_EQ(prepared.items[0].stereoMode, TransferItem::StereoMode::right);
    EXPECT_EQ(prepared.items[1].loopMode, TransferItem::LoopMode::forceOff);
    EXPECT_EQ(prepared.items[1].stereoMode, TransferItem::StereoMode::left);
    EXPECT_EQ(prepared.items[1].sourceURL, folder / "sub/b.wav");
    EXPECT_EQ(prepared.failures,
              (std::vector<std::string>{
                  "set.k7 \u2192 missing.syx: " + posixText(ENOENT),
                  "set.k7 \u2192 inner.k7: " + Error(Error::NestedProjectNotSupported{}).message(),
                  "set.k7 \u2192 inner-named.syx: " + Error(Error::NestedProjectNotSupported{}).message(),
                  "set.k7 \u2192 c.wav: " + Error(Error::FileContentMismatch{"wav", "SysEx"}).message(),
              }));
    EXPECT_EQ(prepared.samplePosition, std::optional<uint32_t>(12));
    EXPECT_EQ(result.progress, (std::vector<std::pair<int64_t, int64_t>>{{1, 1}}));
}

TEST(ImportPreparation, AListThatCannotBeDecodedFailsAsOneLineAndTheLastListSetsThePosition) {
    FileFolder folder;
    folder.write("a.syx", genericSysEx());
    Bytes broken = test::fileList(1, {{"a.syx"}});
    broken.pop_back();  // the last field loses its NUL
    const auto result = prepare({folder.write("first.k7", test::fileList(5, {{"a.syx"}})),
                                 folder.write("broken.k7", broken),
                                 folder.write("empty.k7", test::fileList(7, {}))});
    EXPECT_EQ(itemNames(result.prepared), std::vector<std::string>{"a.syx SysEx"});
    EXPECT_EQ(result.prepared.failures,
              std::vector<std::string>{"broken.k7: " + thrownText([&] {
                                           K7ProjectCodec::decodeSniffed(broken, folder / "broken.k7");
                                       })});
    EXPECT_EQ(result.prepared.samplePosition, std::optional<uint32_t>(7));
}

TEST(ImportPreparation, TheItemLimitCountsListRowsAndNamesEveryFileItStops) {
    FileFolder folder;
    folder.write("a.syx", genericSysEx());
    const auto big = folder.write("big.k7", test::fileList(0, std::vector<test::ListRow>(9999, {"a.syx"})));
    const auto small = folder.write("small.k7", test::fileList(0, {{"a.syx"}, {"a.syx"}, {"a.syx"}}));
    const auto after = folder.write("after.syx", genericSysEx());
    const auto result = prepare({big, small, after});
    EXPECT_EQ(result.prepared.items.size(), 10000u);
    const Error limit(Error::ImportItemLimit{10000});
    EXPECT_EQ(result.prepared.failures, (std::vector<std::string>{
                                            "small.k7 \u2192 a.syx: " + limit.message(),
                                            "small.k7 \u2192 a.syx: " + limit.message(),
                                            line("after.syx", limit),
                                        }));
}

TEST(ImportPreparation, ItemsCarryTheFileAndWhatWasFoundInIt) {
    FileFolder folder;
    const Bytes sysEx = concatenated({genericSysEx(), {' '}});
    const Bytes wav = test::wavFile(8, 1, 44100, test::Loop{2, 5});
    const auto result = prepare({folder.write("one.syx", sysEx), folder.write("loop.wav", wav),
                                 folder.write("song.aiff", test::aiffFile(6, 2)),
                                 folder.write("set.k7", test::fileList(0, {}))});
    const auto& items = result.prepared.items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].sourceURL, folder / "one.syx");
    EXPECT_EQ(items[0].data, sysEx);
    EXPECT_EQ(items[0].byteCount, static_cast<int64_t>(sysEx.size()));
    EXPECT_EQ(items[0].device, TransferItem::Device::unknown);
    EXPECT_EQ(items[0].detail,
              "1 complete SysEx message; message bytes are preserved exactly. 1 non-MIDI whitespace byte remains in "
              "the file and is not sent.");
    EXPECT_FALSE(items[0].audioSample);
    EXPECT_EQ(items[0].messageCount, 1);
    EXPECT_EQ(items[1].detail, "Sample length: 8  Channels: 1  Sample rate: 44100 Hz  Bits: 16  Loop 2\u20135");
    EXPECT_EQ(items[1].device, TransferItem::Device::notApplicable);
    EXPECT_TRUE(items[1].audioSample);
    EXPECT_TRUE(items[1].sendMethod.is<TransferSendMethod::AudioSDS>());
    EXPECT_EQ(items[2].detail, "Sample length: 6  Channels: 2  Sample rate: 44100 Hz  Bits: 16  No loop");
    EXPECT_EQ(result.prepared.retainedByteCount(),
              static_cast<int64_t>(sysEx.size() + wav.size() + test::aiffFile(6, 2).size()));
    for (const auto& item : items) {
        SCOPED_TRACE(item.displayName);
        EXPECT_EQ(item.loopMode, TransferItem::LoopMode::file);
        EXPECT_EQ(item.stereoMode, TransferItem::StereoMode::mix);
        EXPECT_EQ(item.state, TransferItem::State{});
        EXPECT_FALSE(item.id.isNull());
    }
    EXPECT_NE(items[0].id, items[1].id);
}

TEST(ImportPreparation, SysExDetailCountsMessagesAndWhiteSpace) {
    const struct {
        std::vector<Bytes> parts;
        const char* detail;
    } cases[] = {
        {{genericSysEx()}, "1 complete SysEx message; bytes are preserved exactly."},
        {{genericSysEx(), genericSysEx()}, "2 complete SysEx messages; bytes are preserved exactly."},
        {{genericSysEx(), {'\r', '\n', ' '}, genericSysEx()},
         "2 complete SysEx messages; message bytes are preserved exactly. 3 non-MIDI whitespace bytes remain in the "
         "file and are not sent."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.detail);
        EXPECT_EQ(AppModel::makeTransferItem("/a/x.syx", concatenated(c.parts), Kind::sysEx).detail, c.detail);
    }
    const auto unknown = AppModel::makeTransferItem("/a/x.bin", {1, 2, 3}, Kind::unknown);
    EXPECT_EQ(unknown.detail, "Unknown file type.");
    EXPECT_EQ(unknown.device, TransferItem::Device::unknown);
}

TEST(ImportPreparation, DeviceIsTheOneInstrumentTheMessagesBelongTo) {
    using Device = TransferItem::Device;
    const Bytes machinedrum = test::elektronMessage(0x02);
    const Bytes unframed = {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x52, 0x80, 0xF7};
    const struct {
        const char* name;
        std::vector<Bytes> messages;
        Device device;
    } cases[] = {
        {"nothing", {}, Device::unknown},
        {"another maker", {genericSysEx()}, Device::unknown},
        {"Machinedrum", {machinedrum}, Device::machinedrum},
        {"Machinedrum with sample names", {machinedrum, test::sps1UWName("KICK"), genericSysEx()}, Device::machinedrum},
        {"one Turbo frame more", {machinedrum, test::sps1UWName("KICK"), test::turboQuery()}, Device::multiple},
        {"TM-1", {test::turboQuery()}, Device::tm1},
        {"Monomachine", {test::elektronMessage(0x03)}, Device::monomachine},
        {"not a well-formed message", {machinedrum, unframed}, Device::machinedrum},
        {"SIDstation", {test::elektronMessage(0x01)}, Device::sidstation},
        {"Octatrack", {test::elektronMessage(0x05)}, Device::octatrack},
        {"Analog Four", {test::elektronMessage(0x06)}, Device::analogFour},
        {"Analog Rytm", {test::elektronMessage(0x07)}, Device::analogRytm},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AppModel::device(c.messages), c.device);
    }
}

TEST(ImportPreparation, BatchFailureMessageCountsFailuresAndKeptItems) {
    const struct {
        std::vector<std::string> failures;
        int64_t kept;
        const char* text;
    } cases[] = {
        {{"a: x"}, 0,
         "Could not load 1 item. No invalid item was added. Check the named files and try again.\n\u2022 a: x"},
        {{"a: x", "b: y"}, 3,
         "Could not load 2 items. 3 valid items were kept. Check the named files and try again.\n"
         "\u2022 a: x\n\u2022 b: y"},
        {{"a: x"}, 1,
         "Could not load 1 item. 1 valid item was kept. Check the named files and try again.\n\u2022 a: x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AppModel::batchFailureMessage("load", c.failures, c.kept), c.text);
    }
}

}  // namespace
}  // namespace k7
