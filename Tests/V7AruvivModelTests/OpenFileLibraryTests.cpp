// The rig first: Qt's "emit" macro must not reach the simulated studio.
#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include "ImportTestFiles.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;
using test::FileFolder;
using Error = AppModelError;
using Loop = TransferItem::LoopMode;
using Stereo = TransferItem::StereoMode;

const std::string legacyKey = "org.v764.open-file-paths";

std::string nameOutcome(const std::string& proposed, const std::string& current) {
    try {
        return AppModel::normalizedDisplayName(proposed, current);
    } catch (const Error& error) {
        return "refused: " + error.message();
    }
}

TEST(NameRules, NamesAreTrimmedCheckedAndKeepTheirType) {
    const std::string slashes =
        "refused: File names cannot contain slashes, colons, backslashes, or control characters.";
    const std::string enter = "refused: Enter a file name.";
    const std::string period = "refused: File names cannot end with a period.";
    const std::string tooLong = "refused: File names must be 255 UTF-8 bytes or fewer.";
    const std::string keepWav = "refused: Keep the .wav extension so the displayed type remains accurate.";
    const std::string e = "\u00E9";  // two bytes
    std::string e125, e126;
    for (int i = 0; i < 125; ++i) e125 += e;
    e126 = e125 + e;
    const struct {
        std::string proposed;
        std::string current;
        std::string expected;
    } cases[] = {
        {"Snare", "Kick.wav", "Snare.wav"},
        {" \n Snare\t ", "Kick.wav", "Snare.wav"},
        {"Snare.WAV", "Kick.wav", "Snare.WAV"},
        {"Snare.wav", "Kick.WAV", "Snare.wav"},
        {"Snare.aif", "Kick.wav", keepWav},
        {"Snare.", "Kick.wav", period},
        {"  ", "Kick.wav", enter},
        {".", "Kick.wav", enter},
        {" .. ", "Kick.wav", enter},
        {"Dump.syx", "Dump", "Dump.syx"},
        {"Dump.tar.gz", ".syx", "Dump.tar.gz"},  // a leading dot is no extension
        {".hidden", "Kick.wav", ".hidden.wav"},
        {"a\tb", "Kick.wav", slashes},
        {"a:b", "Kick.wav", slashes},
        {"a/b", "Kick.wav", slashes},
        {"a\\b", "Kick.wav", slashes},
        {"a\u200Db", "Kick.wav", slashes},  // zero-width joiner, Cf
        {"a\u00ADb", "Kick.wav", slashes},  // soft hyphen, Cf
        {"a\u0085b", "Kick.wav", slashes},  // next line, Cc inside a name
        {"a\u007Fb", "Kick.wav", slashes},
        {std::string(251, 'a'), "x.wav", std::string(251, 'a') + ".wav"},
        {std::string(252, 'a'), "x.wav", tooLong},
        {std::string(255, 'a') + ".wav", "x.wav", tooLong},
        {e125, "x.wav", e125 + ".wav"},
        {e126, "x.wav", tooLong},
        {"Kick\u0301.syx", "Kick.syx", "Kick\u0301.syx"},  // kept as typed; comparison folds it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proposed + " for " + c.current);
        EXPECT_EQ(nameOutcome(c.proposed, c.current), c.expected);
    }
}

