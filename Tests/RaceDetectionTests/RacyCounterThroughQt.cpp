// Two threads bump one unguarded counter, each bump made by Qt's code: a race of ours with Qt's
// frames on both stacks. The test passes when ThreadSanitizer reports it here, in this file.
//   RacyCounterThroughQt direct        each thread calls through QMetaObject::invokeMethod
//   RacyCounterThroughQt event-loop    the main thread posts an event to each thread, whose event
//                                      loop (glib's main loop) delivers it, as it delivers every
//                                      queued call and timer of the program
//   RacyCounterThroughQt dbus-handler  no counter: a handler that Qt's D-Bus calls for a message
//                                      unlocks a mutex no one locked, which must be reported too
#include <pthread.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDBusVirtualObject>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

namespace {

int direct() {
    int counter = 0;
    QObject context;
    const auto bump = [&] {
        for (int n = 0; n < 10000; ++n) QMetaObject::invokeMethod(&context, [&] { ++counter; }, Qt::DirectConnection);
    };
    std::thread first(bump);
    std::thread second(bump);
    first.join();
    second.join();
    return counter;
}

// Bumps the counter for every event it is sent.
class Bumper final : public QObject {
public:
    explicit Bumper(int& counter) : counter_(counter) {}
    bool event(QEvent*) override {
        ++counter_;
        return true;
    }

private:
    int& counter_;
};

int throughEventLoops(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    int counter = 0;
    QThread threads[2];
    Bumper bumpers[2]{Bumper(counter), Bumper(counter)};
    for (int index = 0; index < 2; ++index) {
        bumpers[index].moveToThread(&threads[index]);
        threads[index].start();
    }
    // Posted once the loop's wake-up exists, the event wakes it from this thread, as a file
    // manager's answer wakes Qt's D-Bus thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (QThread& thread : threads) {
        while (!thread.eventDispatcher()) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "a thread's event loop did not start within 10 s\n");
                return -1;
            }
            std::this_thread::yield();
        }
    }
    for (Bumper& bumper : bumpers) QCoreApplication::postEvent(&bumper, new QEvent(QEvent::User));
    for (QThread& thread : threads) {
        thread.quit();
        thread.wait();
    }
    return counter;
}

// Unlocks a mutex it never locked for each message it is given.
class MisusedMutexHandler final : public QDBusVirtualObject {
public:
    static constexpr const char* path = "/org/v764/RaceDetection";
    std::atomic<bool> handled = false;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override {
        ::pthread_mutex_unlock(&mutex_);
        handled = true;
        return true;
    }

private:
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
};

// A call over a private peer connection to a handler that the other end registered.
int throughADBusHandler(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    QDBusServer server;
    if (!server.isConnected()) {
        std::fprintf(stderr, "no D-Bus peer server: %s\n", qPrintable(server.lastError().message()));
        return -1;
    }
    MisusedMutexHandler handler;
    std::unique_ptr<QDBusConnection> service;
    QObject::connect(&server, &QDBusServer::newConnection, [&](const QDBusConnection& connection) {
        service = std::make_unique<QDBusConnection>(connection);
        service->registerVirtualObject(QString::fromUtf8(MisusedMutexHandler::path), &handler);
    });
    const QDBusConnection caller = QDBusConnection::connectToPeer(server.address(), QStringLiteral("race-detection"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const auto waitFor = [&](const auto& done, const char* what) {
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                std::fprintf(stderr, "%s within 10 s\n", what);
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    };
    if (!waitFor([&] { return service != nullptr; }, "the peer connection was not made")) return -1;
    // No answer is awaited: Qt's D-Bus hands the message to the handler all the same.
    caller.send(QDBusMessage::createMethodCall(QString(), QString::fromUtf8(MisusedMutexHandler::path),
                                               QStringLiteral("org.v764.RaceDetection"), QStringLiteral("Ping")));
    if (!waitFor([&] { return handler.handled.load(); }, "the handler was not called")) return -1;
    // Ended before Qt stops its D-Bus thread, where glib closes the thread's wake-up after our last
    // wake-up of it, in an order that only Qt's unseen locks give.
    std::printf("handled\n");
    std::fflush(stdout);
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "direct";
    int counted = 0;
    if (mode == "event-loop") {
        counted = throughEventLoops(argc, argv);
    } else if (mode == "dbus-handler") {
        counted = throughADBusHandler(argc, argv);
    } else {
        counted = direct();
    }
    std::printf("counted %d\n", counted);
    return 0;
}
