#pragma once

#include <QObject>
#include <array>
#include <csignal>
#include <string>

class QSocketNotifier;

namespace k7 {

// SIGTERM, SIGINT and SIGHUP (a logout, `kill`, a service manager, Ctrl-C, a closed terminal) as a
// Qt signal on the thread that made this object. The handler only writes the number to a pipe
// (nothing else is safe inside it), unless it is to end the process at once. SIGINT and SIGHUP that
// the process started with ignored (nohup, a shell's background job) stay ignored; SIGTERM is always
// taken. One object at a time in a process; it restores the previous handlers when destroyed.
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

    // While on, a signal ends the process at once, with that signal as its status, as though it were
    // not taken: for waits outside the event loop, before there is anything to tear down.
    void setEndsAtOnce(bool atOnce);

signals:
    void arrived(int signalNumber);

private:
    void readPipe();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, handled.size()> previous_{};
    std::array<bool, handled.size()> installed_{};
    std::string problem_;
};

}  // namespace k7
