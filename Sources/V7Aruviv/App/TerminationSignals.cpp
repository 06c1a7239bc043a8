#include "V7Aruviv/App/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace k7 {
namespace {

// The pipe's write end: all the handler reads. -1 while no object listens.
std::atomic<int> writeEndForHandler{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read inside a signal handler");
std::atomic<bool> endAtOnce{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read inside a signal handler");

void onSignal(int number) {
    if (endAtOnce.load()) {
        // The signal stays blocked until this handler returns; its default action then ends the process.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    const int savedErrno = errno;
    const int descriptor = writeEndForHandler.load();
    const auto byte = static_cast<unsigned char>(number);
    if (descriptor >= 0) {
        // A full pipe already holds signals that are still to be handled: this one may go.
        [[maybe_unused]] const ssize_t written = ::write(descriptor, &byte, 1);
    }
    errno = savedErrno;
}

bool ignoredAtStart(int number) {
    struct sigaction current {};
    return ::sigaction(number, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
           current.sa_handler == SIG_IGN;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        problem_ = std::string("no pipe: ") + std::strerror(errno);
        return;
    }
    int expected = -1;
    if (!writeEndForHandler.compare_exchange_strong(expected, ends[1])) {
        ::close(ends[0]);
        ::close(ends[1]);
        problem_ = "another object already takes the signals";
        return;
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Other threads' system calls go on undisturbed.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < handled.size(); ++index) {
        // Whoever ignored these for us (nohup, a shell starting a background job) meant us to run on.
        if (handled[index] != SIGTERM && ignoredAtStart(handled[index])) continue;
        installed_[index] = ::sigaction(handled[index], &action, &previous_[index]) == 0;
    }
}

TerminationSignals::~TerminationSignals() {
    if (writeEnd_ < 0) return;
    for (std::size_t index = 0; index < handled.size(); ++index) {
        if (installed_[index]) ::sigaction(handled[index], &previous_[index], nullptr);
    }
    writeEndForHandler.store(-1);
    endAtOnce.store(false);
    delete notifier_;
    ::close(readEnd_);
    ::close(writeEnd_);
}

void TerminationSignals::setEndsAtOnce(bool atOnce) {
    if (writeEnd_ >= 0) endAtOnce.store(atOnce);
}

void TerminationSignals::readPipe() {
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(readEnd_, numbers, sizeof numbers)) > 0) {
        for (ssize_t index = 0; index < count; ++index) emit arrived(numbers[index]);
    }
}

}  // namespace k7