TEST(NameRules, ExportNamesNeedAnExtensionOfTheirKind) {
    using Kind = TransferItem::Kind;
    const struct {
        std::string name;
        Kind kind;
        std::optional<Error> expected;
    } cases[] = {
        {"Loop.SYSX", Kind::sysEx, std::nullopt},
        {"Loop.syx", Kind::sysEx, std::nullopt},
        {"Loop.wav", Kind::sysEx, Error(Error::InvalidExportExtension{"Loop.wav", {"sysx", "syx"}})},
        {"Loop", Kind::aiff, Error(Error::InvalidExportExtension{"Loop", {"aif", "aifc", "aiff"}})},
        {"Loop.aifc", Kind::aiff, std::nullopt},
        {"Loop.Wave", Kind::wav, std::nullopt},
        {"set.k7", Kind::wav, Error(Error::InvalidExportExtension{"set.k7", {"wav", "wave"}})},
        {"set.K7", Kind::project, std::nullopt},
        {"any.syx", Kind::unknown, Error(Error::UnsupportedExportType{})},
        {"", Kind::unknown, Error(Error::InvalidItemName{"Enter a file name."})},
        {"a/b.syx", Kind::sysEx,
         Error(Error::InvalidItemName{
             "File names cannot contain slashes, colons, backslashes, or control characters."})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Error> thrown;
        try {
            AppModel::validateExportName(c.name, c.kind);
        } catch (const Error& error) {
            thrown = error;
        }
        EXPECT_EQ(thrown ? thrown->describe() : "passes", c.expected ? c.expected->describe() : "passes");
    }
}

// The next launch, finding `records` stored.
void restartWith(AppModelRig& rig, const Bytes& records) {
    rig.store->setData(openFileRecordsKey, records);
    rig.restart();
}

Bytes encodedRecords(const std::vector<PersistedOpenItem>& records) {
    QJsonArray array;
    for (const auto& record : records) array.append(record.toJSON());
    const auto json = QJsonDocument(array).toJson();
    return Bytes(json.begin(), json.end());
}

TEST(OpenFileLibrary, TheReopenPreferenceWritesOrRemovesTheRecordsAtOnce) {
    FileFolder folder;
    AppModelRig rig;
    rig.store->setData(legacyKey, Bytes{'x'});
    rig->importFromUser({folder.write("a.syx", test::genericSysEx())});
    rig.settle();
    EXPECT_FALSE(rig.store->contains(openFileRecordsKey));
    EXPECT_FALSE(rig.store->contains(legacyKey));  // every write while off removes the old key too

    auto preferences = rig->preferences();
    preferences.reloadFiles = true;
    rig->setPreferences(preferences);
    ASSERT_TRUE(storedRecords(*rig.store));
    EXPECT_EQ(storedRecords(*rig.store)->size(), 1u);

    rig.store->setData(legacyKey, Bytes{'x'});
    rig->persistOpenFiles();
    EXPECT_TRUE(rig.store->contains(legacyKey));  // left alone while reopening is on

    preferences.reloadFiles = false;
    rig->setPreferences(preferences);
    EXPECT_FALSE(rig.store->contains(openFileRecordsKey));
    EXPECT_FALSE(rig.store->contains(legacyKey));
}

// Every item from a file is stored with its name and modes as they change, and reopened so.
TEST(OpenFileLibrary, TheNextStartReopensTheFilesWithTheirNamesAndModes) {
    FileFolder folder;
    const auto syx = folder.write("a.syx", test::genericSysEx());
    const auto kick = folder.write("kick.wav", test::wavFile(4));
    const auto hat = folder.write("hat.wav", test::wavFile(4));
    AppModelRig rig(reopening());
    rig->importFromUser({syx, kick, hat});
    rig.settle();
    EXPECT_EQ(storedRecords(*rig.store)->size(), 3u);
    auto items = rig->items();
    items.insert(items.begin() + 1, receivedItem("received.syx", "\xF0\xF7"));  // never stored
    rig->setItems(items);
    rig->setSelection({items[2].id});
    rig->updateSelectedLoopMode(Loop::forceOn);
    rig->updateSelectedStereoMode(Stereo::left);
    ASSERT_TRUE(rig->renameItem(items[2].id, "Snare"));
    const std::vector<PersistedOpenItem> stored{{syx.string(), "a.syx", Loop::file, Stereo::mix},
                                                {kick.string(), "Snare.wav", Loop::forceOn, Stereo::left},
                                                {hat.string(), "hat.wav", Loop::file, Stereo::mix}};
    EXPECT_EQ(storedRecords(*rig.store), stored);
    fs::remove(hat);  // gone by the next start

    rig.restart();
    EXPECT_TRUE(rig->isImporting());
    rig.settle();
    ASSERT_EQ(rig->items().size(), 2u);
    EXPECT_EQ(rig->items()[0].displayName, "a.syx");
    EXPECT_EQ(rig->items()[1].displayName, "Snare.wav");
    EXPECT_EQ(rig->items()[1].loopMode, Loop::forceOn);
    EXPECT_EQ(rig->items()[1].stereoMode, Stereo::left);
    ASSERT_TRUE(rig->alertMessage());
    EXPECT_NE(rig->alertMessage()->find("hat.wav: "), std::string::npos);
    EXPECT_EQ(storedRecords(*rig.store), std::vector<PersistedOpenItem>(stored.begin(), stored.end() - 1));

    rig->setItems({receivedItem("only.syx", "\xF0\xF7")});
    rig->persistOpenFiles();
    EXPECT_EQ(rig.store->data(openFileRecordsKey), Bytes({'[', ']'}));
}

// Linux names are bytes: a Latin-1 name is no UTF-8, and must still name the same file next time.
TEST(OpenFileLibrary, AFileWhoseNameIsNoUTF8IsReopenedAcrossRestarts) {
    FileFolder folder;
    const auto cafe = folder.write("Caf\xE9.wav", test::wavFile(4));
    AppModelRig rig(reopening());
    rig->importFromUser({cafe});
    rig.settle();
    ASSERT_EQ(rig->items().size(), 1u);
    rig->setSelection({rig->items()[0].id});
    rig->updateSelectedLoopMode(Loop::forceOff);

    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        rig.restart();
        rig.settle();
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        ASSERT_EQ(rig->items().size(), 1u);
        EXPECT_EQ(rig->items()[0].sourceURL, cafe);
        EXPECT_EQ(rig->items()[0].loopMode, Loop::forceOff);
        const auto records = storedRecords(*rig.store);
        ASSERT_TRUE(records);
        ASSERT_EQ(records->size(), 1u);
        EXPECT_EQ(records->at(0).path, cafe.native());
    }
}

