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

void onSignal(int number) {
    const int savedErrno = errno;
    const int descriptor = writeEndForHandler.load();
    const auto byte = static_cast<unsigned char>(number);
    if (descriptor >= 0) {
        // A full pipe already holds signals that are still to be handled: this one may go.
        [[maybe_unused]] const ssize_t written = ::write(descriptor, &byte, 1);
    }
    errno = savedErrno;
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
    for (std::size_t index = 0; index < handled.size(); ++index) ::sigaction(handled[index], &action, &previous_[index]);
}

TerminationSignals::~TerminationSignals() {
    if (writeEnd_ < 0) return;
    for (std::size_t index = 0; index < handled.size(); ++index) ::sigaction(handled[index], &previous_[index], nullptr);
    writeEndForHandler.store(-1);
    delete notifier_;
    ::close(readEnd_);
    ::close(writeEnd_);
}

void TerminationSignals::readPipe() {
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(readEnd_, numbers, sizeof numbers)) > 0) {
        for (ssize_t index = 0; index < count; ++index) emit arrived(numbers[index]);
    }
}

}  // namespace k7
