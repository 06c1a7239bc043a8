#include "V7Aruviv/Views/FileManagerReveal.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <utility>

namespace k7 {

namespace {

constexpr int fileManagerTimeoutMs = 2000;
const QString openerName = QStringLiteral("xdg-open");
// xdg-open's status when it found no tool that opens the folder.
constexpr int openerFoundNoTool = 3;

using Reason = FileManagerRevealFailure::Reason;

FileManagerRevealFailure openerFailure(Reason reason, int exitStatus = 0, std::string systemError = {}) {
    return {reason, openerName.toStdString(), exitStatus, std::move(systemError)};
}

void openFolder(const std::filesystem::path& folder, QObject* context, FileManagerReveal::Done done,
                std::chrono::milliseconds patience) {
    // The first of the opener's exit, its failure to start and the end of the patience answers.
    auto pending = std::make_shared<FileManagerReveal::Done>(std::move(done));
    const auto answer = [pending](std::optional<FileManagerRevealFailure> failure) {
        if (auto callback = std::exchange(*pending, nullptr)) callback(std::move(failure));
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
        if (status == QProcess::CrashExit) {
            answer(openerFailure(Reason::openerCrashed));
        } else if (code == 0) {
            answer(std::nullopt);
        } else if (code == openerFoundNoTool) {
            answer(openerFailure(Reason::noFileManager));
        } else {
            answer(openerFailure(Reason::openerExited, code));
        }
    });
    QObject::connect(opener, &QProcess::errorOccurred, context, [answer, opener](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        if (QStandardPaths::findExecutable(openerName).isEmpty()) {
            answer(openerFailure(Reason::noFileManager));
        } else {
            answer(openerFailure(Reason::openerDidNotStart, 0, opener->errorString().toStdString()));
        }
    });
    QTimer::singleShot(patience, context, [answer] { answer(std::nullopt); });
    opener->start(openerName, {localFileUrl(folder).toString(QUrl::FullyEncoded)});
}

}  // namespace

QUrl localFileUrl(const std::filesystem::path& path) {
    const QByteArray bytes = QByteArray::fromStdString(path.string());
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

void FileManagerReveal::show(const std::filesystem::path& file, QObject* context, Done done) const {
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
                             done(std::nullopt);
                             return;
                         }
                         openFolder(file.parent_path(), context, std::move(done), patience);
                     });
}

}  // namespace k7