// A row of the list as the user left it.
struct Row {
    std::string name;
    Loop loop;
    Stereo stereo;
};

void expectRows(const std::vector<TransferItem>& items, const std::vector<Row>& rows) {
    ASSERT_EQ(items.size(), rows.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + ", " + rows[i].name);
        EXPECT_EQ(items[i].displayName, rows[i].name);
        EXPECT_EQ(items[i].loopMode, rows[i].loop);
        EXPECT_EQ(items[i].stereoMode, rows[i].stereo);
    }
}

// Both channels of one stereo file, each sent to its own slot from its own row.
TEST(OpenFileLibrary, AFileLoadedTwiceGetsBackEachRowsNameAndModes) {
    FileFolder folder;
    const auto pad = folder.write("pad.wav", test::wavFile(4, 2));
    AppModelRig rig(reopening());
    rig->importFromUser({pad});
    rig->importFromUser({pad});
    rig.settle();
    const std::vector<Row> rows{{"Pad L.wav", Loop::forceOn, Stereo::left},
                                {"Pad R.wav", Loop::forceOff, Stereo::right}};
    ASSERT_EQ(rig->items().size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QUuid id = rig->items()[i].id;
        rig->setSelection({id});
        rig->updateSelectedLoopMode(rows[i].loop);
        rig->updateSelectedStereoMode(rows[i].stereo);
        ASSERT_TRUE(rig->renameItem(id, rows[i].name));
    }

    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        rig.restart();
        rig.settle();
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        expectRows(rig->items(), rows);
    }
}

TEST(OpenFileLibrary, EachStoredRecordIsMatchedToItsOwnItemInOrder) {
    FileFolder folder;
    const auto kick = folder.write("kick.wav", test::wavFile(4)).string();
    const auto snare = folder.write("snare.wav", test::wavFile(4)).string();
    const auto hat = folder.write("hat.wav", test::wavFile(4)).string();
    AppModelRig rig(reopening());
    const std::vector<PersistedOpenItem> records{
        {kick, "First", Loop::forceOn, Stereo::left},
        {snare, "bad/name", Loop::forceOn, Stereo::mix},
        {kick, "Second", Loop::forceOff, Stereo::right},  // a copy between two other files
        {hat, std::nullopt, Loop::forceOff, Stereo::left},
        {kick, "Third", Loop::forceOn, Stereo::right},
        {snare, "Rim", Loop::file, Stereo::left},
    };
    restartWith(rig, encodedRecords(records));
    rig.settle();
    expectRows(rig->items(), {
        {"First.wav", Loop::forceOn, Stereo::left},
        {"snare.wav", Loop::forceOn, Stereo::mix},  // a stored name the rules refuse gives way
        {"Second.wav", Loop::forceOff, Stereo::right},
        {"hat.wav", Loop::forceOff, Stereo::left},
        {"Third.wav", Loop::forceOn, Stereo::right},
        {"Rim.wav", Loop::file, Stereo::left},
    });
    const auto stored = storedRecords(*rig.store);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->size(), records.size());
    EXPECT_EQ(stored->at(1).displayName, "snare.wav");
    EXPECT_EQ(stored->at(3).displayName, "hat.wav");
    EXPECT_EQ(stored->at(4), (PersistedOpenItem{kick, "Third.wav", Loop::forceOn, Stereo::right}));
}

TEST(OpenFileLibrary, RecordsThatDoNotAllDecodeAreIgnoredSilently) {
    FileFolder folder;
    const auto file = folder.write("a.syx", test::genericSysEx()).string();
    const std::string good = R"({"path":")" + file + R"(","loopMode":"Loop On","stereoMode":"Left"})";
    const std::string cases[] = {
        "not JSON",
        "{}",
        "[" + good + R"(,{"path":")" + file + R"(","loopMode":"Loop:File","stereoMode":"Both"}])",
        "[" + good + R"(,{"path":")" + file + R"(","loopMode":"Loop:File"}])",
        R"([{"path":5,"loopMode":"Loop:File","stereoMode":"L + R"}])",
        R"([{"path":"/a","displayName":7,"loopMode":"Loop:File","stereoMode":"L + R"}])",
        "[" + good + ",3]",
    };
    for (const auto& stored : cases) {
        SCOPED_TRACE(stored);
        const Bytes data(stored.begin(), stored.end());
        AppModelRig rig(reopening());
        restartWith(rig, data);
        rig.settle();
        EXPECT_TRUE(rig->items().empty());
        EXPECT_FALSE(rig->alertMessage());
        EXPECT_EQ(rig.store->data(openFileRecordsKey), data);
    }
    const std::string valid = "[" + good + "]";
    AppModelRig control(reopening());
    restartWith(control, Bytes(valid.begin(), valid.end()));
    control.settle();
    ASSERT_EQ(control->items().size(), 1u);
    EXPECT_EQ(control->items()[0].loopMode, Loop::forceOn);
}

}  // namespace
}  // namespace k7::testing
