#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "V7Aruviv/Views/FileManagerRevealFailure.h"

namespace k7 {

// The file URL of a local path, percent-encoded from its bytes: the inverse of localFilePath, so a
// name that is not UTF-8 names the same file.
QUrl localFileUrl(const std::filesystem::path& path);

// Shows a file in the file manager: the freedesktop FileManager1 service selects it, or, when no
// service answers, the opener (xdg-open on PATH) opens the folder that holds it.
struct FileManagerReveal {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // How long the opener has to say whether it opened the folder; one still running by then is a
    // file manager started in the foreground, and counts as shown.
    std::chrono::milliseconds openerPatience = std::chrono::seconds(3);

    using Done = std::function<void(std::optional<FileManagerRevealFailure> failure)>;

    // Asks without waiting for the answers: `done` gets nothing when the file or its folder was
    // shown, else why not; once, on `context`'s thread (maybe before this returns), and never after
    // `context` is gone.
    void show(const std::filesystem::path& file, QObject* context, Done done) const;
};

}  // namespace k7
