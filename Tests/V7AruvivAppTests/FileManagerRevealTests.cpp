#include "V7Aruviv/Views/FileManagerReveal.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <memory>
#include <optional>

#include "V7Aruviv/Views/FileDrop.h"

namespace k7::testing {
namespace {

TEST(FileManagerReveal, AFileUrlNamesTheSameBytes) {
    for (const std::string name : {"kick.syx", "two words", "100%", "a#b?c", "Caf\xC3\xA9", "Dossier\xE9"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path path = "/home/user/" + name + "/kick.syx";
        const QUrl url = localFileUrl(path);
        EXPECT_TRUE(url.isLocalFile());
        EXPECT_EQ(localFilePath(url), path);
    }
    EXPECT_EQ(localFileUrl("/home/user/Dossier\xE9").toString(QUrl::FullyEncoded).toStdString(),
              "file:///home/user/Dossier%E9");
}

// No session bus, so the opener on PATH, a stand-in that logs its argument, is asked for the folder
// of a file in `Dossier\xE9`.
class FileManagerRevealWithoutABus : public ::testing::Test {
protected:
    FileManagerRevealWithoutABus() : savedPath_(qgetenv("PATH")) {
        reveal.bus = QDBusConnection(QStringLiteral("v764-no-session-bus"));
        std::filesystem::create_directories(folder);
        std::ofstream(file) << "F0 F7";
        std::filesystem::create_directories(openers);
        qputenv("PATH", QByteArray::fromStdString(openers.string()));
    }
    ~FileManagerRevealWithoutABus() override {
        qputenv("PATH", savedPath_);
        // QTemporaryDir cannot remove a name that is not UTF-8.
        std::filesystem::remove_all(root);
    }

    void installOpener(int exitCode, const char* meanwhile = "") {
        const auto script = openers / "xdg-open";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log.string() << "'\n"
                              << meanwhile << "\nexit " << exitCode << "\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }
    std::vector<std::string> asked() const {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::optional<bool> show(QObject* context) {
        auto shown = std::make_shared<std::optional<bool>>();
        reveal.show(file, context, [shown](bool answer) {
            EXPECT_FALSE(*shown) << "answered twice";
            *shown = answer;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown->has_value(); }, 5000)) << "no answer within 5 s";
        return *shown;
    }

    QTemporaryDir temporary;
    const std::filesystem::path root = temporary.path().toStdString();
    const std::filesystem::path folder = root / "Dossier\xE9";
    const std::filesystem::path file = folder / "kick.syx";
    const std::filesystem::path openers = root / "bin";
    const std::filesystem::path log = root / "asked";
    FileManagerReveal reveal;
    QObject context;

private:
    QByteArray savedPath_;
};

TEST_F(FileManagerRevealWithoutABus, TheOpenersExitStatusSaysWhetherTheFolderWasShown) {
    reveal.openerPatience = std::chrono::milliseconds(300);
    const struct {
        const char* opener;
        std::optional<int> exitCode;
        const char* meanwhile;
        bool shown;
    } cases[] = {
        {"opens the folder", 0, "", true},
        {"finds nothing that opens folders", 3, "", false},
        {"fails", 4, "", false},
        {"is the file manager, still running", 0, "/bin/sleep 1", true},
        {"is not installed", std::nullopt, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opener);
        std::filesystem::remove(log);
        std::filesystem::remove(openers / "xdg-open");
        if (c.exitCode) installOpener(*c.exitCode, c.meanwhile);
        EXPECT_EQ(show(&context), c.shown);
        if (!c.exitCode) continue;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !asked().empty(); }, 2000)) << "the opener was not run";
        EXPECT_EQ(asked().size(), 1u);
        EXPECT_EQ(localFilePath(QUrl(QString::fromStdString(asked()[0]), QUrl::StrictMode)), folder);
        EXPECT_TRUE(asked()[0].ends_with("/Dossier%E9")) << asked()[0];
    }
    // The opener left running ends before the test does.
    QTest::qWait(1200);
}

TEST_F(FileManagerRevealWithoutABus, NoAnswerComesAfterItsContextIsGone) {
    installOpener(4, "/bin/sleep 0.2");
    bool answered = false;
    auto gone = std::make_unique<QObject>();
    reveal.show(file, gone.get(), [&](bool) { answered = true; });
    gone.reset();
    QTest::qWait(800);
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace k7::testing
