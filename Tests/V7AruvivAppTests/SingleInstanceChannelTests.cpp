#include "V7Aruviv/App/SingleInstanceChannel.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <future>

#include "V7Aruviv/App/V7AruvivApp.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

using Paths = std::vector<std::filesystem::path>;

// A later start, on a thread of its own as it would be in a process of its own: the running copy
// answers only from its event loop, which the test runs meanwhile.
SingleInstanceHandOff handOffFromLaterStart(const QString& socketPath, const Paths& paths) {
    auto later = std::async(std::launch::async, [&] { return handOffToRunningCopy(socketPath, paths, 5000); });
    QElapsedTimer waited;
    waited.start();
    while (later.wait_for(std::chrono::seconds(0)) != std::future_status::ready && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return later.get();
}

// What a copy that crashed leaves: a socket file nobody listens on.
void leaveStaleSocket(const QString& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo(socketPath).exists());
}

Paths writeFiles(const QTemporaryDir& folder, const std::vector<std::string>& names) {
    Paths files;
    for (std::size_t n = 0; n < names.size(); ++n) {
        files.push_back(std::filesystem::path(folder.path().toStdString()) / names[n]);
        const Bytes bytes = SampleItems::elektronMessage(2, 30, static_cast<uint8_t>(n));
        std::ofstream(files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return files;
}

TEST(SingleInstance, ALaterStartsFilesArriveInTheRunningCopyAsOneImport) {
    WindowRig w;
    QTemporaryDir folder;
    const QString socketPath = folder.filePath(QStringLiteral("running"));
    const auto files = writeFiles(folder, {"kick.syx", "snare.syx", "hats.syx"});
    SingleInstanceServer server;
    QObject::connect(&server, &SingleInstanceServer::delivered,
                     [&](const Paths& paths) { V7AruvivApp::openFromLaterStart(w.model(), *w.window, paths); });
    ASSERT_EQ(server.listen(socketPath), SingleInstanceServer::Claim::listening);
    std::vector<std::string> imports;
    QObject::connect(&w.model(), &AppModel::statusTextChanged, [&] {
        if (w.rig->statusText().rfind("Importing", 0) == 0) imports.push_back(w.rig->statusText());
    });
    w.window->setWindowState(Qt::WindowMinimized);

    ASSERT_EQ(handOffFromLaterStart(socketPath, files), SingleInstanceHandOff::delivered);
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 3 && !w.rig->isImporting(); }));
    EXPECT_EQ(imports, std::vector<std::string>{"Importing 3 files\u2026"});
    EXPECT_EQ(w.names(), (std::vector<std::string>{"kick.syx", "snare.syx", "hats.syx"}));
    EXPECT_FALSE(w.window->isMinimized());

    // A start without files only brings the window forward.
    w.window->setWindowState(Qt::WindowMinimized);
    ASSERT_EQ(handOffFromLaterStart(socketPath, {}), SingleInstanceHandOff::delivered);
    w.pump();
    EXPECT_FALSE(w.window->isMinimized());
    EXPECT_EQ(imports.size(), 1u);
}

TEST(SingleInstance, ASocketLeftByACrashedCopyIsTakenOverAndARunningOneIsNot) {
    QTemporaryDir folder;
    const QString socketPath = folder.filePath(QStringLiteral("running"));
    EXPECT_EQ(handOffToRunningCopy(socketPath, {"/a.syx"}, 1000), SingleInstanceHandOff::noRunningCopy);
    leaveStaleSocket(socketPath);
    EXPECT_EQ(handOffToRunningCopy(socketPath, {"/a.syx"}, 1000), SingleInstanceHandOff::noRunningCopy);

    SingleInstanceServer first;
    std::vector<Paths> deliveries;
    QObject::connect(&first, &SingleInstanceServer::delivered, [&](const Paths& paths) { deliveries.push_back(paths); });
    ASSERT_EQ(claimOrHandOff(first, socketPath, {}), SingleInstanceStart::running);

    // A second server on the same name finds the first alive and leaves its socket alone.
    SingleInstanceServer second;
    EXPECT_EQ(second.listen(socketPath), SingleInstanceServer::Claim::anotherCopyRuns);
    ASSERT_EQ(handOffFromLaterStart(socketPath, {"/b.wav", "/c.aif"}), SingleInstanceHandOff::delivered);
    EXPECT_EQ(deliveries, (std::vector<Paths>{{"/b.wav", "/c.aif"}}));
}

TEST(SingleInstance, TheRunningCopyRefusesWhatNoLaterStartSends) {
    QTemporaryDir folder;
    const QString socketPath = folder.filePath(QStringLiteral("running"));
    SingleInstanceServer server;
    int deliveries = 0;
    QObject::connect(&server, &SingleInstanceServer::delivered, [&] { ++deliveries; });
    ASSERT_EQ(server.listen(socketPath), SingleInstanceServer::Claim::listening);
    EXPECT_EQ(handOffFromLaterStart(socketPath, {"relative.syx"}), SingleInstanceHandOff::refused);
    EXPECT_EQ(deliveries, 0);
    // It still listens.
    EXPECT_EQ(handOffFromLaterStart(socketPath, {"/a.syx"}), SingleInstanceHandOff::delivered);
    EXPECT_EQ(deliveries, 1);
}

}  // namespace
}  // namespace k7::testing
