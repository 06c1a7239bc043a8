#include "V7Aruviv/Views/FileManagerReveal.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <utility>

namespace k7 {

namespace {

constexpr int fileManagerTimeoutMs = 2000;

void openFolder(const std::filesystem::path& folder, QObject* context, std::function<void(bool)> done,
                std::chrono::milliseconds patience) {
    // The first of the opener's exit, its failure to start and the end of the patience answers.
    auto pending = std::make_shared<std::function<void(bool)>>(std::move(done));
    const auto answer = [pending](bool shown) {
        if (auto callback = std::exchange(*pending, nullptr)) callback(shown);
    };

    // Owned by no one and gone when it ends: an opener still running when the window or the program
    // goes is a file manager showing the folder, and stays.
    auto* opener = new QProcess;
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::finished, context, [answer](int code, QProcess::ExitStatus status) {
        answer(status == QProcess::NormalExit && code == 0);
    });
    QObject::connect(opener, &QProcess::errorOccurred, context, [answer](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) answer(false);
    });
    QTimer::singleShot(patience, context, [answer] { answer(true); });
    opener->start(QStringLiteral("xdg-open"), {localFileUrl(folder).toString(QUrl::FullyEncoded)});
}

}  // namespace

QUrl localFileUrl(const std::filesystem::path& path) {
    const QByteArray bytes = QByteArray::fromStdString(path.string());
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

void FileManagerReveal::show(const std::filesystem::path& file, QObject* context,
                             std::function<void(bool shown)> done) const {
    const auto patience = openerPatience;
    if (!bus.isConnected()) {
        openFolder(file.parent_path(), context, std::move(done), patience);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{localFileUrl(file).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, fileManagerTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [file, context, done = std::move(done), patience](QDBusPendingCallWatcher* finished) mutable {
                         finished->deleteLater();
                         if (!finished->isError()) {
                             done(true);
                             return;
                         }
                         openFolder(file.parent_path(), context, std::move(done), patience);
                     });
}

}  // namespace k7
