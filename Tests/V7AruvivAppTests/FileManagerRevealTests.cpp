#include "V7Aruviv/Views/FileManagerReveal.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDBusVirtualObject>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

#include "V7Aruviv/Views/FileDrop.h"

namespace k7 {

// Readable in a failed expectation.
void PrintTo(const FileManagerRevealFailure& failure, std::ostream* out) {
    *out << "{reason " << static_cast<int>(failure.reason) << ", " << failure.opener << ", exit status "
         << failure.exitStatus << ", \"" << failure.systemError << "\"}";
}

}  // namespace k7

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

using Answer = std::optional<FileManagerRevealFailure>;
using Reason = FileManagerRevealFailure::Reason;

FileManagerRevealFailure failure(Reason reason, int exitStatus = 0) { return {reason, "xdg-open", exitStatus, {}}; }

// The opener on PATH is a stand-in that logs its argument; the file is in `Dossier\xE9`.
class FileManagerRevealTest : public ::testing::Test {
protected:
    FileManagerRevealTest() : savedPath_(qgetenv("PATH")) {
        std::filesystem::create_directories(folder);
        std::ofstream(file) << "F0 F7";
        std::filesystem::create_directories(openers);
        qputenv("PATH", QByteArray::fromStdString(openers.string()));
    }
    ~FileManagerRevealTest() override {
        qputenv("PATH", savedPath_);
        // QTemporaryDir cannot remove a name that is not UTF-8.
        std::filesystem::remove_all(root);
    }

    void installOpener(int exitCode, const char* meanwhile = "", const char* interpreter = "/bin/sh") {
        const auto script = openers / "xdg-open";
        std::ofstream(script) << "#!" << interpreter << "\nprintf '%s\\n' \"$1\" >> '" << log.string() << "'\n"
                              << meanwhile << "\nexit " << exitCode << "\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }
    std::vector<std::string> asked() const {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    Answer show(QObject* context) {
        auto answer = std::make_shared<std::optional<Answer>>();
        reveal.show(file, context, [answer](Answer failure) {
            EXPECT_FALSE(*answer) << "answered twice";
            *answer = std::move(failure);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer->has_value(); }, 5000)) << "no answer within 5 s";
        return answer->value_or(Answer{});
    }
    // The opener was asked once, for the file's folder.
    void expectAskedForTheFolder() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !asked().empty(); }, 2000)) << "the opener was not run";
        EXPECT_EQ(asked().size(), 1u);
        EXPECT_EQ(localFilePath(QUrl(QString::fromStdString(asked()[0]), QUrl::StrictMode)), folder);
        EXPECT_TRUE(asked()[0].ends_with("/Dossier%E9")) << asked()[0];
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

// No session bus, so the opener is asked for the folder.
class FileManagerRevealWithoutABus : public FileManagerRevealTest {
protected:
    FileManagerRevealWithoutABus() { reveal.bus = QDBusConnection(QStringLiteral("v764-no-session-bus")); }
};

TEST_F(FileManagerRevealWithoutABus, TheOpenersExitStatusSaysWhetherTheFolderWasShown) {
    reveal.openerPatience = std::chrono::milliseconds(300);
    const Answer shown;
    const struct {
        const char* opener;
        std::optional<int> exitCode;
        const char* meanwhile;
        Answer answer;
    } cases[] = {
        {"opens the folder", 0, "", shown},
        {"finds nothing that opens folders", 3, "", failure(Reason::noFileManager)},
        {"fails", 4, "", failure(Reason::openerExited, 4)},
        {"crashes", 0, "kill -KILL $$", failure(Reason::openerCrashed)},
        {"is the file manager, still running", 0, "/bin/sleep 1", shown},
        {"is not installed", std::nullopt, "", failure(Reason::noFileManager)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opener);
        std::filesystem::remove(log);
        std::filesystem::remove(openers / "xdg-open");
        if (c.exitCode) installOpener(*c.exitCode, c.meanwhile);
        EXPECT_EQ(show(&context), c.answer);
        if (c.exitCode) expectAskedForTheFolder();
    }
    // The opener left running ends before the test does.
    QTest::qWait(1200);
}

