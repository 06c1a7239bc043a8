#pragma once

#include <QObject>
#include <array>
#include <csignal>
#include <string>

class QSocketNotifier;

namespace k7 {

// SIGTERM, SIGINT and SIGHUP (a logout, `kill`, a service manager, Ctrl-C, a closed terminal) as a
// Qt signal on the thread that made this object. The handler only writes the number to a pipe:
// nothing else is safe inside it. One object at a time in a process; it restores the previous
// handlers when destroyed.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    static constexpr std::array<int, 3> handled{SIGTERM, SIGINT, SIGHUP};

    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Empty when the handlers are installed; else why not (the signals then keep their default).
    const std::string& problem() const { return problem_; }

signals:
    void arrived(int signalNumber);

private:
    void readPipe();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, handled.size()> previous_{};
    std::string problem_;
};

}  // namespace k7
