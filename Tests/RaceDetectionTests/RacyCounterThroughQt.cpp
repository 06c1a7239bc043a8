// Two threads bump one unguarded counter, each bump made by Qt's code: a race of ours with Qt's
// frames on both stacks. The test passes when ThreadSanitizer reports it here, in this file.
//   RacyCounterThroughQt direct      each thread calls through QMetaObject::invokeMethod
//   RacyCounterThroughQt event-loop  the main thread posts an event to each thread, whose event
//                                    loop (glib's main loop) delivers it, as it delivers every
//                                    queued call and timer of the program
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <chrono>
#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
    const bool eventLoops = argc > 1 && std::string_view(argv[1]) == "event-loop";
    std::printf("counted %d\n", eventLoops ? throughEventLoops(argc, argv) : direct());
    return 0;
}