// An opener that is there but cannot be run is no missing file manager: the system says why.
TEST_F(FileManagerRevealWithoutABus, AnOpenerThatCannotBeRunIsReportedInTheSystemsWords) {
    installOpener(0, "", (root / "no-such-shell").c_str());
    const Answer answer = show(&context);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->reason, Reason::openerDidNotStart);
    EXPECT_EQ(answer->opener, "xdg-open");
    EXPECT_NE(answer->systemError, "");
}

TEST_F(FileManagerRevealWithoutABus, NoAnswerComesAfterItsContextIsGone) {
    installOpener(4, "/bin/sleep 0.2");
    bool answered = false;
    auto gone = std::make_unique<QObject>();
    reveal.show(file, gone.get(), [&](Answer) { answered = true; });
    gone.reset();
    QTest::qWait(800);
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_FALSE(answered);
}

// A stand-in FileManager1 service: it records each call and answers it, or refuses it.
class FileManager1StandIn final : public QDBusVirtualObject {
public:
    static constexpr const char* path = "/org/freedesktop/FileManager1";
    std::atomic<bool> refuses = false;

    std::vector<QDBusMessage> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(message);
        }
        connection.send(refuses ? message.createErrorReply(QDBusError::Failed, QStringLiteral("no window"))
                                : message.createReply());
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::vector<QDBusMessage> calls_;
};

// The service on the other end of a private peer connection, as a desktop's session bus would
// route the call to it.
class FileManagerRevealOverDBus : public FileManagerRevealTest {
protected:
    static constexpr const char* connectionName = "v764-file-manager-peer";

    void SetUp() override {
        if (!server_.isConnected()) {
            GTEST_SKIP() << "no D-Bus peer server: " << server_.lastError().message().toStdString();
        }
        QObject::connect(&server_, &QDBusServer::newConnection, &server_, [this](const QDBusConnection& connection) {
            service_ = std::make_unique<QDBusConnection>(connection);
            service_->registerVirtualObject(QString::fromUtf8(FileManager1StandIn::path), &standIn);
        });
        reveal.bus = QDBusConnection::connectToPeer(server_.address(), QString::fromUtf8(connectionName));
        if (!reveal.bus.isConnected()) {
            GTEST_SKIP() << "no D-Bus peer connection: " << reveal.bus.lastError().message().toStdString();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return service_ != nullptr; }, 5000)) << "the service saw no connection";
    }
    void TearDown() override {
        if (service_) service_->unregisterObject(QString::fromUtf8(FileManager1StandIn::path));
        QDBusConnection::disconnectFromPeer(QString::fromUtf8(connectionName));
    }

    FileManager1StandIn standIn;

private:
    QDBusServer server_;
    std::unique_ptr<QDBusConnection> service_;
};

TEST_F(FileManagerRevealOverDBus, TheServiceIsAskedToShowTheFileByItsUrl) {
    // An opener that fails tells a fall-back apart from the service's answer.
    installOpener(4);
    EXPECT_EQ(show(&context), Answer{});
    const auto calls = standIn.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].interface().toStdString(), "org.freedesktop.FileManager1");
    EXPECT_EQ(calls[0].member().toStdString(), "ShowItems");
    const QList<QVariant> arguments = calls[0].arguments();
    ASSERT_EQ(arguments.size(), 2);
    const QStringList items = arguments[0].toStringList();
    ASSERT_EQ(items.size(), 1);
    const std::string url = items[0].toStdString();
    EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;
    EXPECT_TRUE(url.ends_with("/Dossier%E9/kick.syx")) << url;
    EXPECT_EQ(localFilePath(QUrl(items[0], QUrl::StrictMode)), file);
    EXPECT_EQ(arguments[1].toString(), QString());
    EXPECT_TRUE(asked().empty());
}

TEST_F(FileManagerRevealOverDBus, AServiceThatRefusesLeavesTheFolderToTheOpener) {
    standIn.refuses = true;
    const struct {
        const char* opener;
        int exitCode;
        Answer answer;
    } cases[] = {
        {"opens the folder", 0, Answer{}},
        {"fails", 4, failure(Reason::openerExited, 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opener);
        std::filesystem::remove(log);
        installOpener(c.exitCode);
        EXPECT_EQ(show(&context), c.answer);
        expectAskedForTheFolder();
    }
    EXPECT_EQ(standIn.calls().size(), 2u);
}

}  // namespace
}  // namespace k7::testing
