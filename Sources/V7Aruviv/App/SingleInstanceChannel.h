#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <filesystem>
#include <vector>

namespace k7 {

// The socket path of this process's running copy (see SingleInstanceName).
QString singleInstanceSocketPathForThisProcess(bool offlineHealthCheck);

// The running copy's end: takes each later start's paths as one delivery and answers it.
class SingleInstanceServer final : public QObject {
    Q_OBJECT

public:
    enum class Claim { listening, anotherCopyRuns, unavailable };

    explicit SingleInstanceServer(QObject* parent = nullptr);

    // Listens on `socketPath`. A socket that no copy answers on is what a crashed copy left: it is
    // taken over.
    Claim listen(const QString& socketPath);

signals:
    void delivered(const std::vector<std::filesystem::path>& paths);

private:
    void accept();

    QLocalServer server_;
};

// A later start's end: hands `paths` to the copy listening on `socketPath` and waits for its answer.
enum class SingleInstanceHandOff { delivered, noRunningCopy, refused };
SingleInstanceHandOff handOffToRunningCopy(const QString& socketPath, const std::vector<std::filesystem::path>& paths,
                                           int timeoutMilliseconds);

// At start: becomes the running copy (`server` listens) or hands `paths` to the one that runs.
// Starts at the same moment take turns, so exactly one of them listens.
enum class SingleInstanceStart { running, handedOff, failed };
SingleInstanceStart claimOrHandOff(SingleInstanceServer& server, const QString& socketPath,
                                   const std::vector<std::filesystem::path>& paths);

}  // namespace k7
